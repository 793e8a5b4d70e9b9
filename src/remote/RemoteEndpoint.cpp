#include "remote/RemoteEndpoint.h"

#include "core/UdpBind.h"
#include "core/UdpRead.h"

#include "core/Text.h"
#include "remote/RemoteCodec.h"

#include <QNetworkProxy>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

namespace orvalink {

RemoteEndpoint::RemoteEndpoint(QObject* parent)
    : QObject(parent), m_socket(new QUdpSocket(this)), m_localPort(remote::kLocalPort)
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QUdpSocket::readyRead, this, &RemoteEndpoint::udpClient_DataArrival);
}

RemoteEndpoint::~RemoteEndpoint() = default;

void RemoteEndpoint::setLocalAddress(const QString& strLocalNMSIPAddress)
{
    m_localAddress = strLocalNMSIPAddress;
}

quint16 RemoteEndpoint::boundPort() const
{
    return isBound() ? m_socket->localPort() : 0;
}

bool RemoteEndpoint::isBound() const
{
    return m_socket->state() == QAbstractSocket::BoundState;
}

void RemoteEndpoint::close()
{
    m_socket->close();
}

void RemoteEndpoint::setRemote(const QString& host, quint16 port)
{
    m_remoteHost = host;
    m_remotePort = port;
}

RemoteSendResult RemoteEndpoint::bindSocket()
{
    QHostAddress address;
    QString why;
    if (!nmsBindAddress(m_localAddress, &address, &why))
        return {RemoteSendOutcome::LocalFailure, why};
    bool taken = false;
    if (bindUdp(*m_socket, address, m_localPort, &why, &taken))
        return {};
    return {taken ? RemoteSendOutcome::PortOccupied : RemoteSendOutcome::LocalFailure, why};
}

RemoteSendResult RemoteEndpoint::transmit(const QByteArray& bytes, quint32 host, quint16 port)
{
    const QHostAddress to(host);
    if (m_socket->writeDatagram(bytes, to, port) == bytes.size()) {
        if (m_tap)
            m_tap(DatagramEvent{true, to.toString(), port, bytes, QString()});
        return {};
    }
    return {RemoteSendOutcome::SendFailed, QStringLiteral("Cannot send to %1 port %2: %3")
                                               .arg(to.toString())
                                               .arg(port)
                                               .arg(m_socket->errorString())};
}

RemoteSendResult RemoteEndpoint::send(const QByteArray& bytes, const QString& strHost, quint16 port)
{
    quint32 host = 0;
    if (trimBlanks(strHost).isEmpty())
        return {RemoteSendOutcome::BadDestination,
                QStringLiteral("The element has no stored IP address.")};
    if (!parseIPv4(strHost, &host) || host == 0)
        return {
            RemoteSendOutcome::BadDestination,
            QStringLiteral("The element's stored IP address \"%1\" is not usable.").arg(strHost)};
    close();
    if (RemoteSendResult bound = bindSocket(); !bound.ok())
        return bound;
    setRemote(formatIPv4(host), port);
    return transmit(bytes, host, port);
}

RemoteSendResult RemoteEndpoint::open()
{
    return isBound() ? RemoteSendResult{} : bindSocket();
}

RemoteSendResult RemoteEndpoint::sendToRemote(const QByteArray& bytes)
{
    quint32 host = 0;
    if (!parseIPv4(m_remoteHost, &host))
        return {RemoteSendOutcome::BadDestination,
                QStringLiteral("\"%1\" is not an IPv4 address.").arg(m_remoteHost)};
    if (RemoteSendResult bound = open(); !bound.ok())
        return bound;
    return transmit(bytes, host, m_remotePort);
}

namespace {

// Datagrams read in one turn of the read handler: a flood cannot keep the
// handler from returning to the event loop.
constexpr int kReadsPerTurn = 64;

} // namespace

void RemoteEndpoint::udpClient_DataArrival()
{
    // Only reading here: whatever handles a datagram may open a message box,
    // and the socket tells of no new datagram while its read handler runs.
    if (readArrivals(kReadsPerTurn))
        QTimer::singleShot(0, this, [this] {
            if (m_socket->hasPendingDatagrams())
                udpClient_DataArrival();
        });
}

bool RemoteEndpoint::readArrivals(int limit)
{
    int count = 0;
    while (m_socket->hasPendingDatagrams()) {
        if (count++ == limit)
            return true;
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        const quint64 number = ++m_arrivals;
        const remote::DatagramKind kind = remote::classifyDatagram(d.data.size());
        const bool full = kind != remote::DatagramKind::Ignored && m_inbox.size() >= kInboxLimit;
        if (m_tap)
            m_tap(DatagramEvent{
                false, d.senderText(), d.senderPort, d.data,
                kind == remote::DatagramKind::Ignored
                    ? QStringLiteral("its length (3, or 55 to 1200 bytes)")
                : full ? QStringLiteral("%1 datagrams wait to be handled").arg(m_inbox.size())
                       : QString()});
        if (kind == remote::DatagramKind::Ignored || full)
            continue;
        m_inbox.append(Arrival{d.data, number});
    }
    if (!m_inbox.isEmpty() && !m_handOnPosted) {
        m_handOnPosted = true;
        QMetaObject::invokeMethod(this, &RemoteEndpoint::handOn, Qt::QueuedConnection);
    }
    return false;
}

void RemoteEndpoint::readWaiting()
{
    if (isBound())
        readArrivals(int(kInboxLimit));
}

void RemoteEndpoint::handOn()
{
    m_handOnPosted = false;
    // One at a time from the front: a handler that lets events run may hand
    // on the next ones itself, in order.
    QPointer<RemoteEndpoint> self(this);
    while (self && !m_inbox.isEmpty()) {
        const Arrival a = m_inbox.takeFirst();
        if (remote::classifyDatagram(a.data.size()) == remote::DatagramKind::Level)
            Q_EMIT levelDatagram(a.data);
        else
            Q_EMIT configReply(a.data, a.number);
    }
}

} // namespace orvalink
