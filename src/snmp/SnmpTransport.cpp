#include "snmp/SnmpTransport.h"

#include "core/Text.h"

#include <QEventLoop>
#include <QPointer>

namespace orvalink {

SnmpTransport::SnmpTransport(const Timings& timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_sckUDP(new SnmpEndpoint(this))
{
    connect(m_sckUDP, &SnmpEndpoint::replied, this, &SnmpTransport::sckUDP_DataArrival);
    connect(m_sckUDP, &SnmpEndpoint::unasked, this, &SnmpTransport::sckUDP_Unasked);
    connect(m_sckUDP, &SnmpEndpoint::timedOut, this, &SnmpTransport::timerSNMPTimeout_Timer);
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
    m_sckUDP->setAgentPort(agentPort);
}

quint8 SnmpTransport::lastRequestId() const
{
    return m_sckUDP->lastRequestId();
}

void SnmpTransport::setLastRequestId(quint8 id)
{
    m_sckUDP->setLastRequestId(id);
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
    m_sckUDP->discardPending();
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

    // Nothing else is awaited on this socket: the request goes out with the
    // next id, which is known before it is built.
    const quint8 requestId = nextRequestId(m_sckUDP->lastRequestId());
    const auto encode = [&](quint8 id) {
        return kind == Kind::Get
                   ? encodeGetRequest(strCommunity, byteOID, id)
                   : encodeSetRequest(strCommunity, byteOID, byteValueType, varValue, id);
    };
    const SnmpEncodeResult request = encode(requestId);
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

    m_replied = false;
    QString why;
    m_request = m_sckUDP->send(
        host, [&](quint8 id) { return id == requestId ? request : encode(id); },
        m_timings.snmpTimeoutMs, &why);
    if (m_request == 0) {
        m_sckUDP->close();
        m_open = false;
        return notSent(why, true);
    }
    m_failureReported = false;

    m_SNMPAwaitingReply = true;
    QPointer<SnmpTransport> self(this);
    QEventLoop loop;
    m_waitLoop = &loop;
    loop.exec();
    SnmpResult result;
    result.outcome = SnmpOutcome::NoAnswer;
    if (!self)
        return result;
    m_waitLoop = nullptr;

    if (!m_replied) {
        Q_EMIT noAnswer(host.toString(), byteOID);
        return result;
    }
    result.value = m_SNMPResponse.text;
    result.outcome = result.value.isEmpty() ? SnmpOutcome::NoValue : SnmpOutcome::Value;
    return result;
}

bool SnmpTransport::ensureBound(QString* reason)
{
    if (m_open)
        return true;
    const bool wasOpen = m_sckUDP->isOpen();
    if (!m_sckUDP->open(m_strLocalNMSIPAddress, m_localPort, reason))
        return false;
    // The same socket again: what came while it was closed is dropped.
    if (wasOpen)
        m_sckUDP->discardPending();
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

void SnmpTransport::sckUDP_DataArrival(int token, const SnmpReading& reply)
{
    // Only the queried agent's reply to the outstanding request, with its
    // community and about the parameter asked for, ends the wait (the
    // endpoint dropped anything else and the wait went on).
    if (!m_SNMPAwaitingReply || token != m_request)
        return;
    m_SNMPResponse = reply.first;
    m_replied = true;
    closeSocket();
    endWait();
}

void SnmpTransport::sckUDP_Unasked()
{
    // Nothing outstanding (a reply that came after its wait timed out, or a
    // stray): dropped; the next exchange binds again.
    if (!m_SNMPAwaitingReply)
        closeSocket();
}

void SnmpTransport::timerSNMPTimeout_Timer(int token)
{
    // The socket stays bound: a late reply closes it when it comes.
    if (token == m_request)
        endWait();
}

void SnmpTransport::endWait()
{
    m_SNMPAwaitingReply = false;
    if (m_waitLoop)
        m_waitLoop->quit();
}

} // namespace orvalink
