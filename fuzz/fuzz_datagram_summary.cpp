// Feeds arbitrary datagrams to what orvalink-cli -v prints of them: the SNMP
// and remote-protocol summaries and the hex dump.

#include "core/DatagramTap.h"
#include "remote/RemoteSummary.h"
#include "snmp/SnmpSummary.h"

#include <cstdint>
#include <cstdlib>

using namespace orvalink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString snmp = snmpSummary(datagram);
    // One line each: a line break from the datagram would forge a line.
    if (snmp.contains(QLatin1Char('\n')) && !datagram.contains('\n'))
        abort();
    remote::remoteSummary(datagram, true);
    remote::remoteSummary(datagram, false);
    if (size >= 2)
        oidText(datagram.mid(1));
    // 16 bytes a line, and the dump's own characters are printable ASCII.
    const QString dump = hexDump(datagram);
    if (dump.count(QLatin1Char('\n')) != qsizetype((size + 15) / 16))
        abort();
    for (const QChar c : dump)
        if (c != QLatin1Char('\n') && (c.unicode() < 0x20 || c.unicode() >= 0x7F))
            abort();
    return 0;
}
