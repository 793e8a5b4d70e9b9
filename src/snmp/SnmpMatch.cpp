#include "snmp/SnmpMatch.h"

#include <QRandomGenerator>

namespace orvalink {

quint8 randomLastRequestId()
{
    return quint8(QRandomGenerator::global()->bounded(int(kLastRequestId)));
}

AwaitedReply awaitedReplyOf(const QByteArray& request, const QHostAddress& agent, quint16 port)
{
    const SnmpReading sent = readSnmpDatagram(request);
    AwaitedReply a;
    a.agent = agent;
    a.port = port;
    a.community = sent.first.community;
    a.requestId = quint8(sent.first.requestId);
    a.parameter = sent.first.parameter;
    if (sent.all.varbinds.size() > 1) {
        for (const SnmpVarbind& v : sent.all.varbinds)
            a.parameters.append(v.parameter);
    }
    return a;
}

QString replyMismatch(const AwaitedReply& awaited, const SnmpReading& reply,
                      const QHostAddress& sender, quint16 senderPort)
{
    if (senderPort != awaited.port ||
        !sender.isEqual(awaited.agent, QHostAddress::ConvertV4MappedToIPv4))
        return QStringLiteral("other sender (awaiting %1:%2)")
            .arg(awaited.agent.toString())
            .arg(awaited.port);
    const SnmpReply& first = reply.first;
    const bool several = !awaited.parameters.isEmpty();
    if (first.pduType != snmptag::GetResponse || !(several ? reply.all.valid : first.valid))
        return QStringLiteral("not a GetResponse with a variable");
    // An agent echoes the community it was asked with; another one means
    // the datagram answers someone else's request (or was made up).
    if (first.community != awaited.community)
        return QStringLiteral("other community");
    if (!requestIdMatches(first.requestId, awaited.requestId))
        return QStringLiteral("other request-id (awaiting %1)").arg(awaited.requestId);
    if (!several && first.parameter != awaited.parameter)
        return QStringLiteral("other parameter (awaiting %1)").arg(awaited.parameter);
    return QString();
}

QString varbindMismatch(const AwaitedReply& awaited, const SnmpVarbindMessage& reply)
{
    if (reply.varbinds.size() != awaited.parameters.size())
        return QStringLiteral("%1 variables (awaiting %2)")
            .arg(reply.varbinds.size())
            .arg(awaited.parameters.size());
    for (qsizetype i = 0; i < reply.varbinds.size(); ++i) {
        if (reply.varbinds.at(i).parameter != awaited.parameters.at(i))
            return QStringLiteral("variable %1 is not parameter %2")
                .arg(i + 1)
                .arg(awaited.parameters.at(i));
    }
    return QString();
}

} // namespace orvalink
