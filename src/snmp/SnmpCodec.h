#pragma once
// SNMPv1 messages of the NMS: one-variable GetRequest and SetRequest built
// from fixed templates, a GetRequest of several variables, and the reading
// of the agent's GetResponse (of one variable, or of every variable).
//
// Every variable is a scalar 1.3.6.1.4.1.44467.1.n.0 of the devices' private
// subtree; n is the parameter number. Values travel as text: dotted IPv4 for
// IpAddress, decimal for Gauge, plain text for OCTET STRING and the colon form
// for the MAC address. The empty text means "no value".
//
// Numbers are read from every integer type agents use: Gauge as the NMS has
// always read it, and INTEGER (signed), Counter32, TimeTicks and Counter64
// (unsigned, up to 2^64-1) in decimal.

#include "core/Text.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace orvalink {

namespace snmptag {
constexpr quint8 Integer = 0x02;
constexpr quint8 OctetString = 0x04;
constexpr quint8 IpAddress = 0x40;
constexpr quint8 Counter32 = 0x41;
constexpr quint8 Gauge = 0x42;
constexpr quint8 TimeTicks = 0x43;
constexpr quint8 Counter64 = 0x46;
constexpr quint8 GetRequest = 0xA0;
constexpr quint8 GetResponse = 0xA2;
constexpr quint8 SetRequest = 0xA3;
} // namespace snmptag

// Parameter numbers that the codec and the operations name.
namespace param {
constexpr quint8 Mac = 15;            // 6-byte OCTET STRING shown as a MAC address
constexpr quint8 SfnDelay = 31;       // dly, read and written by the SFN adjustment
constexpr quint8 Name = 35;           // padded with blanks to 16 bytes
constexpr quint8 ReadCommunity = 40;  // padded with "!" to 8 bytes
constexpr quint8 WriteCommunity = 41; // padded with "!" to 8 bytes
constexpr quint8 AgentRestart = 50;   // written with "1", echoed "1" when accepted
} // namespace param
// Parameter numbers are one OID byte, so they stay below 128.
constexpr int kMaxParameterNumber = 127;

// A request ready to send, or the reason it cannot be built. A request that
// cannot be built is never sent: the device would otherwise store a value
// (0, an empty name) that the caller did not mean.
struct SnmpEncodeResult {
    QByteArray datagram; // empty when the request cannot be encoded
    QString error;       // why, in plain English, when datagram is empty
    bool ok() const { return !datagram.isEmpty(); }
};

// The encoded value bytes of a SET (without tag and length), or false with a
// reason when the value cannot be represented:
//  - OCTET STRING: parameter 35 padded with blanks to 16 bytes, 40 and 41
//    padded with "!" to 8 bytes; other parameters the trimmed text as is;
//  - IpAddress: a valid dotted quad, four bytes;
//  - Gauge: a decimal number, one byte below 256, four bytes up to 2^32-1;
//  - any other tag: no value bytes.
bool encodeSetValue(quint8 byteOID, quint8 byteValueType, const QString& varValue,
                    QByteArray* value, QString* error);

SnmpEncodeResult encodeGetRequest(const QString& strCommunity, quint8 byteOID, quint8 requestId);
SnmpEncodeResult encodeSetRequest(const QString& strCommunity, quint8 byteOID, quint8 byteValueType,
                                  const QString& varValue, quint8 requestId);

// A GetRequest of several parameters in one message: an SNMPv1 agent
// answers every variable, in the order asked, or fails the whole request
// with an error status and the index of the first variable it could not
// give. At most kMaxVariablesPerGet parameters (the request and its reply
// stay well under the 484 bytes every agent must take, for values of up to
// 30 bytes); one parameter gives the one-variable request above.
constexpr int kMaxVariablesPerGet = 8;
// The error status of a variable the agent does not have.
constexpr qint64 kNoSuchName = 2;
SnmpEncodeResult encodeGetRequest(const QString& strCommunity, const QList<quint8>& byteOIDs,
                                  quint8 requestId);

// What a datagram from an agent holds. `valid` is true when the datagram is a
// well-formed SNMP message with a GetResponse carrying at least one variable;
// every field below it is meaningful only then.
struct SnmpReply {
    bool valid = false;
    qint64 version = -1;
    QByteArray community;
    quint8 pduType = 0;
    qint64 requestId = -1; // as the agent encoded it (a signed BER integer)
    qint64 errorStatus = -1;
    qint64 errorIndex = -1;
    QByteArray oid;     // the first variable's OID, as encoded
    int parameter = -1; // n of 1.3.6.1.4.1.44467.1.n.0, -1 for any other OID
    quint8 valueTag = 0;
    QByteArray value; // the value bytes
    QString text;     // the decoded value text; empty for no value
};

// Reads a datagram with the one BER reader of the program (BerReader.h).
// Never reads outside `datagram`; anything malformed gives a reply with
// valid == false and an empty text.
SnmpReply parseSnmpReply(const QByteArray& datagram);

// The same for a message of any PDU type (a request as well as a reply):
// `valid` when it is well formed and carries at least one variable.
SnmpReply parseSnmpMessage(const QByteArray& datagram);

// One variable of a message, read as SnmpReply reads the first.
struct SnmpVarbind {
    QByteArray oid;     // as encoded
    int parameter = -1; // n of 1.3.6.1.4.1.44467.1.n.0, -1 for any other OID
    quint8 valueTag = 0;
    QByteArray value;
    QString text; // empty for no value, and for every variable of an error reply
};

// A message of any PDU type with every variable it carries. `valid` when it
// is well formed and carries at least one variable; the other fields are
// meaningful only then.
struct SnmpVarbindMessage {
    bool valid = false;
    qint64 version = -1;
    QByteArray community;
    quint8 pduType = 0;
    qint64 requestId = -1;
    qint64 errorStatus = -1;
    qint64 errorIndex = -1;
    QList<SnmpVarbind> varbinds;
};
SnmpVarbindMessage parseSnmpVarbinds(const QByteArray& datagram);

// A datagram read once for every use: `first` as parseSnmpMessage reads it
// (its first variable, whatever the PDU type), `all` as parseSnmpVarbinds
// reads it. Every exchange reads a reply through this, and only once.
struct SnmpReading {
    SnmpReply first;
    SnmpVarbindMessage all;
};
SnmpReading readSnmpDatagram(const QByteArray& datagram);

// The value text of a reply: empty when the datagram is malformed, the agent
// reported an error or the value has no text form.
QString decodeSnmpResponse(const QByteArray& SNMPResponse);

// True when the request-id an agent echoed is the one-byte id we sent. Ids
// from 128 up are negative numbers in BER, and agents echo them either way.
bool requestIdMatches(qint64 echoed, quint8 sent);

// Request-ids run 1, 2, ..., 250 and start again at 1; 0 is never sent.
constexpr quint8 kLastRequestId = 250;
constexpr quint8 nextRequestId(quint8 last)
{
    return last >= kLastRequestId ? 1 : quint8(last + 1);
}

} // namespace orvalink
