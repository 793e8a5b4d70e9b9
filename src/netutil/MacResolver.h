#pragma once
// Finding the MAC address of an IPv4 address on the local network, and its
// text form. The remote protocol names an element by its MAC address, which
// its configuration reply does not carry: the station asks the host's
// neighbour (ARP) table for the sender's address.

#include "core/Text.h" // FormatMAC, the text form

#include <QByteArray>
#include <QString>

namespace orvalink {

class MacResolver {
public:
    virtual ~MacResolver() = default;

    // The hardware address of strAddress. False for "0.0.0.0", a text that
    // is no dotted IPv4 address, or no complete table entry; output and
    // sRemoteMacAddress2 are then left as they were. On success *mac (when
    // given) and sRemoteMacAddress2 get the text form; a hardware address of
    // another length than six bytes gives true with an empty text, which
    // callers treat as a failure.
    bool ResolveMAC(const QString& strAddress, const QString& separator, QString* mac = nullptr);

    // The last address ResolveMAC found (the waiting window reads it).
    QString sRemoteMacAddress2;

protected:
    // The hardware address of a host-order IPv4 address, or false.
    virtual bool lookup(quint32 address, QByteArray* hardware) = 0;
};

// The host's own table: on Linux a datagram to the address makes the kernel
// resolve it, then /proc/net/arp is read; only complete entries count.
class NeighbourTableResolver final : public MacResolver {
public:
    // localAddress: where the prompting datagram leaves from (the NMS
    // interface; empty for any). settleMs: how long to wait for the entry to
    // become complete after the datagram left.
    explicit NeighbourTableResolver(const QString& localAddress = QString(), int settleMs = 300);
    void setLocalAddress(const QString& localAddress) { m_localAddress = localAddress; }

    // The complete entry for address in a table in /proc/net/arp form.
    static bool findInTable(const QByteArray& table, quint32 address, QByteArray* hardware);

protected:
    bool lookup(quint32 address, QByteArray* hardware) override;

private:
    bool readTable(quint32 address, QByteArray* hardware) const;
    void prompt(quint32 address) const;

    QString m_localAddress;
    int m_settleMs;
};

} // namespace orvalink
