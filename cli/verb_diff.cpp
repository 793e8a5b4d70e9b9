// diff: an element, or every element, compared with its stored section,
// through the same core code as "Save changes" (one element) and the
// multi-element sweep (--all).

#include "Cli.h"
#include "TerminalPrompt.h"

#include "config/ConfigDrift.h"
#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "devops/ApplyOperation.h"
#include "devops/ElementView.h"
#include "devops/OperationEvents.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"all", nullptr, "every element of the database, read side by side"},
};

// What a diff found, for the event log.
QString differenceCount(const QList<ApplyOperation::Difference>& differences)
{
    QStringList keys;
    for (const ApplyOperation::Difference& d : differences)
        keys << d.key;
    return QStringLiteral("%1 difference(s): %2")
        .arg(differences.size())
        .arg(keys.join(QStringLiteral(", ")));
}

// diff --all: every element of the database, read side by side.
int diffAll(const Context& ctx)
{
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    DriftCheck check = driftCheck(database);
    ConfigSweep sweep{Timings{}};
    prepareSweep(ctx, sweep);
    if (!check.jobs.isEmpty() && !sweep.run(check.jobs)) {
        ctx.err << "orvalink-cli: diff: " << printable(sweep.error()) << "\n";
        return kExitSocketFailure;
    }
    bool silent = false;
    bool differs = false;
    for (qsizetype i = 0; i < check.jobs.size(); ++i) {
        const ConfigJob& job = check.jobs.at(i);
        QString why;
        const auto differences = driftOf(database, check, i, &why);
        if (!differences) {
            // Another element at the stored address differs from it as a
            // whole; its values are not this element's.
            (job.readComplete() ? differs : silent) = true;
            ctx.out << elementLabel(job.name, job.mac) << ": " << printable(why) << "\n";
            continue;
        }
        if (differences->isEmpty())
            continue;
        differs = true;
        ctx.out << elementLabel(job.name, job.mac) << "\n";
        for (const ApplyOperation::Difference& d : *differences)
            ctx.out << "  " << d.key << ' ' << word(d.stored) << ' ' << word(d.other) << "\n";
    }
    return silent ? kExitNoAnswer : differs ? 1 : 0;
}

int run(const Context& ctx, const VerbArgs& args)
{
    if (args.isSet("all") == !args.arguments().isEmpty())
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(kDiffVerb));
    if (args.isSet("all"))
        return diffAll(ctx);
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    FoundElement element;
    ShownElement shown;
    if (!findShown(ctx, database, args.arguments().at(0), &element, &shown) ||
        !hasStoredAgent(ctx, database, element))
        return kExitUsage;
    const Event event = elementEvent(QStringLiteral("diff"), element);
    TerminalPrompt prompt(ctx.err, false);
    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    if (QString why; !openSnmpSocket(ctx, snmp, &why)) {
        postOutcome(ctx, event, QStringLiteral("failed"), why);
        return kExitSocketFailure;
    }
    QString why;
    const Identity who = identify(snmp, database, element, &why);
    if (who == Identity::Other) {
        ctx.err << "orvalink-cli: diff: " << printable(why) << "\n";
        postOutcome(ctx, event, QStringLiteral("failed"), why);
        return 1;
    }
    ApplyOperation apply(snmp, database, prompt, Timings{});
    QList<ApplyOperation::Difference> differences;
    if (who == Identity::Silent || !apply.compareWithDevice(shown.section, &differences)) {
        ctx.err << "orvalink-cli: diff: the element at " << printable(element.host)
                << " does not answer\n";
        postOutcome(ctx, event, QStringLiteral("failed"), noReplyFrom(element.host));
        return kExitNoAnswer;
    }
    for (const ApplyOperation::Difference& d : differences)
        ctx.out << d.key << ' ' << word(d.stored) << ' ' << word(d.other) << "\n";
    if (differences.isEmpty())
        postOutcome(ctx, event, QStringLiteral("ok"), QStringLiteral("clean"));
    else
        postOutcome(ctx, event, QStringLiteral("differs"), differenceCount(differences));
    return differences.isEmpty() ? 0 : 1;
}

} // namespace

const Verb kDiffVerb{
    "diff",
    "MAC | --all",
    "Reads from the element every parameter that an apply sends for its stored role and prints "
    "one line \"KEY STORED DEVICE\" for each that differs from the database (values holding a "
    "blank are quoted). Exit 0 when the element matches the database, 1 when something differs "
    "or another element answers at its address (\"the element at HOST is MAC, not MAC\", its "
    "values not listed), 2 when it does not answer, 3 when the SNMP port (2979 on --nms) cannot "
    "be opened. With --all, every element of the database, read side by side: a line \"NAME "
    "[MAC]\" before the differences of each element that differs (indented), \"NAME [MAC]: no "
    "reply from HOST\" for each that did not answer every parameter, \"NAME [MAC]: the element "
    "at HOST is MAC, not MAC\" for each whose address another element answers at; exit 0 when "
    "none differs, 1 when some differ (or another element answers), 2 when some did not "
    "answer.",
    kOptions,
    0,
    1,
    run};

} // namespace orvalink::cli
