#include "remote/RemoteSummary.h"

#include "core/Text.h"

#include "core/Cp1252.h"
#include "remote/ConfigReply.h"
#include "remote/RemoteCodec.h"

namespace orvalink::remote {

namespace {

QString dotted(const QByteArray& d, int at)
{
    return formatIPv4((quint32(quint8(d.at(at))) << 24) | (quint32(quint8(d.at(at + 1))) << 16) |
                      (quint32(quint8(d.at(at + 2))) << 8) | quint32(quint8(d.at(at + 3))));
}

QString saveRequest(const QByteArray& d)
{
    const bool decoder = d.size() == 41;
    QString out = QStringLiteral("save request (%1 layout): ip %2 mask %3 gw %4 remote %5 "
                                 "input %6 type %7 tx %8 sfn %9 name \"%10\"")
                      .arg(decoder ? QStringLiteral("decoder") : QStringLiteral("encoder"),
                           dotted(d, 0), dotted(d, 4), dotted(d, 8), dotted(d, 12))
                      .arg(quint8(d.at(16)))
                      .arg(quint8(d.at(17)))
                      .arg(quint8(d.at(18)))
                      .arg(quint8(d.at(19)))
                      .arg(cp1252::decode(d.mid(20, 16)));
    if (decoder)
        return out + QStringLiteral(" buf %1 sdm %2 sdl %3 sdt %4 llo %5")
                         .arg(quint8(d.at(36)))
                         .arg(quint8(d.at(37)))
                         .arg(quint8(d.at(38)))
                         .arg(quint8(d.at(39)))
                         .arg(quint8(d.at(40)));
    return out + QStringLiteral(" llo %1").arg(quint8(d.at(36)));
}

QString configReply(const QByteArray& d, const QString& sender)
{
    const ConfigReply r = decodeConfigReply(d);
    QString out =
        QStringLiteral("configuration reply: ip %1 mask %2 gw %3 remote %4 input %5 type %6 "
                       "tx %7 name \"%8\" role %9")
            .arg(r.UDP_Response_IP, r.mask, r.gw, r.remote)
            .arg(r.input)
            .arg(r.type)
            .arg(r.tx)
            .arg(r.name)
            .arg(r.role);
    out += QStringLiteral(" sn %1 ver %2 sfn %3 buf %4")
               .arg(r.sn)
               .arg(r.version())
               .arg(r.sfn)
               .arg(r.buf);
    if (r.role == 2)
        out += QStringLiteral(" att %1 sdm %2 sdl %3 sdt %4")
                   .arg(r.att)
                   .arg(r.sdm)
                   .arg(r.sdl)
                   .arg(r.sdt);
    out += QStringLiteral(" llo %1").arg(r.llo);
    const QString failure = replyCheckFailure(r);
    if (!failure.isEmpty())
        out += QStringLiteral(" (fails its checks: %1)").arg(failure);
    // The reply stands for the element whose address it carries, whoever
    // sent the datagram.
    if (!sender.isEmpty() && !r.UDP_Response_IP.isEmpty() && sender != r.UDP_Response_IP)
        out += QStringLiteral(" (the datagram came from %1, not from the address it carries; "
                              "it is taken as %2's)")
                   .arg(sender, r.UDP_Response_IP);
    return out;
}

} // namespace

QString remoteSummary(const QByteArray& d, bool sent, const QString& sender)
{
    if (sent) {
        if (d == levelRequest())
            return QStringLiteral("level request \"VOL\"");
        if (d.size() == 2)
            return QStringLiteral("command request, code %1").arg(quint8(d.at(0)));
        if (d == kPagingText)
            return QStringLiteral("paging request (discovery)");
        if (d.size() == 37 || d.size() == 38 || d.size() == 41)
            return saveRequest(d);
        return QStringLiteral("%1 bytes, no request of the remote protocol").arg(d.size());
    }
    switch (classifyDatagram(d.size())) {
    case DatagramKind::Level:
        return QStringLiteral("level data, %1 bytes").arg(d.size());
    case DatagramKind::ConfigReply:
        return configReply(d, sender);
    case DatagramKind::Ignored:
        break;
    }
    return QStringLiteral("%1 bytes: neither level data nor a configuration reply").arg(d.size());
}

} // namespace orvalink::remote
