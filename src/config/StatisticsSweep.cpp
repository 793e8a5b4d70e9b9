#include "config/StatisticsSweep.h"

#include "core/Readouts.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink {

StatisticsSweep::StatisticsSweep(const Timings& timings) : m_sweep(timings)
{
    // One counter after the other, each asked for once.
    m_sweep.setReadWindow(1);
    // Each counter's own error: one unknown variable fails a GET of several.
    m_sweep.setVariablesPerGet(1);
    m_sweep.setRetryLostReads(false);
}

QList<ElementStatistics> StatisticsSweep::elementsOf(const Database& database, QString* error)
{
    QList<ElementStatistics> out;
    const ElementList list = loadElementList(database.store(), database.path());
    if (error)
        *error = list.error;
    for (const ElementEntry& e : list.entries) {
        ElementStatistics s;
        s.section = e.section;
        s.mac = e.mac;
        s.name = e.name;
        s.role = e.role;
        s.ip = e.snmpIp;
        s.community = database.read(e.section, QStringLiteral("snmpro"));
        s.sfn = readouts::storedInteger(database.read(e.section, QStringLiteral("sfn"))) == 1;
        out.append(s);
    }
    return out;
}

bool StatisticsSweep::run(QList<ElementStatistics>& elements)
{
    // The database is read before the run; what each element needs is here.
    QList<ConfigJob> jobs;
    jobs.reserve(elements.size());
    for (ElementStatistics& e : elements) {
        StepContext context;
        context.role = e.role == ElementRole::Decoder ? ElementRole::Decoder : ElementRole::Encoder;
        context.sfn = e.sfn;
        ConfigJob job;
        job.host = e.ip;
        job.readCommunity = e.community;
        // One reading per counter, in reading order, without a value until
        // its reply comes.
        e.up = false;
        e.readings.clear();
        for (const OperationStep& step : selectSteps(statisticsSteps(), context)) {
            job.reads.append(step.n);
            StatisticsReading r;
            r.key = QLatin1String(step.key);
            r.n = step.n;
            e.readings.append(r);
        }
        jobs.append(std::move(job));
    }
    if (!m_sweep.run(jobs))
        return false;
    for (qsizetype i = 0; i < elements.size(); ++i) {
        ElementStatistics& e = elements[i];
        const ConfigJob& job = jobs.at(i);
        for (StatisticsReading& r : e.readings) {
            r.answered = job.answered.contains(r.n);
            r.value = job.values.value(r.n);
        }
        e.up = !job.answered.isEmpty();
    }
    return true;
}

} // namespace orvalink
