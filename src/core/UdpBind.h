#pragma once
// Opening a UDP port on the NMS interface, as every endpoint of the program
// does it (the SNMP endpoints, the trap receiver, the remote protocol): one
// reading of the interface address, one way to bind and one set of
// messages.

#include <QHostAddress>
#include <QString>

class QUdpSocket;

namespace orvalink {

// The address to bind for the NMS interface text: any IPv4 address for an
// empty text or "0.0.0.0". False for a text that is no IPv4 address, with
// "The NMS interface address "TEXT" is not an IPv4 address." in *error.
bool nmsBindAddress(const QString& localAddress, QHostAddress* address, QString* error);

// Binds socket to address:port (0: a free port), never shared with another
// program's socket (it would receive some of our datagrams), and sends
// straight to the peer without a proxy. False with "Cannot open UDP port
// PORT on ADDRESS: WHY" ("Cannot open a UDP port on ADDRESS: WHY" for port
// 0) in *error, the system's WHY alone in *reason (when given), the socket
// closed, and *portTaken (when given) true when another socket holds the
// port.
bool bindUdp(QUdpSocket& socket, const QHostAddress& address, quint16 port, QString* error,
             bool* portTaken = nullptr, QString* reason = nullptr);

} // namespace orvalink
