#pragma once
// An element's configuration reply: its decoding into a record and the checks
// a reply must pass before anything is taken from it.

#include <QByteArray>
#include <QString>

namespace orvalink::remote {

// One reply's fields. Every reply is decoded into a fresh record: a field
// whose bytes lie beyond the end of a short reply keeps the default below,
// never a value of an earlier reply.
struct ConfigReply {
    QString UDP_Response_IP; // bytes 1-4, dotted ("" when missing)
    QString mask, gw, remote;
    int input = 0, type = 0, tx = 0;
    QString name; // bytes 20-35 as far as present
    int role = 0;
    qint32 sn = 0; // 0 also when the serial number does not fit 31 bits
    int verMajor = 2, verMinor = 0;
    int sfn = 0, buf = 0;
    int att = 0, sdm = 0, sdl = 0, sdt = 0;
    int llo = 0;
    qsizetype length = 0;

    QString version() const { return QStringLiteral("%1.%2").arg(verMajor).arg(verMinor); }
};

ConfigReply decodeConfigReply(const QByteArray& datagram);

// The retrieval message of the first failing check ("An error occured while
// retrieving 'Element Mask':"), or "" when the reply passes.
QString replyCheckFailure(const ConfigReply& reply);

} // namespace orvalink::remote
