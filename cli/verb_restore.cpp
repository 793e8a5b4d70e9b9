// restore: a backup put back on its element, through the multi-element
// engine (ConfigSweep) on its own socket, with the apply order, echo check
// and storing rules of "Save changes".

#include "Cli.h"
#include "TerminalPrompt.h"

#include "config/ConfigDrift.h"
#include "config/ConfigFile.h"
#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "core/Readouts.h"
#include "core/Text.h"
#include "devops/ApplyOperation.h"
#include "devops/ElementView.h"
#include "devops/StoreOutcome.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {kYesOption, kSpacingOption, kEditionOption};

int run(const Context& ctx, const VerbArgs& parsed)
{
    const QStringList& args = parsed.arguments();
    ChangeOptions options;
    if (!takeChangeOptions(ctx, parsed, &options))
        return kExitUsage;
    const QString& edition = options.edition;
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    FoundElement element;
    if (!findElement(ctx, database, args.at(0), &element) ||
        !hasStoredAgent(ctx, database, element))
        return kExitUsage;
    const Event event = elementEvent(QStringLiteral("restore"), element);
    const configfile::Backup backup = configfile::readBackup(args.at(1));
    auto refuse = [&](const QString& why) {
        postOutcome(ctx, event, QStringLiteral("failed"), why);
        return usageError(ctx, printable(args.at(1)) + QStringLiteral(": ") + printable(why));
    };
    const ElementRole storedRole = roleFromText(element.role);
    EditedValues values;
    if (const QString why = configtransfer::restoreRefusal(backup, database, element.section,
                                                           storedRole, edition, &values);
        !why.isEmpty())
        return refuse(why);

    // What the element holds now: one full read, which also says its role.
    ConfigSweep sweep{Timings{}};
    prepareSweep(ctx, sweep);
    QList<ConfigJob> jobs;
    ElementEntry entry;
    entry.section = element.section;
    entry.mac = element.mac;
    entry.name = element.name;
    jobs.append(configJobFor(database, entry));
    jobs.first().reads = configtransfer::probeReads();
    if (!sweep.run(jobs)) {
        ctx.err << "orvalink-cli: restore: " << printable(sweep.error()) << "\n";
        postOutcome(ctx, event, QStringLiteral("failed"), sweep.error());
        return kExitSocketFailure;
    }
    QList<QPair<QString, QString>> deviceList;
    ElementRole deviceRole = ElementRole::Unknown;
    QString why;
    if (!configtransfer::deviceKeys(jobs.first(), &deviceList, &deviceRole, &why)) {
        ctx.err << "orvalink-cli: restore: " << elementLabel(element.name, element.mac) << ": "
                << printable(why) << "\n";
        postOutcome(ctx, event, QStringLiteral("failed"), why);
        return 1;
    }
    if (const QString refusal = configtransfer::deviceRoleRefusal(backup, deviceRole);
        !refusal.isEmpty())
        return refuse(refusal);
    QHash<QString, QString> device;
    for (const auto& [k, v] : deviceList)
        device.insert(k, v);

    // The differences, in the apply order; keys the element already holds
    // as the file does are stored if the database differs.
    const bool sfn = readouts::storedInteger(backup.keys.value(QStringLiteral("sfn"))) == 1;
    ShownElement shown;
    shown.section = element.section;
    shown.mac = element.mac;
    shown.roleCaption = roleCaption(storedRole);
    const configtransfer::RestorePlan plan =
        configtransfer::restorePlan(database, shown, values, backup, device);
    const QList<QPair<QString, QString>>& matching = plan.matching;
    const QHash<QString, QString>& before = plan.before;
    ConfigJob job = jobs.first();
    job.reads.clear();
    job.sets = plan.sets;
    for (const configtransfer::RestoreChange& c : plan.changes)
        ctx.out << c.key << ": " << printable(configfile::readable(c.key, c.device, edition, sfn))
                << " (" << word(c.device) << ") -> "
                << printable(configfile::readable(c.key, c.file, edition, sfn)) << " ("
                << word(c.file) << ")\n";
    ctx.out.flush();
    if (!matching.isEmpty() && !database.writeKeys(element.section, matching)) {
        ctx.err << "orvalink-cli: restore: "
                << printable(notStoredSentence(database, QStringLiteral("the element holds what "
                                                                        "the file holds")))
                << "\n";
        postOutcome(ctx, event, QStringLiteral("failed"), database.lastError());
        return 1;
    }
    if (job.sets.isEmpty()) {
        ctx.out << "No changes found. Nothing to apply.\n";
        postOutcome(ctx, event, QStringLiteral("ok"), QStringLiteral("nothing to apply"));
        return 0;
    }
    TerminalPrompt terminal(ctx.err, options.assumeYes);
    if (!terminal.confirmSending(
            QStringLiteral("These %1 changes will be sent to %2. Are you sure?")
                .arg(before.size())
                .arg(elementLabel(element.name, element.mac)))) {
        ctx.err << "orvalink-cli: restore: nothing sent\n";
        postOutcome(ctx, event, QStringLiteral("cancelled"),
                    QStringLiteral("not confirmed; nothing sent"));
        return 1;
    }

    // The same socket as the read: port 2979 is bound once per run.
    ConfigSweep& apply = sweep;
    apply.setSpacingMs(options.spacingMs);
    QString storeFailure;
    apply.setOnConfirmed([&](ConfigJob& j, const ConfigJob::SetOutcome& o) {
        const QString value = o.key == QLatin1String("name") ? Encode_Name(o.echo) : o.echo;
        if (!database.write(j.section, o.key, value)) {
            storeFailure = notStoredSentence(
                database, QStringLiteral("the element took %1=%2").arg(o.key, o.echo));
            return false;
        }
        postConfirmedSet(ctx, event, o.key, before.value(o.key), o.echo);
        ctx.out << "confirmed " << o.key << ' ' << word(o.echo) << "\n";
        ctx.out.flush();
        return true;
    });
    QList<ConfigJob> applyJobs{job};
    if (!apply.run(applyJobs)) {
        ctx.err << "orvalink-cli: restore: " << printable(apply.error()) << "\n";
        postOutcome(ctx, event, QStringLiteral("failed"), apply.error());
        return kExitSocketFailure;
    }
    const ConfigJob& done = applyJobs.first();
    QStringList failures;
    for (const ConfigJob::SetOutcome& o : done.setOutcomes) {
        if (!o.confirmed)
            failures << (o.answered ? QStringLiteral("%1 not confirmed").arg(o.key)
                                    : QStringLiteral("%1: %2").arg(o.key, noReplyFrom(done.host)));
    }
    if (!storeFailure.isEmpty())
        failures << storeFailure;
    const int confirmed = done.confirmedCount();
    ctx.out << confirmed << " of " << before.size() << " changes confirmed\n";
    if (failures.isEmpty() && confirmed == before.size()) {
        postOutcome(ctx, event, QStringLiteral("ok"),
                    QStringLiteral("%1 value(s) confirmed").arg(confirmed));
        return 0;
    }
    for (const QString& f : failures)
        ctx.err << "orvalink-cli: restore: " << printable(f) << "\n";
    postOutcome(ctx, event, QStringLiteral("failed"), failures.join(QStringLiteral("; ")));
    return 1;
}

} // namespace

const Verb kRestoreVerb{
    "restore",
    "MAC FILE [--yes] [--spacing-ms N] [--edition GPS|LL]",
    "Puts a backup back: reads the element, prints each value that differs from FILE as \"KEY: "
    "DEVICE (value) -> FILE (value)\" with units where the panel shows them, asks unless --yes, "
    "then sends the differences in the apply order with the spacing (--spacing-ms as for apply) "
    "and stores only what the element echoed; values it already holds as FILE does are stored "
    "too. FILE of another element, of another role than the element's stored one or the one it "
    "answers as, or read in another edition than --edition (plain without it), and values the "
    "panel's fields would refuse, are refused before anything is sent (exit 2). Exit 0 when "
    "every change was confirmed and stored, 1 otherwise, 3 when the SNMP port cannot be opened.",
    kOptions,
    2,
    2,
    run};

} // namespace orvalink::cli
