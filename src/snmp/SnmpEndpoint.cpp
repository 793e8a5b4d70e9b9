#include "snmp/SnmpEndpoint.h"

#include "core/Text.h"
#include "core/UdpBind.h"
#include "core/UdpRead.h"

#include <QPointer>
#include <QTimer>
#include <QUdpSocket>
#include <climits>

namespace orvalink {

namespace {
const AwaitedReply kNothingAwaited;
} // namespace

SnmpEndpoint::SnmpEndpoint(QObject* parent)
    : QObject(parent), m_socket(new QUdpSocket(this)), m_timer(new QTimer(this)),
      m_lastId(randomLastRequestId())
{
    // A reply wait lasts its whole length: a coarse timer may end it up to
    // 5% early, which a slow element's reply could just miss.
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SnmpEndpoint::onDeadline);
    connect(m_socket, &QUdpSocket::readyRead, this, &SnmpEndpoint::onReadyRead);
    m_clock.start();
}

SnmpEndpoint::~SnmpEndpoint() = default;

bool SnmpEndpoint::open(const QString& localAddress, quint16 localPort, QString* error,
                        bool* portTaken)
{
    if (portTaken)
        *portTaken = false;
    QHostAddress address;
    if (!nmsBindAddress(localAddress, &address, error))
        return false;
    if (isOpen() && m_socket->localAddress() == address &&
        (localPort == 0 || m_socket->localPort() == localPort))
        return true;
    close();
    return bindUdp(*m_socket, address, localPort, error, portTaken);
}

bool SnmpEndpoint::isOpen() const
{
    return m_socket->state() == QAbstractSocket::BoundState;
}

QHostAddress SnmpEndpoint::localAddress() const
{
    return isOpen() ? m_socket->localAddress() : QHostAddress();
}

quint16 SnmpEndpoint::localPort() const
{
    return isOpen() ? m_socket->localPort() : 0;
}

void SnmpEndpoint::close()
{
    forgetAll();
    m_socket->close();
}

void SnmpEndpoint::forgetAll()
{
    m_requests.clear();
    m_byKey.clear();
    m_deadlines.clear();
}

int SnmpEndpoint::send(const QHostAddress& agent, const Build& build, int waitMs, QString* error)
{
    const quint32 host = agent.toIPv4Address();
    // An id need only differ from those still awaited from the same agent.
    quint8 id = m_lastId;
    int tries = 0;
    do {
        id = nextRequestId(id);
    } while (m_byKey.contains(keyOf(host, id)) && ++tries < kLastRequestId);
    if (m_byKey.contains(keyOf(host, id))) {
        *error = QStringLiteral("every request-id is awaited from %1").arg(agent.toString());
        return 0;
    }
    const SnmpEncodeResult request = build(id);
    if (!request.ok()) {
        *error = request.error;
        return 0;
    }
    if (!isOpen()) {
        *error = QStringLiteral("Cannot send to %1 port %2: the socket is not open")
                     .arg(agent.toString())
                     .arg(m_agentPort);
        return 0;
    }
    if (m_socket->writeDatagram(request.datagram, agent, m_agentPort) != request.datagram.size()) {
        *error = QStringLiteral("Cannot send to %1 port %2: %3")
                     .arg(agent.toString())
                     .arg(m_agentPort)
                     .arg(m_socket->errorString());
        return 0;
    }
    if (m_tap)
        m_tap(DatagramEvent{true, agent.toString(), m_agentPort, request.datagram, QString()});
    m_lastId = id;
    const int token = m_lastToken = m_lastToken == INT_MAX ? 1 : m_lastToken + 1;
    Request& r = m_requests[token];
    r.awaited = awaitedReplyOf(request.datagram, agent, m_agentPort);
    r.key = keyOf(host, id);
    r.waitMs = waitMs;
    setDeadline(token, r, false);
    m_byKey.insert(r.key, token);
    return token;
}

void SnmpEndpoint::setDeadline(int token, Request& r, bool replace)
{
    if (replace)
        m_deadlines.erase(r.deadline);
    const qint64 end = m_clock.elapsed() + r.waitMs;
    r.deadline = m_deadlines.emplace(end, token);
    if (m_armedFor < 0 || end < m_armedFor)
        armTimer();
}

