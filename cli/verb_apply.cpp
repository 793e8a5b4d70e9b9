// apply: "Save changes" of the desktop program from a shell, through the
// same core operation as the frmSendSNMP window; and the same values to
// many elements (--where, --macs, --all), each with the apply order, echo
// check, spacing and storing rules of "Save changes", the elements side by
// side on one multi-element sweep.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "core/StartMode.h"
#include "devops/ApplyOperation.h"
#include "devops/ElementView.h"
#include "devops/OperationEvents.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    kYesOption,
    kSpacingOption,
    kEditionOption,
    {"where", "role=decoder|role=encoder", "the elements of one role"},
    {"macs", "FILE",
     "the elements whose MACs FILE lists, one a line (# starts a comment): a regular file or a "
     "pipe of at most 16 MB and 1000000 lines that names at least one element"},
    {"all", nullptr, "every element of the database"},
    {"parallel", "N",
     "with --where, --macs or --all: up to N elements at the same time "
     "(default 64)",
     "a number", 1, 256},
};

// Boxes with only an OK button (failures, the result report) are lines of
// the run's output; questions go to the terminal.
class ApplyPrompt : public Prompt {
public:
    ApplyPrompt(QTextStream& out, TerminalPrompt& terminal) : m_out(out), m_terminal(terminal) {}
    PromptAnswer ask(const PromptRequest& request) override
    {
        if (request.buttons != PromptButtons::Ok)
            return m_terminal.ask(request);
        QString text = request.text;
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        m_out << printable(text, true) << "\n";
        m_out.flush();
        return PromptAnswer::Ok;
    }

private:
    QTextStream& m_out;
    TerminalPrompt& m_terminal;
};

// One element, as "Save changes" sends to it.
int applyOne(const Context& ctx, const QStringList& args, const ChangeOptions& options)
{
    if (args.size() < 2)
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(kApplyVerb));

    // A failed write is told by the operation itself, with what the element did.
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    FoundElement element;
    ShownElement shown;
    if (!findShown(ctx, database, args.at(0), &element, &shown) ||
        !hasStoredAgent(ctx, database, element))
        return kExitUsage;

    // The values as the panel's editors would take them.
    const int bufferMaximum = startModeFor(options.edition).bufferMaximum;
    EditedValues values;
    QStringList keys;
    for (const QString& pair : args.mid(1)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString key = eq > 0 ? pair.left(eq).toLower() : QString();
        QString error =
            eq > 0 ? ApplyOperation::takeValue(values, key, pair.mid(eq + 1), bufferMaximum)
                   : QStringLiteral("\"%1\" is not KEY=VALUE").arg(pair);
        if (error.isEmpty() && keys.contains(key))
            error = QStringLiteral("%1 is given twice").arg(key);
        if (error.isEmpty() && (key == QLatin1String("multi") || key == QLatin1String("remote")) &&
            (keys.contains(QLatin1String("multi")) || keys.contains(QLatin1String("remote"))))
            error = QStringLiteral("multi and remote are the same field; give one");
        if (!error.isEmpty())
            return usageError(ctx, printable(error));
        keys << key;
    }
    // Each key must be one that an apply sends for this element: its role,
    // and for the destination its TX type (given here, else stored).
    StepContext context;
    context.role = roleFromText(database.read(shown.section, QStringLiteral("role")));
    bool txOk = false;
    context.tx =
        values.tx
            ? *values.tx
            : database.read(shown.section, QStringLiteral("tx"), QStringLiteral("0")).toInt(&txOk);
    if (!values.tx && !txOk)
        context.tx = -1;
    for (const QString& key : keys) {
        bool sent = false;
        for (const OperationStep& s : applySteps())
            sent = sent || (key == QLatin1String(s.key) && conditionHolds(s.when, context));
        if (!sent)
            return usageError(ctx, QStringLiteral("%1 is not sent to this element (role %2, tx %3)")
                                       .arg(key, shown.roleCaption)
                                       .arg(context.tx));
    }
    const QString reason = ApplyOperation::checkEdits(shown, values, database);
    if (!reason.isEmpty())
        return usageError(ctx, printable(reason) + QStringLiteral(" Cannot save."));

    TerminalPrompt terminal(ctx.err, options.assumeYes);
    ApplyPrompt prompt(ctx.out, terminal);
    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    if (QString why; !openSnmpSocket(ctx, snmp, &why)) {
        postOutcome(ctx, elementEvent(QStringLiteral("apply"), element), QStringLiteral("failed"),
                    why);
        return kExitSocketFailure;
    }
    Timings timings;
    timings.snmpSetAllowedMs = options.spacingMs;
    ApplyOperation apply(snmp, database, prompt, timings);

    const QList<ApplyOperation::Difference> pending = apply.pending(shown, values);
    for (const ApplyOperation::Difference& d : pending)
        ctx.out << "would send " << d.key << " (parameter " << d.n << "): " << word(d.stored)
                << " -> " << word(d.other) << "\n";
    ctx.out.flush();
    // The agent at the stored address must be this element: a stale
    // address may be another element's now.
    if (QString why;
        !pending.isEmpty() && identify(snmp, database, element, &why) != Identity::Same) {
        ctx.err << "orvalink-cli: apply: " << printable(why) << "; nothing sent\n";
        postOutcome(ctx, elementEvent(QStringLiteral("apply"), element), QStringLiteral("failed"),
                    why);
        return 1;
    }
    if (!pending.isEmpty() && !apply.confirm()) {
        ctx.err << "orvalink-cli: apply: nothing sent\n";
        postOutcome(ctx, elementEvent(QStringLiteral("apply"), element),
                    QStringLiteral("cancelled"), QStringLiteral("not confirmed; nothing sent"));
        return 1;
    }

    QObject::connect(&apply, &ApplyOperation::stepSent, &apply,
                     [&ctx](const QString& key, const QString& value) {
                         ctx.out << "sent " << key << ' ' << word(value) << "\n";
                         ctx.out.flush();
                     });
    QObject::connect(&apply, &ApplyOperation::stepConfirmed, &apply,
                     [&ctx](const QString& key, const QString& value) {
                         ctx.out << "confirmed " << key << ' ' << word(value) << "\n";
                         ctx.out.flush();
                     });
    const SilenceWatch silence(snmp);
    ApplyEvents events(apply, operationEvents(ctx, elementEvent(QStringLiteral("apply"), element)),
                       pending, &silence);
    const ApplyOperation::Result result = apply.run(shown, values);
    switch (result) {
    case ApplyOperation::Result::AllApplied:
    case ApplyOperation::Result::NothingToApply:
        return 0;
    case ApplyOperation::Result::NotSent:
        ctx.err << "orvalink-cli: " << printable(apply.failure()) << "\n";
        return kExitSocketFailure;
    default:
        // StoreFailed has told its sentence as the run's last line.
        return 1;
    }
}

