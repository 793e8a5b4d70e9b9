// The level meter as it runs in the desktop program: the real main window
// (offscreen) shows a simulated element on loopback and polls it every 50 ms;
// the simulator answers every request with 1203 bytes of level data. The
// process's CPU time (getrusage) over the wall time gives the meter's share
// of one core; the baseline is the same window shown without polling.
//
// Goal: under 2% of one core; the resident memory does not grow.
//
//   bench-level-meter [SECONDS]   (default 10)

#include "app/AppContext.h"
#include "app/MainWindowControls.h"
#include "app/frmMain.h"
#include "core/InterfaceLister.h"
#include "core/Prompt.h"
#include "core/UserSettings.h"
#include "remote/RemoteProtocol.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

struct CountingPrompt : Prompt {
    int told = 0;
    PromptAnswer ask(const PromptRequest& r) override
    {
        ++told;
        std::fprintf(stderr, "bench-level-meter: message: %s\n", qPrintable(r.text));
        return r.defaultAnswer;
    }
};

struct Loopback : InterfaceLister {
    QStringList addresses() override { return {QStringLiteral("127.0.0.1")}; }
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> cols = f.readAll().split(' ');
    return cols.size() > 1 ? cols.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// Runs the event loop for ms milliseconds; returns the CPU share of one core.
double share(int ms)
{
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? qBound(1, atoi(argv[1]), 600) : 10;

    // An address and ports of this run only.
    const int pid = int(::getpid());
    const QString element = QStringLiteral("127.0.%1.%2").arg(150 + pid % 50).arg(10 + pid % 200);
    const QString agentPort = QString::number(20000 + pid % 20000);
    QTemporaryDir dir;
    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-sim"),
              {"--port", agentPort, QStringLiteral("encoder@%1/2E:8B:F2:00:01:01").arg(element)});
    QByteArray ready;
    QElapsedTimer t;
    t.start();
    while (!ready.contains("ready") && t.elapsed() < 5000 && sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(50);
        ready += sim.readAllStandardOutput();
    }
    if (!ready.contains("ready")) {
        std::fprintf(stderr, "bench-level-meter: the simulator did not start: %s\n",
                     sim.readAllStandardError().constData());
        return 1;
    }

    QFile db(dir.filePath(QStringLiteral("nms.ini")));
    if (!db.open(QIODevice::WriteOnly))
        return 1;
    db.write(QStringLiteral("[2E8BF2000101]\r\nNAME=STUDIO A ENC    \r\nROLE=1\r\nIP=%1\r\n"
                            "SNMPIP=%1\r\nMASK=255.0.0.0\r\nGW=127.0.0.1\r\n")
                 .arg(element)
                 .toLatin1());
    db.close();

    CountingPrompt prompt;
    UserSettings settings(dir.filePath(QStringLiteral("user.ini")));
    settings.setEula(true);
    settings.setNmsIpAddress(QStringLiteral("127.0.0.1"));
    Loopback lister;
    AppContext ctx;
    ctx.databasePath = db.fileName();
    ctx.prompt = &prompt;
    ctx.settings = &settings;
    ctx.interfaces = &lister;
    ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
    ctx.showNotice = [](UserSettings&, QWidget*) {};

    int replies = 0;
    {
        frmMain w(ctx);
        if (w.startUp() != frmMain::StartResult::Running)
            return 1;
        // The station's end on a port of the system's choice: port 2976 may
        // be in use by another program on this machine.
        control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->setLocalPort(0);
        w.show();
        QObject::connect(&remoteCommands(w).protocol(), &RemoteProtocol::levelData, &w,
                         [&] { ++replies; });
        elements(w).TreeView1_NodeClick(TreeView1(w)->topLevelItem(0));
        action(w, "mnuShowLevelControl")->setChecked(true);

        share(500); // settle
        const double idle = share(qMin(3, seconds) * 1000);

        panel(w)->chkGetVolume->click();
        share(1000); // warm up
        const long rss0 = residentKiB();
        const int replies0 = replies;
        const double polling = share(seconds * 1000);
        const long rss1 = residentKiB();
        const int got = replies - replies0;
        panel(w)->chkGetVolume->click();

        std::printf("level meter at 50 ms for %d s: %d replies (%.1f per second)\n", seconds, got,
                    got / double(seconds));
        std::printf("CPU share of one core, polling: %.2f%% (goal under 2%%)\n", polling * 100);
        std::printf("CPU share of one core, idle window: %.2f%%\n", idle * 100);
        std::printf("resident memory: %ld KiB -> %ld KiB\n", rss0, rss1);
        std::printf("ratio CPU time / wall time, polling: %.4f (idle: %.4f)\n", polling, idle);
        w.close();
        sim.terminate();
        sim.waitForFinished(3000);
        return polling < 0.02 && got > seconds * 10 && prompt.told == 0 ? 0 : 1;
    }
}
