// history: the changes an element confirmed, from the event log.

#include "Cli.h"

#include "store/EventLog.h"

namespace orvalink::cli {

namespace {

int run(const Context& ctx, const VerbArgs& parsed)
{
    const QStringList& args = parsed.arguments();
    if (EventLog::macDigits(args.first()).isEmpty())
        return usageError(ctx, QStringLiteral("\"%1\" is not a MAC address like 2E:8B:F2:00:0A:1B")
                                   .arg(printable(args.first())));
    const EventLog log(EventLog::pathFor(ctx.dbPath));
    QString error;
    for (const Event& e : log.read({}, args.first(), &error)) {
        if (e.isSet() && e.outcome == QLatin1String("ok"))
            ctx.out << eventLine(e) << "\n";
    }
    if (!error.isEmpty()) {
        ctx.err << "orvalink-cli: history: " << printable(error) << "\n";
        return 1;
    }
    return 0;
}

} // namespace

const Verb kHistoryVerb{
    "history",
    "MAC",
    "Prints the changes the element confirmed (every SET of apply, restore, set, sfn and the "
    "desktop program, from the event log), oldest first, one a line as events prints them. Exit "
    "0, or 1 when a file of the log is there but cannot be read (a pipe, a folder).",
    {},
    1,
    1,
    run};

} // namespace orvalink::cli
