// orvalink-cli: the element database and the devices from a shell, through
// the same core code as the desktop program.

#include "Cli.h"

#include "core/UserSettings.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCoreApplication>

#include <cstdio>
#include <iterator>

using namespace orvalink;
using namespace orvalink::cli;

namespace {

const Verb kVerbs[] = {
    {"list", "",
     "Prints the elements of the database as the element tree shows them: one line "
     "per element, its name, \" [\", its MAC address and \"]\", in file order.",
     verbList},
    {"get", "HOST COMMUNITY N [N ...]",
     "Reads parameters N of the element's SNMP agent at HOST, one exchange per N in order, and "
     "prints one line per N: the value text, or an empty line for no value. Exit 0 when every "
     "N gave a value, 1 otherwise.",
     verbGet},
    {"set", "HOST COMMUNITY N TYPE VALUE",
     "Writes VALUE to parameter N (TYPE gauge, ip or text) and prints the value the agent "
     "echoed. Exit 0 when it equals the value sent, 1 otherwise.",
     verbSet},
    {"probe", "HOST [COMMUNITY]",
     "Adds the element at HOST to the database as the desktop program's \"Add new element\" "
     "does: reads every parameter with the read COMMUNITY (default \"morqubit\"), decides its "
     "role, writes what it read into the element's section in one step and prints each status "
     "line. An element that stops answering midway leaves its section as it was. A database "
     "that cannot be read or written is refused before anything is sent. Exit 0 on "
     "\"Status: Finished with SUCCESS!\", 1 otherwise.",
     verbProbe},
    {"ping", "HOST [--timeout-ms N] [--socket dgram|raw]",
     "Sends one ICMP echo (payload \"hello\") to HOST and waits up to 3000 ms (or N). Prints "
     "the round-trip time as \"N ms\" and exits 0, or prints the status (\"Request Timed "
     "Out\", \"Destination Host Unreachable\", ...) and exits 1. An unprivileged ICMP socket is "
     "used where net.ipv4.ping_group_range allows it, else a raw one (root or CAP_NET_RAW).",
     verbPing},
    {"arp", "HOST",
     "Finds the MAC address of HOST in the host's neighbour (ARP) table, asking the network "
     "first when it is not there (a datagram from the NMS address, --nms), as the remote "
     "protocol does for an answering element. Prints it as 00:1A:2B:3C:4D:5E and exits 0, or "
     "exits 1 when no complete entry appears.",
     verbArp},
    {"level", "HOST [--count N]",
     "Sends the level request of the audio meter (\"VOL\", from port 2976 of the NMS address "
     "to port 2977 of HOST) N times (default 1), 50 ms apart, and prints the peak of each reply "
     "in dBFS as the panel's label shows it (\"-6dBFS\", \"-oodBFS\" for silence), one a line. "
     "Exit 0 when all N replies came, 1 when one did not come within 3000 ms (--wait).",
     verbLevel},
    {"diff", "MAC | --all",
     "Reads from the element every parameter that an apply sends for its stored role and prints "
     "one line \"KEY STORED DEVICE\" for each that differs from the database (values holding a "
     "blank are quoted). Exit 0 when the element matches the database, 1 when something "
     "differs, 2 when it does not answer, 3 when the SNMP port (2979 on --nms) cannot be "
     "opened. With --all, every element of the database, read side by side: a line \"NAME "
     "[MAC]\" before the differences of each element that differs (indented), \"NAME [MAC]: "
     "no reply from HOST\" for each that did not answer every parameter; exit 0 when none "
     "differs, 1 when some differ, 2 when some did not answer.",
     verbDiff},
    {"apply",
     "MAC | --where role=decoder|role=encoder | --macs FILE | --all KEY=VALUE... [--yes] "
     "[--spacing-ms N] [--parallel N] [--edition GPS|LL]",
     "Sends new values to the element as the desktop program's \"Save changes\" does. KEYs are "
     "the keys of nms.ini that an apply sends (name ip mask gw input type tx multi remote sfn "
     "llo att buf sdl sdt sdm), VALUEs in their stored form, checked as the panel's fields "
     "check them (--edition: the buffer range of the GPS or LL edition). Only values that "
     "differ from the database are sent, one SET each; only values the element echoes are "
     "stored. Prints what it would send and asks first, unless --yes; then one line per step "
     "and the result. --spacing-ms N replaces the 6000 ms the devices need between two SETs; "
     "it is meant for simulators only. A value the element took but the database could not "
     "store ends the run with that sentence. Exit 0 when every value sent was confirmed and "
     "stored, 3 when the SNMP port (2979 on --nms) cannot be opened (nothing is sent), 1 "
     "otherwise. The bulk forms send the same values to many elements: those of a role "
     "(--where), those whose MACs FILE lists (one a line, # for comments; a regular file or a "
     "pipe of at most 16 MB and 1000000 lines; a list that names no element is refused) or all "
     "of them. "
     "Every element must take every KEY and none may get ip, or nothing is sent. Each "
     "element's SETs keep the spacing, but up to N elements (--parallel, default 64) run at "
     "the same time, and one that fails never stops the others. Prints what each would get "
     "and asks once, unless --yes; then one line per element as it ends (\"NAME [MAC]: 2 of "
     "2 confirmed\", with the causes of what was not) and a total. Exit 0 when every element "
     "confirmed every value, 1 otherwise.",
     verbApply},
    {"backup", "MAC... | --all [--dir DIR] [--edition GPS|LL]",
     "Reads from each element every parameter the probe reads, many elements side by side, "
     "and writes one file per element into DIR (default the current folder), named by its "
     "section and name: the element's section as nms.ini would hold it after a probe, after "
     "comment lines with the time, the program's version, the element's name, address, role "
     "and the edition (--edition, when given). A file is written completely or not at all, "
     "readable by its owner only (it holds the communities). Exit 0 when every element was "
     "written, 1 with a line per element that was not (no reply, another element at its "
     "address, a file that cannot be written).",
     verbBackup},
    {"restore", "MAC FILE [--yes] [--spacing-ms N] [--edition GPS|LL]",
     "Puts a backup back: reads the element, prints each value that differs from FILE as "
     "\"KEY: DEVICE (value) -> FILE (value)\" with units where the panel shows them, asks "
     "unless --yes, then sends the differences in the apply order with the spacing "
     "(--spacing-ms as for apply) and stores only what the element echoed; values it already "
     "holds as FILE does are stored too. FILE of another element, of another role than the "
     "element's stored one or the one it answers as, or read in another edition than "
     "--edition (plain without it), and values the panel's fields would refuse, are refused "
     "before anything is sent (exit 2). Exit 0 when every change was confirmed and stored, 1 "
     "otherwise, 3 when the SNMP port cannot be opened.",
     verbRestore},
    {"history", "MAC",
     "Prints the changes the element confirmed (every SET of apply, restore, set, sfn and the "
     "desktop program, from the event log), oldest first, one a line as events prints them. "
     "Exit 0, or 1 when a file of the log is there but cannot be read (a pipe, a folder).",
     verbHistory},
    {"discover", "",
     "Auto Discovery: keeps the database as PATH.bak, empties it, broadcasts the paging request "
     "from port 2976 of the NMS address (--nms) and writes the section of every element that "
     "answers within 3 s (--wait), then prints the new list. When no element is stored, an "
     "element cannot be stored, or the run is interrupted (Ctrl-C, TERM), the previous "
     "database is put back. Exit 0 when at least one element was found, 1 otherwise, 128 + "
     "the signal's number when interrupted.",
     verbDiscover},
    {"remote-save", "MAC",
     "Sends the element's stored configuration as the remote protocol's save request (to its "
     "stored \"ip\", port 2976), waits for the element's confirmation (3 s, --wait), compares it "
     "field by field, stores what matched and prints the outcome. Exit 0 when every field was "
     "confirmed, 1 otherwise, 2 for a usage error (no such element, a wrong --nms).",
     verbRemoteSave},
    {"stats", "MAC | --all [--prometheus [--output FILE]]",
     "Reads the counters the Statistics window reads (by the element's stored role and sfn) "
     "and prints one line per counter: its caption and value, \"ERROR\" for no value. With "
     "--all, every element of the database, read several at a time, each after a line "
     "\"NAME [MAC]\". --prometheus prints the Prometheus text format instead (one metric "
     "family per counter, orvalink_up per element, orvalink_scrape_duration_seconds); --output "
     "writes it to FILE in one step, for node_exporter's textfile collector (a FILE that cannot "
     "be written whole, e.g. on a full disk, keeps its previous content). Exit 0 when every "
     "counter was read and written, 1 otherwise.",
     verbStats},
    {"sfn", "MAC [--set NS [--spacing-ms N]]",
     "For a DECODER with the SFN option: prints the measured network latency (minimum, "
     "maximum, average), the latency sums and the additional delay as the SFN Adjustment "
     "window does. --set NS sets the delay NS (a multiple of 100 from 0 to 2500000) as its "
     "\"&Set\" does and stores what the element echoed, then waits the 6000 ms the devices "
     "need after a SET (--spacing-ms N: N ms instead, for simulators only). Exit 0 when all was "
     "read or the "
     "delay was applied and stored, 3 when the SNMP port (2979 on --nms) cannot be opened "
     "(nothing is sent), 1 otherwise.",
     verbSfn},
    {"events", "[--since TIME] [MAC]",
     "Prints the event log (events.log beside the database): what the desktop program and "
     "the verbs did to the elements and how it ended, oldest first, one line per event: the "
     "time (UTC), the operation, the outcome (ok, failed, ...), the element \"NAME [MAC]\" "
     "and the address it talked to, then the cause of a failure or, for a confirmed SET, "
     "\"KEY OLD -> NEW\". --since TIME keeps the events from TIME on: a date (2026-12-08, "
     "midnight UTC), a date and time (2026-12-08T14:30, UTC unless it ends in Z or an offset "
     "like +01:00) or an age (90s, 30m, 1h, 2d). MAC keeps those of one element. Exit 0, or "
     "1 when a file of the log is there but cannot be read (a pipe, a folder).",
     verbEvents},
    {"traps", "[--port P] [--count N] [--timeout-ms MS] [--any-community] [--any-source]",
     "Listens for traps on port P (default 162) of the NMS address (--nms) and prints one line "
     "per SNMPv1 or SNMPv2c trap of an element of the database: the sender, the element's name "
     "and MAC, the version, the trap, the agent's uptime and the bindings (OID, type, value). "
     "Traps whose community is not the element's read community (unless --any-community), "
     "from senders that are no element (unless --any-source; the element is then \"-\") and "
     "datagrams that are no trap are told on standard error. Exit 0 after N traps (--count) "
     "or at the end of --timeout-ms without --count, 1 when N traps did not come in time.",
     verbTraps},
    {"monitor", "--listen ADDR:PORT [--interval S] [--trap-port P] [--drift-every N]",
     "Runs until SIGTERM or SIGINT (then exit 0) as an exporter for Prometheus: every S "
     "seconds (default 30) it reads the counters of every element of the database as stats "
     "--all does, takes the elements' traps on port P (default 162) of the NMS address "
     "(--nms), and serves at http://ADDR:PORT/metrics what the last completed round found: "
     "the metric families of stats --all --prometheus (orvalink_up per element, "
     "orvalink_scrape_duration_seconds for the round), orvalink_traps_total by element and "
     "kind, orvalink_traps_rejected_total by reason and orvalink_alarm_active for each active "
     "alarm (an unreachable element; a link down from its linkDown trap until the linkUp) "
     "and orvalink_config_drift per element (1 when it holds another configuration than the "
     "database, as diff --all finds it; checked after the first round and then every N "
     "rounds, default 10, 0 for never; sent from a free port of the NMS address, since 2979 "
     "is the rounds'; an element that did not answer has no value). "
     "Until the first round has ended /metrics answers 503. Port 0 takes any free port; the "
     "ports taken are told on standard error. Exit 1 when a port cannot be opened, 2 for a "
     "usage error.",
     verbMonitor},
};

void printHelp(QTextStream& out)
{
    out << "Usage: orvalink-cli [-v] [--db PATH] [--nms ADDR] [--port P] [--wait MS] VERB "
           "[ARGS...]\n\n"
           "Options:\n"
           "  --db PATH   element database (default: nms.ini beside the program when\n"
           "              it may write there and is not installed under /usr or /opt,\n"
           "              else in the user's data folder; now\n"
           "              "
        << defaultDatabasePath()
        << ")\n"
           "  --nms ADDR  local address to send SNMP from (default: the saved NMS\n"
           "              interface of the desktop program, then 127.0.0.1)\n"
           "  --port P    UDP port of the SNMP agents (default 161;\n"
           "              e.g. a simulator on a high port without root)\n"
           "  --wait MS   discover, remote-save and level: how long replies are awaited\n"
           "              (default 3000)\n"
           "  -v, --verbose\n"
           "              every SNMP and remote-protocol datagram sent and received, to\n"
           "              standard error: a summary line (and why a received one was\n"
           "              ignored) and the bytes in hex\n"
           "  --help      this text\n\n"
           "Verbs:\n";
    for (const Verb& v : kVerbs) {
        out << "  " << v.name;
        if (*v.usage)
            out << ' ' << v.usage;
        out << "\n      " << v.summary << "\n";
    }
}

QString defaultNmsAddress()
{
    const QString saved = UserSettings().nmsIpAddress();
    if (saved.isEmpty() || saved == QLatin1String("0.0.0.0") || !isValidIPAddress(saved))
        return QStringLiteral("127.0.0.1");
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    QString dbPath;
    QString nms;
    quint16 agentPort = 161;
    int remoteWaitMs = 0;
    bool verbose = false;
    while (!args.isEmpty() && args.first().startsWith(QLatin1Char('-'))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("-v") || opt == QLatin1String("--verbose")) {
            verbose = true;
            continue;
        }
        if (opt == QLatin1String("--help")) {
            printHelp(out);
            return 0;
        }
        if ((opt == QLatin1String("--db") || opt == QLatin1String("--nms")) && !args.isEmpty()) {
            const bool db = opt == QLatin1String("--db");
            (db ? dbPath : nms) = args.takeFirst();
            if (db && dbPath.isEmpty()) {
                err << "orvalink-cli: --db needs the path of an element database\n";
                return 2;
            }
            continue;
        }
        if (opt == QLatin1String("--port") && !args.isEmpty()) {
            bool ok = false;
            const uint port = args.takeFirst().toUInt(&ok);
            if (!ok || port == 0 || port > 65535) {
                err << "orvalink-cli: --port needs a UDP port from 1 to 65535\n";
                return 2;
            }
            agentPort = quint16(port);
            continue;
        }
        if (opt == QLatin1String("--wait") && !args.isEmpty()) {
            bool ok = false;
            const int ms = args.takeFirst().toInt(&ok);
            if (!ok || ms < 1 || ms > 600000) {
                err << "orvalink-cli: --wait needs milliseconds from 1 to 600000\n";
                return 2;
            }
            remoteWaitMs = ms;
            continue;
        }
        err << "orvalink-cli: unknown or incomplete option " << opt << " (see --help)\n";
        return 2;
    }
    if (args.isEmpty()) {
        printHelp(err);
        return 2;
    }
    const QString verbName = args.takeFirst();
    for (const Verb& v : kVerbs) {
        if (verbName == QLatin1String(v.name)) {
            if (dbPath.isEmpty()) {
                const DatabaseLocation location = defaultDatabaseLocation();
                dbPath = location.path;
                // The database has just moved from beside the program.
                if (!location.notice.isEmpty())
                    err << "orvalink-cli: " << printable(location.notice) << "\n";
            }
            // What a write killed halfway left beside the database.
            IniStore::removeStaleTemporaries(dbPath);
            if (nms.isEmpty())
                nms = defaultNmsAddress();
            const Context ctx{dbPath, nms, out, err, agentPort, remoteWaitMs, verbose};
            return v.run(ctx, args);
        }
    }
    err << "orvalink-cli: unknown verb " << verbName << " (see --help)\n";
    return 2;
}
