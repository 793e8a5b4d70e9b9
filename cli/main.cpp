// orvalink-cli: the element database and the devices from a shell, through
// the same core code as the desktop program.

#include "Cli.h"

#include "core/UserSettings.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCoreApplication>

using namespace orvalink;
using namespace orvalink::cli;

namespace {

// In the order of --help and of the manual page.
const Verb* const kVerbs[] = {
    &kListVerb,    &kGetVerb,     &kSetVerb,      &kProbeVerb,      &kPingVerb,
    &kArpVerb,     &kLevelVerb,   &kDiffVerb,     &kApplyVerb,      &kBackupVerb,
    &kRestoreVerb, &kHistoryVerb, &kDiscoverVerb, &kRemoteSaveVerb, &kStatsVerb,
    &kSfnVerb,     &kEventsVerb,  &kTrapsVerb,    &kMonitorVerb,
};

// The options of orvalink-cli itself, before the verb.
constexpr VerbOption kProgramOptions[] = {
    {"db", "PATH",
     "element database (default: nms.ini beside the program when it may write there and is not "
     "installed under /usr or /opt, else in the user's data folder; the one in use now is named "
     "below)"},
    {"nms", "ADDR",
     "local address to send SNMP from (default: the saved NMS interface of the desktop program, "
     "then 127.0.0.1)"},
    {"port", "P",
     "UDP port of the SNMP agents (default 161; e.g. a simulator on a high port without root)",
     "a UDP port", 1, 65535},
    {"wait", "MS", "discover, remote-save and level: how long replies are awaited (default 3000)",
     "milliseconds", 1, 600000},
    {"verbose", nullptr,
     "every SNMP and remote-protocol datagram sent and received, to standard error: a summary "
     "line (and why a received one was ignored) and the bytes in hex",
     nullptr, 0, 0, 'v'},
};

void printHelp(QTextStream& out)
{
    out << "Usage: orvalink-cli [-v] [--db PATH] [--nms ADDR] [--port P] [--wait MS] VERB "
           "[ARGS...]\n\n"
           "Options:\n";
    printOptions(out, kProgramOptions);
    out << "  --help\n"
           "      this text; orvalink-cli VERB --help: the verb's usage and options\n"
           "The element database now: "
        << defaultDatabasePath() << "\n\nVerbs:\n";
    for (const Verb* v : kVerbs)
        printVerbSummary(out, *v);
}

QString defaultNmsAddress()
{
    const QString saved = UserSettings().nmsIpAddress();
    if (saved.isEmpty() || saved == QLatin1String("0.0.0.0") || !IsValidIPAddress(saved))
        return QStringLiteral("127.0.0.1");
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    VerbArgs program;
    QString error;
    if (!program.parse(kProgramOptions, app.arguments().mid(1), true, &error))
        return usageError(err, nullptr, error + QStringLiteral(" (see --help)"));
    if (program.helpAsked()) {
        printHelp(out);
        return 0;
    }
    QStringList args = program.arguments();
    if (args.isEmpty()) {
        printHelp(err);
        return kExitUsage;
    }
    QString dbPath = program.value("db");
    if (program.isSet("db") && dbPath.isEmpty())
        return usageError(err, nullptr,
                          QStringLiteral("--db needs the path of an element database"));
    const QString verbName = args.takeFirst();
    for (const Verb* v : kVerbs) {
        if (verbName != QLatin1String(v->name))
            continue;
        QString nms = program.value("nms");
        // Every verb sends from --nms, or binds it: a word that is no
        // address is a usage error before anything else.
        if (program.isSet("nms") && !IsValidIPAddress(nms))
            return usageError(
                err, v->name,
                QStringLiteral("--nms \"%1\" is not a dotted IPv4 address").arg(printable(nms)));
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
        const Context ctx{dbPath,
                          nms,
                          out,
                          err,
                          quint16(program.number("port", 161)),
                          int(program.number("wait", 0)),
                          program.isSet("verbose"),
                          v};
        return runVerb(ctx, args);
    }
    return usageError(err, nullptr,
                      QStringLiteral("unknown verb %1 (see --help)").arg(printable(verbName)));
}