// Many elements (--where, --macs, --all), side by side on one
// multi-element sweep.
int applyMany(const Context& ctx, const VerbArgs& args, const ChangeOptions& options)
{
    const QStringList& pairs = args.arguments();
    const bool all = args.isSet("all");
    const QString where = args.value("where");
    const QString macsFile = args.value("macs");
    const int parallel = int(args.number("parallel", 64));
    if (int(all) + int(!where.isEmpty()) + int(!macsFile.isEmpty()) != 1 || pairs.isEmpty())
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(kApplyVerb));
    ElementRole onlyRole = ElementRole::Unknown;
    if (!where.isEmpty()) {
        const QString w = where.toLower();
        if (w == QLatin1String("role=decoder"))
            onlyRole = ElementRole::Decoder;
        else if (w == QLatin1String("role=encoder"))
            onlyRole = ElementRole::Encoder;
        else
            return usageError(
                ctx, QStringLiteral("--where takes role=decoder or role=encoder, not \"%1\"")
                         .arg(printable(where)));
    }
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    // A list that names no element selects none, never all of them.
    QStringList macs;
    if (!macsFile.isEmpty() && !readMacList(ctx, macsFile, &macs))
        return kExitUsage;
    QList<ElementEntry> elements;
    if (!selectElements(ctx, database, macs, macsFile.isEmpty(), &elements))
        return kExitUsage;
    if (onlyRole != ElementRole::Unknown) {
        QList<ElementEntry> kept;
        for (const ElementEntry& e : elements) {
            if (roleFromText(database.read(e.section, QStringLiteral("role"))) == onlyRole)
                kept.append(e);
        }
        elements = kept;
    }
    if (elements.isEmpty())
        return usageError(ctx, QStringLiteral("no element is selected"));

    // The values, checked once as the panel's editors check them.
    EditedValues values;
    QStringList keys;
    if (const QString error =
            configtransfer::takePairs(pairs, elements.size(), options.edition, &values, &keys);
        !error.isEmpty())
        return usageError(ctx, printable(error));

    // Every element must take every key: nothing is sent otherwise.
    configtransfer::BulkPlan plan = configtransfer::bulkPlan(database, elements, values, keys);
    const QStringList& refused = plan.refused;
    QStringList nothing;
    for (const QString& n : plan.nothing)
        nothing << printable(n);
    for (qsizetype i = 0; i < plan.jobs.size(); ++i) {
        const ConfigJob& job = plan.jobs.at(i);
        ctx.out << "would send to " << elementLabel(job.name, job.mac) << ":";
        for (const ApplyOperation::Difference& d : plan.pending.at(i))
            ctx.out << ' ' << d.key << ' ' << word(d.stored) << " -> " << word(d.other) << ';';
        ctx.out << "\n";
    }
    ctx.out.flush();
    if (!refused.isEmpty()) {
        for (const QString& r : refused)
            usageError(ctx, printable(r));
        return usageError(ctx, QStringLiteral("nothing sent"));
    }
    for (const QString& n : nothing)
        ctx.out << n << ": nothing to apply\n";
    if (plan.jobs.isEmpty()) {
        ctx.out << "total: " << elements.size() << " elements, 0 to change\n";
        return 0;
    }
    TerminalPrompt terminal(ctx.err, options.assumeYes);
    if (!terminal.confirmSending(QStringLiteral("This configuration will be sent to %1 Network "
                                                "Elements and will also be saved to local "
                                                "database in your computer. Are you sure?")
                                     .arg(plan.jobs.size()))) {
        ctx.err << "orvalink-cli: apply: nothing sent\n";
        return 1;
    }

    Timings timings;
    timings.snmpSetAllowedMs = options.spacingMs;
    ConfigSweep sweep{timings};
    prepareSweep(ctx, sweep);
    sweep.setElementsInFlight(parallel);
    auto eventOf = [](const ConfigJob& j) {
        FoundElement f;
        f.mac = j.mac;
        f.name = j.name;
        f.host = j.host;
        return elementEvent(QStringLiteral("apply"), f);
    };
    int allConfirmed = 0;
    int failed = 0;
    configtransfer::BulkHooks hooks;
    hooks.confirmed = [&](const ConfigJob& j, const QString& key, const QString& was,
                          const QString& now) { postConfirmedSet(ctx, eventOf(j), key, was, now); };
    hooks.finished = [&](const ConfigJob& j, const configtransfer::BulkElementResult& r) {
        (r.ok ? allConfirmed : failed)++;
        ctx.out << elementLabel(j.name, j.mac) << ": " << r.confirmed << " of " << r.wanted
                << " confirmed";
        if (!r.causes.isEmpty())
            ctx.out << " (" << printable(r.causes.join(QStringLiteral("; "))) << ")";
        ctx.out << "\n";
        ctx.out.flush();
        postOutcome(ctx, eventOf(j), r.ok ? QStringLiteral("ok") : QStringLiteral("failed"),
                    r.ok ? QStringLiteral("%1 value(s) confirmed").arg(r.confirmed)
                         : r.causes.join(QStringLiteral("; ")));
    };
    if (!configtransfer::runBulk(sweep, database, plan, hooks)) {
        ctx.err << "orvalink-cli: apply: " << printable(sweep.error()) << "\n";
        return kExitSocketFailure;
    }
    ctx.out << "total: " << elements.size() << " elements, " << allConfirmed << " all confirmed, "
            << failed << " failed, " << nothing.size() << " nothing to apply\n";
    return failed == 0 ? 0 : 1;
}

