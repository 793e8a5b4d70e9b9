#include "config/ConfigSweep.h"

#include "core/Text.h"
#include "core/UdpBind.h"
#include "core/UdpRead.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <optional>

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
    : QObject(parent), m_timings(timings), m_socket(new QUdpSocket(this)),
      m_lastId(randomLastRequestId())
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QUdpSocket::readyRead, this, &ConfigSweep::onReadyRead);
}

ConfigSweep::~ConfigSweep()
{
    if (m_loop)
        m_loop->quit();
}

void ConfigSweep::setPorts(quint16 localPort, quint16 agentPort)
{
    m_localPort = localPort;
    m_agentPort = agentPort;
}

quint8 ConfigSweep::nextRequestId(const QHostAddress& host)
{
    // An id need only differ from those still awaited from the same agent.
    for (int tries = 0; tries < kLastRequestId; ++tries) {
        m_lastId = orvalink::nextRequestId(m_lastId);
        bool inUse = false;
        for (const Slot& s : m_slots) {
            for (const Outstanding& o : s.outstanding)
                inUse |= o.awaited.requestId == m_lastId && o.awaited.agent == host;
        }
        if (!inUse)
            break;
    }
    return m_lastId;
}

bool ConfigSweep::run(QList<ConfigJob>& jobs)
{
    m_error.clear();
    QHostAddress bindAddress;
    if (!nmsBindAddress(m_localAddress, &bindAddress, &m_error))
        return false;
    if (m_socket->state() != QAbstractSocket::BoundState &&
        !bindUdp(*m_socket, bindAddress, m_localPort, &m_error))
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
        slot.timer = new QTimer(this);
        slot.timer->setSingleShot(true);
        slot.timer->setInterval(m_timings.snmpTimeoutMs);
        connect(slot.timer, &QTimer::timeout, this, [this, &slot] { onTimeout(slot); });
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
        delete slot.timer;
        delete slot.spacing;
    }
    m_slots.clear();
    m_jobs = nullptr;
    return true;
}

void ConfigSweep::startNext(Slot& slot)
{
    slot.job = -1;
    slot.outstanding.clear();
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
            slot.timer->start();
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
        if (sent || (!slot.outstanding.isEmpty() && !slot.timer->isActive()))
            slot.timer->start();
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
            slot.timer->start();
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
        if (!slot.outstanding.at(i).group.isEmpty())
            reads += slot.outstanding.takeAt(i).group;
    }
    reads += slot.again;
    std::sort(reads.begin(), reads.end());
    slot.again = reads;
    if (slot.outstanding.isEmpty())
        slot.timer->stop();
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
    if (slot.outstanding.isEmpty())
        slot.timer->stop();
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
        slot.timer->start();
    } else if (slot.outstanding.isEmpty()) {
        slot.timer->stop();
    }
    step(slot);
}

bool ConfigSweep::sendDatagram(Slot& slot, const QByteArray& datagram, int read,
                               const QList<int>& group)
{
    const QHostAddress& host = m_hosts.at(slot.job);
    if (m_socket->writeDatagram(datagram, host, m_agentPort) != datagram.size()) {
        (*m_jobs)[slot.job].error =
            QStringLiteral("cannot send to %1: %2").arg(host.toString(), m_socket->errorString());
        return false;
    }
    if (m_tap)
        m_tap(DatagramEvent{true, host.toString(), m_agentPort, datagram, QString()});
    slot.outstanding.append(Outstanding{read, group, awaitedReplyOf(datagram, host, m_agentPort)});
    return true;
}

bool ConfigSweep::sendReads(Slot& slot, const QList<int>& group)
{
    const ConfigJob& job = m_jobs->at(slot.job);
    QList<quint8> parameters;
    for (const int r : group)
        parameters.append(job.reads.at(r));
    const SnmpEncodeResult request =
        encodeGetRequest(job.readCommunity, parameters, nextRequestId(m_hosts.at(slot.job)));
    if (!request.ok()) {
        (*m_jobs)[slot.job].error = request.error;
        return false;
    }
    return sendDatagram(slot, request.datagram, -1, group);
}

bool ConfigSweep::sendRead(Slot& slot, int read)
{
    const ConfigJob& job = m_jobs->at(slot.job);
    const SnmpEncodeResult request = encodeGetRequest(job.readCommunity, job.reads.at(read),
                                                      nextRequestId(m_hosts.at(slot.job)));
    if (!request.ok()) {
        (*m_jobs)[slot.job].error = request.error;
        return false;
    }
    return sendDatagram(slot, request.datagram, read);
}

