// The bulk forms of apply (--where, --macs, --all): the same values to many
// elements, each with the apply order, echo check, spacing and storing rules
// of "Save changes", the elements side by side on one multi-element sweep.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/Readouts.h"
#include "core/StartMode.h"
#include "devops/ApplyOperation.h"
#include "devops/ConfigDrift.h"
#include "devops/ConfigSweep.h"
#include "devops/OperationEvents.h"
#include "devops/StoreOutcome.h"
#include "snmp/ParameterTable.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QFile>
#include <QHash>

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
    QStringList macs;
    if (!macsFile.isEmpty()) {
        QFile f(macsFile);
        if (!f.open(QIODevice::ReadOnly)) {
            ctx.err << "orvalink-cli: apply: " << printable(macsFile) << ": "
                    << printable(f.errorString()) << "\n";
            return kExitUsage;
        }
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QString line = QString::fromLatin1(raw).trimmed();
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                macs << line;
        }
    }
    QList<ElementEntry> elements;
    if (!selectElements(ctx, "apply", database, macs, macs.isEmpty(), &elements))
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
    const int bufferMaximum = startModeFor(options.edition).bufferMaximum;
    EditedValues values;
    QStringList keys;
    for (const QString& pair : pairs) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString key = eq > 0 ? pair.left(eq).toLower() : QString();
        QString error =
            eq > 0 ? ApplyOperation::takeValue(values, key, pair.mid(eq + 1), bufferMaximum)
                   : QStringLiteral("\"%1\" is not KEY=VALUE").arg(pair);
        if (error.isEmpty() && keys.contains(key))
            error = QStringLiteral("%1 is given twice").arg(key);
        // One address for many elements would put them all on it.
        if (error.isEmpty() && key == QLatin1String("ip") && elements.size() > 1)
            error = QStringLiteral("ip would give %1 elements the same address; set it one "
                                   "element at a time")
                        .arg(elements.size());
        if (!error.isEmpty()) {
            ctx.err << "orvalink-cli: apply: " << printable(error) << "\n";
            return kExitUsage;
        }
        keys << key;
    }

    // Every element must take every key: nothing is sent otherwise.
    QList<ConfigJob> jobs;
    QList<QHash<QString, QString>> before;
    QStringList nothing;
    QStringList refused;
    for (const ElementEntry& e : elements) {
        ShownElement shown;
        shown.section = e.section;
        shown.mac = e.mac;
        shown.roleCaption =
            roleCaption(roleFromText(database.read(e.section, QStringLiteral("role"))));
        StepContext context;
        context.role = roleFromText(database.read(e.section, QStringLiteral("role")));
        context.tx = values.tx
                         ? *values.tx
                         : readouts::storedInteger(
                               database.read(e.section, QStringLiteral("tx"), QStringLiteral("0")))
                               .value_or(-1);
        for (const QString& key : keys) {
            bool sent = false;
            for (const OperationStep& s : applySteps())
                sent = sent || (key == QLatin1String(s.key) && conditionHolds(s.when, context));
            if (!sent)
                refused << QStringLiteral("%1: %2 is not sent to this element (role %3, tx %4)")
                               .arg(elementLabel(e.name, e.mac), key, shown.roleCaption)
                               .arg(context.tx);
        }
        EditedValues checked = values;
        if (const QString reason = ApplyOperation::checkEdits(shown, checked, database);
            !reason.isEmpty())
            refused << elementLabel(e.name, e.mac) + QStringLiteral(": ") + reason;
        ConfigJob job = configJobFor(database, e);
        if (job.host.isEmpty())
            refused << elementLabel(e.name, e.mac) + QStringLiteral(": no SNMP address stored");
        const QList<ApplyOperation::Difference> pending =
            ApplyOperation::pendingFor(database, shown, checked);
        if (pending.isEmpty()) {
            nothing << elementLabel(e.name, e.mac);
            continue;
        }
        QHash<QString, QString> was;
        for (const ApplyOperation::Difference& d : pending)
            was.insert(d.key, d.stored);
        for (const ApplyOperation::Step& s :
             ApplyOperation::selectedSteps(database, shown, checked)) {
            const QString key = QLatin1String(s.entry->key);
            if (!was.contains(key))
                continue;
            ConfigJob::Set set;
            set.n = s.entry->n;
            set.key = key;
            for (const ApplyOperation::Difference& d : pending) {
                if (d.key == key)
                    set.value = d.other;
            }
            set.text = s.text;
            for (const ConfigJob::Set& earlier : job.sets)
                set.onlyIfEarlierFailed |= earlier.key == key;
            job.sets.append(set);
        }
        ctx.out << "would send to " << elementLabel(e.name, e.mac) << ":";
        for (const ApplyOperation::Difference& d : pending)
            ctx.out << ' ' << d.key << ' ' << word(d.stored) << " -> " << word(d.other) << ';';
        ctx.out << "\n";
        jobs.append(job);
        before.append(was);
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
    if (jobs.isEmpty()) {
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
                        .arg(jobs.size());
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
    QHash<QString, QString> storeFailures; // section -> sentence
    QHash<QString, int> indexOf;
    for (qsizetype i = 0; i < jobs.size(); ++i)
        indexOf.insert(jobs.at(i).section, int(i));
    auto eventOf = [](const ConfigJob& j) {
        FoundElement f;
        f.mac = j.mac;
        f.name = j.name;
        f.host = j.host;
        return elementEvent(QStringLiteral("apply"), f);
    };
    sweep.setOnConfirmed([&](ConfigJob& j, const ConfigJob::SetOutcome& o) {
        const QString value = o.key == QLatin1String("name") ? encodeName(o.echo) : o.echo;
        if (!database.write(j.section, o.key, value)) {
            storeFailures.insert(
                j.section,
                notStoredSentence(database,
                                  QStringLiteral("the element took %1=%2").arg(o.key, o.echo)));
            return false;
        }
        postConfirmedSet(ctx, eventOf(j), o.key, before.at(indexOf.value(j.section)).value(o.key),
                         o.echo);
        return true;
    });
    int allConfirmed = 0;
    int failed = 0;
    sweep.setOnFinished([&](const ConfigJob& j) {
        const int wanted = int(before.at(indexOf.value(j.section)).size());
        const int confirmed = j.confirmedCount();
        QStringList causes;
        if (!j.error.isEmpty())
            causes << j.error;
        for (const ConfigJob::SetOutcome& o : j.setOutcomes) {
            if (o.confirmed)
                continue;
            causes << (!o.sent      ? QStringLiteral("%1 not sent").arg(o.key)
                       : o.answered ? QStringLiteral("%1 refused").arg(o.key)
                                    : QStringLiteral("%1: %2").arg(o.key, noReplyFrom(j.host)));
        }
        if (storeFailures.contains(j.section))
            causes << storeFailures.value(j.section);
        const bool ok = causes.isEmpty() && confirmed == wanted;
        (ok ? allConfirmed : failed)++;
        ctx.out << elementLabel(j.name, j.mac) << ": " << confirmed << " of " << wanted
                << " confirmed";
        if (!causes.isEmpty())
            ctx.out << " (" << printable(causes.join(QStringLiteral("; "))) << ")";
        ctx.out << "\n";
        ctx.out.flush();
        postOutcome(ctx, eventOf(j), ok ? QStringLiteral("ok") : QStringLiteral("failed"),
                    ok ? QStringLiteral("%1 value(s) confirmed").arg(confirmed)
                       : causes.join(QStringLiteral("; ")));
    });
    if (!sweep.run(jobs)) {
        ctx.err << "orvalink-cli: apply: " << printable(sweep.error()) << "\n";
        return kExitSocketFailure;
    }
    ctx.out << "total: " << elements.size() << " elements, " << allConfirmed << " all confirmed, "
            << failed << " failed, " << nothing.size() << " nothing to apply\n";
    return failed == 0 ? 0 : 1;
}

} // namespace orvalink::cli
