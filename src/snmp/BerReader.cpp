#include "snmp/BerReader.h"

namespace orvalink::ber {

namespace {

QString hexTag(quint8 t)
{
    return QStringLiteral("0x%1").arg(uint(t), 2, 16, QLatin1Char('0'));
}

} // namespace

bool decodeInteger(QByteArrayView content, qint64& value)
{
    if (content.isEmpty() || content.size() > 8)
        return false;
    quint64 v = quint8(content[0]) & 0x80 ? ~quint64(0) : 0;
    for (const char c : content)
        v = (v << 8) | quint8(c);
    value = qint64(v);
    return true;
}

bool decodeUnsigned64(QByteArrayView content, quint64& value)
{
    if (content.isEmpty())
        return false;
    // Leading zero bytes (the sign pad) do not count towards the width.
    qsizetype first = 0;
    while (first + 1 < content.size() && content[first] == 0)
        ++first;
    if (content.size() - first > 8)
        return false;
    quint64 v = 0;
    for (qsizetype i = first; i < content.size(); ++i)
        v = (v << 8) | quint8(content[i]);
    value = v;
    return true;
}

bool decodeUnsigned32(QByteArrayView content, quint32& value)
{
    quint64 v = 0;
    if (!decodeUnsigned64(content, v) || v > 0xFFFFFFFFull)
        return false;
    value = quint32(v);
    return true;
}

bool decodeOid(QByteArrayView content, QString& dotted)
{
    if (content.isEmpty())
        return false;
    QString out;
    out.reserve(content.size() * 3);
    int arcs = 0;
    quint64 v = 0;
    bool inArc = false;
    for (const char c : content) {
        const quint8 b = quint8(c);
        if (!inArc && b == 0x80)
            return false; // a sub-identifier may not start with a padding byte
        v = (v << 7) | (b & 0x7F);
        if (v > 0xFFFFFFFFull)
            return false;
        inArc = b & 0x80;
        if (inArc)
            continue;
        if (arcs == 0) {
            // The first sub-identifier holds the first two arcs.
            const quint64 first = v < 40 ? 0 : v < 80 ? 1 : 2;
            out += QString::number(first) + QLatin1Char('.') + QString::number(v - 40 * first);
            arcs = 2;
        } else {
            out += QLatin1Char('.') + QString::number(v);
            ++arcs;
        }
        if (arcs > kMaxOidArcs)
            return false;
        v = 0;
    }
    if (inArc)
        return false;
    dotted = out;
    return true;
}

bool decodeIpAddress(QByteArrayView content, quint32& address)
{
    if (content.size() != 4)
        return false;
    address = (quint32(quint8(content[0])) << 24) | (quint32(quint8(content[1])) << 16) |
              (quint32(quint8(content[2])) << 8) | quint32(quint8(content[3]));
    return true;
}

bool Reader::fail(const QString& why)
{
    if (m_error.isEmpty())
        m_error = why;
    return false;
}

bool Reader::next(Tlv& out)
{
    if (failed())
        return false;
    const qsizetype size = m_data.size();
    qsizetype p = m_pos;
    if (p >= size)
        return fail(QStringLiteral("element missing at offset %1").arg(p));
    const quint8 t = quint8(m_data[p++]);
    if ((t & 0x1F) == 0x1F)
        return fail(QStringLiteral("multi-byte tag at offset %1").arg(m_pos));
    if (p >= size)
        return fail(QStringLiteral("length missing at offset %1").arg(p));
    const quint8 first = quint8(m_data[p++]);
    qsizetype length = 0;
    if (first < 0x80) {
        length = first;
    } else if (first == 0x80) {
        return fail(QStringLiteral("indefinite length at offset %1").arg(p - 1));
    } else {
        const int bytes = first & 0x7F;
        if (bytes > 4)
            return fail(QStringLiteral("length of %1 bytes at offset %2").arg(bytes).arg(p - 1));
        if (size - p < bytes)
            return fail(QStringLiteral("length cut short at offset %1").arg(p - 1));
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | quint8(m_data[p++]);
        if (v > quint64(size))
            return fail(
                QStringLiteral("length %1 beyond the datagram at offset %2").arg(v).arg(m_pos));
        length = qsizetype(v);
    }
    if (size - p < length)
        return fail(QStringLiteral("element of %1 bytes at offset %2 runs past its end (%3 left)")
                        .arg(length)
                        .arg(m_pos)
                        .arg(size - p));
    out.tag = t;
    out.content = m_data.sliced(p, length);
    m_pos = p + length;
    return true;
}

bool Reader::expect(quint8 expected, Tlv& out)
{
    const qsizetype at = m_pos;
    if (!next(out))
        return false;
    if (out.tag != expected)
        return fail(QStringLiteral("tag %1 at offset %2, expected %3")
                        .arg(hexTag(out.tag))
                        .arg(at)
                        .arg(hexTag(expected)));
    return true;
}

bool Reader::enter(quint8 expected, Reader& inner)
{
    Tlv tlv;
    if (!expect(expected, tlv))
        return false;
    if (m_depth + 1 > kMaxDepth)
        return fail(QStringLiteral("nested deeper than %1 levels").arg(kMaxDepth));
    inner = Reader(tlv.content, m_depth + 1);
    return true;
}

bool Reader::readInteger(qint64& value)
{
    Tlv tlv;
    if (!expect(tag::Integer, tlv))
        return false;
    return decodeInteger(tlv.content, value) ||
           fail(QStringLiteral("INTEGER of %1 bytes").arg(tlv.content.size()));
}

bool Reader::readOctetString(QByteArray& value)
{
    Tlv tlv;
    if (!expect(tag::OctetString, tlv))
        return false;
    value = tlv.content.toByteArray();
    return true;
}

bool Reader::readOid(QString& dotted)
{
    Tlv tlv;
    if (!expect(tag::ObjectId, tlv))
        return false;
    return decodeOid(tlv.content, dotted) || fail(QStringLiteral("malformed OBJECT IDENTIFIER"));
}

bool Reader::readIpAddress(quint32& address)
{
    Tlv tlv;
    if (!expect(tag::IpAddress, tlv))
        return false;
    return decodeIpAddress(tlv.content, address) ||
           fail(QStringLiteral("IpAddress of %1 bytes").arg(tlv.content.size()));
}

bool Reader::readUnsigned32(quint8 expected, quint32& value)
{
    Tlv tlv;
    if (!expect(expected, tlv))
        return false;
    return decodeUnsigned32(tlv.content, value) ||
           fail(QStringLiteral("unsigned value of %1 bytes too large").arg(tlv.content.size()));
}

bool Reader::readNull()
{
    Tlv tlv;
    if (!expect(tag::Null, tlv))
        return false;
    return tlv.content.isEmpty() || fail(QStringLiteral("NULL with content"));
}

} // namespace orvalink::ber
