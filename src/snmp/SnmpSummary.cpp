#include "snmp/SnmpSummary.h"

#include "core/Cp1252.h"
#include "snmp/SnmpCodec.h"

#include <QStringList>

namespace orvalink {

namespace {

QString pduName(quint8 type)
{
    switch (type) {
    case 0xA0:
        return QStringLiteral("GetRequest");
    case 0xA1:
        return QStringLiteral("GetNextRequest");
    case 0xA2:
        return QStringLiteral("GetResponse");
    case 0xA3:
        return QStringLiteral("SetRequest");
    case 0xA4:
        return QStringLiteral("Trap");
    default:
        return QStringLiteral("PDU 0x%1").arg(type, 2, 16, QLatin1Char('0'));
    }
}

QString tagName(quint8 tag)
{
    switch (tag) {
    case 0x02:
        return QStringLiteral("INTEGER");
    case 0x04:
        return QStringLiteral("OCTET STRING");
    case 0x05:
        return QStringLiteral("NULL");
    case 0x06:
        return QStringLiteral("OBJECT IDENTIFIER");
    case 0x40:
        return QStringLiteral("IpAddress");
    case 0x41:
        return QStringLiteral("Counter32");
    case 0x42:
        return QStringLiteral("Gauge32");
    case 0x43:
        return QStringLiteral("TimeTicks");
    case 0x46:
        return QStringLiteral("Counter64");
    default:
        return QStringLiteral("tag 0x%1").arg(tag, 2, 16, QLatin1Char('0'));
    }
}

QString valueDescription(const SnmpReply& m)
{
    QString out = tagName(m.valueTag);
    if (m.valueTag == 0x05)
        return out;
    if (m.valueTag == snmptag::OctetString && !(m.parameter == param::Mac && m.value.size() == 6))
        return out + QStringLiteral(" \"%1\"").arg(cp1252::decode(m.value));
    if (!m.text.isEmpty())
        return out + QLatin1Char(' ') + m.text;
    if (m.value.isEmpty())
        return out + QStringLiteral(" (empty)");
    return out + QStringLiteral(" 0x") + QString::fromLatin1(m.value.toHex());
}

// How a request's unsigned one-to-four-byte number looks on the wire when
// its first byte has the top bit set: canonical BER would put a zero byte in
// front, so a strict agent reads the bytes as a negative number. Empty when
// the bytes read the same either way.
QString strictReading(quint8 tag, const QByteArray& content)
{
    if (content.isEmpty() || content.size() > 4 || quint8(content.at(0)) < 0x80)
        return QString();
    qint64 asSigned = -1; // the sign bit extended
    for (const char b : content)
        asSigned = asSigned * 256 + quint8(b);
    const QByteArray wire = QByteArray(1, char(tag)) + char(content.size()) + content;
    return QStringLiteral(" (sent as %1, which strict agents read as %2)")
        .arg(QString::fromLatin1(wire.toHex(' ').toUpper()))
        .arg(asSigned);
}

quint64 unsignedOf(const QByteArray& content)
{
    quint64 v = 0;
    for (const char b : content)
        v = v * 256 + quint8(b);
    return v;
}

} // namespace

QString oidText(const QByteArray& encoded)
{
    if (encoded.isEmpty())
        return QString();
    QStringList parts;
    quint64 sub = 0;
    bool first = true;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const quint8 b = quint8(encoded.at(i));
        if (sub > (quint64(1) << 56))
            return QString();
        sub = (sub << 7) | (b & 0x7F);
        if (b & 0x80)
            continue;
        if (first) {
            const quint64 x = sub < 80 ? sub / 40 : 2;
            parts << QString::number(x) << QString::number(sub - 40 * x);
            first = false;
        } else {
            parts << QString::number(sub);
        }
        sub = 0;
    }
    if (quint8(encoded.back()) & 0x80)
        return QString(); // the last sub-identifier is cut off
    return parts.join(QLatin1Char('.'));
}

namespace {

// The variables of a message of several, or empty for a message of one.
QString variablesOf(const SnmpVarbindMessage& all)
{
    if (all.varbinds.size() < 2)
        return QString();
    QStringList parts;
    for (const SnmpVarbind& v : all.varbinds) {
        SnmpReply one;
        one.parameter = v.parameter;
        one.valueTag = v.valueTag;
        one.value = v.value;
        one.text = v.text;
        const QString oid = oidText(v.oid);
        QString part = v.parameter >= 0 ? QStringLiteral("n %1").arg(v.parameter)
                                        : (oid.isEmpty() ? QStringLiteral("?") : oid);
        if (all.pduType == snmptag::GetResponse || v.valueTag != 0x05)
            part += QLatin1Char(' ') + valueDescription(one);
        parts << part;
    }
    return QStringLiteral("%1 variables: ").arg(all.varbinds.size()) +
           parts.join(QStringLiteral(", "));
}

} // namespace

QString snmpSummary(const QByteArray& datagram)
{
    const SnmpReading reading = readSnmpDatagram(datagram);
    const SnmpReply& m = reading.first;
    if (!m.valid) {
        if (m.pduType != 0)
            return QStringLiteral("%1, damaged or without variables").arg(pduName(m.pduType));
        return QStringLiteral("not an SNMP message");
    }
    // The station's ids are one byte, 1 to 250; from 128 up BER makes them
    // negative, and they read here as the station sent them.
    const qint64 id = m.requestId < 0 && m.requestId >= -128 ? m.requestId + 256 : m.requestId;
    QString out = pduName(m.pduType) + QStringLiteral(" id %1").arg(id);
    if (m.version != 0)
        out += QStringLiteral(" version %1").arg(m.version);
    const QString oid = oidText(m.oid);
    const QString several = variablesOf(reading.all);
    if (m.pduType == snmptag::GetResponse) {
        out += QStringLiteral(" error %1").arg(m.errorStatus);
        if (m.errorStatus != 0)
            out += QStringLiteral(" index %1").arg(m.errorIndex);
        if (!several.isEmpty())
            return out + QLatin1Char(' ') + several;
        out += m.parameter >= 0 ? QStringLiteral(" n %1").arg(m.parameter)
                                : QStringLiteral(" ") + (oid.isEmpty() ? QStringLiteral("?") : oid);
        return out + QLatin1Char(' ') + valueDescription(m);
    }
    // The station's own request-ids 128 to 250 and Gauge32 values with the
    // top bit set go out in one byte too few for canonical BER.
    if (m.requestId < 0 && m.requestId >= -128)
        out += strictReading(0x02, QByteArray(1, char(id)));
    if (!several.isEmpty())
        return out + QStringLiteral(" community %1 %2").arg(cp1252::decode(m.community), several);
    out += QStringLiteral(" community %1 %2")
               .arg(cp1252::decode(m.community), oid.isEmpty() ? QStringLiteral("?") : oid);
    if (m.valueTag == snmptag::Gauge && !strictReading(m.valueTag, m.value).isEmpty())
        return out + QLatin1Char(' ') + tagName(m.valueTag) + QLatin1Char(' ') +
               QString::number(unsignedOf(m.value)) + strictReading(m.valueTag, m.value);
    if (m.valueTag != 0x05)
        out += QLatin1Char(' ') + valueDescription(m);
    return out;
}

} // namespace orvalink
