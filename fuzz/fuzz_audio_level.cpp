// Feeds arbitrary level datagrams to the meter's reading: the peak is the
// largest non-negative sample that has at least one byte after it, and the
// bar and label stay in range.

#include "remote/AudioLevel.h"

#include <cstdint>
#include <cstdlib>

using namespace orvalink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    const qint32 peak = audiolevel::peakOf(datagram);

    qint32 expected = 0;
    for (size_t i = 0; i + 3 < size; i += 3) {
        if (data[i] < 128) {
            const qint32 v = (qint32(data[i]) << 16) | (qint32(data[i + 1]) << 8) | data[i + 2];
            expected = v > expected ? v : expected;
        }
    }
    if (peak != expected || peak < 0 || peak >= audiolevel::kFullScale)
        abort();
    const int bar = audiolevel::barTwips(peak);
    if (bar < 0 || bar > audiolevel::kBarFullTwips)
        abort();
    const QString label = audiolevel::labelText(peak, QStringLiteral(","));
    if (!label.endsWith(QLatin1String("dBFS")) || (peak == 0) != (label == audiolevel::kSilence))
        abort();
    return 0;
}