void SnmpEndpoint::armTimer()
{
    if (m_deadlines.empty()) {
        m_timer->stop();
        m_armedFor = -1;
        return;
    }
    m_armedFor = m_deadlines.begin()->first;
    m_timer->start(int(qMax<qint64>(0, m_armedFor - m_clock.elapsed())));
}

void SnmpEndpoint::restartWait(int token)
{
    const auto it = m_requests.find(token);
    if (it != m_requests.end())
        setDeadline(token, *it, true);
}

void SnmpEndpoint::forget(int token)
{
    const auto it = m_requests.find(token);
    if (it == m_requests.end())
        return;
    m_byKey.remove(it->key);
    m_deadlines.erase(it->deadline);
    m_requests.erase(it);
    // The timer set for it goes off in vain and is set again then.
}

const AwaitedReply& SnmpEndpoint::awaited(int token) const
{
    const auto it = m_requests.constFind(token);
    return it == m_requests.cend() ? kNothingAwaited : it->awaited;
}

void SnmpEndpoint::onDeadline()
{
    m_armedFor = -1;
    QPointer<SnmpEndpoint> self(this);
    const qint64 now = m_clock.elapsed();
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        const int token = m_deadlines.begin()->second;
        forget(token);
        Q_EMIT timedOut(token);
        if (!self)
            return;
    }
    if (m_armedFor < 0)
        armTimer();
}

void SnmpEndpoint::discardPending()
{
    while (m_socket->hasPendingDatagrams()) {
        if (!m_tap) {
            if (m_socket->readDatagram(nullptr, 0) < 0)
                break;
            continue;
        }
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        tapReceived(d.data, d.sender, d.senderPort, QStringLiteral("no request outstanding"));
    }
}

void SnmpEndpoint::onReadyRead()
{
    QPointer<SnmpEndpoint> self(this);
    while (self && m_socket->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        take(d.data, d.sender, d.senderPort);
    }
}

void SnmpEndpoint::take(const QByteArray& data, const QHostAddress& sender, quint16 senderPort)
{
    if (m_requests.isEmpty()) {
        tapReceived(data, sender, senderPort, QStringLiteral("no request outstanding"));
        Q_EMIT unasked();
        return;
    }
    const SnmpReading reading = readSnmpDatagram(data);
    // An id of 128 or more goes out in the devices' one-byte form, which a
    // strict agent reads as negative and echoes so: the low byte is the id
    // sent either way (the match checks the rest).
    const qint64 id = reading.first.requestId;
    const auto it = id >= -128 && id <= 255
                        ? m_byKey.constFind(keyOf(sender.toIPv4Address(), quint8(id)))
                        : m_byKey.constEnd();
    if (it == m_byKey.constEnd()) {
        tapReceived(data, sender, senderPort, whyNotTaken(reading, sender, senderPort));
        return;
    }
    const int token = it.value();
    const QString mismatch =
        replyMismatch(m_requests.value(token).awaited, reading, sender, senderPort);
    if (!mismatch.isEmpty()) {
        tapReceived(data, sender, senderPort, mismatch);
        return;
    }
    if (m_tap)
        tapReceived(data, sender, senderPort,
                    m_replyNote ? m_replyNote(token, reading) : QString());
    forget(token);
    Q_EMIT replied(token, reading);
}

QString SnmpEndpoint::whyNotTaken(const SnmpReading& reading, const QHostAddress& sender,
                                  quint16 senderPort) const
{
    if (!m_tap)
        return QString();
    // Said against a request of the same sender when there is one, else
    // against the one request awaited, else in general.
    const AwaitedReply* against = m_requests.size() == 1 ? &m_requests.cbegin()->awaited : nullptr;
    for (const Request& r : m_requests) {
        if (r.awaited.port == senderPort &&
            r.awaited.agent.isEqual(sender, QHostAddress::ConvertV4MappedToIPv4)) {
            against = &r.awaited;
            break;
        }
    }
    if (!against)
        return QStringLiteral("no outstanding request of this sender");
    const QString why = replyMismatch(*against, reading, sender, senderPort);
    return why.isEmpty() ? QStringLiteral("no outstanding request of this sender") : why;
}

void SnmpEndpoint::tapReceived(const QByteArray& data, const QHostAddress& sender, quint16 port,
                               const QString& ignored)
{
    if (!m_tap)
        return;
    m_tap(DatagramEvent{false, formatIPv4(sender.toIPv4Address()), port, data, ignored});
}

} // namespace orvalink
