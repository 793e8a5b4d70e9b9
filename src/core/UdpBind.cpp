#include "core/UdpBind.h"

#include "core/Text.h"

#include <QNetworkProxy>
#include <QUdpSocket>

namespace orvalink {

bool nmsBindAddress(const QString& localAddress, QHostAddress* address, QString* error)
{
    const QString local = trimBlanks(localAddress);
    *address = QHostAddress(QHostAddress::AnyIPv4);
    if (local.isEmpty() || local == QLatin1String("0.0.0.0"))
        return true;
    quint32 a = 0;
    if (!parseIPv4(local, &a)) {
        *error = QStringLiteral("The NMS interface address \"%1\" is not an IPv4 address.")
                     .arg(localAddress);
        return false;
    }
    *address = QHostAddress(a);
    return true;
}

bool bindUdp(QUdpSocket& socket, const QHostAddress& address, quint16 port, QString* error,
             bool* portTaken, QString* reason)
{
    if (portTaken)
        *portTaken = false;
    // Datagrams go straight to the peer: no system proxy is consulted (which
    // would also cost a proxy lookup at every bind).
    socket.setProxy(QNetworkProxy::NoProxy);
    if (socket.bind(address, port, QAbstractSocket::DontShareAddress))
        return true;
    if (portTaken)
        *portTaken = socket.error() == QAbstractSocket::AddressInUseError;
    const QString why = socket.errorString();
    if (reason)
        *reason = why;
    *error = port == 0
                 ? QStringLiteral("Cannot open a UDP port on %1: %2").arg(address.toString(), why)
                 : QStringLiteral("Cannot open UDP port %1 on %2: %3")
                       .arg(port)
                       .arg(address.toString(), why);
    socket.close();
    return false;
}

} // namespace orvalink
