// orvalink-cli: the element database and the devices from a shell, through
// the same core code as the desktop program.

#include "Cli.h"

#include "core/UserSettings.h"
#include "store/ElementDatabase.h"

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
     "does: reads every parameter with the read COMMUNITY (default \"morqubit\"), writes each "
     "value into the element's section as it arrives, decides its role and prints each status "
     "line. Exit 0 on \"Status: Finished with SUCCESS!\", 1 otherwise.",
     verbProbe},
    {"stats", "MAC | --all [--prometheus [--output FILE]]",
     "Reads the counters the Statistics window reads (by the element's stored role and sfn) "
     "and prints one line per counter: its caption and value, \"ERROR\" for no value. With "
     "--all, every element of the database, read several at a time, each after a line "
     "\"NAME [MAC]\". --prometheus prints the Prometheus text format instead (one metric "
     "family per counter, orvalink_up per element, orvalink_scrape_duration_seconds); --output "
     "writes it to FILE in one step, for node_exporter's textfile collector. Exit 0 when every "
     "counter was read, 1 otherwise.",
     verbStats},
    {"sfn", "MAC [--set NS]",
     "For a DECODER with the SFN option: prints the measured network latency (minimum, "
     "maximum, average), the latency sums and the additional delay as the SFN Adjustment "
     "window does. --set NS sets the delay NS (a multiple of 100 from 0 to 2500000) as its "
     "\"&Set\" does and stores what the element echoed. Exit 0 when all was read or the "
     "delay was applied, 1 otherwise.",
     verbSfn},
};

void printHelp(QTextStream& out)
{
    out << "Usage: orvalink-cli [--db PATH] [--nms ADDR] [--port P] VERB [ARGS...]\n\n"
           "Options:\n"
           "  --db PATH   element database (default: nms.ini beside the program)\n"
           "  --nms ADDR  local address to send SNMP from (default: the saved NMS\n"
           "              interface of the desktop program, then 127.0.0.1)\n"
           "  --port P    UDP port of the SNMP agents (default 161;\n"
           "              e.g. a simulator on a high port without root)\n"
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
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--help")) {
            printHelp(out);
            return 0;
        }
        if ((opt == QLatin1String("--db") || opt == QLatin1String("--nms")) && !args.isEmpty()) {
            (opt == QLatin1String("--db") ? dbPath : nms) = args.takeFirst();
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
            if (dbPath.isEmpty())
                dbPath = defaultDatabasePath();
            if (nms.isEmpty())
                nms = defaultNmsAddress();
            const Context ctx{dbPath, nms, out, err, agentPort};
            return v.run(ctx, args);
        }
    }
    err << "orvalink-cli: unknown verb " << verbName << " (see --help)\n";
    return 2;
}