ConfigSweep::SetSent ConfigSweep::sendSet(Slot& slot)
{
    ConfigJob& job = (*m_jobs)[slot.job];
    const ConfigJob::Set& set = job.sets.at(slot.nextSet);
    ConfigJob::SetOutcome outcome;
    outcome.key = set.key;
    outcome.value = set.value;
    const SnmpEncodeResult request = encodeSetRequest(
        job.writeCommunity, set.n, setTagOf(set.n), set.value, nextRequestId(m_hosts.at(slot.job)));
    if (!request.ok()) {
        // A value the codec cannot carry is this SET's failure only.
        job.setOutcomes.append(outcome);
        ++slot.nextSet;
        return SetSent::Skipped;
    }
    if (!sendDatagram(slot, request.datagram, -1))
        return SetSent::Failed;
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
    slot.outstanding.clear();
    slot.timer->stop();
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
    const QList<Outstanding> lost = std::exchange(slot.outstanding, {});
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

void ConfigSweep::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        const auto tap = [&](const QString& ignored) {
            if (m_tap)
                m_tap(DatagramEvent{false, d.senderText(), d.senderPort, d.data, ignored});
        };
        if (!m_jobs) {
            tap(QStringLiteral("no request outstanding"));
            continue;
        }
        const SnmpReply reply = parseSnmpReply(d.data);
        // Read with all its variables when a GET of several awaits its sender.
        std::optional<SnmpVarbindMessage> all;
        QString why = QStringLiteral("no outstanding request of this sender");
        Slot* owner = nullptr;
        Outstanding taken;
        for (Slot& slot : m_slots) {
            for (qsizetype i = 0; i < slot.outstanding.size(); ++i) {
                const Outstanding& o = slot.outstanding.at(i);
                if (o.awaited.port != d.senderPort ||
                    !o.awaited.agent.isEqual(d.sender, QHostAddress::ConvertV4MappedToIPv4))
                    continue;
                if (!o.group.isEmpty() && !all)
                    all = parseSnmpVarbinds(d.data);
                const QString mismatch =
                    o.group.isEmpty() ? replyMismatch(o.awaited, reply, d.sender, d.senderPort)
                                      : replyMismatch(o.awaited, *all, d.sender, d.senderPort);
                if (!mismatch.isEmpty()) {
                    why = mismatch;
                    continue;
                }
                taken = o;
                slot.outstanding.removeAt(i);
                owner = &slot;
                break;
            }
            if (owner)
                break;
        }
        if (!owner) {
            tap(why);
            continue;
        }
        Slot& slot = *owner;
        if (!taken.group.isEmpty()) {
            const QString otherVariables = varbindMismatch(taken.awaited, *all);
            // noSuchName names the one variable the agent does not have: it
            // ends as its own GET would (answered, no value), and the others
            // are asked again together.
            if (all->errorStatus == kNoSuchName && otherVariables.isEmpty() &&
                all->errorIndex >= 1 && all->errorIndex <= taken.group.size()) {
                tap(QString());
                dropUnknownRead(slot, taken, int(all->errorIndex - 1));
                continue;
            }
            // Any other error status or other variables: none of its values
            // is taken, and the reads go one per GET.
            QString refused = all->errorStatus != 0
                                  ? QStringLiteral("error %1").arg(all->errorStatus)
                                  : otherVariables;
            if (!refused.isEmpty())
                refused += QStringLiteral(" for a GET of several; asking one variable per GET");
            tap(refused);
            if (refused.isEmpty())
                takeGroupReply(slot, taken, *all);
            else
                askSingly(slot, taken.group);
            continue;
        }
        tap(QString());
        if (taken.isSet()) {
            slot.timer->stop();
            takeSetReply(slot, reply.text, true);
            continue;
        }
        ConfigJob& job = (*m_jobs)[slot.job];
        const quint8 n = job.reads.at(taken.read);
        job.answered.insert(n);
        if (!reply.text.isEmpty())
            job.values.insert(n, reply.text);
        if (slot.outstanding.isEmpty())
            slot.timer->stop();
        step(slot);
    }
}

} // namespace orvalink
