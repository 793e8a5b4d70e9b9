// The level meter at work: one 1203-byte level datagram read and shown by
// the element panel (peak, bar and label), against a baseline of touching
// every byte of the same datagram once.
//
// Goal: under 20 microseconds per datagram; the meter runs 20 times a
// second on the user-interface thread.

#include "core/AppFlags.h"
#include "core/Prompt.h"
#include "panel/ElementPanel.h"
#include "remote/AudioLevel.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace orvalink;

namespace {

struct NoPrompt : Prompt {
    PromptAnswer ask(const PromptRequest& r) override { return r.defaultAnswer; }
};

// A slow sine of 401 samples, as an element sends while audio plays.
QByteArray levelDatagram(int round)
{
    QByteArray d;
    for (int i = 0; i < 401; ++i) {
        const double x = std::sin((i + round) * 0.05) * 0.6 * 8388607.0;
        const qint32 v = qint32(x) & 0xFFFFFF;
        d.append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    }
    return d;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    IniStore store;
    NoPrompt prompt;
    AppFlags flags;
    ElementPanel panel(store, dir.filePath(QStringLiteral("nms.ini")), prompt, flags);
    panel.findChild<QCheckBox*>("chkGetVolume")
        ->setChecked(true); // polling runs: every datagram is shown

    constexpr int kRounds = 20000;
    std::vector<QByteArray> data;
    for (int i = 0; i < 64; ++i)
        data.push_back(levelDatagram(i * 7));

    std::vector<double> shownUs, baseUs;
    shownUs.reserve(kRounds);
    baseUs.reserve(kRounds);
    volatile quint32 sink = 0;
    QElapsedTimer t;
    for (int i = 0; i < kRounds; ++i) {
        const QByteArray& d = data[size_t(i) % data.size()];
        t.start();
        quint32 sum = 0;
        for (char c : d)
            sum += quint8(c);
        sink = sink + sum;
        baseUs.push_back(double(t.nsecsElapsed()) / 1000.0);
        t.start();
        panel.ShowAudioLevel(d);
        shownUs.push_back(double(t.nsecsElapsed()) / 1000.0);
    }
    const double shown = median(shownUs);
    const double base = median(baseUs);
    std::printf("ShowAudioLevel, 1203-byte datagram: median %.2f us (goal under 20 us)\n", shown);
    std::printf("baseline, one pass over the bytes:  median %.2f us\n", base);
    std::printf("ratio: %.1f\n", shown / std::max(base, 0.001));
    return shown < 20.0 ? 0 : 1;
}
