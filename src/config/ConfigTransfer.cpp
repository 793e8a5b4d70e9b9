#include "config/ConfigTransfer.h"

#include "config/ConfigDrift.h"
#include "core/Readouts.h"
#include "core/StartMode.h"
#include "devops/OperationEvents.h"
#include "devops/ProbeOperation.h"
#include "devops/StoreOutcome.h"
#include "snmp/ParameterTable.h"
#include "store/IniStore.h"

#include <QDir>

#include <algorithm>

namespace orvalink::configtransfer {

QString label(const QString& name, const QString& mac)
{
    return name + QStringLiteral(" [") + mac + QLatin1Char(']');
}

QString programVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(ORVALINK_VERSION_MAJOR)
        .arg(ORVALINK_VERSION_MINOR)
        .arg(ORVALINK_VERSION_PATCH);
}

QList<quint8> probeReads()
{
    QList<quint8> out;
    for (const OperationStep& s : probeSteps())
        out.append(s.n);
    return out;
}

QString readFailure(const ConfigJob& job)
{
    if (!job.error.isEmpty())
        return job.error;
    return noReplyFrom(job.host);
}

QString identityRefusal(const QString& host, const QString& answered, const QString& section)
{
    const QString answeredSection = Encode_MAC(answered);
    if (!answeredSection.isEmpty() && answeredSection == section)
        return {};
    const QString who = !answeredSection.isEmpty() ? Decode_MAC(answeredSection)
                        : answered.isEmpty()       ? QStringLiteral("unknown")
                                                   : answered;
    return QStringLiteral("the element at %1 is %2, not %3").arg(host, who, Decode_MAC(section));
}

QString identityRefusal(const ConfigJob& job)
{
    if (job.silent || !job.error.isEmpty() || !job.answered.contains(param::Mac))
        return readFailure(job);
    return identityRefusal(job.host, job.values.value(param::Mac), job.section);
}

bool deviceKeys(const ConfigJob& job, QList<QPair<QString, QString>>* keys, ElementRole* role,
                QString* why)
{
    if (!job.readComplete()) {
        *why = readFailure(job);
        return false;
    }
    *why = identityRefusal(job);
    if (!why->isEmpty())
        return false;
    *keys = ProbeOperation::storedKeys(job.values, job.host, job.readCommunity, role);
    if (*role == ElementRole::Unknown) {
        *why = QStringLiteral("its role cannot be told from its answers");
        return false;
    }
    return true;
}

bool backupText(const ConfigJob& job, const QDateTime& time, const QString& edition,
                QByteArray* text, QString* why)
{
    QList<QPair<QString, QString>> keys;
    ElementRole role = ElementRole::Unknown;
    if (!deviceKeys(job, &keys, &role, why))
        return false;
    configfile::Header header;
    header.time = time;
    header.version = programVersion();
    header.name = Encode_Name(job.values.value(param::Name)).trimmed();
    header.address = job.host;
    header.role = role;
    header.edition = edition;
    *text = configfile::backupText(job.section, keys, header);
    return true;
}

int BackupRun::written() const
{
    return int(std::count_if(failures.cbegin(), failures.cend(),
                             [](const QString& why) { return why.isEmpty(); }));
}

QString BackupRun::summary(const QString& dir) const
{
    return QStringLiteral("%1 of %2 configurations written to %3")
        .arg(written())
        .arg(jobs.size())
        .arg(QDir::toNativeSeparators(dir));
}

Event BackupRun::event(const QString& dir) const
{
    QStringList notWritten; // "NAME [MAC]: why"
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        if (!failures.at(i).isEmpty())
            notWritten << label(jobs.at(i).name, jobs.at(i).mac) + QStringLiteral(": ") +
                              failures.at(i);
    }
    const QString summary = this->summary(dir);
    Event e;
    e.operation = QStringLiteral("backup");
    e.outcome = notWritten.isEmpty() ? QStringLiteral("ok") : QStringLiteral("failed");
    e.cause = notWritten.isEmpty()
                  ? summary
                  : summary + QStringLiteral("; ") + notWritten.join(QStringLiteral("; "));
    return e;
}

BackupRun backupAll(ConfigSweep& sweep, const Database& database,
                    const QList<ElementEntry>& elements, const QString& dir, const QDateTime& time,
                    const QString& edition)
{
    BackupRun run;
    for (const ElementEntry& e : elements) {
        run.jobs.append(configJobFor(database, e));
        run.jobs.last().reads = probeReads();
        run.paths.append(QDir(dir).filePath(configfile::backupFileName(e.section, e.name)));
    }
    run.failures = QStringList(run.jobs.size());
    if (!run.jobs.isEmpty() && !sweep.run(run.jobs)) {
        run.socketError = sweep.error();
        run.failures.fill(run.socketError);
        return run;
    }
    // The files are written once every element was read, so that the disk
    // never holds up a reply's wait.
    QList<configfile::PendingFile> files;
    QList<qsizetype> jobOf;
    for (qsizetype i = 0; i < run.jobs.size(); ++i) {
        QByteArray text;
        if (!backupText(run.jobs.at(i), time, edition, &text, &run.failures[i]))
            continue;
        jobOf.append(i);
        files.append({run.paths.at(i), text});
    }
    const QStringList errors = configfile::writeBackups(files);
    for (qsizetype f = 0; f < files.size(); ++f) {
        if (!errors.at(f).isEmpty())
            run.failures[jobOf.at(f)] = files.at(f).path + QStringLiteral(": ") + errors.at(f);
    }
    return run;
}

