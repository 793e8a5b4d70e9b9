#pragma once
// Decoding of the traps agents send on their own: SNMPv1 Trap-PDUs and
// SNMPv2c SNMPv2-Trap-PDUs, read with the general BER reader. A datagram is
// either one whole trap or refused with a reason; nothing in it is trusted.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace orvalink {

// The subtree of the devices' own notifications: an SNMPv1 trap carries it
// as its enterprise (specific trap n), SNMPv2c the OID kTrapPrefix.0.n.
inline const QString kOrvalinkTrapEnterprise = QStringLiteral("1.3.6.1.4.1.44467.3");
// sysUpTime.0 and snmpTrapOID.0, the first two bindings of an SNMPv2 trap.
inline const QString kSysUpTimeOid = QStringLiteral("1.3.6.1.2.1.1.3.0");
inline const QString kSnmpTrapOid = QStringLiteral("1.3.6.1.6.3.1.1.4.1.0");

struct TrapBinding {
    QString oid;   // dotted
    QString type;  // "INTEGER", "OCTET STRING", "Hex-STRING", "OID", "IpAddress", ...
    QString value; // decimal, dotted, text (Latin-1) or hex bytes
    bool operator==(const TrapBinding&) const = default;
};

struct Trap {
    enum class Version { V1, V2c };
    Version version = Version::V1;
    QByteArray community;
    // Where the datagram came from (filled in by the receiver).
    quint32 sourceAddress = 0;
    quint16 sourcePort = 0;
    // SNMPv1
    QString enterprise;
    quint32 agentAddress = 0;
    int genericTrap = 0;
    qint64 specificTrap = 0;
    quint32 timeStamp = 0; // hundredths of a second
    // SNMPv2c
    qint64 requestId = 0;
    quint32 sysUpTime = 0; // hundredths of a second
    QString trapOid;
    // The bindings after sysUpTime.0 and snmpTrapOID.0 (SNMPv2c), or all of
    // them (SNMPv1).
    QList<TrapBinding> bindings;

    // Uptime of the agent, whichever version carried it.
    quint32 uptime() const { return version == Version::V1 ? timeStamp : sysUpTime; }
    // "coldStart" ... "enterpriseSpecific" and the devices' own names
    // ("silenceDetected"); otherwise the enterprise and specific number of an
    // SNMPv1 trap ("1.3.6.1.4.1.9.6") or the trap OID of an SNMPv2 one.
    QString name() const;
    // The same trap as an SNMPv2 notification OID (RFC 3584's mapping).
    QString notificationOid() const;
};

// Names of the generic traps 0..6; empty for other numbers.
QString genericTrapName(int generic);

// Decodes one datagram. False, with the reason in `why`, for anything that
// is not exactly one well-formed SNMPv1 or SNMPv2c trap.
bool decodeTrap(QByteArrayView datagram, Trap& out, QString* why = nullptr);

} // namespace orvalink
