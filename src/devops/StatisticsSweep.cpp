#include "devops/StatisticsSweep.h"

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
    : QObject(parent), m_timings(timings), m_socket(new QUdpSocket(this))
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

quint8 StatisticsSweep::nextRequestId()
{
    // At most 200 requests are outstanding, one per slot, so among 250 ids
    // there is always one that no outstanding request carries.
    for (;;) {
        m_lastId = orvalink::nextRequestId(m_lastId);
        bool inUse = false;
        for (const Slot& s : m_slots)
            inUse |= s.waiting && s.requestId == m_lastId;
        if (!inUse)
            return m_lastId;
    }
}

bool StatisticsSweep::run(QList<ElementStatistics>& elements)
{
    m_error.clear();
    const QString local = trimBlanks(m_localAddress);
    QHostAddress bindAddress(QHostAddress::AnyIPv4);
    if (!local.isEmpty() && local != QLatin1String("0.0.0.0")) {
        quint32 a = 0;
        if (!parseIPv4(local, &a)) {
            m_error = QStringLiteral("The NMS interface address \"%1\" is not an IPv4 address.")
                          .arg(local);
            return false;
        }
        bindAddress = QHostAddress(a);
    }
    if (m_socket->state() != QAbstractSocket::BoundState &&
        !m_socket->bind(bindAddress, m_localPort, QAbstractSocket::DontShareAddress)) {
        m_error = QStringLiteral("Cannot open UDP port %1 on %2: %3")
                      .arg(m_localPort)
                      .arg(bindAddress.toString(), m_socket->errorString());
        return false;
    }

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
    if (m_nextElement >= m_elements->size())
        return;
    slot.element = m_nextElement++;
    ElementStatistics& e = (*m_elements)[slot.element];
    e.readings.clear();
    e.up = false;
    // The database is read before the run; what each element needs is here.
    StepContext context;
    context.role = e.role == ElementRole::Decoder ? ElementRole::Decoder : ElementRole::Encoder;
    context.sfn = e.sfn;
    slot.steps = selectSteps(statisticsSteps(), context);
    slot.community = e.community;
    slot.step = 0;
    quint32 a = 0;
    slot.host = parseIPv4(e.ip, &a) ? QHostAddress(a) : QHostAddress();
    sendStep(slot);
}

void StatisticsSweep::sendStep(Slot& slot)
{
    if (slot.step >= slot.steps.size()) {
        finishElement(slot);
        return;
    }
    const quint8 n = slot.steps.at(slot.step).n;
    const quint8 id = nextRequestId();
    const SnmpEncodeResult request = encodeGetRequest(slot.community, n, id);
    if (slot.host.isNull() || !request.ok() ||
        m_socket->writeDatagram(request.datagram, slot.host, m_agentPort) !=
            request.datagram.size()) {
        // Nothing can be asked of this element: every counter has no value.
        while (slot.step < slot.steps.size())
            stepDone(slot, QString(), false);
        finishElement(slot);
        return;
    }
    if (m_tap)
        m_tap(DatagramEvent{true, slot.host.toString(), m_agentPort, request.datagram, QString()});
    slot.requestId = id;
    slot.waiting = true;
    slot.timer->start();
}

void StatisticsSweep::stepDone(Slot& slot, const QString& value, bool answered)
{
    ElementStatistics& e = (*m_elements)[slot.element];
    StatisticsReading r;
    r.key = QLatin1String(slot.steps.at(slot.step).key);
    r.n = slot.steps.at(slot.step).n;
    r.value = value;
    r.answered = answered;
    e.readings.append(r);
    e.up |= answered;
    ++slot.step;
}

void StatisticsSweep::finishElement(Slot& slot)
{
    slot.waiting = false;
    slot.timer->stop();
    ++m_finished;
    startNext(slot);
    if (m_finished >= m_elements->size() && m_loop)
        m_loop->quit();
}

void StatisticsSweep::onTimeout(Slot& slot)
{
    if (!slot.waiting || slot.element < 0)
        return;
    slot.waiting = false;
    const bool everAnswered = (*m_elements)[slot.element].up;
    stepDone(slot, QString(), false);
    if (!everAnswered) {
        // Down: the rest would only wait as long again each.
        while (slot.step < slot.steps.size())
            stepDone(slot, QString(), false);
    }
    sendStep(slot);
}

void StatisticsSweep::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        const QByteArray& data = d.data;
        const QHostAddress& sender = d.sender;
        const quint16 senderPort = d.senderPort;
        const auto tap = [&](const QString& ignored) {
            if (m_tap)
                m_tap(DatagramEvent{false, d.senderText(), senderPort, data, ignored});
        };
        if (senderPort != m_agentPort || !m_elements) {
            tap(QStringLiteral("other sender port"));
            continue;
        }
        const SnmpReply reply = parseSnmpReply(data);
        if (!reply.valid) {
            tap(QStringLiteral("not a GetResponse with a variable"));
            continue;
        }
        bool taken = false;
        for (Slot& slot : m_slots) {
            if (!slot.waiting || !requestIdMatches(reply.requestId, slot.requestId) ||
                !sender.isEqual(slot.host, QHostAddress::ConvertV4MappedToIPv4))
                continue;
            taken = true;
            tap(QString());
            slot.waiting = false;
            slot.timer->stop();
            stepDone(slot, reply.text, true);
            sendStep(slot);
            break;
        }
        if (!taken)
            tap(QStringLiteral("no outstanding request of this sender and request-id"));
    }
}

} // namespace orvalink
