#include "core/UdpBind.h"

#include "core/Text.h"

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
             bool* portTaken)
{
    if (portTaken)
        *portTaken = false;
    if (socket.bind(address, port, QAbstractSocket::DontShareAddress))
        return true;
    if (portTaken)
        *portTaken = socket.error() == QAbstractSocket::AddressInUseError;
    *error = QStringLiteral("Cannot open UDP port %1 on %2: %3")
                 .arg(port)
                 .arg(address.toString(), socket.errorString());
    socket.close();
    return false;
}

} // namespace orvalink
