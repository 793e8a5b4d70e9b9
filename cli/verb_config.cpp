// backup, restore, diff --all and history: the configuration of many
// elements at once, through the multi-element engine (ConfigSweep) on its own
// socket, with the apply order, echo check and storing rules of "Save
// changes" (the bulk forms of apply are in verb_apply_bulk.cpp).

#include "Cli.h"
#include "TerminalPrompt.h"

#include "config/ConfigDrift.h"
#include "config/ConfigFile.h"
#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "core/Readouts.h"
#include "core/Text.h"
#include "devops/ApplyOperation.h"
#include "devops/StoreOutcome.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

#include <QDir>
#include <QFileInfo>

namespace orvalink::cli {

void prepareSweep(const Context& ctx, ConfigSweep& sweep)
{
    sweep.setLocalAddress(ctx.nmsAddress);
    sweep.setPorts(2979, ctx.agentPort);
    sweep.setTap(datagramPrinter(ctx, true));
}

bool selectElements(const Context& ctx, const char* verb, const Database& database,
                    const QStringList& macs, bool all, QList<ElementEntry>* out)
{
    const ElementList list = loadElementList(database.store(), database.path());
    if (all) {
        *out = list.entries;
        return true;
    }
    for (const QString& m : macs) {
        FoundElement found;
        if (!findElement(ctx, verb, database, m, &found))
            return false;
        // An element named twice is done once: two runs on one element
        // would interleave its SETs.
        bool listed = false;
        for (const ElementEntry& e : *out)
            listed |= e.section == found.section;
        for (const ElementEntry& e : list.entries) {
            if (e.section == found.section && !listed) {
                out->append(e);
                break;
            }
        }
    }
    return true;
}

// ------------------------------------------------------------ backup

int verbBackup(const Context& ctx, const QStringList& args)
{
    QStringList macs;
    bool all = false;
    QString dir = QStringLiteral(".");
    QString edition;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--all")) {
            all = true;
        } else if (a == QLatin1String("--dir") && i + 1 < args.size()) {
            dir = args.at(++i);
        } else if (a == QLatin1String("--edition") && i + 1 < args.size()) {
            if (!takeEdition(ctx, "backup", args.at(++i), &edition))
                return kExitUsage;
        } else if (a.startsWith(QLatin1String("--"))) {
            ctx.err << "orvalink-cli: backup: unknown or incomplete option " << printable(a)
                    << "\n";
            return kExitUsage;
        } else {
            macs << a;
        }
    }
    if (all == !macs.isEmpty()) {
        ctx.err << "orvalink-cli: usage: backup MAC... | --all [--dir DIR] [--edition GPS|LL]\n";
        return kExitUsage;
    }
    if (!QFileInfo(dir).isDir()) {
        ctx.err << "orvalink-cli: backup: " << printable(dir) << " is not a folder\n";
        return kExitUsage;
    }
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "backup", database))
        return 1;
    QList<ElementEntry> elements;
    if (!selectElements(ctx, "backup", database, macs, all, &elements))
        return kExitUsage;

    QList<ConfigJob> jobs;
    for (const ElementEntry& e : elements) {
        ConfigJob job = configJobFor(database, e);
        job.reads = configtransfer::probeReads();
        jobs.append(job);
    }
    ConfigSweep sweep{Timings{}};
    prepareSweep(ctx, sweep);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!jobs.isEmpty() && !sweep.run(jobs)) {
        ctx.err << "orvalink-cli: backup: " << printable(sweep.error()) << "\n";
        return kExitSocketFailure;
    }
    // The files are written once every element was read, so that the disk
    // never holds up a reply's wait.
    QList<configfile::PendingFile> files;
    QList<int> fileOf; // job -> index into files, -1 for none
    QStringList failures;
    for (const ConfigJob& job : jobs) {
        QByteArray text;
        QString why;
        if (!configtransfer::backupText(job, now, edition, &text, &why)) {
            failures.append(why);
            fileOf.append(-1);
            continue;
        }
        failures.append(QString());
        fileOf.append(int(files.size()));
        files.append({QDir(dir).filePath(configfile::backupFileName(job.section, job.name)), text});
    }
    const QStringList writeErrors = configfile::writeBackups(files);
    int failed = 0;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const ConfigJob& job = jobs.at(i);
        QString why = failures.at(i);
        const int f = fileOf.at(i);
        if (f >= 0 && writeErrors.at(f).isEmpty()) {
            ctx.out << elementLabel(job.name, job.mac) << ": " << printable(files.at(f).path)
                    << "\n";
            continue;
        }
        if (f >= 0)
            why = files.at(f).path + QStringLiteral(": ") + writeErrors.at(f);
        ++failed;
        ctx.err << "orvalink-cli: backup: " << elementLabel(job.name, job.mac) << ": "
                << printable(why) << "\n";
    }
    return failed == 0 ? 0 : 1;
}

