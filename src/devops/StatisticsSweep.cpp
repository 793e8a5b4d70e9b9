#include "devops/StatisticsSweep.h"

#include "core/UdpBind.h"
#include "core/UdpRead.h"

#include "core/Readouts.h"
#include "core/Text.h"
#include "snmp/SnmpCodec.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QTimer>
#include <QUdpSocket>

namespace orvalink {

StatisticsSweep::StatisticsSweep(const Timings& timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_socket(new QUdpSocket(this)),
      m_lastId(randomLastRequestId())
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QUdpSocket::readyRead, this, &StatisticsSweep::onReadyRead);
}

StatisticsSweep::~StatisticsSweep()
{
    if (m_loop)
        m_loop->quit();
}

void StatisticsSweep::setPorts(quint16 localPort, quint16 agentPort)
{
    m_localPort = localPort;
    m_agentPort = agentPort;
}

QList<ElementStatistics> StatisticsSweep::elementsOf(const Database& database)
{
    QList<ElementStatistics> out;
    for (const ElementEntry& e : loadElementList(database.store(), database.path()).entries) {
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

quint8 StatisticsSweep::nextRequestId(const QHostAddress& host)
{
    // A reply is matched with its agent's address, so an id need only
    // differ from those of the requests still awaited from the same agent
    // (a few at most; the search is bounded all the same).
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

bool StatisticsSweep::run(QList<ElementStatistics>& elements)
{
    m_error.clear();
    QHostAddress bindAddress;
    if (!nmsBindAddress(m_localAddress, &bindAddress, &m_error))
        return false;
    if (m_socket->state() != QAbstractSocket::BoundState &&
        !bindUdp(*m_socket, bindAddress, m_localPort, &m_error))
        return false;

    m_elements = &elements;
    m_nextElement = 0;
    m_finished = 0;
    m_slots.clear();
    m_slots.resize(size_t(qMin(kDefaultInFlight, int(elements.size()))));
    for (Slot& slot : m_slots) {
        slot.timer = new QTimer(this);
        slot.timer->setSingleShot(true);
        slot.timer->setInterval(m_timings.snmpTimeoutMs);
        connect(slot.timer, &QTimer::timeout, this, [this, &slot] { onTimeout(slot); });
    }
    for (Slot& slot : m_slots)
        startNext(slot);
    if (m_finished < elements.size()) {
        QEventLoop loop;
        m_loop = &loop;
        loop.exec();
        m_loop = nullptr;
    }
    for (Slot& slot : m_slots)
        delete slot.timer;
    m_slots.clear();
    m_elements = nullptr;
    return true;
}

void StatisticsSweep::startNext(Slot& slot)
{
    slot.element = -1;
    slot.outstanding.clear();
    if (m_nextElement >= m_elements->size())
        return;
    slot.element = m_nextElement++;
    ElementStatistics& e = (*m_elements)[slot.element];
    e.up = false;
    // The database is read before the run; what each element needs is here.
    StepContext context;
    context.role = e.role == ElementRole::Decoder ? ElementRole::Decoder : ElementRole::Encoder;
    context.sfn = e.sfn;
    slot.steps = selectSteps(statisticsSteps(), context);
    // One reading per counter, in reading order, without a value until its
    // reply comes.
    e.readings.clear();
    for (const OperationStep& step : slot.steps) {
        StatisticsReading r;
        r.key = QLatin1String(step.key);
        r.n = step.n;
        e.readings.append(r);
    }
    slot.community = e.community;
    slot.next = 0;
    slot.lost = false;
    quint32 a = 0;
    slot.host = parseIPv4(e.ip, &a) ? QHostAddress(a) : QHostAddress();
    askNext(slot);
}

void StatisticsSweep::askNext(Slot& slot)
{
    // One counter at a time while the element answers; after a loss, the
    // rest together.
    const qsizetype count = slot.lost ? slot.steps.size() - slot.next : 1;
    for (qsizetype i = 0; i < count && slot.next < slot.steps.size(); ++i) {
        if (!send(slot, slot.next)) {
            // Nothing can be asked of this element: the counters not yet
            // asked for stay without a value.
            slot.next = int(slot.steps.size());
            break;
        }
        ++slot.next;
    }
    if (slot.outstanding.isEmpty()) {
        finishElement(slot);
        return;
    }
    slot.timer->start();
}

bool StatisticsSweep::send(Slot& slot, int step)
{
    if (slot.host.isNull())
        return false;
    const quint8 n = slot.steps.at(step).n;
    const SnmpEncodeResult request = encodeGetRequest(slot.community, n, nextRequestId(slot.host));
    if (!request.ok() || m_socket->writeDatagram(request.datagram, slot.host, m_agentPort) !=
                             request.datagram.size())
        return false;
    if (m_tap)
        m_tap(DatagramEvent{true, slot.host.toString(), m_agentPort, request.datagram, QString()});
    slot.outstanding.append(
        Outstanding{step, awaitedReplyOf(request.datagram, slot.host, m_agentPort)});
    return true;
}

void StatisticsSweep::finishElement(Slot& slot)
{
    slot.outstanding.clear();
    slot.timer->stop();
    ++m_finished;
    startNext(slot);
    if (m_finished >= m_elements->size() && m_loop)
        m_loop->quit();
}

void StatisticsSweep::onTimeout(Slot& slot)
{
    if (slot.element < 0 || slot.outstanding.isEmpty())
        return;
    // The counters still awaited stay without a value; the others are
    // still asked for.
    slot.outstanding.clear();
    slot.lost = true;
    if (slot.next < slot.steps.size())
        askNext(slot);
    else
        finishElement(slot);
}

void StatisticsSweep::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        const auto tap = [&](const QString& ignored) {
            if (m_tap)
                m_tap(DatagramEvent{false, d.senderText(), d.senderPort, d.data, ignored});
        };
        if (!m_elements) {
            tap(QStringLiteral("no request outstanding"));
            continue;
        }
        const SnmpReply reply = parseSnmpReply(d.data);
        QString why = QStringLiteral("no outstanding request of this sender");
        bool taken = false;
        for (Slot& slot : m_slots) {
            for (qsizetype i = 0; i < slot.outstanding.size() && !taken; ++i) {
                const Outstanding& o = slot.outstanding.at(i);
                // Requests to other agents are passed over without a word.
                if (o.awaited.port != d.senderPort ||
                    !o.awaited.agent.isEqual(d.sender, QHostAddress::ConvertV4MappedToIPv4))
                    continue;
                const QString mismatch = replyMismatch(o.awaited, reply, d.sender, d.senderPort);
                if (!mismatch.isEmpty()) {
                    why = mismatch;
                    continue;
                }
                taken = true;
                tap(QString());
                ElementStatistics& e = (*m_elements)[slot.element];
                StatisticsReading& r = e.readings[o.step];
                r.value = reply.text;
                r.answered = true;
                e.up = true;
                slot.outstanding.removeAt(i);
                if (slot.outstanding.isEmpty()) {
                    slot.timer->stop();
                    askNext(slot);
                }
            }
            if (taken)
                break;
        }
        if (!taken)
            tap(why);
    }
}

} // namespace orvalink
