#include "config/ConfigSweep.h"

#include "core/Text.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace orvalink {

namespace {

// The element's echo confirms the value sent: the very text, or for a number
// the same number (as "Save changes" compares them).
bool echoConfirms(const ConfigJob::Set& set, const QString& echo)
{
    if (echo.isEmpty())
        return false;
    if (set.text)
        return echo == set.value;
    bool a = false;
    bool b = false;
    const qint64 x = trimBlanks(echo).toLongLong(&a, 10);
    const qint64 y = trimBlanks(set.value).toLongLong(&b, 10);
    return a && b && x == y;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

int ConfigJob::confirmedCount() const
{
    int n = 0;
    for (const SetOutcome& o : setOutcomes)
        n += o.confirmed && o.stored;
    return n;
}

ConfigSweep::ConfigSweep(const Timings& timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_endpoint(new SnmpEndpoint(this))
{
    connect(m_endpoint, &SnmpEndpoint::replied, this, &ConfigSweep::onReplied);
    connect(m_endpoint, &SnmpEndpoint::timedOut, this, [this](int token) {
        if (Slot* slot = ownerOf(token, nullptr))
            onTimeout(*slot);
    });
    // -v says why a GET of several is asked again one variable per GET.
    m_endpoint->setReplyNote([this](int token, const SnmpReading& reply) {
        qsizetype i = 0;
        const Slot* slot = ownerOf(token, &i);
        if (!slot || slot->outstanding.at(i).group.isEmpty())
            return QString();
        return verdictOf(*slot, slot->outstanding.at(i), reply.all).refused;
    });
}

ConfigSweep::~ConfigSweep()
{
    if (m_loop)
        m_loop->quit();
}

void ConfigSweep::setPorts(quint16 localPort, quint16 agentPort)
{
    m_localPort = localPort;
    m_endpoint->setAgentPort(agentPort);
}

ConfigSweep::Slot* ConfigSweep::ownerOf(int token, qsizetype* index)
{
    for (Slot& slot : m_slots) {
        for (qsizetype i = 0; i < slot.outstanding.size(); ++i) {
            if (slot.outstanding.at(i).token == token) {
                if (index)
                    *index = i;
                return &slot;
            }
        }
    }
    return nullptr;
}

void ConfigSweep::restartWaits(Slot& slot)
{
    for (const Outstanding& o : std::as_const(slot.outstanding))
        m_endpoint->restartWait(o.token);
}

void ConfigSweep::forgetAll(Slot& slot)
{
    for (const Outstanding& o : std::as_const(slot.outstanding))
        m_endpoint->forget(o.token);
    slot.outstanding.clear();
}

bool ConfigSweep::run(QList<ConfigJob>& jobs)
{
    m_error.clear();
    if (!m_endpoint->open(m_localAddress, m_localPort, &m_error))
        return false;

    m_jobs = &jobs;
    m_nextJob = 0;
    m_finished = 0;
    m_hosts.clear();
    for (const ConfigJob& j : jobs) {
        quint32 a = 0;
        m_hosts.append(parseIPv4(j.host, &a) ? QHostAddress(a) : QHostAddress());
    }
    m_slots.clear();
    m_slots.resize(size_t(qMin(m_inFlight, int(jobs.size()))));
    for (Slot& slot : m_slots) {
        slot.spacing = new QTimer(this);
        slot.spacing->setSingleShot(true);
        connect(slot.spacing, &QTimer::timeout, this, [this, &slot] { step(slot); });
    }
    for (Slot& slot : m_slots)
        startNext(slot);
    if (m_finished < jobs.size()) {
        QEventLoop loop;
        m_loop = &loop;
        loop.exec();
        m_loop = nullptr;
    }
    for (Slot& slot : m_slots) {
        forgetAll(slot);
        delete slot.spacing;
    }
    m_slots.clear();
    m_jobs = nullptr;
    return true;
}

void ConfigSweep::startNext(Slot& slot)
{
    slot.job = -1;
    forgetAll(slot);
    if (m_nextJob >= m_jobs->size())
        return;
    slot.job = m_nextJob++;
    slot.nextRead = 0;
    slot.again.clear();
    slot.nextSet = 0;
    slot.retried = false;
    slot.setsCleared = false;
    slot.lost.clear();
    slot.lostInGroup.clear();
    slot.startedMs = nowMs();
    ConfigJob& job = (*m_jobs)[slot.job];
    job.values.clear();
    job.answered.clear();
    job.setOutcomes.clear();
    job.silent = false;
    job.error.clear();
    // The default agent address of the design is never talked to: an
    // element without its own agent address is not asked anything.
    if (m_hosts.at(slot.job).isNull()) {
        job.error = QStringLiteral("no SNMP address stored");
        finishJob(slot);
        return;
    }
    step(slot);
}

void ConfigSweep::step(Slot& slot)
{
    if (slot.job < 0)
        return;
    ConfigJob& job = (*m_jobs)[slot.job];
    // Reads first, a window of them at a time. After a loss, the lost ones
    // (unless they are not asked again) and all not yet asked go out
    // together, once: a silent element costs two waits, not one per window.
    // The reads of a lost GET of several variables were never asked alone:
    // they go again in any case, one per GET.
    const bool anyLost = !slot.lost.isEmpty() || !slot.lostInGroup.isEmpty();
    if (anyLost && slot.outstanding.isEmpty()) {
        if (slot.retried) {
            job.silent = true;
            finishJob(slot);
            return;
        }
        slot.retried = true;
        QList<int> again = std::exchange(slot.lost, {});
        if (!m_retryLostReads)
            again.clear();
        again += std::exchange(slot.lostInGroup, {});
        while (hasReadsLeft(slot))
            again.append(takeRead(slot));
        for (const int r : again) {
            if (!sendRead(slot, r)) {
                finishJob(slot);
                return;
            }
        }
        if (!again.isEmpty()) {
            restartWaits(slot);
            return;
        }
    }
    if (hasReadsLeft(slot) || !slot.outstanding.isEmpty()) {
        bool sent = false;
        while (!anyLost && slot.outstanding.size() < m_readWindow && hasReadsLeft(slot)) {
            bool ok = false;
            if (severalPerGet(slot)) {
                QList<int> group;
                while (group.size() < m_variablesPerGet && hasReadsLeft(slot))
                    group.append(takeRead(slot));
                ok = group.size() == 1 ? sendRead(slot, group.first()) : sendReads(slot, group);
            } else {
                ok = sendRead(slot, takeRead(slot));
            }
            if (!ok) {
                finishJob(slot);
                return;
            }
            sent = true;
        }
        if (sent)
            restartWaits(slot);
        return;
    }
    // Then the SETs, one at a time, once the caller took the reads.
    if (!slot.setsCleared) {
        slot.setsCleared = true;
        if (m_beforeSets && !job.sets.isEmpty()) {
            job.error = m_beforeSets(job);
            if (!job.error.isEmpty()) {
                finishJob(slot);
                return;
            }
        }
    }
    while (slot.nextSet < job.sets.size()) {
        const ConfigJob::Set& set = job.sets.at(slot.nextSet);
        if (set.onlyIfEarlierFailed) {
            bool earlierConfirmed = false;
            bool earlierTried = false;
            for (const ConfigJob::SetOutcome& o : job.setOutcomes) {
                if (o.key == set.key) {
                    earlierTried = true;
                    earlierConfirmed |= o.confirmed;
                }
            }
            if (!earlierTried || earlierConfirmed) {
                ++slot.nextSet;
                continue;
            }
        }
        switch (sendSet(slot)) {
        case SetSent::Failed:
            finishJob(slot);
            return;
        case SetSent::Skipped:
            continue;
        case SetSent::Sent:
            restartWaits(slot);
            return;
        }
    }
    finishJob(slot);
}

bool ConfigSweep::hasReadsLeft(const Slot& slot) const
{
    return !slot.again.isEmpty() || slot.nextRead < m_jobs->at(slot.job).reads.size();
}

int ConfigSweep::takeRead(Slot& slot)
{
    return slot.again.isEmpty() ? slot.nextRead++ : slot.again.takeFirst();
}

bool ConfigSweep::severalPerGet(const Slot& slot) const
{
    return m_variablesPerGet > 1 && slot.again.isEmpty() &&
           !m_singleGetAgents.contains(m_hosts.at(slot.job).toIPv4Address());
}

void ConfigSweep::askSingly(Slot& slot, const QList<int>& group)
{
    // This agent takes one variable per GET from now on; the reads of every
    // GET of several still awaited from it are asked again that way (a late
    // reply to one of them is no longer awaited).
    m_singleGetAgents.insert(m_hosts.at(slot.job).toIPv4Address());
    QList<int> reads = group;
    for (qsizetype i = slot.outstanding.size() - 1; i >= 0; --i) {
        if (!slot.outstanding.at(i).group.isEmpty()) {
            m_endpoint->forget(slot.outstanding.at(i).token);
            reads += slot.outstanding.takeAt(i).group;
        }
    }
    reads += slot.again;
    std::sort(reads.begin(), reads.end());
    slot.again = reads;
    step(slot);
}

void ConfigSweep::takeGroupReply(Slot& slot, const Outstanding& taken,
                                 const SnmpVarbindMessage& reply)
{
    ConfigJob& job = (*m_jobs)[slot.job];
    // The reply carries the variables asked, in the order asked.
    for (qsizetype i = 0; i < taken.group.size(); ++i) {
        const quint8 n = job.reads.at(taken.group.at(i));
        job.answered.insert(n);
        const QString& text = reply.varbinds.at(i).text;
        if (!text.isEmpty())
            job.values.insert(n, text);
    }
    step(slot);
}

void ConfigSweep::dropUnknownRead(Slot& slot, const Outstanding& taken, int index)
{
    ConfigJob& job = (*m_jobs)[slot.job];
    job.answered.insert(job.reads.at(taken.group.at(index)));
    QList<int> rest = taken.group;
    rest.removeAt(index);
    if (!rest.isEmpty()) {
        const bool sent = rest.size() == 1 ? sendRead(slot, rest.first()) : sendReads(slot, rest);
        if (!sent) {
            finishJob(slot);
            return;
        }
        restartWaits(slot);
    }
    step(slot);
}

bool ConfigSweep::sendRequest(Slot& slot, const SnmpEndpoint::Build& build, int read,
                              const QList<int>& group, bool* built)
{
    QString why;
    bool made = true;
    const int token = m_endpoint->send(
        m_hosts.at(slot.job),
        [&](quint8 id) {
            const SnmpEncodeResult request = build(id);
            made = request.ok();
            return request;
        },
        m_timings.snmpTimeoutMs, &why);
    if (built)
        *built = made;
    if (token == 0) {
        // A SET its codec cannot carry is that SET's failure only.
        if (made || !built)
            (*m_jobs)[slot.job].error = why;
        return false;
    }
    slot.outstanding.append(Outstanding{read, group, token});
    return true;
}

bool ConfigSweep::sendReads(Slot& slot, const QList<int>& group)
{
    const ConfigJob& job = m_jobs->at(slot.job);
    QList<quint8> parameters;
    for (const int r : group)
        parameters.append(job.reads.at(r));
    const QString& community = job.readCommunity;
    return sendRequest(
        slot, [&](quint8 id) { return encodeGetRequest(community, parameters, id); }, -1, group);
}

bool ConfigSweep::sendRead(Slot& slot, int read)
{
    const ConfigJob& job = m_jobs->at(slot.job);
    const QString& community = job.readCommunity;
    const quint8 n = job.reads.at(read);
    return sendRequest(
        slot, [&](quint8 id) { return encodeGetRequest(community, n, id); }, read);
}

ConfigSweep::SetSent ConfigSweep::sendSet(Slot& slot)
{
    ConfigJob& job = (*m_jobs)[slot.job];
    const ConfigJob::Set& set = job.sets.at(slot.nextSet);
    ConfigJob::SetOutcome outcome;
    outcome.key = set.key;
    outcome.value = set.value;
    bool built = true;
    if (!sendRequest(
            slot,
            [&](quint8 id) {
                return encodeSetRequest(job.writeCommunity, set.n, setTagOf(set.n), set.value, id);
            },
            -1, {}, &built)) {
        if (built)
            return SetSent::Failed;
        job.setOutcomes.append(outcome);
        ++slot.nextSet;
        return SetSent::Skipped;
    }
    outcome.sent = true;
    job.setOutcomes.append(outcome);
    return SetSent::Sent;
}

void ConfigSweep::takeSetReply(Slot& slot, const QString& echo, bool answered)
{
    ConfigJob& job = (*m_jobs)[slot.job];
    const ConfigJob::Set& set = job.sets.at(slot.nextSet);
    ConfigJob::SetOutcome& o = job.setOutcomes.last();
    o.answered = answered;
    o.echo = echo;
    o.confirmed = answered && echoConfirms(set, echo);
    ++slot.nextSet;
    if (!answered) {
        job.silent = true;
        finishJob(slot);
        return;
    }
    if (!o.confirmed) {
        step(slot);
        return;
    }
    if (m_onConfirmed && !m_onConfirmed(job, o)) {
        job.setOutcomes.last().stored = false;
        finishJob(slot);
        return;
    }
    // The spacing the devices need after a SET they took.
    bool more = false;
    for (int i = slot.nextSet; i < job.sets.size(); ++i)
        more |= !job.sets.at(i).onlyIfEarlierFailed;
    if (more || slot.nextSet < job.sets.size())
        slot.spacing->start(m_timings.snmpSetAllowedMs);
    else
        finishJob(slot);
}

void ConfigSweep::finishJob(Slot& slot)
{
    if (slot.job < 0)
        return;
    forgetAll(slot);
    slot.spacing->stop();
    ConfigJob& job = (*m_jobs)[slot.job];
    job.elapsedMs = nowMs() - slot.startedMs;
    ++m_finished;
    if (m_onFinished)
        m_onFinished(job);
    startNext(slot);
    if (m_finished >= m_jobs->size() && m_loop)
        m_loop->quit();
}

void ConfigSweep::onTimeout(Slot& slot)
{
    if (slot.job < 0 || slot.outstanding.isEmpty())
        return;
    // The slot's requests share their wait: all still awaited are lost.
    const QList<Outstanding> lost = slot.outstanding;
    forgetAll(slot);
    if (lost.first().isSet()) {
        takeSetReply(slot, QString(), false);
        return;
    }
    for (const Outstanding& o : lost) {
        if (o.group.isEmpty()) {
            slot.lost.append(o.read);
            continue;
        }
        m_singleGetAgents.insert(m_hosts.at(slot.job).toIPv4Address());
        slot.lostInGroup += o.group;
    }
    std::sort(slot.lostInGroup.begin(), slot.lostInGroup.end());
    step(slot);
}

ConfigSweep::GroupVerdict ConfigSweep::verdictOf(const Slot& slot, const Outstanding& taken,
                                                 const SnmpVarbindMessage& reply) const
{
    AwaitedReply asked;
    for (const int r : taken.group)
        asked.parameters.append(m_jobs->at(slot.job).reads.at(r));
    const QString otherVariables = varbindMismatch(asked, reply);
    // noSuchName names the one variable the agent does not have: it ends as
    // its own GET would (answered, no value), and the others are asked
    // again together.
    if (reply.errorStatus == kNoSuchName && otherVariables.isEmpty() && reply.errorIndex >= 1 &&
        reply.errorIndex <= taken.group.size())
        return GroupVerdict{GroupVerdict::DropUnknown, QString()};
    // Any other error status or other variables: none of its values is
    // taken, and the reads go one per GET.
    QString refused =
        reply.errorStatus != 0 ? QStringLiteral("error %1").arg(reply.errorStatus) : otherVariables;
    if (refused.isEmpty())
        return GroupVerdict{};
    refused += QStringLiteral(" for a GET of several; asking one variable per GET");
    return GroupVerdict{GroupVerdict::AskSingly, refused};
}

void ConfigSweep::onReplied(int token, const SnmpReading& reply)
{
    qsizetype i = 0;
    Slot* owner = m_jobs ? ownerOf(token, &i) : nullptr;
    if (!owner)
        return;
    Slot& slot = *owner;
    const Outstanding taken = slot.outstanding.takeAt(i);
    if (!taken.group.isEmpty()) {
        switch (verdictOf(slot, taken, reply.all).kind) {
        case GroupVerdict::DropUnknown:
            dropUnknownRead(slot, taken, int(reply.all.errorIndex - 1));
            return;
        case GroupVerdict::AskSingly:
            askSingly(slot, taken.group);
            return;
        case GroupVerdict::Take:
            takeGroupReply(slot, taken, reply.all);
            return;
        }
    }
    if (taken.isSet()) {
        takeSetReply(slot, reply.first.text, true);
        return;
    }
    ConfigJob& job = (*m_jobs)[slot.job];
    const quint8 n = job.reads.at(taken.read);
    job.answered.insert(n);
    if (!reply.first.text.isEmpty())
        job.values.insert(n, reply.first.text);
    step(slot);
}

} // namespace orvalink