// ------------------------------------------------------------ diff --all

int verbDiffAll(const Context& ctx)
{
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "diff", database))
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
        const auto differences = driftOf(database, check, i);
        if (!differences) {
            silent = true;
            ctx.out << elementLabel(job.name, job.mac) << ": "
                    << printable(configtransfer::readFailure(job)) << "\n";
            continue;
        }
        if (differences->isEmpty())
            continue;
        differs = true;
        ctx.out << elementLabel(job.name, job.mac) << "\n";
        for (const ApplyOperation::Difference& d : *differences)
            ctx.out << "  " << d.key << ' ' << word(d.stored) << ' ' << word(d.other) << "\n";
    }
    return silent ? 2 : differs ? 1 : 0;
}

// ------------------------------------------------------------ restore

int verbRestore(const Context& ctx, const QStringList& argsIn)
{
    QStringList args;
    ChangeOptions options;
    for (qsizetype i = 0; i < argsIn.size(); ++i) {
        const OptionTaken taken = takeChangeOption(ctx, "restore", argsIn, &i, &options);
        if (taken == OptionTaken::Refused)
            return kExitUsage;
        if (taken == OptionTaken::Yes)
            continue;
        const QString& a = argsIn.at(i);
        if (a.startsWith(QLatin1String("--"))) {
            ctx.err << "orvalink-cli: restore: unknown or incomplete option " << printable(a)
                    << "\n";
            return kExitUsage;
        }
        args << a;
    }
    const QString& edition = options.edition;
    if (args.size() != 2) {
        ctx.err << "orvalink-cli: usage: restore MAC FILE [--yes] [--spacing-ms N] "
                   "[--edition GPS|LL]\n";
        return kExitUsage;
    }
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "restore", database))
        return 1;
    FoundElement element;
    if (!findElement(ctx, "restore", database, args.at(0), &element))
        return kExitUsage;
    const Event event = elementEvent(QStringLiteral("restore"), element);
    const configfile::Backup backup = configfile::readBackup(args.at(1));
    auto refuse = [&](const QString& why) {
        ctx.err << "orvalink-cli: restore: " << printable(args.at(1)) << ": " << printable(why)
                << "\n";
        postOutcome(ctx, event, QStringLiteral("failed"), why);
        return kExitUsage;
    };
    const ElementRole storedRole = roleFromText(element.role);
    EditedValues values;
    if (const QString why =
            configtransfer::restoreRefusal(backup, element.section, storedRole, edition, &values);
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
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.title = QStringLiteral("Send configuration");
    question.text = QStringLiteral("These %1 changes will be sent to %2. Are you sure?")
                        .arg(before.size())
                        .arg(elementLabel(element.name, element.mac));
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    if (terminal.ask(question) != PromptAnswer::Yes) {
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

// ------------------------------------------------------------ history

int verbHistory(const Context& ctx, const QStringList& args)
{
    if (args.size() != 1) {
        ctx.err << "orvalink-cli: usage: history MAC\n";
        return kExitUsage;
    }
    if (EventLog::macDigits(args.first()).isEmpty()) {
        ctx.err << "orvalink-cli: history: \"" << printable(args.first())
                << "\" is not a MAC address like 2E:8B:F2:00:0A:1B\n";
        return kExitUsage;
    }
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

} // namespace orvalink::cli