// ------------------------------------------------------------ restore

QString restoreRefusal(const configfile::Backup& backup, const Database& database,
                       const QString& section, ElementRole storedRole, const QString& edition,
                       EditedValues* values)
{
    if (!backup.ok())
        return backup.error;
    if (backup.section != section)
        return QStringLiteral("the file is the configuration of %1, not of %2")
            .arg(Decode_MAC(backup.section), Decode_MAC(section));
    if (backup.header.role != storedRole)
        return QStringLiteral("the file holds the configuration of role %1, the element is "
                              "stored with role %2")
            .arg(roleCaption(backup.header.role), roleCaption(storedRole));
    // A buffer position means another latency in another edition.
    if (!backup.header.edition.isEmpty() && backup.header.edition != edition)
        return QStringLiteral("the file was read in the %1 edition, this run is for the "
                              "%2 edition (--edition)")
            .arg(backup.header.edition, edition.isEmpty() ? QStringLiteral("plain") : edition);

    // The file's values as the panel's editors would take them: every key
    // the role sends, the inactive destination of an encoder included.
    const int bufferMaximum = startModeFor(edition).bufferMaximum;
    const int tx = readouts::storedInteger(backup.keys.value(QStringLiteral("tx"))).value_or(-1);
    QList<ApplyOperation::Step> wanted;
    StepContext context;
    context.role = storedRole;
    context.tx = tx;
    for (const ApplyOperation::Step& s : ApplyOperation::steps()) {
        if (conditionHolds(s.entry->when, context))
            wanted.append(s);
    }
    wanted = ApplyOperation::withInactiveDestination(wanted, storedRole, tx);
    QStringList keys;
    for (const ApplyOperation::Step& s : std::as_const(wanted)) {
        const QString key = QLatin1String(s.entry->key);
        if (keys.contains(key))
            continue;
        keys << key;
        if (!backup.keys.contains(key))
            return QStringLiteral("the file has no %1, which the configuration of a %2 holds")
                .arg(key, roleCaption(storedRole));
        const bool active = conditionHolds(s.entry->when, context);
        EditedValues inactive; // checked, never sent through an editor
        EditedValues& into = active ? *values : inactive;
        if (const QString error =
                ApplyOperation::takeValue(into, key, backup.keys.value(key), bufferMaximum);
            !error.isEmpty())
            return error;
        if (!active && !IsValidIPAddress(*inactive.remoteIP))
            return QStringLiteral("Please verify that all IP fields are correct!");
    }
    // The checks of "Save changes", as `apply` makes them.
    ShownElement shown;
    shown.section = section;
    shown.mac = Decode_MAC(section);
    shown.roleCaption = roleCaption(storedRole);
    EditedValues checked = *values;
    return ApplyOperation::checkEdits(shown, checked, database);
}

QString deviceRoleRefusal(const configfile::Backup& backup, ElementRole deviceRole)
{
    if (deviceRole == backup.header.role)
        return {};
    return QStringLiteral("the file holds the configuration of role %1, the element "
                          "answers with role %2")
        .arg(roleCaption(backup.header.role), roleCaption(deviceRole));
}

RestorePlan restorePlan(const Database& database, const ShownElement& shown,
                        const EditedValues& values, const configfile::Backup& backup,
                        const QHash<QString, QString>& device)
{
    RestorePlan plan;
    const int tx = values.tx
                       ? *values.tx
                       : readouts::storedInteger(database.read(shown.section, QStringLiteral("tx")))
                             .value_or(-1);
    // The encoder's inactive destination follows its active one: after a
    // switch of tx the element must not stream to an address nobody chose.
    const QList<ApplyOperation::Step> steps = ApplyOperation::withInactiveDestination(
        ApplyOperation::selectedSteps(database, shown, values), roleOfCaption(shown.roleCaption),
        tx);
    for (const ApplyOperation::Step& s : steps) {
        const QString key = QLatin1String(s.entry->key);
        if (!backup.keys.contains(key))
            continue;
        const QString fileValue = backup.keys.value(key);
        const QString deviceValue = device.value(key);
        if (!ApplyOperation::deviceDiffers(s, fileValue, deviceValue)) {
            bool listed = plan.before.contains(key);
            for (const auto& m : plan.matching)
                listed |= m.first == key;
            if (database.read(shown.section, key, s.defaultValue) != deviceValue && !listed)
                plan.matching.append(
                    {key, key == QLatin1String("name") ? Encode_Name(deviceValue) : deviceValue});
            continue;
        }
        ConfigJob::Set set;
        set.n = s.entry->n;
        set.key = key;
        set.value = key == QLatin1String("name") ? fileValue.trimmed() : fileValue;
        set.text = s.text;
        set.onlyIfEarlierFailed = plan.before.contains(key);
        if (!set.onlyIfEarlierFailed) {
            plan.before.insert(key, deviceValue);
            plan.changes.append({key, deviceValue, fileValue});
        }
        plan.sets.append(set);
    }
    return plan;
}

