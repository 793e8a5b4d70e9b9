#pragma once
// Helpers of the SNMP tests: building agent replies byte by byte, reading the
// requests the NMS sends, and a free UDP port on loopback.

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>

namespace orvalink::test {

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// One BER item; long-form length when asked or needed.
inline QByteArray tlv(quint8 tag, const QByteArray& content, bool longForm = false)
{
    QByteArray out(1, char(tag));
    const int n = int(content.size());
    if (!longForm && n < 128) {
        out.append(char(n));
    } else {
        out.append(char(0x82)).append(char(n >> 8)).append(char(n & 0xFF));
    }
    return out + content;
}

struct ReplySpec {
    QByteArray community = "morqubit";
    QByteArray requestId = QByteArray(1, char(1)); // content bytes of the INTEGER
    quint8 errorStatus = 0;
    quint8 pduTag = 0xA2;
    quint8 n = 15;
    quint8 tag = 0x04;
    QByteArray value;
    bool longForm = false;
};

inline QByteArray oidOf(quint8 n)
{
    return hex("2B 06 01 04 01 82 DB 33 01") + QByteArray(1, char(n)) + QByteArray(1, '\0');
}

// A GetResponse (or any PDU) with one variable.
inline QByteArray buildReply(const ReplySpec& s)
{
    const bool lf = s.longForm;
    const QByteArray binding = tlv(0x30, tlv(0x06, oidOf(s.n)) + tlv(s.tag, s.value, lf), lf);
    const QByteArray pdu = tlv(0x02, s.requestId) + tlv(0x02, QByteArray(1, char(s.errorStatus))) +
                           tlv(0x02, QByteArray(1, '\0')) + tlv(0x30, binding, lf);
    const QByteArray message =
        tlv(0x02, QByteArray(1, '\0')) + tlv(0x04, s.community) + tlv(s.pduTag, pdu, lf);
    return tlv(0x30, message, lf);
}

// What a request of ours carries (templates: one-byte lengths everywhere).
struct SentRequest {
    bool ok = false;
    QByteArray community;
    quint8 pduTag = 0;
    quint8 requestId = 0;
    quint8 n = 0;
    quint8 tag = 0;
    QByteArray value;
};

inline SentRequest readRequest(const QByteArray& d)
{
    SentRequest r;
    if (d.size() < 37)
        return r;
    const int c = quint8(d.at(6));
    if (d.size() < 37 + c)
        return r;
    r.community = d.mid(7, c);
    r.pduTag = quint8(d.at(7 + c));
    r.requestId = quint8(d.at(11 + c));
    r.n = quint8(d.at(33 + c));
    r.tag = quint8(d.at(35 + c));
    r.value = d.mid(37 + c, quint8(d.at(36 + c)));
    r.ok = true;
    return r;
}

// A UDP port on `address` (one of the test's own) that was free a moment ago.
inline quint16 freeLoopbackPort(const QString& address)
{
    QUdpSocket probe;
    probe.bind(QHostAddress(address), 0);
    return probe.localPort();
}

} // namespace orvalink::test
