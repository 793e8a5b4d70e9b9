#pragma once
// Source of the host's own IPv4 addresses for the NMS interface list.

#include <QStringList>

namespace orvalink {

class InterfaceLister {
public:
    virtual ~InterfaceLister() = default;
    // Dotted IPv4 texts, possibly none.
    virtual QStringList addresses() = 0;
};

// The host's IPv4 addresses (loopback included), ascending by numeric value.
// Every address is listed, however many the host has.
class SystemInterfaceLister : public InterfaceLister {
public:
    QStringList addresses() override;
};

// Sorts dotted IPv4 texts ascending by numeric value and drops duplicates and
// anything that is not an IPv4 address.
QStringList sortIPv4Addresses(const QStringList& addresses);

} // namespace orvalink
