#pragma once
// Test-side SNMPv1 datagrams built byte by byte, in the station's fixed
// layout (single-byte lengths, one-byte request-id), independent of the
// simulator's own encoder.

#include <QByteArray>

namespace rawsnmp {

// 2B 06 01 04 01 82 DB 33 01 n 00 is 1.3.6.1.4.1.44467.1.n.0.
inline QByteArray oid(quint8 n)
{
    QByteArray o = QByteArray::fromHex("060b2b0601040182db3301");
    o.append(char(n));
    o.append('\0');
    return o;
}

inline QByteArray request(quint8 pdu, const QByteArray& community, quint8 id, quint8 n, quint8 tag,
                          const QByteArray& value)
{
    QByteArray vb = oid(n);
    vb.append(char(tag));
    vb.append(char(value.size()));
    vb.append(value);
    QByteArray list;
    list.append('\x30');
    list.append(char(vb.size()));
    list.append(vb);
    QByteArray pduBody = QByteArray::fromHex("020100020100"); // error-status, error-index
    pduBody.prepend(char(id));
    pduBody.prepend(QByteArray::fromHex("0201"));
    pduBody.append('\x30');
    pduBody.append(char(list.size()));
    pduBody.append(list);
    QByteArray body = QByteArray::fromHex("020100"); // version 0
    body.append('\x04');
    body.append(char(community.size()));
    body.append(community);
    body.append(char(pdu));
    body.append(char(pduBody.size()));
    body.append(pduBody);
    QByteArray message;
    message.append('\x30');
    message.append(char(body.size()));
    message.append(body);
    return message;
}

inline QByteArray get(const QByteArray& community, quint8 id, quint8 n)
{
    return request(0xA0, community, id, n, 0x05, {});
}

inline QByteArray set(const QByteArray& community, quint8 id, quint8 n, quint8 tag,
                      const QByteArray& value)
{
    return request(0xA3, community, id, n, tag, value);
}

// A reply read the way the station reads it: fixed offsets for an 8-byte
// community and one-byte request-id, error-status and error-index.
struct Reply {
    bool ok = false;
    int requestId = -1;
    int errorStatus = -1;
    int n = -1;
    int tag = -1;
    QByteArray value;
};

inline Reply read(const QByteArray& d)
{
    Reply r;
    if (d.size() < 45 || quint8(d[0]) != 0x30 || quint8(d[15]) != 0xA2)
        return r;
    r.ok = true;
    r.requestId = quint8(d[19]);
    r.errorStatus = quint8(d[22]);
    r.n = quint8(d[41]);
    r.tag = quint8(d[43]);
    r.value = d.mid(45, quint8(d[44]));
    return r;
}

} // namespace rawsnmp
