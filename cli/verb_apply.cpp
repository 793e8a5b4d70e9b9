// apply and diff: "Save changes" of the desktop program from a shell, and the
// comparison of an element with its stored section, through the same core
// operation as the frmSendSNMP window.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/StartMode.h"
#include "devops/ApplyOperation.h"
#include "devops/OperationEvents.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

// The element named on the command line, as the operation sees it.
bool findShown(const Context& ctx, const char* verb, const Database& database,
               const QString& macText, FoundElement* found, ShownElement* shown)
{
    if (!findElement(ctx, verb, database, macText, found))
        return false;
    shown->section = found->section;
    shown->mac = found->mac;
    shown->roleCaption = roleCaption(roleFromText(found->role));
    return true;
}

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
} // namespace

int verbDiff(const Context& ctx, const QStringList& args)
{
    if (args == QStringList{QStringLiteral("--all")})
        return verbDiffAll(ctx);
    if (args.size() != 1) {
        ctx.err << "orvalink-cli: usage: diff MAC | --all\n";
        return 2;
    }
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "diff", database))
        return 1;
    FoundElement element;
    ShownElement shown;
    if (!findShown(ctx, "diff", database, args.at(0), &element, &shown))
        return kExitUsage;
    const Event event = elementEvent(QStringLiteral("diff"), element);
    TerminalPrompt prompt(ctx.err, false);
    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    if (QString why; !openSnmpSocket(ctx, snmp, &why)) {
        postOutcome(ctx, event, QStringLiteral("failed"), why);
        return kExitSocketFailure;
    }
    ApplyOperation apply(snmp, database, prompt, Timings{});
    QList<ApplyOperation::Difference> differences;
    if (!apply.compareWithDevice(shown.section, &differences)) {
        ctx.err << "orvalink-cli: diff: the element at " << printable(element.host)
                << " does not answer\n";
        postOutcome(ctx, event, QStringLiteral("failed"), noReplyFrom(element.host));
        return 2;
    }
    for (const ApplyOperation::Difference& d : differences)
        ctx.out << d.key << ' ' << word(d.stored) << ' ' << word(d.other) << "\n";
    if (differences.isEmpty())
        postOutcome(ctx, event, QStringLiteral("ok"), QStringLiteral("clean"));
    else
        postOutcome(ctx, event, QStringLiteral("differs"), differenceCount(differences));
    return differences.isEmpty() ? 0 : 1;
}

int verbApply(const Context& ctx, const QStringList& argsIn)
{
    for (const QString& a : argsIn) {
        if (a == QLatin1String("--all") || a == QLatin1String("--where") ||
            a == QLatin1String("--macs"))
            return verbApplyBulk(ctx, argsIn);
    }
    QStringList args;
    ChangeOptions options;
    for (qsizetype i = 0; i < argsIn.size(); ++i) {
        const OptionTaken taken = takeChangeOption(ctx, "apply", argsIn, &i, &options);
        if (taken == OptionTaken::Refused)
            return kExitUsage;
        if (taken == OptionTaken::Yes)
            continue;
        const QString& a = argsIn.at(i);
        if (a.startsWith(QLatin1String("--"))) {
            ctx.err << "orvalink-cli: apply: unknown or incomplete option " << printable(a) << "\n";
            return kExitUsage;
        }
        args << a;
    }
    if (args.size() < 2) {
        ctx.err << "orvalink-cli: usage: apply MAC KEY=VALUE... [--yes] [--spacing-ms N] "
                   "[--edition GPS|LL]\n";
        return 2;
    }

    // A failed write is told by the operation itself, with what the element did.
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "apply", database))
        return 1;
    FoundElement element;
    ShownElement shown;
    if (!findShown(ctx, "apply", database, args.at(0), &element, &shown))
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
        if (!error.isEmpty()) {
            ctx.err << "orvalink-cli: apply: " << printable(error) << "\n";
            return 2;
        }
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
        if (!sent) {
            ctx.err << "orvalink-cli: apply: " << key << " is not sent to this element (role "
                    << shown.roleCaption << ", tx " << context.tx << ")\n";
            return 2;
        }
    }
    const QString reason = ApplyOperation::checkEdits(shown, values, database);
    if (!reason.isEmpty()) {
        ctx.err << "orvalink-cli: apply: " << printable(reason) << " Cannot save.\n";
        return 2;
    }

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

} // namespace orvalink::cli
