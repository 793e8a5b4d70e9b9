#pragma once
// ICMP echo to an element: one request with the payload "hello", one wait of
// at most three seconds with the event loop running, and the outcome as the
// host's ICMP status code (0 success, 11010 timed out, ...).
//
// On Linux the echo goes out on an unprivileged ICMP datagram socket where
// the system allows one (sysctl net.ipv4.ping_group_range includes the
// user's group), else on a raw socket (root or CAP_NET_RAW). When neither
// can be opened the socket layer counts as unusable.

#include <QString>
#include <QtGlobal>

namespace orvalink {

// The first echo-reply record: its status and round-trip time.
struct EchoReply {
    qint32 status = -1;
    quint32 roundTripMs = 0;
};

namespace icmpstatus {
constexpr qint32 Success = 0;
constexpr qint32 DestinationNetUnreachable = 11002;
constexpr qint32 DestinationHostUnreachable = 11003;
constexpr qint32 DestinationProtocolUnreachable = 11004;
constexpr qint32 DestinationPortUnreachable = 11005;
constexpr qint32 PacketTooBig = 11009;
constexpr qint32 RequestTimedOut = 11010;
constexpr qint32 BadRoute = 11012;
constexpr qint32 TtlExpiredTransit = 11013;
constexpr qint32 TtlExpiredReassembly = 11014;
constexpr qint32 ParameterProblem = 11015;
constexpr qint32 SourceQuench = 11016;
constexpr qint32 GeneralFailure = 11050;
} // namespace icmpstatus

// The operator's words for a status code; only "Success!" is success.
QString EchoStatusText(qint32 status);

class Pinger {
public:
    virtual ~Pinger() = default;
    // Opens the socket layer; false when no ICMP socket can be had.
    virtual bool StartSockets() = 0;
    // Sends one echo and waits for its answer; returns the status, -1 when
    // no echo could be sent (an address that does not convert).
    virtual qint32 SendEcho(const QString& address, EchoReply& record) = 0;
    virtual void StopSockets() = 0;
};

class IcmpPinger : public Pinger {
public:
    enum class SocketKind { Automatic, Datagram, Raw };

    explicit IcmpPinger(int timeoutMs = 3000, SocketKind kind = SocketKind::Automatic);
    ~IcmpPinger() override;

    bool StartSockets() override;
    qint32 SendEcho(const QString& address, EchoReply& record) override;
    void StopSockets() override;

private:
    int m_timeoutMs;
    SocketKind m_kind;
    SocketKind m_opened = SocketKind::Automatic;
    int m_fd = -1;
    quint16 m_sequence = 0;
};

// What the ping button shows after a ping.
struct PingOutcome {
    enum class State { Trying, Success, Failed, NoSockets };
    State state = State::Trying;
    QString caption; // "12 ms", "Failed!", "No sockets!"
    qint32 status = -1;
};

class Prompt;

// Pings address and tells the outcome. An address that IsValidIPAddress
// rejects ends as "Failed!" (it cannot be pinged, and the button must not
// keep "Trying..."); an unusable socket layer is also told in a box.
PingOutcome PingElement(Pinger& pinger, const QString& address, Prompt& prompt);

} // namespace orvalink
