#include "netutil/MacResolver.h"

#include "core/Text.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QThread>
#include <QUdpSocket>

namespace orvalink {

bool MacResolver::ResolveMAC(const QString& strAddress, const QString& separator, QString* mac)
{
    quint32 address = 0;
    if (!parseIPv4(strAddress, &address) || address == 0)
        return false;
    QByteArray hardware;
    if (!lookup(address, &hardware) || hardware.isEmpty())
        return false;
    // A hardware address whose first four bytes are zero is no answer.
    if (hardware.left(4).count('\0') == qMin<qsizetype>(4, hardware.size()))
        return false;
    const QString text = FormatMAC(hardware, separator);
    if (mac)
        *mac = text;
    sRemoteMacAddress2 = text;
    return true;
}

NeighbourTableResolver::NeighbourTableResolver(const QString& localAddress, int settleMs)
    : m_localAddress(localAddress), m_settleMs(settleMs)
{
}

bool NeighbourTableResolver::findInTable(const QByteArray& table, quint32 address,
                                         QByteArray* hardware)
{
    // IP address  HW type  Flags  HW address  Mask  Device
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cols = lines.at(i).simplified().split(' ');
        if (cols.size() < 4)
            continue;
        quint32 entry = 0;
        if (!parseIPv4(QString::fromLatin1(cols.at(0)), &entry) || entry != address)
            continue;
        bool ok = false;
        const uint flags = cols.at(2).toUInt(&ok, 0);
        constexpr uint kComplete = 0x2; // ATF_COM
        if (!ok || !(flags & kComplete))
            continue;
        QByteArray hex = cols.at(3);
        hex.replace(':', "");
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (bytes.size() * 2 != hex.size() || bytes.isEmpty())
            continue;
        *hardware = bytes;
        return true;
    }
    return false;
}

bool NeighbourTableResolver::readTable(quint32 address, QByteArray* hardware) const
{
    QFile f(QStringLiteral("/proc/net/arp"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return findInTable(f.readAll(), address, hardware);
}

void NeighbourTableResolver::prompt(quint32 address) const
{
    // Any datagram makes the kernel resolve the address; the discard port
    // is as good as any, and nothing is expected back.
    QUdpSocket socket;
    quint32 local = 0;
    if (parseIPv4(m_localAddress, &local) && local != 0)
        socket.bind(QHostAddress(local), 0);
    socket.writeDatagram(QByteArray(1, '\0'), QHostAddress(address), 9);
}

bool NeighbourTableResolver::lookup(quint32 address, QByteArray* hardware)
{
    if (readTable(address, hardware))
        return true;
    prompt(address);
    // Resolution on a LAN takes well under a millisecond; the wait blocks,
    // as the host's ARP call does, and is short.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < m_settleMs) {
        QThread::msleep(10);
        if (readTable(address, hardware))
            return true;
    }
    return false;
}

} // namespace orvalink
