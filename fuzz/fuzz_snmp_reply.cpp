// Feeds arbitrary datagrams to the reply reader, and arbitrary values to the
// request encoder, checking the invariants callers rely on.

#include "snmp/SnmpCodec.h"
#include "snmp/SnmpMatch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace orvalink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));

    const SnmpReply reply = parseSnmpReply(datagram);
    // No value text without a well-formed, error-free reply.
    if (!reply.text.isEmpty() && (!reply.valid || reply.errorStatus != 0))
        abort();
    if (reply.valid && reply.value.size() > datagram.size())
        abort();
    if (decodeSnmpResponse(datagram) != reply.text)
        abort();
    // A number read from an integer type is a decimal that fits its type.
    if (!reply.text.isEmpty()) {
        bool ok = true;
        switch (reply.valueTag) {
        case snmptag::Integer:
            reply.text.toLongLong(&ok);
            break;
        case snmptag::Counter32:
        case snmptag::TimeTicks:
            if (reply.text.toULongLong(&ok) > 0xFFFFFFFFull)
                abort();
            break;
        case snmptag::Counter64:
            reply.text.toULongLong(&ok);
            break;
        default:
            break;
        }
        if (!ok)
            abort();
    }

    // The reader of every variable (the strict BER reader) takes less than
    // the one-variable reader, and agrees with it on the first variable.
    const SnmpVarbindMessage all = parseSnmpVarbinds(datagram);
    if (all.valid) {
        const SnmpReply one = parseSnmpMessage(datagram);
        const SnmpVarbind& first = all.varbinds.first();
        if (!one.valid || one.requestId != all.requestId || one.community != all.community ||
            one.errorStatus != all.errorStatus || one.pduType != all.pduType ||
            one.oid != first.oid || one.parameter != first.parameter ||
            one.valueTag != first.valueTag || one.value != first.value || one.text != first.text)
            abort();
        for (const SnmpVarbind& v : all.varbinds) {
            if ((!v.text.isEmpty() && all.errorStatus != 0) || v.value.size() > datagram.size())
                abort();
        }
    } else if (!all.varbinds.isEmpty()) {
        abort();
    }

    // The one reading every exchange takes agrees with both readers, and a
    // datagram the match takes for the reply to a request is a well-formed
    // GetResponse echoing its community, request-id and parameter.
    const SnmpReading once = readSnmpDatagram(datagram);
    if (once.all.valid != all.valid || once.all.varbinds.size() != all.varbinds.size() ||
        once.first.valid != parseSnmpMessage(datagram).valid)
        abort();
    const QHostAddress agent(QStringLiteral("127.0.0.1"));
    const AwaitedReply asked = awaitedReplyOf(
        encodeGetRequest(QStringLiteral("morqubit"), param::Mac, 200).datagram, agent, 161);
    if (replyMismatch(asked, once, agent, 161).isEmpty() &&
        (!reply.valid || reply.community != "morqubit" || !requestIdMatches(reply.requestId, 200) ||
         reply.parameter != param::Mac))
        abort();

    // A GET of several: the first byte chooses how many, the next ones the
    // parameters; it reads back as the same parameters in the same order.
    if (size >= 2) {
        const int count = data[0] % (kMaxVariablesPerGet + 1);
        QList<quint8> parameters;
        for (int i = 0; i < count && size_t(i + 2) < size; ++i)
            parameters.append(data[i + 2]);
        const SnmpEncodeResult get =
            encodeGetRequest(QStringLiteral("morqubit"), parameters, data[1]);
        if (get.ok()) {
            const SnmpVarbindMessage back = parseSnmpVarbinds(get.datagram);
            if (!back.valid || back.pduType != snmptag::GetRequest ||
                back.varbinds.size() != parameters.size() ||
                !requestIdMatches(back.requestId, data[1]))
                abort();
            for (qsizetype i = 0; i < parameters.size(); ++i) {
                if (back.varbinds.at(i).parameter != parameters.at(i))
                    abort();
            }
        } else if (get.error.isEmpty() ||
                   (!parameters.isEmpty() && parameters.size() <= kMaxVariablesPerGet &&
                    std::all_of(parameters.begin(), parameters.end(),
                                [](quint8 n) { return n <= kMaxParameterNumber; }))) {
            abort(); // refused a request it can carry
        }
    }

    // Encoder: first bytes choose parameter, tag and request-id; the rest is
    // the value text (one character per byte).
    if (size >= 3) {
        const quint8 oid = data[0];
        const quint8 tag = data[1];
        const quint8 id = data[2];
        const QString value = QString::fromLatin1(datagram.mid(3));
        const SnmpEncodeResult set =
            encodeSetRequest(QStringLiteral("kestrvla"), oid, tag, value, id);
        if (set.ok()) {
            const QByteArray& d = set.datagram;
            // Every length byte must describe the message exactly.
            if (d.size() > 129 || quint8(d.at(1)) != d.size() - 2)
                abort();
            // With the PDU turned into a GetResponse, the reader must see
            // the same request-id and value bytes.
            QByteArray asReply = d;
            asReply[7 + 8] = char(snmptag::GetResponse);
            const SnmpReply back = parseSnmpReply(asReply);
            const bool singleByteTag = (tag & 0x1F) != 0x1F;
            if (singleByteTag && (!back.valid || !requestIdMatches(back.requestId, id) ||
                                  back.valueTag != tag || back.parameter != oid))
                abort();
        } else if (set.error.isEmpty()) {
            abort();
        }
    }
    return 0;
}
