#include "snmp/SnmpTransport.h"

#include "snmp/SnmpCodec.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

namespace orvalink {

namespace {
constexpr quint8 kLastRequestId = 250;
}

SnmpTransport::SnmpTransport(const Timings& timings, QObject* parent)
    : QObject(parent)
    , m_timings(timings)
    , m_sckUDP(new QUdpSocket(this))
    , m_timerSNMPTimeout(new QTimer(this))
    , m_tmrSNMPSetAllowed(new QTimer(this))
{
    // Datagrams go straight to the element: no system proxy is consulted
    // (which would also cost a proxy lookup at every bind).
    m_sckUDP->setProxy(QNetworkProxy::NoProxy);
    m_timerSNMPTimeout->setSingleShot(true);
    m_timerSNMPTimeout->setInterval(m_timings.snmpTimeoutMs);
    m_tmrSNMPSetAllowed->setInterval(m_timings.snmpSetAllowedMs);
    connect(m_sckUDP, &QUdpSocket::readyRead, this, &SnmpTransport::sckUDP_DataArrival);
    connect(m_timerSNMPTimeout, &QTimer::timeout, this, &SnmpTransport::timerSNMPTimeout_Timer);
    // The timer stops itself at its first tick.
    connect(m_tmrSNMPSetAllowed, &QTimer::timeout, m_tmrSNMPSetAllowed, &QTimer::stop);
}

SnmpTransport::~SnmpTransport()
{
    // Destroyed from an event dispatched during a wait: let the wait end.
    if (m_waitLoop)
        m_waitLoop->quit();
}

void SnmpTransport::setLocalAddress(const QString& strLocalNMSIPAddress)
{
    m_strLocalNMSIPAddress = strLocalNMSIPAddress;
}

void SnmpTransport::setPorts(quint16 localPort, quint16 agentPort)
{
    m_localPort = localPort;
    m_agentPort = agentPort;
}

bool SnmpTransport::isBound() const
{
    return m_open;
}

void SnmpTransport::closeSocket()
{
    // The exchange's socket is closed here. The system socket behind it is
    // kept, so that the next exchange on the same interface need not create
    // and bind a new one; whatever arrives in between is thrown away, as a
    // closed socket would.
    m_open = false;
    discardPending();
}

void SnmpTransport::discardPending()
{
    while (m_sckUDP->hasPendingDatagrams()) {
        if (m_sckUDP->readDatagram(nullptr, 0) < 0)
            break;
    }
}

QString SnmpTransport::get(const QString& strHostIP, const QString& strCommunity, quint8 byteOID)
{
    return exchange(Kind::Get, strHostIP, strCommunity, byteOID, 0, QString());
}

QString SnmpTransport::set(const QString& strHostIP, const QString& strCommunity, quint8 byteOID,
                           quint8 byteValueType, const QString& varValue)
{
    return exchange(Kind::Set, strHostIP, strCommunity, byteOID, byteValueType, varValue);
}

QString SnmpTransport::exchange(Kind kind, const QString& strHostIP, const QString& strCommunity,
                                quint8 byteOID, quint8 byteValueType, const QString& varValue)
{
    if (m_SNMPAwaitingReply) {
        // The socket, the reply buffer and the wait are shared: a second
        // exchange from an event dispatched during a wait would steal the
        // first one's reply.
        qWarning("SnmpTransport: exchange for parameter %u refused, another one is waiting",
                 unsigned(byteOID));
        return QString();
    }

    const quint8 requestId = m_SNMPRequestID >= kLastRequestId ? 1 : quint8(m_SNMPRequestID + 1);
    const SnmpEncodeResult request = kind == Kind::Get
        ? encodeGetRequest(strCommunity, byteOID, requestId)
        : encodeSetRequest(strCommunity, byteOID, byteValueType, varValue, requestId);
    if (!request.ok()) {
        qWarning("SnmpTransport: request for parameter %u not sent: %s", unsigned(byteOID),
                 qPrintable(request.error));
        return QString();
    }

    quint32 hostIPv4 = 0;
    if (!parseIPv4(strHostIP, &hostIPv4)) {
        reportFailure(QStringLiteral("Cannot send to \"%1\": not an IPv4 address.").arg(strHostIP));
        return QString();
    }
    const QHostAddress host(hostIPv4);
    if (!ensureBound())
        return QString();

    m_SNMPResponse.clear();
    if (m_sckUDP->writeDatagram(request.datagram, host, m_agentPort) != request.datagram.size()) {
        reportFailure(QStringLiteral("Cannot send to %1 port %2: %3")
                          .arg(host.toString())
                          .arg(m_agentPort)
                          .arg(m_sckUDP->errorString()));
        m_sckUDP->close();
        m_open = false;
        return QString();
    }
    m_failureReported = false;
    m_SNMPRequestID = requestId;
    m_awaitedHost = host;

    m_SNMPAwaitingReply = true;
    m_timerSNMPTimeout->start();
    QPointer<SnmpTransport> self(this);
    QEventLoop loop;
    m_waitLoop = &loop;
    loop.exec();
    if (!self)
        return QString();
    m_waitLoop = nullptr;

    if (m_SNMPResponse.isEmpty())
        return QString();
    return decodeSnmpResponse(m_SNMPResponse);
}

bool SnmpTransport::ensureBound()
{
    if (m_open)
        return true;
    const QString local = m_strLocalNMSIPAddress.trimmed();
    QHostAddress address(QHostAddress::AnyIPv4);
    if (!local.isEmpty() && local != QLatin1String("0.0.0.0")) {
        quint32 localIPv4 = 0;
        if (!parseIPv4(local, &localIPv4)) {
            reportFailure(QStringLiteral("The NMS interface address \"%1\" is not an IPv4 address.")
                              .arg(m_strLocalNMSIPAddress));
            return false;
        }
        address = QHostAddress(localIPv4);
    }
    if (m_sckUDP->state() == QAbstractSocket::BoundState && m_sckUDP->localAddress() == address
        && m_sckUDP->localPort() == m_localPort) {
        discardPending();
        m_open = true;
        return true;
    }
    m_sckUDP->close();
    // No address sharing: another program's socket on the same port would
    // otherwise receive some of our replies.
    if (!m_sckUDP->bind(address, m_localPort, QAbstractSocket::DontShareAddress)) {
        reportFailure(QStringLiteral("Cannot open UDP port %1 on %2: %3")
                          .arg(m_localPort)
                          .arg(address.toString())
                          .arg(m_sckUDP->errorString()));
        m_sckUDP->close();
        return false;
    }
    m_open = true;
    return true;
}

void SnmpTransport::reportFailure(const QString& message)
{
    qWarning("SnmpTransport: %s", qPrintable(message));
    if (m_failureReported)
        return;
    m_failureReported = true;
    Q_EMIT transportFailure(message);
}

void SnmpTransport::sckUDP_DataArrival()
{
    while (m_sckUDP->hasPendingDatagrams()) {
        // Only the sender is asked for: a full QNetworkDatagram would make the
        // socket layer collect the destination and hop limit of every reply.
        const qint64 size = m_sckUDP->pendingDatagramSize();
        QByteArray data(qMax<qint64>(size, 0), Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read = m_sckUDP->readDatagram(data.data(), data.size(), &sender, &senderPort);
        if (read < 0)
            break;
        data.truncate(int(read));
        if (!m_SNMPAwaitingReply) {
            // Nothing outstanding (a reply that came after its wait timed
            // out, or a stray): dropped; the next exchange binds again.
            closeSocket();
            return;
        }
        // Only the queried agent's reply to the outstanding request ends the
        // wait; anything else is dropped and the wait goes on.
        const bool fromAgent = senderPort == m_agentPort
            && sender.isEqual(m_awaitedHost, QHostAddress::ConvertV4MappedToIPv4);
        if (!fromAgent)
            continue;
        const SnmpReply reply = parseSnmpReply(data);
        if (!reply.valid || !requestIdMatches(reply.requestId, m_SNMPRequestID))
            continue;
        m_SNMPResponse = data;
        m_timerSNMPTimeout->stop();
        closeSocket();
        endWait();
        return;
    }
}

void SnmpTransport::timerSNMPTimeout_Timer()
{
    // The socket stays bound: a late reply closes it when it comes.
    m_timerSNMPTimeout->stop();
    endWait();
}

void SnmpTransport::endWait()
{
    m_SNMPAwaitingReply = false;
    if (m_waitLoop)
        m_waitLoop->quit();
}

void SnmpTransport::waitSetAllowed()
{
    QEventLoop loop;
    connect(m_tmrSNMPSetAllowed, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A nested call waits for the running interval rather than restarting it.
    if (!m_tmrSNMPSetAllowed->isActive())
        m_tmrSNMPSetAllowed->start();
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace orvalink
