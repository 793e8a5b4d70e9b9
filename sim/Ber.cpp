#include "Ber.h"

namespace orvalink::sim {

namespace ber {

bool readTlv(QByteArrayView data, Tlv& out)
{
    if (data.size() < 2)
        return false;
    const auto tag = static_cast<quint8>(data[0]);
    if ((tag & 0x1F) == 0x1F)
        return false; // high tag numbers are not used by SNMP
    const auto first = static_cast<quint8>(data[1]);
    qsizetype header = 2;
    quint64 length = 0;
    if (first < 0x80) {
        length = first;
    } else {
        const int count = first & 0x7F;
        if (count == 0 || count > 4)
            return false; // indefinite form, or absurdly long
        if (data.size() < 2 + count)
            return false;
        for (int i = 0; i < count; ++i)
            length = (length << 8) | static_cast<quint8>(data[2 + i]);
        header += count;
    }
    if (length > static_cast<quint64>(data.size() - header))
        return false;
    out.tag = tag;
    out.content = data.sliced(header, static_cast<qsizetype>(length));
    out.size = header + static_cast<qsizetype>(length);
    return true;
}

bool decodeInteger(QByteArrayView content, qint64& value)
{
    if (content.isEmpty())
        return false;
    // Drop redundant sign-extension bytes so that non-minimal forms such as
    // 00 00 00 05 still fit.
    while (content.size() > 1) {
        const auto a = static_cast<quint8>(content[0]);
        const auto b = static_cast<quint8>(content[1]);
        if ((a == 0x00 && !(b & 0x80)) || (a == 0xFF && (b & 0x80)))
            content = content.sliced(1);
        else
            break;
    }
    if (content.size() > 8)
        return false;
    quint64 v = (static_cast<quint8>(content[0]) & 0x80) ? ~quint64(0) : 0;
    for (const char c : content)
        v = (v << 8) | static_cast<quint8>(c);
    value = static_cast<qint64>(v);
    return true;
}

bool decodeUnsigned(QByteArrayView content, quint32& value)
{
    if (content.isEmpty())
        return false;
    while (content.size() > 4 && content[0] == 0)
        content = content.sliced(1);
    if (content.size() > 4)
        return false;
    quint32 v = 0;
    for (const char c : content)
        v = (v << 8) | static_cast<quint8>(c);
    value = v;
    return true;
}

bool decodeOid(QByteArrayView content, QList<quint32>& arcs)
{
    if (content.isEmpty())
        return false;
    QList<quint32> result;
    quint64 arc = 0;
    bool inArc = false;
    for (const char c : content) {
        const auto b = static_cast<quint8>(c);
        arc = (arc << 7) | (b & 0x7F);
        inArc = true;
        if (arc > 0xFFFFFFFFull)
            return false;
        if (b & 0x80)
            continue;
        if (result.isEmpty()) {
            const quint32 top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
            result << top << static_cast<quint32>(arc - 40ull * top);
        } else {
            result << static_cast<quint32>(arc);
        }
        arc = 0;
        inArc = false;
    }
    if (inArc)
        return false; // last arc still expects continuation bytes
    arcs = result;
    return true;
}

QByteArray encodeLength(qsizetype length)
{
    QByteArray out;
    if (length < 0x80) {
        out.append(static_cast<char>(length));
        return out;
    }
    QByteArray digits;
    for (auto v = static_cast<quint64>(length); v != 0; v >>= 8)
        digits.prepend(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(0x80 | digits.size()));
    out.append(digits);
    return out;
}

QByteArray encodeTlv(quint8 tag, QByteArrayView content)
{
    QByteArray out;
    out.reserve(content.size() + 6);
    out.append(static_cast<char>(tag));
    out.append(encodeLength(content.size()));
    out.append(content);
    return out;
}

QByteArray encodeInteger(qint64 value)
{
    QByteArray out;
    auto v = static_cast<quint64>(value);
    for (int i = 0; i < 8; ++i) {
        out.prepend(static_cast<char>(v & 0xFF));
        v >>= 8;
    }
    while (out.size() > 1) {
        const auto a = static_cast<quint8>(out[0]);
        const auto b = static_cast<quint8>(out[1]);
        if ((a == 0x00 && !(b & 0x80)) || (a == 0xFF && (b & 0x80)))
            out.remove(0, 1);
        else
            break;
    }
    return out;
}

QByteArray encodeUnsigned(quint32 value)
{
    QByteArray out;
    do {
        out.prepend(static_cast<char>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    if (static_cast<quint8>(out[0]) & 0x80)
        out.prepend('\0');
    return out;
}

static void appendBase128(QByteArray& out, quint64 v)
{
    QByteArray tmp;
    tmp.prepend(static_cast<char>(v & 0x7F));
    for (v >>= 7; v != 0; v >>= 7)
        tmp.prepend(static_cast<char>(0x80 | (v & 0x7F)));
    out.append(tmp);
}

QByteArray encodeOid(const QList<quint32>& arcs)
{
    QByteArray out;
    if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40))
        return out;
    appendBase128(out, quint64(arcs[0]) * 40 + arcs[1]);
    for (qsizetype i = 2; i < arcs.size(); ++i)
        appendBase128(out, arcs[i]);
    return out;
}

} // namespace ber

namespace {

struct Cursor {
    QByteArrayView rest;

