// monitor: a long-running exporter. Every --interval seconds it reads the
// statistics of every element of the database in the background, polls their
// status on a socket of its own, takes the elements' traps as they come, and serves what the last
// completed round found over HTTP at /metrics in the Prometheus text format. A scrape never waits
// for the elements. SIGTERM and SIGINT end it cleanly (exit 0).

#include "Cli.h"

#include "config/ConfigDrift.h"
#include "config/StatisticsSweep.h"
#include "core/Text.h"
#include "monitor/LiveStatus.h"
#include "monitor/MonitorState.h"
#include "monitor/StatusPoller.h"
#include "snmp/TrapReceiver.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace orvalink::cli {

namespace {

const char kUsage[] = "orvalink-cli: usage: monitor --listen ADDR:PORT [--interval S] "
                      "[--trap-port P] [--drift-every N]\n";

int g_stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal)
{
    const char c = char(signal);
    const ssize_t written = ::write(g_stopPipe[1], &c, 1);
    (void)written;
}

// SIGINT and SIGTERM written to a pipe that the event loop watches: the
// handler itself does nothing else.
class StopSignals {
public:
    template <typename F> explicit StopSignals(F onStop)
    {
        if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [onStop] {
            char c = 0;
            bool any = false;
            while (::read(g_stopPipe[0], &c, 1) == 1)
                any = true;
            if (any)
                onStop();
        });
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
        m_installed = true;
    }
    ~StopSignals()
    {
        if (!m_installed)
            return;
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        m_notifier.reset();
        ::close(g_stopPipe[0]);
        ::close(g_stopPipe[1]);
        g_stopPipe[0] = g_stopPipe[1] = -1;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    bool installed() const { return m_installed; }

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    bool m_installed = false;
};

bool parseListen(const QString& text, QHostAddress* address, quint16* port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    quint32 a = 0;
    if (!parseIPv4(text.left(colon), &a))
        return false;
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535)
        return false;
    *address = QHostAddress(a);
    *port = quint16(p);
    return true;
}

} // namespace

