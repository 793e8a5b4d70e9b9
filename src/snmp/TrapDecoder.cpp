#include "snmp/TrapDecoder.h"

#include "core/Text.h"
#include "snmp/BerReader.h"

namespace orvalink {

namespace {

const QString kGenericPrefix = QStringLiteral("1.3.6.1.6.3.1.1.5.");

struct OwnTrap {
    int specific;
    const char* name;
};
// The devices' notifications (ORVALINK-MIB, orvNotifications).
constexpr OwnTrap kOwnTraps[] = {{1, "silenceDetected"}};

bool isText(QByteArrayView bytes)
{
    for (const char c : bytes) {
        const quint8 b = quint8(c);
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b >= 0x7F)
            return false;
    }
    return true;
}

QString hexBytes(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

// The value of one binding as text; false for a malformed value.
bool valueText(const ber::Tlv& v, TrapBinding& b, QString* why)
{
    namespace t = ber::tag;
    switch (v.tag) {
    case t::Integer: {
        qint64 n = 0;
        if (!ber::decodeInteger(v.content, n) || n < INT32_MIN || n > INT32_MAX) {
            *why = QStringLiteral("INTEGER out of range");
            return false;
        }
        b.type = QStringLiteral("INTEGER");
        b.value = QString::number(n);
        return true;
    }
    case t::OctetString:
        if (isText(v.content)) {
            b.type = QStringLiteral("OCTET STRING");
            b.value = QString::fromLatin1(v.content);
        } else {
            b.type = QStringLiteral("Hex-STRING");
            b.value = hexBytes(v.content);
        }
        return true;
    case t::Null:
        b.type = QStringLiteral("NULL");
        return v.content.isEmpty() || (*why = QStringLiteral("NULL with content"), false);
    case t::ObjectId:
        b.type = QStringLiteral("OID");
        return ber::decodeOid(v.content, b.value) ||
               (*why = QStringLiteral("malformed OBJECT IDENTIFIER value"), false);
    case t::IpAddress: {
        quint32 a = 0;
        if (!ber::decodeIpAddress(v.content, a)) {
            *why = QStringLiteral("IpAddress of %1 bytes").arg(v.content.size());
            return false;
        }
        b.type = QStringLiteral("IpAddress");
        b.value = formatIPv4(a);
        return true;
    }
    case t::Counter32:
    case t::Gauge32:
    case t::TimeTicks: {
        quint32 n = 0;
        if (!ber::decodeUnsigned32(v.content, n)) {
            *why = QStringLiteral("32-bit value of %1 bytes").arg(v.content.size());
            return false;
        }
        b.type = v.tag == t::Counter32 ? QStringLiteral("Counter32")
                 : v.tag == t::Gauge32 ? QStringLiteral("Gauge32")
                                       : QStringLiteral("TimeTicks");
        b.value = QString::number(n);
        return true;
    }
    case t::Counter64: {
        quint64 n = 0;
        if (!ber::decodeUnsigned64(v.content, n)) {
            *why = QStringLiteral("Counter64 of %1 bytes").arg(v.content.size());
            return false;
        }
        b.type = QStringLiteral("Counter64");
        b.value = QString::number(n);
        return true;
    }
    case t::Opaque:
        b.type = QStringLiteral("Opaque");
        b.value = hexBytes(v.content);
        return true;
    case t::NoSuchObject:
    case t::NoSuchInstance:
    case t::EndOfMibView:
        b.type = v.tag == t::NoSuchObject     ? QStringLiteral("noSuchObject")
                 : v.tag == t::NoSuchInstance ? QStringLiteral("noSuchInstance")
                                              : QStringLiteral("endOfMibView");
        return v.content.isEmpty() || (*why = QStringLiteral("exception with content"), false);
    default:
        *why = QStringLiteral("value of unknown type 0x%1").arg(uint(v.tag), 2, 16, QChar(u'0'));
        return false;
    }
}

bool readBindings(ber::Reader& pdu, QList<TrapBinding>& out, QString* why)
{
    ber::Reader list(QByteArrayView{});
    if (!pdu.enter(ber::tag::Sequence, list))
        return false;
    while (!list.atEnd()) {
        ber::Reader vb(QByteArrayView{});
        TrapBinding b;
        ber::Tlv value;
        if (!list.enter(ber::tag::Sequence, vb) || !vb.readOid(b.oid) || !vb.next(value)) {
            *why = (vb.failed() ? vb.error() : list.error()) +
                   QStringLiteral(" in binding %1").arg(out.size() + 1);
            return false;
        }
        if (!vb.atEnd()) {
            *why =
                QStringLiteral("binding %1 holds more than a name and a value").arg(out.size() + 1);
            return false;
        }
        if (!valueText(value, b, why)) {
            *why += QStringLiteral(" in binding %1").arg(out.size() + 1);
            return false;
        }
        out.append(b);
    }
    return !pdu.failed();
}

bool decode(QByteArrayView datagram, Trap& t, QString* why)
{
    ber::Reader top(datagram);
    ber::Reader message(QByteArrayView{});
    auto failed = [&](const ber::Reader& r) {
        *why = r.error();
        return false;
    };
    if (!top.enter(ber::tag::Sequence, message))
        return failed(top);
    if (!top.atEnd()) {
        *why = QStringLiteral("bytes after the message");
        return false;
    }
    qint64 version = -1;
    if (!message.readInteger(version) || !message.readOctetString(t.community))
        return failed(message);
    ber::Reader pdu(QByteArrayView{});
    if (version == 0) {
        t.version = Trap::Version::V1;
        qint64 generic = 0;
        if (!message.enter(ber::tag::TrapV1, pdu))
            return failed(message);
        if (!pdu.readOid(t.enterprise) || !pdu.readIpAddress(t.agentAddress) ||
            !pdu.readInteger(generic) || !pdu.readInteger(t.specificTrap) ||
            !pdu.readUnsigned32(ber::tag::TimeTicks, t.timeStamp))
            return failed(pdu);
        if (generic < 0 || generic > 6) {
            *why = QStringLiteral("generic trap %1 is not 0 to 6").arg(generic);
            return false;
        }
        t.genericTrap = int(generic);
        if (!readBindings(pdu, t.bindings, why))
            return pdu.failed() ? failed(pdu) : false;
    } else if (version == 1) {
        t.version = Trap::Version::V2c;
        if (!message.enter(ber::tag::TrapV2, pdu))
            return failed(message);
        qint64 status = 0, index = 0;
        if (!pdu.readInteger(t.requestId) || !pdu.readInteger(status) || !pdu.readInteger(index))
            return failed(pdu);
        QList<TrapBinding> all;
        if (!readBindings(pdu, all, why))
            return pdu.failed() ? failed(pdu) : false;
        // sysUpTime.0 and snmpTrapOID.0 come first, in that order.
        bool ok = false;
        if (all.size() < 2 || all[0].oid != kSysUpTimeOid || all[0].type != u"TimeTicks" ||
            all[1].oid != kSnmpTrapOid || all[1].type != u"OID") {
            *why = QStringLiteral("the first two bindings are not sysUpTime.0 and snmpTrapOID.0");
            return false;
        }
        t.sysUpTime = all[0].value.toUInt(&ok);
        t.trapOid = all[1].value;
        t.bindings = all.mid(2);
    } else {
        *why = QStringLiteral("SNMP version %1 is not 1 or 2c").arg(version);
        return false;
    }
    if (!pdu.atEnd()) {
        *why = QStringLiteral("bytes after the bindings");
        return false;
    }
    if (!message.atEnd()) {
        *why = QStringLiteral("bytes after the PDU");
        return false;
    }
    return true;
}

} // namespace

QString genericTrapName(int generic)
{
    static const char* const names[] = {
        "coldStart",       "warmStart",         "linkDown", "linkUp", "authenticationFailure",
        "egpNeighborLoss", "enterpriseSpecific"};
    return generic >= 0 && generic <= 6 ? QString::fromLatin1(names[generic]) : QString();
}

QString Trap::notificationOid() const
{
    if (version == Version::V2c)
        return trapOid;
    if (genericTrap != 6)
        return kGenericPrefix + QString::number(genericTrap + 1);
    return enterprise + QStringLiteral(".0.") + QString::number(specificTrap);
}

QString Trap::name() const
{
    const QString oid = notificationOid();
    if (oid.startsWith(kGenericPrefix)) {
        bool ok = false;
        const int n = QStringView(oid).mid(kGenericPrefix.size()).toInt(&ok);
        if (ok && n >= 1 && n <= 6)
            return genericTrapName(n - 1);
    }
    const QString own = kOrvalinkTrapEnterprise + QStringLiteral(".0.");
    if (oid.startsWith(own)) {
        bool ok = false;
        const qint64 n = QStringView(oid).mid(own.size()).toLongLong(&ok);
        for (const OwnTrap& o : kOwnTraps) {
            if (ok && o.specific == n)
                return QString::fromLatin1(o.name);
        }
    }
    if (version == Version::V1)
        return QStringLiteral("enterpriseSpecific %1.%2").arg(enterprise).arg(specificTrap);
    return oid;
}

bool decodeTrap(QByteArrayView datagram, Trap& out, QString* why)
{
    QString reason;
    Trap t;
    if (!decode(datagram, t, &reason)) {
        if (why)
            *why = reason.isEmpty() ? QStringLiteral("malformed") : reason;
        return false;
    }
    out = std::move(t);
    return true;
}

} // namespace orvalink
