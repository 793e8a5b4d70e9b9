// The bulk forms of apply (--where, --macs, --all): the same values to many
// elements, each with the apply order, echo check, spacing and storing rules
// of "Save changes", the elements side by side on one multi-element sweep.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "config/ConfigDrift.h"
#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "devops/ApplyOperation.h"
#include "devops/OperationEvents.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

int verbApplyBulk(const Context& ctx, const QStringList& argsIn)
{
    QStringList pairs;
    ChangeOptions options;
    bool all = false;
    QString where;
    QString macsFile;
    int parallel = 64;
    for (qsizetype i = 0; i < argsIn.size(); ++i) {
        const OptionTaken taken = takeChangeOption(ctx, "apply", argsIn, &i, &options);
        if (taken == OptionTaken::Refused)
            return kExitUsage;
        if (taken == OptionTaken::Yes)
            continue;
        const QString& a = argsIn.at(i);
        const bool hasValue = i + 1 < argsIn.size();
        bool ok = true;
        if (a == QLatin1String("--all")) {
            all = true;
        } else if (a == QLatin1String("--where") && hasValue) {
            where = argsIn.at(++i);
        } else if (a == QLatin1String("--macs") && hasValue) {
            macsFile = argsIn.at(++i);
        } else if (a == QLatin1String("--parallel") && hasValue) {
            parallel = argsIn.at(++i).toInt(&ok);
            if (!ok || parallel < 1 || parallel > 256) {
                ctx.err << "orvalink-cli: apply: --parallel needs a number from 1 to 256\n";
                return kExitUsage;
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            ctx.err << "orvalink-cli: apply: unknown or incomplete option " << printable(a) << "\n";
            return kExitUsage;
        } else {
            pairs << a;
        }
    }
    if (int(all) + int(!where.isEmpty()) + int(!macsFile.isEmpty()) != 1 || pairs.isEmpty()) {
        ctx.err << "orvalink-cli: usage: apply --where role=decoder|encoder | --macs FILE | --all "
                   "KEY=VALUE... [--yes] [--spacing-ms N] [--parallel N] [--edition GPS|LL]\n";
        return kExitUsage;
    }
    ElementRole onlyRole = ElementRole::Unknown;
    if (!where.isEmpty()) {
        const QString w = where.toLower();
        if (w == QLatin1String("role=decoder"))
            onlyRole = ElementRole::Decoder;
        else if (w == QLatin1String("role=encoder"))
            onlyRole = ElementRole::Encoder;
        else {
            ctx.err << "orvalink-cli: apply: --where takes role=decoder or role=encoder, not \""
                    << printable(where) << "\"\n";
            return kExitUsage;
        }
    }
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "apply", database))
        return 1;
    // A list that names no element selects none, never all of them.
    QStringList macs;
    if (!macsFile.isEmpty() && !readMacList(ctx, "apply", macsFile, &macs))
        return kExitUsage;
    QList<ElementEntry> elements;
    if (!selectElements(ctx, "apply", database, macs, macsFile.isEmpty(), &elements))
        return kExitUsage;
    if (onlyRole != ElementRole::Unknown) {
        QList<ElementEntry> kept;
        for (const ElementEntry& e : elements) {
            if (roleFromText(database.read(e.section, QStringLiteral("role"))) == onlyRole)
                kept.append(e);
        }
        elements = kept;
    }
    if (elements.isEmpty()) {
        ctx.err << "orvalink-cli: apply: no element is selected\n";
        return kExitUsage;
    }

    // The values, checked once as the panel's editors check them.
    EditedValues values;
    QStringList keys;
    if (const QString error =
            configtransfer::takePairs(pairs, elements.size(), options.edition, &values, &keys);
        !error.isEmpty()) {
        ctx.err << "orvalink-cli: apply: " << printable(error) << "\n";
        return kExitUsage;
    }

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
            ctx.err << "orvalink-cli: apply: " << printable(r) << "\n";
        ctx.err << "orvalink-cli: apply: nothing sent\n";
        return kExitUsage;
    }
    for (const QString& n : nothing)
        ctx.out << n << ": nothing to apply\n";
    if (plan.jobs.isEmpty()) {
        ctx.out << "total: " << elements.size() << " elements, 0 to change\n";
        return 0;
    }
    TerminalPrompt terminal(ctx.err, options.assumeYes);
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.title = QStringLiteral("Send configuration");
    question.text = QStringLiteral("This configuration will be sent to %1 Network Elements and "
                                   "will also be saved to local database in your computer. Are "
                                   "you sure?")
                        .arg(plan.jobs.size());
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    if (terminal.ask(question) != PromptAnswer::Yes) {
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

} // namespace orvalink::cli
