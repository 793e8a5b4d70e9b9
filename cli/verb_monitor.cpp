// monitor: a long-running exporter. Every --interval seconds it reads the
// statistics of every element of the database in the background, polls their
// status on a socket of its own, takes the elements' traps as they come, and serves what the last
// completed round found over HTTP at /metrics in the Prometheus text format. A scrape never waits
// for the elements. SIGTERM and SIGINT end it cleanly (exit 0).

#include "Cli.h"
#include "HttpEndpoint.h"
#include "InterruptGuard.h"

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
#include <QTimer>

#include <memory>

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"listen", "ADDR:PORT", "where /metrics is served (port 0: any free port)"},
    {"interval", "S", "seconds between two rounds (default 30)", "seconds", 1, 86400},
    {"trap-port", "P",
     "the UDP port of the NMS address traps are taken on (default 162; 0: any "
     "free port)",
     "a UDP port", 0, 65535},
    {"drift-every", "N", "rounds between two configuration drift checks (default 10; 0: never)",
     "a number of rounds", 0, 100000},
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

int run(const Context& ctx, const VerbArgs& args)
{
    QHostAddress listenAddress;
    quint16 listenPort = 0;
    if (!args.isSet("listen"))
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(kMonitorVerb));
    if (!parseListen(args.value("listen"), &listenAddress, &listenPort))
        return usageError(ctx, QStringLiteral("--listen needs a dotted IPv4 address and a TCP "
                                              "port, e.g. 127.0.0.1:9879 (port 0: any free port)"));
    const int intervalS = int(args.number("interval", 30));
    // Rounds between two configuration drift checks; 0: none.
    const int driftEvery = int(args.number("drift-every", 10));
    const quint16 trapPort = quint16(args.number("trap-port", TrapReceiver::kDefaultPort));
    QHostAddress nms(trimBlanks(ctx.nmsAddress));

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

    HttpEndpoint::raiseDescriptorLimit(HttpEndpoint::kMaxConnections +
                                       HttpEndpoint::kReservedDescriptors);
    HttpEndpoint server([&state](const QByteArray& path) {
        const QByteArray plain = QByteArrayLiteral("text/plain; charset=utf-8");
        if (path == "/metrics" && !state.hasRound())
            return HttpEndpoint::Answer{503, plain,
                                        "The first statistics round has not ended yet.\n"};
        if (path == "/metrics")
            return HttpEndpoint::Answer{200, "text/plain; version=0.0.4; charset=utf-8",
                                        state.metricsText().toUtf8()};
        if (path == "/")
            return HttpEndpoint::Answer{200, plain,
                                        "orvalink-cli monitor: the metrics are at /metrics\n"};
        return HttpEndpoint::Answer{404, plain, "Not found: the metrics are at /metrics\n"};
    });
    if (!server.listen(listenAddress, listenPort)) {
        ctx.err << "orvalink-cli: monitor: cannot listen on " << listenAddress.toString() << ':'
                << listenPort << " (TCP): the port is taken or the address is not on this host\n";
        return 1;
    }
    const quint16 httpPort = server.port();

    StatisticsSweep sweep{Timings{}};
    prepareSweep(ctx, sweep);

    // The drift check reads every parameter an apply sends, for every
    // element: heavier than a statistics round, so it runs every
    // --drift-every rounds. Port 2979 is the statistics sweep's; the check
    // sends from a free port of its own (agents answer the port a request
    // came from).
    ConfigSweep driftSweep{Timings{}};
    prepareSweep(ctx, driftSweep, 0);
    int rounds = 0;

    bool stopping = false;
    int exitCode = 0;
    InterruptGuard stopSignals([&](int) {
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
    // A database that cannot be read is no empty one: the rounds go on with
    // the elements of the last list read, /metrics says so
    // (orvalink_database_ok 0), and each change of the reason is told once,
    // on standard error and in the event log.
    QList<ElementStatistics> lastRead;
    QString databaseProblem;
    QObject::connect(&nextRound, &QTimer::timeout, &nextRound, [&] {
        QElapsedTimer clock;
        clock.start();
        QString why;
        QList<ElementStatistics> elements = StatisticsSweep::elementsOf(database, &why);
        if (why.isEmpty())
            lastRead = elements;
        else
            elements = lastRead;
        if (why != databaseProblem) {
            Event event;
            event.operation = QStringLiteral("database");
            if (why.isEmpty()) {
                event.outcome = QStringLiteral("ok");
                event.cause = QStringLiteral("%1 can be read again").arg(ctx.dbPath);
            } else {
                event.outcome = QStringLiteral("unreadable");
                event.cause = QStringLiteral("%1 %2; the monitor reads the %3 elements of the "
                                             "last list it could read")
                                  .arg(ctx.dbPath, why)
                                  .arg(lastRead.size());
            }
            ctx.err << "orvalink-cli: monitor: the element database " << printable(event.cause)
                    << "\n";
            postEvent(ctx, event);
            databaseProblem = why;
        }
        state.setDatabaseProblem(why);
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

} // namespace

const Verb kMonitorVerb{
    "monitor",
    "--listen ADDR:PORT [--interval S] [--trap-port P] [--drift-every N]",
    "Runs until SIGTERM or SIGINT (then exit 0) as an exporter for Prometheus: every S seconds "
    "(default 30) it reads the counters of every element of the database as stats --all does, "
    "takes the elements' traps on port P (default 162) of the NMS address (--nms), and serves at "
    "http://ADDR:PORT/metrics what the last completed round found: the metric families of stats "
    "--all --prometheus (orvalink_up per element, orvalink_scrape_duration_seconds for the "
    "round), orvalink_traps_total by element and kind, orvalink_traps_rejected_total by reason "
    "and orvalink_alarm_active for each active alarm (an unreachable element; a link down from "
    "its linkDown trap until the linkUp) and orvalink_config_drift per element (1 when it holds "
    "another configuration than the database, as diff --all finds it; checked after the first "
    "round and then every N rounds, default 10, 0 for never; sent from a free port of the NMS "
    "address, since 2979 is the rounds'; an element that did not answer has no value). Until "
    "the first round has ended /metrics answers 503. orvalink_database_ok is 0 while the database "
    "cannot be read (the rounds then read the elements of the last list read, and the reason is "
    "told once on standard error and in the event log). The HTTP server answers GET and HEAD, "
    "refuses a request head over 16 KB (431) and closes a connection that has brought no whole "
    "request within 10 s. Port 0 takes any free port; the ports taken "
    "are told on standard error. Exit 1 when a port cannot be opened, 2 for a usage error.",
    kOptions,
    0,
    0,
    run};

} // namespace orvalink::cli