// ------------------------------------------------------------ bulk apply

QString takePairs(const QStringList& pairs, qsizetype elementCount, const QString& edition,
                  EditedValues* values, QStringList* keys)
{
    const int bufferMaximum = startModeFor(edition).bufferMaximum;
    for (const QString& pair : pairs) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString key = eq > 0 ? pair.left(eq).toLower() : QString();
        QString error =
            eq > 0 ? ApplyOperation::takeValue(*values, key, pair.mid(eq + 1), bufferMaximum)
                   : QStringLiteral("\"%1\" is not KEY=VALUE").arg(pair);
        if (error.isEmpty() && keys->contains(key))
            error = QStringLiteral("%1 is given twice").arg(key);
        // One address for many elements would put them all on it.
        if (error.isEmpty() && key == QLatin1String("ip") && elementCount > 1)
            error = QStringLiteral("ip would give %1 elements the same address; set it one "
                                   "element at a time")
                        .arg(elementCount);
        if (!error.isEmpty())
            return error;
        *keys << key;
    }
    return {};
}

BulkPlan bulkPlan(const Database& database, const QList<ElementEntry>& elements,
                  const EditedValues& values, const QStringList& keys)
{
    BulkPlan plan;
    for (const ElementEntry& e : elements) {
        const QString who = label(e.name, e.mac);
        ShownElement shown;
        shown.section = e.section;
        shown.mac = e.mac;
        StepContext context;
        context.role = roleFromText(database.read(e.section, QStringLiteral("role")));
        shown.roleCaption = roleCaption(context.role);
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
                plan.refused << QStringLiteral(
                                    "%1: %2 is not sent to this element (role %3, tx %4)")
                                    .arg(who, key, shown.roleCaption)
                                    .arg(context.tx);
        }
        EditedValues checked = values;
        if (const QString reason = ApplyOperation::checkEdits(shown, checked, database);
            !reason.isEmpty())
            plan.refused << who + QStringLiteral(": ") + reason;
        ConfigJob job = configJobFor(database, e);
        if (job.host.isEmpty())
            plan.refused << who + QStringLiteral(": no SNMP address stored");
        job.reads = {param::Mac};
        const QList<ApplyOperation::Difference> pending =
            ApplyOperation::pendingFor(database, shown, checked);
        if (pending.isEmpty()) {
            plan.nothing << who;
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
        plan.jobs.append(job);
        plan.pending.append(pending);
        plan.before.append(was);
    }
    return plan;
}

bool runBulk(ConfigSweep& sweep, Database& database, BulkPlan& plan, const BulkHooks& hooks)
{
    QHash<QString, QString> storeFailures; // section -> sentence
    QHash<QString, int> indexOf;
    for (qsizetype i = 0; i < plan.jobs.size(); ++i)
        indexOf.insert(plan.jobs.at(i).section, int(i));
    sweep.setOnConfirmed([&](ConfigJob& j, const ConfigJob::SetOutcome& o) {
        const QString value = o.key == QLatin1String("name") ? Encode_Name(o.echo) : o.echo;
        if (!database.write(j.section, o.key, value)) {
            storeFailures.insert(
                j.section,
                notStoredSentence(database,
                                  QStringLiteral("the element took %1=%2").arg(o.key, o.echo)));
            return false;
        }
        if (hooks.confirmed)
            hooks.confirmed(j, o.key, plan.before.at(indexOf.value(j.section)).value(o.key),
                            o.echo);
        return true;
    });
    sweep.setOnFinished([&](const ConfigJob& j) {
        BulkElementResult r;
        r.wanted = int(plan.before.at(indexOf.value(j.section)).size());
        r.confirmed = j.confirmedCount();
        if (!j.error.isEmpty())
            r.causes << j.error;
        for (const ConfigJob::SetOutcome& o : j.setOutcomes) {
            if (o.confirmed)
                continue;
            r.causes << (!o.sent      ? QStringLiteral("%1 not sent").arg(o.key)
                         : o.answered ? QStringLiteral("%1 refused").arg(o.key)
                                      : QStringLiteral("%1: %2").arg(o.key, noReplyFrom(j.host)));
        }
        if (storeFailures.contains(j.section))
            r.causes << storeFailures.value(j.section);
        r.ok = r.causes.isEmpty() && r.confirmed == r.wanted;
        if (hooks.finished)
            hooks.finished(j, r);
    });
    sweep.setRetryLostReads(false);
    sweep.setBeforeSets([](const ConfigJob& j) { return identityRefusal(j); });
    const bool ran = sweep.run(plan.jobs);
    sweep.setOnConfirmed({});
    sweep.setOnFinished({});
    sweep.setBeforeSets({});
    sweep.setRetryLostReads(true);
    return ran;
}

} // namespace orvalink::configtransfer
