#pragma once
// A small general BER reader/writer for the simulator's SNMPv1 agent.
// Everything that comes off the wire is bounds-checked here; a datagram
// that does not parse is rejected as a whole.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace orvalink::sim {

namespace ber {

enum Tag : quint8 {
    Integer = 0x02,
    OctetString = 0x04,
    Null = 0x05,
    ObjectId = 0x06,
    Sequence = 0x30,
    IpAddress = 0x40,
    Counter32 = 0x41,
    Gauge32 = 0x42,
    TimeTicks = 0x43,
    GetRequest = 0xA0,
    GetNextRequest = 0xA1,
    GetResponse = 0xA2,
    SetRequest = 0xA3,
};

// One tag-length-value element at the front of a buffer.
struct Tlv {
    quint8 tag = 0;
    QByteArrayView content;
    qsizetype size = 0; // header plus content
};

// Reads the element at the front of `data`. Accepts short and long form
// lengths (up to four length bytes, non-minimal forms included); refuses
// high tag numbers, the indefinite form and a content running past the end.
bool readTlv(QByteArrayView data, Tlv& out);

// Two's complement, 1 to 8 content bytes (leading padding tolerated).
bool decodeInteger(QByteArrayView content, qint64& value);
// Unsigned 32-bit application types (Gauge32, Counter32, TimeTicks): 1 to 4
// bytes read as unsigned, or 5 bytes with a leading zero; longer forms are
// accepted only when the surplus leading bytes are zero.
bool decodeUnsigned(QByteArrayView content, quint32& value);
// Arcs of at most 32 bits; the first byte holds the first two arcs.
bool decodeOid(QByteArrayView content, QList<quint32>& arcs);

QByteArray encodeLength(qsizetype length);
QByteArray encodeTlv(quint8 tag, QByteArrayView content);
// Minimal two's complement content bytes.
QByteArray encodeInteger(qint64 value);
// Minimal content bytes of an unsigned value, with a leading 00 when the top
// bit of the first byte would otherwise be set (200 -> 00 C8).
QByteArray encodeUnsigned(quint32 value);
// Content bytes of an OID; needs at least two arcs, the first at most 2.
QByteArray encodeOid(const QList<quint32>& arcs);

} // namespace ber

struct VarBind {
    QList<quint32> oid;
    quint8 tag = ber::Null;
    QByteArray value; // content bytes exactly as received or to be sent

    bool operator==(const VarBind&) const = default;
};

// An SNMPv1 message with one of the four PDUs the agent knows.
struct SnmpMessage {
    qint64 version = 0;
    QByteArray community;
    quint8 pdu = ber::GetResponse;
    qint64 requestId = 0;
    qint64 errorStatus = 0;
    qint64 errorIndex = 0;
    QList<VarBind> varBinds;

    bool operator==(const SnmpMessage&) const = default;
};

// Parses a whole datagram. Fails (with a short reason) on anything that is not
// exactly one well-formed message: nested lengths must fill their parents and
// no bytes may follow the message.
bool parseMessage(QByteArrayView datagram, SnmpMessage& out, QString* why = nullptr);
QByteArray encodeMessage(const SnmpMessage& message);

} // namespace orvalink::sim
