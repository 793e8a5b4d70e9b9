// Not a test: draws the three device windows for tools/screenshot.sh, each
// after real reads from orvalink-sim on loopback (127.0.97.x).
//
//   windows-grab OUT_DIR [AGENT_PORT]
//
// Writes OUT_DIR/snmp-properties.png, statistics.png and sfn-adjustment.png.

#include "core/Prompt.h"
#include "devops/ProbeOperation.h"
#include "devops/SfnAdjustOperation.h"
#include "devops/SnmpPropertiesOperation.h"
#include "devops/StatisticsOperation.h"
#include "dialogs/frmAdjust.h"
#include "dialogs/frmSNMPProperties.h"
#include "dialogs/frmStatistics.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace orvalink;

namespace {

struct SilentPrompt : Prompt {
    PromptAnswer ask(const PromptRequest& r) override { return r.defaultAnswer; }
};
struct View : ElementView {
    ShownElement element;
    ShownElement shownElement() const override { return element; }
};

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget& w, const QString& path)
{
    w.show();
    pump(400);
    const bool ok = w.grab().save(path);
    std::printf("windows-grab: %s\n", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: windows-grab OUT_DIR [AGENT_PORT]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const quint16 port = argc > 2 ? quint16(QByteArray(argv[2]).toUInt()) : 16197;
    const QString enc = QStringLiteral("127.0.97.1");
    const QString dec = QStringLiteral("127.0.97.2");

    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-sim"),
              {QStringLiteral("--port"), QString::number(port), QStringLiteral("encoder@") + enc,
               QStringLiteral("decoder@") + dec});
    QByteArray said;
    QElapsedTimer t;
    t.start();
    while (!said.contains("ready") && t.elapsed() < 5000) {
        sim.waitForReadyRead(50);
        said += sim.readAllStandardOutput();
    }

    QTemporaryDir dir;
    IniStore store;
    Database db(store, dir.filePath(QStringLiteral("nms.ini")));
    Timings timings;
    timings.statsFirstRefreshMs = 100;
    timings.snmpSetAllowedMs = 100;
    SnmpTransport snmp(timings);
    snmp.setLocalAddress(QStringLiteral("127.0.0.1"));
    snmp.setPorts(0, port);
    SilentPrompt prompt;
    snmp.SetSNMP(dec, QStringLiteral("kestrvla"), 30, snmptag::Gauge, QStringLiteral("1"));
    snmp.SetSNMP(dec, QStringLiteral("kestrvla"), 31, snmptag::Gauge, QStringLiteral("25000"));
    snmp.SetSNMP(dec, QStringLiteral("kestrvla"), 39, snmptag::IpAddress,
                 QStringLiteral("127.0.97.200"));
    ProbeOperation probe(snmp, db, prompt, timings);
    probe.run(enc, QStringLiteral("morqubit"));
    const QString encSection = probe.section();
    probe.run(dec, QStringLiteral("morqubit"));
    const QString decSection = probe.section();
    auto viewOf = [&](const QString& section, const char* role) {
        View v;
        v.element.section = section;
        v.element.mac = Decode_MAC(section);
        v.element.nodeText =
            db.read(section, QStringLiteral("name")) + QStringLiteral(" [") + v.element.mac + "]";
        v.element.roleCaption = QLatin1String(role);
        return v;
    };

    bool ok = true;
    {
        View v = viewOf(decSection, "DECODER");
        SnmpPropertiesOperation op(snmp, db, prompt, timings);
        frmSNMPProperties w(op, v, timings);
        w.findChild<QLineEdit*>("txtSNMPTrapIP")->setText(QStringLiteral("127.0.97.201"));
        w.show();
        w.findChild<QPushButton*>("cmdModify")->click();
        ok &= save(w, out.filePath(QStringLiteral("snmp-properties.png")));
    }
    {
        View v = viewOf(decSection, "DECODER");
        StatisticsOperation op(snmp, db, timings);
        frmStatistics w(op, v, timings);
        w.show();
        pump(1200);
        w.findChild<QPushButton*>("cmdRefreshStats")->click();
        ok &= save(w, out.filePath(QStringLiteral("statistics.png")));
    }
    {
        View v = viewOf(decSection, "DECODER");
        SfnAdjustOperation op(snmp, db, prompt, timings);
        frmAdjust w(op, v, timings);
        w.show();
        // Refreshes a second apart, so the simulated jitter shows.
        for (int i = 0; i < 8; ++i) {
            w.findChild<QPushButton*>("cmdRefresh")->click();
            pump(1000);
        }
        ok &= save(w, out.filePath(QStringLiteral("sfn-adjustment.png")));
    }
    Q_UNUSED(encSection);
    sim.kill();
    sim.waitForFinished();
    return ok ? 0 : 1;
}
