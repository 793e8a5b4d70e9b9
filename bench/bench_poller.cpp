// One live-status round of 500 and of 2,000 simulated elements: the time per
// element of the larger round against the smaller one's (1.0: linear), the
// 2,000 round's time, and the longest event-loop stall during it (the
// lateness of a 1 ms timer).
#include "BenchSim.h"
#include "monitor/StatusPoller.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

using namespace orvalink;

namespace {
constexpr quint16 kAgentPort = 16196;

QString host(int i)
{
    // 127.0.100.1 onwards, 250 a /24
    return QStringLiteral("127.0.%1.%2").arg(100 + (i - 1) / 250).arg((i - 1) % 250 + 1);
}

struct Round {
    double ms = 0;
    qint64 stallMs = 0;
    int up = 0;
};

Round pollRound(int count)
{
    Timings t;
    t.statusReplyMs = 1000;
    StatusPoller poller(t);
    poller.open(QStringLiteral("127.0.0.1"), kAgentPort);
    QList<PolledElement> list;
    for (int i = 1; i <= count; ++i) {
        PolledElement e;
        e.section = QString::number(i);
        e.ip = host(i);
        e.community = QStringLiteral("morqubit");
        list.append(e);
    }
    poller.setElements(list);
    Round r;
    QEventLoop loop;
    QObject::connect(&poller, &StatusPoller::roundFinished, &loop, [&](const PollRoundStats& s) {
        r.up = s.up;
        loop.quit();
    });
    QElapsedTimer beat;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { r.stallMs = qMax(r.stallMs, beat.restart() - 1); });
    QElapsedTimer clock;
    clock.start();
    beat.start();
    tick.start();
    QTimer::singleShot(0, &poller, &StatusPoller::pollNow);
    loop.exec();
    r.ms = double(clock.nsecsElapsed()) / 1e6;
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
        std::fprintf(stderr, "round of %d: %.0f ms, %d up\n", count, r.ms, r.up);
    return r;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args{QStringLiteral("--port"), QString::number(kAgentPort)};
    for (int i = 1; i <= 2000; ++i)
        args << (i % 2 ? QStringLiteral("encoder@") : QStringLiteral("decoder@")) + host(i);
    QProcess sim;
    if (!bench::startSimulator(sim, args)) {
        std::fprintf(stderr, "bench-poller: the simulator did not start\n");
        return 1;
    }
    pollRound(500); // warm-up
    std::vector<double> small, large;
    qint64 stall = 0;
    int up500 = 0, up2000 = 0;
    for (int k = 0; k < 5; ++k) {
        const Round a = pollRound(500);
        const Round b = pollRound(2000);
        small.push_back(a.ms);
        large.push_back(b.ms);
        stall = qMax(stall, b.stallMs);
        up500 = a.up;
        up2000 = b.up;
    }
    sim.kill();
    sim.waitForFinished(5000);
    const double m500 = bench::median(small);
    const double m2000 = bench::median(large);
    std::printf("poller: 500 elements %.1f ms (%d up), 2000 elements %.1f ms (%d up)\n", m500,
                up500, m2000, up2000);
    std::printf("poller: time per element 2000/500 = %.2f (goal about 1.0)\n",
                (m2000 / 2000) / (m500 / 500));
    std::printf("poller: 2000 round %.0f ms (goal under 500), longest event-loop stall %lld ms "
                "(goal under 16)\n",
                m2000, static_cast<long long>(stall));
    return 0;
}
