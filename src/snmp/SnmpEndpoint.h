#pragma once
// The one SNMP endpoint of the program: a UDP socket on the NMS interface
// (bound through bindUdp), the request-ids, the outstanding requests with
// their reply waits, and the reading and matching of what comes back. Every
// SNMP exchange goes through one: the design's one-variable GET and SET
// (SnmpTransport), the sweeps of many elements (ConfigSweep) and live
// status (StatusPoller). Several may be open at once, each on a socket of
// its own; they all bind, match and read the same way.
//
// It never waits itself: send() returns at once, and the reply, or the end
// of its wait, comes as a signal from the event loop. A datagram is read
// once (readSnmpDatagram) and taken only as the reply of the request it
// answers (replyMismatch); anything else is dropped and told to the tap.
// Waits run on a precise timer: a request is never given up before its
// wait is over.

#include "core/DatagramTap.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpMatch.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QTimer;
class QUdpSocket;

namespace orvalink {

class SnmpEndpoint : public QObject {
    Q_OBJECT
public:
    explicit SnmpEndpoint(QObject* parent = nullptr);
    ~SnmpEndpoint() override;

    // Binds the socket to the NMS interface text (empty or "0.0.0.0": any)
    // and localPort (0: a free one). Already bound there: true, and what
    // waits in the socket stays. Otherwise every request is given up and
    // the socket bound anew. False with the reason in *error (and
    // *portTaken, see bindUdp), the socket closed.
    bool open(const QString& localAddress, quint16 localPort, QString* error,
              bool* portTaken = nullptr);
    bool isOpen() const;
    // The bound address and port (null and 0 when closed).
    QHostAddress localAddress() const;
    quint16 localPort() const;
    // Gives up every request and closes the socket.
    void close();

    // The agents' port (161 by default).
    void setAgentPort(quint16 port) { m_agentPort = port; }
    quint16 agentPort() const { return m_agentPort; }
    // Called with every datagram sent and received, and why a received one
    // was not taken (diagnostics; none by default).
    void setTap(DatagramTap tap) { m_tap = std::move(tap); }
    // What the tap says of a reply that was taken (the owner's verdict on
    // it, such as a GET of several refused); empty by default.
    using ReplyNote = std::function<QString(int token, const SnmpReading& reply)>;
    void setReplyNote(ReplyNote note) { m_replyNote = std::move(note); }

    // Request-id of the last request sent; the next one is the next of
    // 1..250 that no request awaited from the same agent carries. A new
    // endpoint starts at a random place in 1..250.
    quint8 lastRequestId() const { return m_lastId; }
    void setLastRequestId(quint8 id) { m_lastId = id; }

    // Builds a request with `build` (given its request-id), sends it to
    // agent:agentPort() and awaits its reply for waitMs. Returns the
    // request's token (above 0), or 0 with why in *error: `build` refused
    // (its error as is; the id is not used up), every id is awaited from
    // that agent, or the socket is closed or cannot send.
    using Build = std::function<SnmpEncodeResult(quint8 requestId)>;
    int send(const QHostAddress& agent, const Build& build, int waitMs, QString* error);
    // The request's wait starts again now.
    void restartWait(int token);
    // No longer awaited: a reply that comes later is dropped.
    void forget(int token);
    bool isAwaiting(int token) const { return m_requests.contains(token); }
    bool isAwaitingAny() const { return !m_requests.isEmpty(); }
    // What the request's reply must carry.
    const AwaitedReply& awaited(int token) const;

    // Reads and drops every datagram waiting in the socket (each told to the
    // tap as not awaited).
    void discardPending();

Q_SIGNALS:
    // The reply to request `token`, read once; the request is no longer
    // awaited.
    void replied(int token, const orvalink::SnmpReading& reply);
    // Request `token` got no reply within its wait; it is no longer awaited.
    void timedOut(int token);
    // A datagram came while no request was awaited (it was dropped).
    void unasked();

private:
    struct Request {
        AwaitedReply awaited;
        quint64 key = 0;
        int waitMs = 0;
        std::multimap<qint64, int>::iterator deadline; // in m_deadlines
    };
    static quint64 keyOf(quint32 agent, quint8 requestId)
    {
        return (quint64(agent) << 8) | requestId;
    }
    void onReadyRead();
    void onDeadline();
    void setDeadline(int token, Request& r, bool replace);
    void armTimer();
    void take(const QByteArray& data, const QHostAddress& sender, quint16 senderPort);
    QString whyNotTaken(const SnmpReading& reading, const QHostAddress& sender,
                        quint16 senderPort) const;
    void tapReceived(const QByteArray& data, const QHostAddress& sender, quint16 port,
                     const QString& ignored);
    void forgetAll();

    QUdpSocket* m_socket = nullptr;
    QTimer* m_timer = nullptr; // the earliest wait's end
    QElapsedTimer m_clock;
    quint16 m_agentPort = 161;
    quint8 m_lastId = 0;
    int m_lastToken = 0;
    QHash<int, Request> m_requests;
    QHash<quint64, int> m_byKey;            // (agent, request-id) -> token
    std::multimap<qint64, int> m_deadlines; // end of wait -> token
    qint64 m_armedFor = -1;                 // the end of wait the timer is set for
    DatagramTap m_tap;
    ReplyNote m_replyNote;
};

} // namespace orvalink
