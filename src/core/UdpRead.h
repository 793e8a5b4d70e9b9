#pragma once
// Reading one datagram off a UDP socket, as every endpoint of the program
// does it.

#include "core/Text.h"

#include <QByteArray>
#include <QHostAddress>

class QUdpSocket;

namespace orvalink {

struct ReceivedDatagram {
    bool ok = false; // false: nothing could be read
    QByteArray data;
    QHostAddress sender;
    quint16 senderPort = 0;
    // The sender in dotted form (an IPv4-mapped address as plain IPv4).
    QString senderText() const { return formatIPv4(sender.toIPv4Address()); }
};

// The next pending datagram with its sender. Only the sender is asked for: a
// full QNetworkDatagram would make the socket layer collect the destination
// and hop limit of every datagram.
ReceivedDatagram readPendingDatagram(QUdpSocket& socket);

} // namespace orvalink