int run(const Context& ctx, const VerbArgs& args)
{
    ChangeOptions options;
    if (!takeChangeOptions(ctx, args, &options))
        return kExitUsage;
    if (args.isSet("all") || args.isSet("where") || args.isSet("macs"))
        return applyMany(ctx, args, options);
    if (args.isSet("parallel"))
        return usageError(ctx, QStringLiteral("--parallel is for --where, --macs and --all"));
    return applyOne(ctx, args.arguments(), options);
}

} // namespace

const Verb kApplyVerb{
    "apply",
    "MAC | --where role=decoder|role=encoder | --macs FILE | --all KEY=VALUE... [--yes] "
    "[--spacing-ms N] [--parallel N] [--edition GPS|LL]",
    "Sends new values to the element as the desktop program's \"Save changes\" does. KEYs are "
    "the keys of nms.ini that an apply sends (name ip mask gw input type tx multi remote sfn llo "
    "att buf sdl sdt sdm), VALUEs in their stored form, checked as the panel's fields check them "
    "(--edition: the buffer range of the GPS or LL edition). Only values that differ from the "
    "database are sent, one SET each; only values the element echoes are stored. Prints what it "
    "would send and asks first, unless --yes; then one line per step and the result. "
    "--spacing-ms N replaces the 6000 ms the devices need between two SETs; it is meant for "
    "simulators only. Before the first SET the element's MAC is read at its stored address: "
    "another element there (\"the element at HOST is MAC, not MAC\") or none is that element's "
    "failure, and nothing is sent to it; an element stored without an SNMP address is refused "
    "(exit 2). A value the element took but the database could not store ends the run "
    "with that sentence. Exit 0 when every value sent was confirmed and stored, 3 when the SNMP "
    "port (2979 on --nms) cannot be opened (nothing is sent), 1 otherwise. The bulk forms send "
    "the same values to many elements: those of a role (--where), those whose MACs FILE lists "
    "(one a line, # for comments; a regular file or a pipe of at most 16 MB and 1000000 lines; a "
    "list that names no element is refused) or all of them. Every element must take every KEY "
    "and none may get ip, or nothing is sent. Each element's SETs keep the spacing, but up to N "
    "elements (--parallel, default 64) run at the same time, and one that fails never stops the "
    "others. Prints what each would get and asks once, unless --yes; then one line per element "
    "as it ends (\"NAME [MAC]: 2 of 2 confirmed\", with the causes of what was not) and a "
    "total. Exit 0 when every element confirmed every value, 1 otherwise.",
    kOptions,
    1,
    -1,
    run};

} // namespace orvalink::cli
