#pragma once
// A look at every datagram a transport sends or receives, for operators
// who need to see what went over the wire (orvalink-cli -v). Transports
// call the tap, when one is set, with each datagram, its peer and what
// became of it; formatDatagram() turns that into lines for a terminal.

#include <QByteArray>
#include <QString>

#include <functional>

namespace orvalink {

struct DatagramEvent {
    bool sent = false; // false: received
    QString peer;      // dotted address of the other end
    quint16 peerPort = 0;
    QByteArray data;
    // Received only: why the datagram was not taken ("other sender", ...);
    // empty when it was taken.
    QString ignored;
};

using DatagramTap = std::function<void(const DatagramEvent&)>;

// Offsets and 16 bytes a line, in hex, with the printable ASCII characters
// beside them ("." for any other byte), each line ending in "\n":
// "0000  30 2b 02 01 00 04 08 6d  6f 72 71 75 62 69 74 a0  |0+.....morqubit.|"
QString hexDump(const QByteArray& data);

// One heading line (direction, peer, size, the summary, and why a received
// datagram was ignored) followed by the hex dump, indented.
QString formatDatagram(const DatagramEvent& event, const QString& summary);

} // namespace orvalink