    bool next(quint8 tag, ber::Tlv& out)
    {
        if (!ber::readTlv(rest, out) || out.tag != tag)
            return false;
        rest = rest.sliced(out.size);
        return true;
    }
    bool nextAny(ber::Tlv& out)
    {
        if (!ber::readTlv(rest, out))
            return false;
        rest = rest.sliced(out.size);
        return true;
    }
    bool integer(qint64& value)
    {
        ber::Tlv t;
        return next(ber::Integer, t) && ber::decodeInteger(t.content, value);
    }
};

bool fail(QString* why, const char* reason)
{
    if (why)
        *why = QString::fromLatin1(reason);
    return false;
}

bool isPdu(quint8 tag)
{
    return tag == ber::GetRequest || tag == ber::GetNextRequest || tag == ber::GetResponse ||
           tag == ber::SetRequest;
}

} // namespace

bool parseMessage(QByteArrayView datagram, SnmpMessage& out, QString* why)
{
    ber::Tlv outer;
    if (!ber::readTlv(datagram, outer) || outer.tag != ber::Sequence)
        return fail(why, "not a SEQUENCE");
    if (outer.size != datagram.size())
        return fail(why, "bytes after the message");

    SnmpMessage m;
    Cursor msg{outer.content};
    ber::Tlv t;
    if (!msg.integer(m.version))
        return fail(why, "bad version");
    if (!msg.next(ber::OctetString, t))
        return fail(why, "bad community");
    m.community = t.content.toByteArray();
    ber::Tlv pdu;
    if (!msg.nextAny(pdu) || !isPdu(pdu.tag))
        return fail(why, "unknown PDU");
    if (!msg.rest.isEmpty())
        return fail(why, "bytes after the PDU");
    m.pdu = pdu.tag;

    Cursor body{pdu.content};
    if (!body.integer(m.requestId) || !body.integer(m.errorStatus) || !body.integer(m.errorIndex))
        return fail(why, "bad PDU header");
    ber::Tlv list;
    if (!body.next(ber::Sequence, list) || !body.rest.isEmpty())
        return fail(why, "bad variable-bindings");

    Cursor binds{list.content};
    while (!binds.rest.isEmpty()) {
        ber::Tlv bind;
        if (!binds.next(ber::Sequence, bind))
            return fail(why, "bad variable-binding");
        Cursor inner{bind.content};
        VarBind vb;
        ber::Tlv oid;
        if (!inner.next(ber::ObjectId, oid) || !ber::decodeOid(oid.content, vb.oid))
            return fail(why, "bad object identifier");
        ber::Tlv value;
        if (!inner.nextAny(value) || !inner.rest.isEmpty())
            return fail(why, "bad value");
        vb.tag = value.tag;
        vb.value = value.content.toByteArray();
        m.varBinds.append(vb);
    }
    out = m;
    return true;
}

QByteArray encodeMessage(const SnmpMessage& message)
{
    QByteArray binds;
    for (const VarBind& vb : message.varBinds) {
        QByteArray one = ber::encodeTlv(ber::ObjectId, ber::encodeOid(vb.oid));
        one.append(ber::encodeTlv(vb.tag, vb.value));
        binds.append(ber::encodeTlv(ber::Sequence, one));
    }
    QByteArray pdu = ber::encodeTlv(ber::Integer, ber::encodeInteger(message.requestId));
    pdu.append(ber::encodeTlv(ber::Integer, ber::encodeInteger(message.errorStatus)));
    pdu.append(ber::encodeTlv(ber::Integer, ber::encodeInteger(message.errorIndex)));
    pdu.append(ber::encodeTlv(ber::Sequence, binds));

    QByteArray body = ber::encodeTlv(ber::Integer, ber::encodeInteger(message.version));
    body.append(ber::encodeTlv(ber::OctetString, message.community));
    body.append(ber::encodeTlv(message.pdu, pdu));
    return ber::encodeTlv(ber::Sequence, body);
}

} // namespace orvalink::sim
