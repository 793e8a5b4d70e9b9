#include "snmp/SnmpTransport.h"

#include "core/UdpBind.h"
#include "core/UdpRead.h"

#include "snmp/SnmpCodec.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

namespace orvalink {

SnmpTransport::SnmpTransport(const Timings& timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_sckUDP(new QUdpSocket(this)),
      m_timerSNMPTimeout(new QTimer(this)), m_SNMPRequestID(randomLastRequestId())
{
    // Datagrams go straight to the element: no system proxy is consulted
    // (which would also cost a proxy lookup at every bind).
    m_sckUDP->setProxy(QNetworkProxy::NoProxy);
    m_timerSNMPTimeout->setSingleShot(true);
    // The reply wait lasts its whole length: a coarse timer may end it up
    // to 5% early, which a slow element's reply could just miss.
    m_timerSNMPTimeout->setTimerType(Qt::PreciseTimer);
    m_timerSNMPTimeout->setInterval(m_timings.snmpTimeoutMs);
    connect(m_sckUDP, &QUdpSocket::readyRead, this, &SnmpTransport::sckUDP_DataArrival);
    connect(m_timerSNMPTimeout, &QTimer::timeout, this, &SnmpTransport::timerSNMPTimeout_Timer);
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

void SnmpTransport::setLastRequestId(quint8 id)
{
    m_SNMPRequestID = id;
}

QString SnmpTransport::checkSocket()
{
    if (m_SNMPAwaitingReply || m_open)
        return QString();
    QString reason;
    if (!ensureBound(&reason))
        return reason;
    // Bound and kept for the first exchange, as after any exchange.
    closeSocket();
    return QString();
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
        if (!m_tap) {
            if (m_sckUDP->readDatagram(nullptr, 0) < 0)
                break;
            continue;
        }
        const ReceivedDatagram d = readPendingDatagram(*m_sckUDP);
        if (!d.ok)
            break;
        tapReceived(d.data, d.sender, d.senderPort, QStringLiteral("no request outstanding"));
    }
}

void SnmpTransport::tapReceived(const QByteArray& data, const QHostAddress& sender, quint16 port,
                                const QString& ignored)
{
    if (!m_tap)
        return;
    DatagramEvent e;
    e.peer = formatIPv4(sender.toIPv4Address());
    e.peerPort = port;
    e.data = data;
    e.ignored = ignored;
    m_tap(e);
}

SnmpResult SnmpTransport::GetSNMP(const QString& strHostIP, const QString& strCommunity,
                                  quint8 byteOID)
{
    return exchange(Kind::Get, strHostIP, strCommunity, byteOID, 0, QString());
}

SnmpResult SnmpTransport::SetSNMP(const QString& strHostIP, const QString& strCommunity,
                                  quint8 byteOID, quint8 byteValueType, const QString& varValue)
{
    return exchange(Kind::Set, strHostIP, strCommunity, byteOID, byteValueType, varValue);
}

SnmpResult SnmpTransport::exchange(Kind kind, const QString& strHostIP, const QString& strCommunity,
                                   quint8 byteOID, quint8 byteValueType, const QString& varValue)
{
    if (m_SNMPAwaitingReply) {
        // The socket, the reply buffer and the wait are shared: a second
        // exchange from an event dispatched during a wait would steal the
        // first one's reply.
        return notSent(QStringLiteral("Parameter %1 was not asked for: another SNMP exchange "
                                      "is still waiting for its reply.")
                           .arg(byteOID),
                       false);
    }

    const quint8 requestId = nextRequestId(m_SNMPRequestID);
    const SnmpEncodeResult request =
        kind == Kind::Get
            ? encodeGetRequest(strCommunity, byteOID, requestId)
            : encodeSetRequest(strCommunity, byteOID, byteValueType, varValue, requestId);
    if (!request.ok())
        return notSent(
            QStringLiteral("Parameter %1 was not sent: %2.").arg(byteOID).arg(request.error),
            false);

    quint32 hostIPv4 = 0;
    if (!parseIPv4(strHostIP, &hostIPv4))
        return notSent(QStringLiteral("Cannot send to \"%1\": not an IPv4 address.").arg(strHostIP),
                       true);
    const QHostAddress host(hostIPv4);
    QString bindFailure;
    if (!ensureBound(&bindFailure))
        return notSent(bindFailure, true);

    m_SNMPResponse.clear();
    if (m_sckUDP->writeDatagram(request.datagram, host, m_agentPort) != request.datagram.size()) {
        const QString why = QStringLiteral("Cannot send to %1 port %2: %3")
                                .arg(host.toString())
                                .arg(m_agentPort)
                                .arg(m_sckUDP->errorString());
        m_sckUDP->close();
        m_open = false;
        return notSent(why, true);
    }
    if (m_tap)
        m_tap(DatagramEvent{true, host.toString(), m_agentPort, request.datagram, QString()});
    m_failureReported = false;
    m_SNMPRequestID = requestId;
    m_awaited = awaitedReplyOf(request.datagram, host, m_agentPort);

    m_SNMPAwaitingReply = true;
    m_timerSNMPTimeout->start();
    QPointer<SnmpTransport> self(this);
    QEventLoop loop;
    m_waitLoop = &loop;
    loop.exec();
    SnmpResult result;
    result.outcome = SnmpOutcome::NoAnswer;
    if (!self)
        return result;
    m_waitLoop = nullptr;

    if (m_SNMPResponse.isEmpty()) {
        Q_EMIT noAnswer(host.toString(), byteOID);
        return result;
    }
    result.value = m_reply.text;
    result.outcome = result.value.isEmpty() ? SnmpOutcome::NoValue : SnmpOutcome::Value;
    return result;
}

bool SnmpTransport::ensureBound(QString* reason)
{
    if (m_open)
        return true;
    QHostAddress address;
    if (!nmsBindAddress(m_strLocalNMSIPAddress, &address, reason))
        return false;
    if (m_sckUDP->state() == QAbstractSocket::BoundState && m_sckUDP->localAddress() == address &&
        m_sckUDP->localPort() == m_localPort) {
        discardPending();
        m_open = true;
        return true;
    }
    m_sckUDP->close();
    if (!bindUdp(*m_sckUDP, address, m_localPort, reason))
        return false;
    m_open = true;
    return true;
}

SnmpResult SnmpTransport::notSent(const QString& reason, bool socketFailure)
{
    // Failures of the socket layer reach the operator once per streak
    // through transportFailure(); the others are logged. The caller has the
    // reason in the result either way.
    if (!socketFailure)
        qWarning("SnmpTransport: %s", qPrintable(reason));
    else if (!m_failureReported) {
        m_failureReported = true;
        Q_EMIT transportFailure(reason);
    }
    SnmpResult result;
    result.outcome = SnmpOutcome::NotSent;
    result.reason = reason;
    return result;
}

void SnmpTransport::sckUDP_DataArrival()
{
    while (m_sckUDP->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_sckUDP);
        if (!d.ok)
            break;
        const QByteArray& data = d.data;
        const QHostAddress& sender = d.sender;
        const quint16 senderPort = d.senderPort;
        if (!m_SNMPAwaitingReply) {
            // Nothing outstanding (a reply that came after its wait timed
            // out, or a stray): dropped; the next exchange binds again.
            tapReceived(data, sender, senderPort, QStringLiteral("no request outstanding"));
            closeSocket();
            return;
        }
        // Only the queried agent's reply to the outstanding request, with its
        // community and about the parameter asked for, ends the wait;
        // anything else is dropped and the wait goes on.
        SnmpReading reply = readSnmpDatagram(data);
        const QString mismatch = replyMismatch(m_awaited, reply, sender, senderPort);
        tapReceived(data, sender, senderPort, mismatch);
        if (!mismatch.isEmpty())
            continue;
        m_SNMPResponse = data;
        m_reply = std::move(reply.first);
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

} // namespace orvalink
