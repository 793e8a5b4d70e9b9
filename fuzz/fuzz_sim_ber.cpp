// Feeds arbitrary datagrams to the simulator's BER reader. A message that
// parses must encode to bytes that parse back to the same message, and the
// primitive decoders must stay inside their input and round-trip.

#include "sim/Ber.h"

#include <cstdint>
#include <cstdlib>

using namespace orvalink::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    SnmpMessage message;
    if (parseMessage(input, message)) {
        const QByteArray encoded = encodeMessage(message);
        SnmpMessage again;
        if (!parseMessage(encoded, again) || !(again == message))
            abort();
        // Canonical output is stable.
        if (encodeMessage(again) != encoded)
            abort();
    }

    ber::Tlv tlv;
    if (ber::readTlv(input, tlv)) {
        if (tlv.size > input.size() || tlv.content.size() > tlv.size ||
            tlv.content.data() < input.constData() ||
            tlv.content.data() + tlv.content.size() > input.constData() + input.size())
            abort();
    }

    qint64 i = 0;
    if (ber::decodeInteger(input, i)) {
        qint64 back = 0;
        if (!ber::decodeInteger(ber::encodeInteger(i), back) || back != i)
            abort();
    }
    quint32 u = 0;
    if (ber::decodeUnsigned(input, u)) {
        quint32 back = 0;
        if (!ber::decodeUnsigned(ber::encodeUnsigned(u), back) || back != u)
            abort();
    }
    QList<quint32> arcs;
    if (ber::decodeOid(input, arcs)) {
        QList<quint32> back;
        if (!ber::decodeOid(ber::encodeOid(arcs), back) || back != arcs)
            abort();
    }
    return 0;
}
