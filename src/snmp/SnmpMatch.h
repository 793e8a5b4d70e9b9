#pragma once
// Which datagram is the reply to a request: the one rule every exchange of
// the program follows, the single-request transport and the statistics
// sweep alike.

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
// awaited reply; otherwise why it is not, in words for -v.
QString replyMismatch(const AwaitedReply& awaited, const SnmpReply& reply,
                      const QHostAddress& sender, quint16 senderPort);

// The same for the reply to a request of several variables, up to its
// variables: sender, a GetResponse, community and request-id. A reply that
// passes answers the request, even when it fails it with an error status.
QString replyMismatch(const AwaitedReply& awaited, const SnmpVarbindMessage& reply,
                      const QHostAddress& sender, quint16 senderPort);

// Empty when the reply carries exactly the variables asked, in the order
// asked; otherwise what differs. Its values may then be put on no parameter.
QString varbindMismatch(const AwaitedReply& awaited, const SnmpVarbindMessage& reply);

} // namespace orvalink
