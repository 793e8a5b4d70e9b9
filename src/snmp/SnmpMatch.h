#pragma once
// Which datagram is the reply to a request: the one rule every exchange of
// the program follows, applied by SnmpEndpoint to every datagram it reads.

#include "snmp/SnmpCodec.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

namespace orvalink {

// What the reply to one request must carry: it comes from the agent's
// address and port the request went to, and echoes the request's community,
// request-id and parameter (every parameter, in order, for a request of
// several variables).
struct AwaitedReply {
    QHostAddress agent;
    quint16 port = 0;
    QByteArray community; // as sent, byte for byte
    quint8 requestId = 0;
    int parameter = -1;
    QList<int> parameters; // of a request of several variables, else empty
};

// Where a new sender of requests starts its request-ids: a random place in
// 1..250, so that a program started again on the same port is not answered
// with the replies that came too late for the one before it.
quint8 randomLastRequestId();

// The request as it was sent says what its reply must echo.
AwaitedReply awaitedReplyOf(const QByteArray& request, const QHostAddress& agent, quint16 port);

// Empty when the datagram from sender:senderPort (read into `reply`) is the
// awaited reply; otherwise why it is not, in words for -v. It comes from
// the agent asked, is a GetResponse with well-formed variables, and echoes
// the community and request-id; the reply to a request of one variable is
// about the parameter asked, while that of a request of several is checked
// up to its variables (varbindMismatch), so that a reply failing it with an
// error status still answers it.
QString replyMismatch(const AwaitedReply& awaited, const SnmpReading& reply,
                      const QHostAddress& sender, quint16 senderPort);

// Empty when the reply carries exactly the variables asked, in the order
// asked; otherwise what differs. Its values may then be put on no parameter.
QString varbindMismatch(const AwaitedReply& awaited, const SnmpVarbindMessage& reply);

} // namespace orvalink
