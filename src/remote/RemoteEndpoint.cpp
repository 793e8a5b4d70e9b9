#include "remote/RemoteEndpoint.h"

#include "core/UdpRead.h"

#include "core/Text.h"
#include "remote/RemoteCodec.h"

#include <QNetworkProxy>
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
    const QString local = trimBlanks(m_localAddress);
    QHostAddress address(QHostAddress::AnyIPv4);
    if (!local.isEmpty() && local != QLatin1String("0.0.0.0")) {
        quint32 a = 0;
        if (!parseIPv4(local, &a))
            return {RemoteSendOutcome::LocalFailure,
                    QStringLiteral("The NMS interface address \"%1\" is not an IPv4 address.")
                        .arg(m_localAddress)};
        address = QHostAddress(a);
    }
    if (m_socket->bind(address, m_localPort, QAbstractSocket::DontShareAddress))
        return {};
    const bool taken = m_socket->error() == QAbstractSocket::AddressInUseError;
    const QString why = QStringLiteral("Cannot open UDP port %1 on %2: %3")
                            .arg(m_localPort)
                            .arg(address.toString(), m_socket->errorString());
    m_socket->close();
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

void RemoteEndpoint::udpClient_DataArrival()
{
    while (m_socket->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        const QByteArray& data = d.data;
        const remote::DatagramKind kind = remote::classifyDatagram(data.size());
        if (m_tap)
            m_tap(DatagramEvent{false, d.senderText(), d.senderPort, data,
                                kind == remote::DatagramKind::Ignored
                                    ? QStringLiteral("its length (3, or 55 to 1200 bytes)")
                                    : QString()});
        switch (kind) {
        case remote::DatagramKind::Level:
            Q_EMIT levelDatagram(data);
            break;
        case remote::DatagramKind::ConfigReply:
            Q_EMIT configReply(data);
            break;
        case remote::DatagramKind::Ignored:
            break;
        }
    }
}

} // namespace orvalink
