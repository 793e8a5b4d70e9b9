#include "snmp/SnmpCodec.h"

#include "core/Cp1252.h"
#include "core/Text.h"
#include "snmp/BerReader.h"

#include <QStringList>

namespace orvalink {

namespace {

// 1.3.6.1.4.1.44467.1 — the private subtree; n and 0 follow.
const char kOidPrefix[] = {0x2B, 0x06, 0x01, 0x04, 0x01, char(0x82), char(0xDB), 0x33, 0x01};
constexpr int kOidPrefixSize = int(sizeof(kOidPrefix));
constexpr int kMaxShortLength = 127; // every length we send is one byte

constexpr int kNameLength = 16;
constexpr int kCommunityLength = 8;

// One byte per character in the ANSI code page that nms.ini is kept in, so
// that a name or community reads back and stores as the same text; false
// when a character has no byte there.
bool toSingleBytes(const QString& text, QByteArray* out)
{
    out->clear();
    for (const QChar c : text) {
        if (!cp1252::canEncode(c))
            return false;
    }
    *out = cp1252::encode(text);
    return true;
}

// Decimal digits only (leading zeros allowed), at most `limit`.
bool parseDecimal(const QString& text, quint64 limit, quint64* value)
{
    if (text.isEmpty())
        return false;
    quint64 v = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        const quint64 digit = quint64(c.unicode() - '0');
        if (v > (limit - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

// Four parts, each a whole number 0..255; blanks around a part's digits and
// leading zeros are accepted, as the address fields accept them.
SnmpEncodeResult failure(const QString& why)
{
    SnmpEncodeResult r;
    r.error = why;
    return r;
}

// Message header up to and including the community.
bool encodeCommunity(const QString& strCommunity, QByteArray* community, QString* error)
{
    const QString trimmed = trimBlanks(strCommunity);
    if (trimmed.isEmpty()) {
        *error = QStringLiteral("the community is empty");
        return false;
    }
    if (!toSingleBytes(trimmed, community)) {
        *error = QStringLiteral("the community has characters outside the ANSI code page");
        return false;
    }
    return true;
}

SnmpEncodeResult buildMessage(const QByteArray& community, quint8 pduTag, quint8 byteOID,
                              quint8 requestId, quint8 valueTag, const QByteArray& value)
{
    const int c = community.size();
    const int v = value.size();
    if (35 + c + v > kMaxShortLength)
        return failure(QStringLiteral("the community and value are too long for one message"));

    QByteArray d;
    d.reserve(37 + c + v);
    d.append(char(0x30)).append(char(35 + c + v));
    d.append(char(0x02)).append(char(0x01)).append(char(0x00));
    d.append(char(0x04)).append(char(c)).append(community);
    d.append(char(pduTag)).append(char(28 + v));
    d.append(char(0x02)).append(char(0x01)).append(char(requestId));
    d.append(char(0x02)).append(char(0x01)).append(char(0x00));
    d.append(char(0x02)).append(char(0x01)).append(char(0x00));
    d.append(char(0x30)).append(char(17 + v));
    d.append(char(0x30)).append(char(15 + v));
    d.append(char(0x06)).append(char(0x0B)).append(kOidPrefix, kOidPrefixSize);
    d.append(char(byteOID)).append(char(0x00));
    d.append(char(valueTag)).append(char(v)).append(value);
    SnmpEncodeResult r;
    r.datagram = d;
    return r;
}

// ---- reading ------------------------------------------------------------

int parameterOf(const QByteArray& oid)
{
    // prefix, n (one byte below 128), 0
    if (oid.size() != kOidPrefixSize + 2 || !oid.startsWith(QByteArray(kOidPrefix, kOidPrefixSize)))
        return -1;
    const quint8 n = quint8(oid.at(kOidPrefixSize));
    if (n > kMaxParameterNumber || oid.at(kOidPrefixSize + 1) != 0)
        return -1;
    return n;
}

// An INTEGER: two's complement of 1 to 8 bytes (Integer32 values need at
// most 4; longer forms with redundant sign bytes are read as well).
QString signedText(const QByteArray& v)
{
    if (v.isEmpty() || v.size() > 8)
        return QString();
    quint64 u = (quint8(v.at(0)) & 0x80) ? ~quint64(0) : 0;
    for (const char b : v)
        u = (u << 8) | quint8(b);
    return QString::number(qint64(u));
}

// Counter32 and TimeTicks (at most 4 significant bytes) and Counter64 (at
// most 8), read unsigned: agents put a zero byte in front of a value whose
// top bit is set, or leave it out; both read the same.
QString unsignedText(const QByteArray& v, int maxBytes)
{
    qsizetype first = 0;
    while (first < v.size() - 1 && v.at(first) == 0)
        ++first;
    if (v.isEmpty() || v.size() - first > maxBytes)
        return QString();
    quint64 u = 0;
    for (qsizetype i = first; i < v.size(); ++i)
        u = (u << 8) | quint8(v.at(i));
    return QString::number(u);
}

QString valueText(int parameter, quint8 tag, const QByteArray& v)
{
    const auto byte = [&v](int i) { return quint32(quint8(v.at(i))); };
    switch (tag) {
    case snmptag::OctetString:
        if (parameter == param::Mac && v.size() == 6)
            return FormatMAC(v, QStringLiteral(":"));
        return trimBlanks(cp1252::decode(v));
    case snmptag::IpAddress: {
        if (v.size() < 2)
            return QString();
        QStringList parts;
        for (int i = 0; i < v.size(); ++i)
            parts.append(QString::number(byte(i)));
        return parts.join(QLatin1Char('.'));
    }
    case snmptag::Gauge:
        switch (v.size()) {
        case 1:
            return QString::number(byte(0));
        case 2:
            return QString::number(byte(0) * 256 + byte(1));
        case 3:
            return QString::number((byte(0) << 16) | (byte(1) << 8) | byte(2));
        case 4:
            // Four bytes read as a signed 32-bit number: callers have always
            // seen FF FF FF FF as -1, and stored values may rely on it.
            return QString::number(
                qint32((byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3)));
        case 5:
            // Agents that encode a Gauge of 2^31 or more canonically put a
            // zero byte in front; read the remaining four unsigned.
            if (byte(0) != 0)
                return QString();
            return QString::number((byte(1) << 24) | (byte(2) << 16) | (byte(3) << 8) | byte(4));
        default:
            return QString();
        }
    case snmptag::Integer:
        return signedText(v);
    case snmptag::Counter32:
    case snmptag::TimeTicks:
        return unsignedText(v, 4);
    case snmptag::Counter64:
        return unsignedText(v, 8);
    default:
        return QString();
    }
}

} // namespace

bool encodeSetValue(quint8 byteOID, quint8 byteValueType, const QString& varValue,
                    QByteArray* value, QString* error)
{
    value->clear();
    switch (byteValueType) {
    case snmptag::OctetString: {
        const QString text = trimBlanks(varValue);
        if (!toSingleBytes(text, value)) {
            *error = QStringLiteral("the text has characters outside the ANSI code page");
            return false;
        }
        int width = 0;
        char fill = ' ';
        if (byteOID == param::Name) {
            width = kNameLength;
        } else if (byteOID == param::ReadCommunity || byteOID == param::WriteCommunity) {
            width = kCommunityLength;
            fill = '!';
        }
        if (width > 0) {
            if (value->size() > width) {
                *error = QStringLiteral("the text is longer than %1 characters").arg(width);
                value->clear();
                return false;
            }
            value->append(QByteArray(width - value->size(), fill));
        }
        return true;
    }
    case snmptag::IpAddress: {
        quint32 address = 0;
        if (!parseIPv4(varValue, &address)) {
            *error = QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(varValue);
            return false;
        }
        value->append(char(address >> 24)).append(char(address >> 16));
        value->append(char(address >> 8)).append(char(address));
        return true;
    }
    case snmptag::Gauge: {
        quint64 n = 0;
        if (!parseDecimal(trimBlanks(varValue), 0xFFFFFFFFull, &n)) {
            *error = QStringLiteral("\"%1\" is not a number from 0 to 4294967295").arg(varValue);
            return false;
        }
        if (n < 256) {
            value->append(char(n));
        } else {
            value->append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
        }
        return true;
    }
    default:
        return true; // the tag goes out with an empty value
    }
}

namespace {
// What both requests check first: the parameter number and the community.
bool encodeCommon(const QString& strCommunity, quint8 byteOID, QByteArray* community,
                  QString* error)
{
    if (byteOID > kMaxParameterNumber) {
        *error = QStringLiteral("parameter %1 is out of range").arg(byteOID);
        return false;
    }
    return encodeCommunity(strCommunity, community, error);
}
} // namespace

SnmpEncodeResult encodeGetRequest(const QString& strCommunity, quint8 byteOID, quint8 requestId)
{
    QByteArray community;
    QString error;
    if (!encodeCommon(strCommunity, byteOID, &community, &error))
        return failure(error);
    return buildMessage(community, snmptag::GetRequest, byteOID, requestId, 0x05, QByteArray());
}

SnmpEncodeResult encodeSetRequest(const QString& strCommunity, quint8 byteOID, quint8 byteValueType,
                                  const QString& varValue, quint8 requestId)
{
    QByteArray community;
    QString error;
    if (!encodeCommon(strCommunity, byteOID, &community, &error))
        return failure(error);
    QByteArray value;
    if (!encodeSetValue(byteOID, byteValueType, varValue, &value, &error))
        return failure(error);
    return buildMessage(community, snmptag::SetRequest, byteOID, requestId, byteValueType, value);
}

namespace {
// A BER element with its length in the short or the long form.
QByteArray tlv(quint8 tag, const QByteArray& content)
{
    QByteArray out(1, char(tag));
    const qsizetype n = content.size();
    if (n < 0x80) {
        out.append(char(n));
    } else if (n < 0x100) {
        out.append(char(0x81)).append(char(n));
    } else {
        out.append(char(0x82)).append(char(n >> 8)).append(char(n));
    }
    return out + content;
}
} // namespace

SnmpEncodeResult encodeGetRequest(const QString& strCommunity, const QList<quint8>& byteOIDs,
                                  quint8 requestId)
{
    if (byteOIDs.isEmpty())
        return failure(QStringLiteral("no parameter to read"));
    if (byteOIDs.size() > kMaxVariablesPerGet)
        return failure(
            QStringLiteral("more than %1 parameters in one request").arg(kMaxVariablesPerGet));
    if (byteOIDs.size() == 1)
        return encodeGetRequest(strCommunity, byteOIDs.first(), requestId);
    QByteArray community;
    QString error;
    QByteArray list;
    for (const quint8 n : byteOIDs) {
        if (!encodeCommon(strCommunity, n, &community, &error))
            return failure(error);
        if (community.size() > 255)
            return failure(QStringLiteral("the community is too long for one message"));
        const QByteArray oid = QByteArray(kOidPrefix, kOidPrefixSize) + char(n) + char(0);
        list += tlv(0x30, tlv(0x06, oid) + tlv(0x05, QByteArray()));
    }
    // The request-id in one byte, as the one-variable template sends it.
    const QByteArray pdu = tlv(0x02, QByteArray(1, char(requestId))) +
                           tlv(0x02, QByteArray(1, char(0))) + tlv(0x02, QByteArray(1, char(0))) +
                           tlv(0x30, list);
    SnmpEncodeResult r;
    r.datagram = tlv(0x30, tlv(0x02, QByteArray(1, char(0))) + tlv(0x04, community) +
                               tlv(snmptag::GetRequest, pdu));
    return r;
}

namespace {
// The one reading of a message: its header, then its variables in order,
// up to the first that is malformed. `valid` says the whole list was read
// well and holds at least one variable; the variables read before a
// malformed one stay, for the reading of the first alone.
SnmpVarbindMessage readMessage(const QByteArray& datagram)
{
    SnmpVarbindMessage r;
    ber::Reader top{QByteArrayView(datagram)};
    ber::Reader message{QByteArrayView()};
    ber::Tlv pdu;
    if (!top.enter(ber::tag::Sequence, message) || !message.readInteger(r.version) ||
        !message.readOctetString(r.community) || !message.next(pdu))
        return r;
    r.pduType = pdu.tag;
    ber::Reader body(pdu.content, 2);
    ber::Reader list{QByteArrayView()};
    if (!body.readInteger(r.requestId) || !body.readInteger(r.errorStatus) ||
        !body.readInteger(r.errorIndex) || !body.enter(ber::tag::Sequence, list))
        return r;
    while (!list.atEnd()) {
        ber::Reader binding{QByteArrayView()};
        ber::Tlv oid;
        ber::Tlv value;
        if (!list.enter(ber::tag::Sequence, binding) || !binding.expect(ber::tag::ObjectId, oid) ||
            !binding.next(value))
            return r;
        SnmpVarbind v;
        v.oid = oid.content.toByteArray();
        v.parameter = parameterOf(v.oid);
        v.valueTag = value.tag;
        v.value = value.content.toByteArray();
        if (r.errorStatus == 0)
            v.text = valueText(v.parameter, v.valueTag, v.value);
        r.varbinds.append(v);
    }
    r.valid = !r.varbinds.isEmpty();
    return r;
}

// The first variable of a reading, as a one-variable exchange takes it.
SnmpReply firstOf(const SnmpVarbindMessage& m)
{
    SnmpReply r;
    r.version = m.version;
    r.community = m.community;
    r.pduType = m.pduType;
    r.requestId = m.requestId;
    r.errorStatus = m.errorStatus;
    r.errorIndex = m.errorIndex;
    if (m.varbinds.isEmpty())
        return r;
    const SnmpVarbind& v = m.varbinds.first();
    r.valid = true;
    r.oid = v.oid;
    r.parameter = v.parameter;
    r.valueTag = v.valueTag;
    r.value = v.value;
    r.text = v.text;
    return r;
}

SnmpReply onlyResponse(SnmpReply r)
{
    if (r.pduType != snmptag::GetResponse) {
        r.valid = false;
        r.text.clear();
    }
    return r;
}
} // namespace

SnmpReading readSnmpDatagram(const QByteArray& datagram)
{
    SnmpReading r;
    r.all = readMessage(datagram);
    r.first = firstOf(r.all);
    if (!r.all.valid)
        r.all.varbinds.clear();
    return r;
}

SnmpVarbindMessage parseSnmpVarbinds(const QByteArray& datagram)
{
    SnmpVarbindMessage r = readMessage(datagram);
    if (!r.valid)
        r.varbinds.clear();
    return r;
}

SnmpReply parseSnmpMessage(const QByteArray& datagram)
{
    return firstOf(readMessage(datagram));
}

SnmpReply parseSnmpReply(const QByteArray& datagram)
{
    return onlyResponse(parseSnmpMessage(datagram));
}

QString decodeSnmpResponse(const QByteArray& SNMPResponse)
{
    return parseSnmpReply(SNMPResponse).text;
}

bool requestIdMatches(qint64 echoed, quint8 sent)
{
    return echoed == sent || (sent >= 0x80 && echoed == qint64(sent) - 256);
}

} // namespace orvalink
