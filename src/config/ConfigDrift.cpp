#include "config/ConfigDrift.h"

#include "config/ConfigTransfer.h"
#include "devops/ProbeOperation.h"
#include "snmp/ParameterTable.h"
#include "store/IniStore.h"

namespace orvalink {

ConfigJob configJobFor(const Database& database, const ElementEntry& e)
{
    ConfigJob job;
    job.section = e.section;
    job.mac = e.mac;
    job.name = e.name;
    job.host = database.read(e.section, QStringLiteral("snmpip"));
    job.readCommunity =
        database.read(e.section, QStringLiteral("snmpro"), ProbeOperation::kDefaultCommunity);
    job.writeCommunity = database.read(e.section, QStringLiteral("snmprw"), kDefaultWriteCommunity);
    return job;
}

DriftCheck driftCheck(const Database& database)
{
    DriftCheck check;
    for (const ElementEntry& e : loadElementList(database.store(), database.path()).entries) {
        ConfigJob job = configJobFor(database, e);
        check.steps.append(ApplyOperation::compareSteps(database, e.section));
        job.reads.append(param::Mac);
        for (const ApplyOperation::Step& s : check.steps.last())
            job.reads.append(s.entry->n);
        check.jobs.append(job);
    }
    return check;
}

std::optional<QList<ApplyOperation::Difference>>
driftOf(const Database& database, const DriftCheck& check, qsizetype i, QString* why)
{
    const ConfigJob& job = check.jobs.at(i);
    const QString refusal = job.readComplete() ? configtransfer::identityRefusal(job)
                                               : configtransfer::readFailure(job);
    if (!refusal.isEmpty()) {
        if (why)
            *why = refusal;
        return std::nullopt;
    }
    QList<ApplyOperation::Difference> out;
    for (const ApplyOperation::Step& s : check.steps.at(i)) {
        const QString key = QLatin1String(s.entry->key);
        const QString stored = database.read(job.section, key, s.defaultValue);
        const QString device = job.values.value(s.entry->n);
        if (ApplyOperation::deviceDiffers(s, stored, device))
            out.append(ApplyOperation::Difference{key, s.entry->n, stored, device});
    }
    return out;
}

} // namespace orvalink
