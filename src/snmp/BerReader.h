#pragma once
// A small bounds-checked reader of BER, for messages whose layout is not
// known in advance (traps). Every read checks the bytes that are there: a
// length running past its parent, the indefinite form, a length of more
// than four bytes and nesting deeper than kMaxDepth are refused, and a
// refused read leaves the reader failed with a short reason.
//
// The one BER reader of the program: replies of one or several variables
// (SnmpCodec) and what agents send on their own (traps) are read with it.
// Requests keep their fixed templates (SnmpCodec).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

namespace orvalink::ber {

namespace tag {
constexpr quint8 Integer = 0x02;
constexpr quint8 OctetString = 0x04;
constexpr quint8 Null = 0x05;
constexpr quint8 ObjectId = 0x06;
constexpr quint8 Sequence = 0x30;
constexpr quint8 IpAddress = 0x40;
constexpr quint8 Counter32 = 0x41;
constexpr quint8 Gauge32 = 0x42;
constexpr quint8 TimeTicks = 0x43;
constexpr quint8 Opaque = 0x44;
constexpr quint8 Counter64 = 0x46;
constexpr quint8 NoSuchObject = 0x80;
constexpr quint8 NoSuchInstance = 0x81;
constexpr quint8 EndOfMibView = 0x82;
constexpr quint8 TrapV1 = 0xA4;
constexpr quint8 TrapV2 = 0xA7;
} // namespace tag

// Deeper nesting than this is refused (a trap needs four levels).
constexpr int kMaxDepth = 8;
// Object identifiers of more sub-identifiers than this are refused.
constexpr int kMaxOidArcs = 128;

struct Tlv {
    quint8 tag = 0;
    QByteArrayView content;
};

// Content decoders; each returns false on a form it does not take.
// INTEGER: two's complement of 1 to 8 bytes.
bool decodeInteger(QByteArrayView content, qint64& value);
// Counter32, Gauge32, TimeTicks: unsigned, at most 32 bits (a leading zero
// byte beyond four is allowed, as a sign pad).
bool decodeUnsigned32(QByteArrayView content, quint32& value);
// Counter64: unsigned, at most 64 bits.
bool decodeUnsigned64(QByteArrayView content, quint64& value);
// Dotted text "1.3.6.1..." of an OBJECT IDENTIFIER: sub-identifiers of at
// most 32 bits, no unfinished last one, at most kMaxOidArcs.
bool decodeOid(QByteArrayView content, QString& dotted);
// IpAddress: exactly four bytes, as a host-order number.
bool decodeIpAddress(QByteArrayView content, quint32& address);

class Reader {
public:
    explicit Reader(QByteArrayView data, int depth = 0) : m_data(data), m_depth(depth) {}

    bool atEnd() const { return m_pos >= m_data.size(); }
    bool failed() const { return !m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // The next element, whatever its tag.
    bool next(Tlv& out);
    // The next element, which must carry `expected`.
    bool expect(quint8 expected, Tlv& out);
    // A constructed element with tag `expected` (SEQUENCE or a PDU): `inner`
    // reads its content one level deeper.
    bool enter(quint8 expected, Reader& inner);

    bool readInteger(qint64& value);
    bool readOctetString(QByteArray& value);
    bool readOid(QString& dotted);
    bool readIpAddress(quint32& address);
    // An unsigned application type with tag `expected` (Counter32, Gauge32,
    // TimeTicks).
    bool readUnsigned32(quint8 expected, quint32& value);
    bool readNull();

    // Marks the reader failed (for checks of the caller).
    bool fail(const QString& why);

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    int m_depth = 0;
    QString m_error;
};

} // namespace orvalink::ber
