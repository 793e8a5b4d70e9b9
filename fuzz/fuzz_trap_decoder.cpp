// Feeds arbitrary datagrams to the trap decoder and to the BER reader it is
// built on, checking the invariants the receiver relies on.

#include "snmp/BerReader.h"
#include "snmp/TrapDecoder.h"

#include <cstdint>
#include <cstdlib>

using namespace orvalink;

namespace {

// Walks every constructed element as far as the reader lets it; every
// content must lie inside the input, and depth stays bounded.
void walk(ber::Reader& r, QByteArrayView all, int depth)
{
    if (depth > ber::kMaxDepth)
        abort();
    while (!r.atEnd()) {
        ber::Tlv tlv;
        if (!r.next(tlv)) {
            if (!r.failed())
                abort();
            return;
        }
        if (tlv.content.data() < all.data() ||
            tlv.content.data() + tlv.content.size() > all.data() + all.size())
            abort();
        if (tlv.tag & 0x20) {
            ber::Reader inner(tlv.content, depth + 1);
            if (depth + 1 <= ber::kMaxDepth)
                walk(inner, all, depth + 1);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), qsizetype(size));

    ber::Reader reader(datagram);
    walk(reader, datagram, 0);

    Trap trap;
    QString why;
    const bool ok = decodeTrap(datagram, trap, &why);
    if (ok != why.isEmpty())
        abort(); // a refusal always says why, a trap never does
    if (!ok)
        return 0;
    // The smallest binding (an OID of one byte and a NULL) takes 7 bytes.
    if (trap.bindings.size() * 7 > qsizetype(size))
        abort();
    if (trap.version == Trap::Version::V1 && (trap.genericTrap < 0 || trap.genericTrap > 6))
        abort();
    if (trap.version == Trap::Version::V2c && trap.trapOid.isEmpty())
        abort();
    if (trap.name().isEmpty() || trap.notificationOid().isEmpty())
        abort();
    for (const TrapBinding& b : trap.bindings) {
        if (b.oid.isEmpty() || b.type.isEmpty())
            abort();
    }
    return 0;
}