int verbMonitor(const Context& ctx, const QStringList& args)
{
    QHostAddress listenAddress;
    quint16 listenPort = 0;
    bool haveListen = false;
    int intervalS = 30;
    int driftEvery = 10; // rounds between two configuration drift checks; 0: none
    quint16 trapPort = TrapReceiver::kDefaultPort;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        bool ok = false;
        if (a == QLatin1String("--listen") && i + 1 < args.size()) {
            if (!parseListen(args.at(++i), &listenAddress, &listenPort)) {
                ctx.err << "orvalink-cli: monitor: --listen needs a dotted IPv4 address and a "
                           "TCP port, e.g. 127.0.0.1:9879 (port 0: any free port)\n";
                return 2;
            }
            haveListen = true;
        } else if (a == QLatin1String("--interval") && i + 1 < args.size()) {
            intervalS = args.at(++i).toInt(&ok);
            if (!ok || intervalS < 1 || intervalS > 86400) {
                ctx.err << "orvalink-cli: monitor: --interval needs seconds from 1 to 86400\n";
                return 2;
            }
        } else if (a == QLatin1String("--drift-every") && i + 1 < args.size()) {
            driftEvery = args.at(++i).toInt(&ok);
            if (!ok || driftEvery < 0 || driftEvery > 100000) {
                ctx.err << "orvalink-cli: monitor: --drift-every needs a number of rounds from 0 "
                           "(never) to 100000\n";
                return 2;
            }
        } else if (a == QLatin1String("--trap-port") && i + 1 < args.size()) {
            const uint p = args.at(++i).toUInt(&ok);
            if (!ok || p > 65535) {
                ctx.err << "orvalink-cli: monitor: --trap-port needs a UDP port from 0 to 65535 "
                           "(0: any free port)\n";
                return 2;
            }
            trapPort = quint16(p);
        } else {
            ctx.err << kUsage;
            return 2;
        }
    }
    if (!haveListen) {
        ctx.err << kUsage;
        return 2;
    }
    QHostAddress nms;
    if (!isValidIPAddress(ctx.nmsAddress) || !nms.setAddress(trimBlanks(ctx.nmsAddress))) {
        ctx.err << "orvalink-cli: monitor: --nms \"" << printable(ctx.nmsAddress)
                << "\" is not a dotted IPv4 address\n";
        return 2;
    }

    IniStore store;
    Database database(store, ctx.dbPath);
    // Reachability, the unreachable alarm and the traps come from live
    // status, wired as the window wires it: a status poller on a socket of
    // its own, rounds at the same interval as the statistics.
    LiveStatus live(store, ctx.dbPath, Timings{});
    StatusPoller& poller = live.poller();
    poller.setInterval(intervalS * 1000);
    QString error;
    if (!live.openPoller(ctx.nmsAddress, ctx.agentPort, &error)) {
        ctx.err << "orvalink-cli: monitor: " << error << "\n";
        return 1;
    }
    PollerReachability reachability(poller);
    MonitorState state(reachability, live.alarms());
    if (!live.bindTraps(nms.toString(), trapPort, &error)) {
        ctx.err << "orvalink-cli: monitor: " << error << "\n";
        if (trapPort < 1024 && trapPort != 0)
            ctx.err << "A port below 1024 needs root or the capability cap_net_bind_service "
                       "(the systemd unit orvalink-monitor.service grants it), or choose "
                       "another --trap-port.\n";
        return 1;
    }
    QObject::connect(
        &live, &LiveStatus::trapReceived, &live,
        [&](const Trap& trap, const ElementEntry& element) { state.trapReceived(trap, element); });
    QObject::connect(&live, &LiveStatus::trapRejected, &live,
                     [&](const TrapRejection& r) { state.trapRejected(r.kind); });
    // State changes and alarms go to the event log, as the window posts them.
    QObject::connect(&live, &LiveStatus::eventOccurred, &live,
                     [&](const Event& event) { postEvent(ctx, event); });

    QHttpServer server;
    server.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get,
                 [&state](const QHttpServerRequest&) {
                     if (!state.hasRound())
                         return QHttpServerResponse(
                             QByteArrayLiteral("text/plain; charset=utf-8"),
                             QByteArrayLiteral("The first statistics round has not ended yet.\n"),
                             QHttpServerResponse::StatusCode::ServiceUnavailable);
                     return QHttpServerResponse(
                         QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"),
                         state.metricsText().toUtf8());
                 });
    server.route(QStringLiteral("/"), QHttpServerRequest::Method::Get,
                 [](const QHttpServerRequest&) {
                     return QHttpServerResponse(QByteArrayLiteral("text/plain; charset=utf-8"),
                                                QByteArrayLiteral("orvalink-cli monitor: the "
                                                                  "metrics are at /metrics\n"));
                 });
    const quint16 httpPort = server.listen(listenAddress, listenPort);
    if (httpPort == 0) {
        ctx.err << "orvalink-cli: monitor: cannot listen on " << listenAddress.toString() << ':'
                << listenPort << " (TCP): the port is taken or the address is not on this host\n";
        return 1;
    }

    StatisticsSweep sweep{Timings{}};
    sweep.setLocalAddress(ctx.nmsAddress);
    sweep.setPorts(2979, ctx.agentPort);
    sweep.setTap(datagramPrinter(ctx, true));

    // The drift check reads every parameter an apply sends, for every
    // element: heavier than a statistics round, so it runs every
    // --drift-every rounds. Port 2979 is the statistics sweep's; the check
    // sends from a free port of its own (agents answer the port a request
    // came from).
    ConfigSweep driftSweep{Timings{}};
    driftSweep.setLocalAddress(ctx.nmsAddress);
    driftSweep.setPorts(0, ctx.agentPort);
    driftSweep.setTap(datagramPrinter(ctx, true));
    int rounds = 0;

    bool stopping = false;
    int exitCode = 0;
    StopSignals stopSignals([&] {
        stopping = true;
        // Ends the main loop and a round's wait alike; that round is dropped.
        QCoreApplication::exit(exitCode);
    });
    if (!stopSignals.installed()) {
        ctx.err << "orvalink-cli: monitor: cannot watch SIGTERM and SIGINT\n";
        return 1;
    }

    // A round is served once the poller has ended a round of its own too,
    // so that the first one already tells up from down.
    bool pollerStarted = false;
    bool pollerRoundDone = false;
    bool roundWaiting = false;
    QList<ElementStatistics> waiting;
    double waitingSeconds = 0;
    const auto serve = [&](QList<ElementStatistics> elements, double seconds) {
        if (!pollerRoundDone) {
            waiting = std::move(elements);
            waitingSeconds = seconds;
            roundWaiting = true;
            return;
        }
        state.roundDone(std::move(elements), seconds, QDateTime::currentMSecsSinceEpoch());
    };
    QObject::connect(&poller, &StatusPoller::roundFinished, &poller, [&] {
        pollerRoundDone = true;
        if (roundWaiting) {
            roundWaiting = false;
            serve(std::move(waiting), waitingSeconds);
        }
    });

    QTimer nextRound;
    nextRound.setSingleShot(true);
    bool databaseWarned = false;
    QObject::connect(&nextRound, &QTimer::timeout, &nextRound, [&] {
        QElapsedTimer clock;
        clock.start();
        const ElementList list = loadElementList(store, ctx.dbPath);
        if (!list.error.isEmpty() && !databaseWarned)
            ctx.err << "orvalink-cli: monitor: the element database " << printable(ctx.dbPath)
                    << ' ' << printable(list.error) << "; no element is read until it is fixed\n";
        databaseWarned = !list.error.isEmpty();
        QList<ElementStatistics> elements = StatisticsSweep::elementsOf(database);
        live.reload();
        if (!pollerStarted) {
            pollerStarted = true;
            poller.start();
        }
        if (!elements.isEmpty() && !sweep.run(elements)) {
            // Our own socket, bound once: only the first round that reads
            // an element can fail so, when another program holds the port.
            ctx.err << "orvalink-cli: monitor: " << sweep.error() << "\n";
            exitCode = 1;
            QCoreApplication::exit(exitCode);
            return;
        }
        if (stopping)
            return;
        const qint64 ms = clock.elapsed();
        serve(std::move(elements), double(ms) / 1000.0);
        if (driftEvery > 0 && rounds++ % driftEvery == 0) {
            DriftCheck check = driftCheck(database);
            if (!check.jobs.isEmpty() && !driftSweep.run(check.jobs))
                ctx.err << "orvalink-cli: monitor: drift check: " << driftSweep.error() << "\n";
            if (stopping)
                return;
            QMap<QPair<QString, QString>, bool> drift;
            for (qsizetype i = 0; i < check.jobs.size(); ++i) {
                if (const auto d = driftOf(database, check, i))
                    drift.insert({check.jobs.at(i).mac, check.jobs.at(i).name}, !d->isEmpty());
            }
            state.driftChecked(std::move(drift));
        }
        ctx.err.flush();
        nextRound.start(int(qMax<qint64>(0, qint64(intervalS) * 1000 - clock.elapsed())));
    });
    nextRound.start(0);

    ctx.err << "orvalink-cli: monitor: metrics at http://" << listenAddress.toString() << ':'
            << httpPort << "/metrics, traps on " << nms.toString() << ':' << live.trapPort()
            << ", a round every " << intervalS << " s\n";
    ctx.err.flush();
    QCoreApplication::exec();
    ctx.err << "orvalink-cli: monitor: stopped\n";
    return exitCode;
}

} // namespace orvalink::cli
