#include "core/UdpRead.h"

#include <QUdpSocket>

namespace orvalink {

ReceivedDatagram readPendingDatagram(QUdpSocket& socket)
{
    ReceivedDatagram d;
    d.data = QByteArray(qMax<qint64>(socket.pendingDatagramSize(), 0), Qt::Uninitialized);
    const qint64 read = socket.readDatagram(d.data.data(), d.data.size(), &d.sender, &d.senderPort);
    if (read < 0)
        return ReceivedDatagram{};
    d.data.truncate(qsizetype(read));
    d.ok = true;
    return d;
}

} // namespace orvalink
