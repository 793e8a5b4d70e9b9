#include "netutil/Ping.h"

#include "core/Prompt.h"
#include "core/Text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace orvalink {

QString EchoStatusText(qint32 status)
{
    switch (status) {
    case 0:
        return QStringLiteral("Success!");
    case 11001:
        return QStringLiteral("Buffer Too Small");
    case 11002:
        return QStringLiteral("Destination Net Unreachable");
    case 11003:
        return QStringLiteral("Destination Host Unreachable");
    case 11004:
        return QStringLiteral("Destination Protocol Unreachable");
    case 11005:
        return QStringLiteral("Destination Port Unreachable");
    case 11006:
        return QStringLiteral("No Resources");
    case 11007:
        return QStringLiteral("Bad Option");
    case 11008:
        return QStringLiteral("Hardware Error");
    case 11009:
        return QStringLiteral("Packet Too Big");
    case 11010:
        return QStringLiteral("Request Timed Out");
    case 11011:
        return QStringLiteral("Bad Request");
    case 11012:
        return QStringLiteral("Bad Route");
    case 11013:
        return QStringLiteral("TimeToLive Expired Transit");
    case 11014:
        return QStringLiteral("TimeToLive Expired Reassembly");
    case 11015:
        return QStringLiteral("Parameter Problem");
    case 11016:
        return QStringLiteral("Source Quench");
    case 11017:
        return QStringLiteral("Option Too Big");
    case 11018:
        return QStringLiteral("Bad Destination");
    case 11032:
        return QStringLiteral("Negotiating IPSEC");
    case 11050:
        return QStringLiteral("General Failure");
    default:
        return QStringLiteral("Unknown Response");
    }
}

PingOutcome PingElement(Pinger& pinger, const QString& address, Prompt& prompt)
{
    PingOutcome out;
    if (!parseIPv4(address)) {
        out.state = PingOutcome::State::Failed;
        out.caption = QStringLiteral("Failed!");
        return out;
    }
    if (!pinger.StartSockets()) {
        prompt.tell(PromptIcon::Critical,
                    QStringLiteral("Windows Sockets not responding correctly."),
                    QStringLiteral("Ping failed"));
        out.state = PingOutcome::State::NoSockets;
        out.caption = QStringLiteral("No sockets!");
        return out;
    }
    EchoReply record;
    out.status = pinger.SendEcho(address, record);
    if (out.status != icmpstatus::Success) {
        out.state = PingOutcome::State::Failed;
        out.caption = QStringLiteral("Failed!");
    } else {
        out.state = PingOutcome::State::Success;
        out.caption = QString::number(record.roundTripMs) + QStringLiteral(" ms");
    }
    pinger.StopSockets();
    return out;
}

// ---------------------------------------------------------------------------

IcmpPinger::IcmpPinger(int timeoutMs, SocketKind kind) : m_timeoutMs(timeoutMs), m_kind(kind) {}

IcmpPinger::~IcmpPinger()
{
    StopSockets();
}

#ifdef Q_OS_LINUX

namespace {

constexpr quint8 kEchoReply = 0;
constexpr quint8 kDestinationUnreachable = 3;
constexpr quint8 kSourceQuench = 4;
constexpr quint8 kEcho = 8;
constexpr quint8 kTimeExceeded = 11;
constexpr quint8 kParameterProblem = 12;
const QByteArray kPayload = QByteArrayLiteral("hello");

quint16 checksum(const QByteArray& data)
{
    quint32 sum = 0;
    for (int i = 0; i + 1 < data.size(); i += 2)
        sum += (quint32(quint8(data[i])) << 8) | quint8(data[i + 1]);
    if (data.size() % 2)
        sum += quint32(quint8(data[data.size() - 1])) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

quint16 read16(const char* p)
{
    return quint16((quint8(p[0]) << 8) | quint8(p[1]));
}

// The status of an ICMP error about our echo.
qint32 statusOfError(quint8 type, quint8 code)
{
    using namespace icmpstatus;
    switch (type) {
    case kDestinationUnreachable:
        switch (code) {
        case 0:
        case 6:
        case 9:
        case 11:
            return DestinationNetUnreachable;
        case 2:
            return DestinationProtocolUnreachable;
        case 3:
            return DestinationPortUnreachable;
        case 4:
            return PacketTooBig;
        case 5:
            return BadRoute;
        default:
            return DestinationHostUnreachable;
        }
    case kTimeExceeded:
        return code == 1 ? TtlExpiredReassembly : TtlExpiredTransit;
    case kParameterProblem:
        return ParameterProblem;
    case kSourceQuench:
        return SourceQuench;
    default:
        return GeneralFailure;
    }
}

} // namespace

bool IcmpPinger::StartSockets()
{
    if (m_fd >= 0)
        return true;
    const auto open = [this](int type, SocketKind kind) {
        const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            m_fd = fd;
            m_opened = kind;
        }
        return fd >= 0;
    };
    if (m_kind != SocketKind::Raw && open(SOCK_DGRAM, SocketKind::Datagram)) {
        // ICMP errors about our echoes arrive on the error queue.
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        return true;
    }
    if (m_kind != SocketKind::Datagram && open(SOCK_RAW, SocketKind::Raw))
        return true;
    return false;
}

void IcmpPinger::StopSockets()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_opened = SocketKind::Automatic;
}

qint32 IcmpPinger::SendEcho(const QString& address, EchoReply& record)
{
    record = EchoReply{};
    quint32 host = 0;
    if (!parseIPv4(address, &host) || host == 0 || host == 0xFFFFFFFFu)
        return -1;
    if (m_fd < 0 && !StartSockets())
        return -1;

    const bool raw = m_opened == SocketKind::Raw;
    // A datagram socket's kernel puts its own identifier into the echo; a raw
    // one carries ours.
    const quint16 id = quint16(::getpid());
    const quint16 seq = ++m_sequence;
    QByteArray echo(8, '\0');
    echo[0] = char(kEcho);
    echo[4] = char(id >> 8);
    echo[5] = char(id);
    echo[6] = char(seq >> 8);
    echo[7] = char(seq);
    echo.append(kPayload);
    const quint16 sum = checksum(echo);
    echo[2] = char(sum >> 8);
    echo[3] = char(sum);

    // Whatever is still queued from an earlier echo is not this one's answer.
    for (int i = 0; i < 256; ++i) {
        char drain[1500];
        if (::recv(m_fd, drain, sizeof drain, MSG_DONTWAIT) >= 0)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        // A pending error of an earlier echo: take it off the error queue.
        char control[512];
        msghdr msg{};
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (::recvmsg(m_fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            break;
    }

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(host);
    QElapsedTimer clock;
    clock.start();
    if (::sendto(m_fd, echo.constData(), size_t(echo.size()), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0) {
        record.status = errno == EHOSTUNREACH  ? icmpstatus::DestinationHostUnreachable
                        : errno == ENETUNREACH ? icmpstatus::DestinationNetUnreachable
                                               : icmpstatus::GeneralFailure;
        return record.status;
    }

    qint32 status = icmpstatus::RequestTimedOut;
    // The round trip is taken when the answer is read: the nested wait may
    // return much later, when the operator had another window open.
    qint64 answeredAfterMs = -1;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.setTimerType(Qt::PreciseTimer);
    QSocketNotifier notifier(qintptr(m_fd), QSocketNotifier::Read);

    // Reads everything that arrived; true when the answer to this echo was
    // among it (its status is then in `status`).
    const auto readAnswers = [&]() -> bool {
        char buf[1500];
        while (true) {
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    return false;
                // An ICMP error about a datagram socket's echo.
                char control[512];
                char data[64];
                iovec iov{data, sizeof data};
                msghdr msg{};
                msg.msg_iov = &iov;
                msg.msg_iovlen = 1;
                msg.msg_control = control;
                msg.msg_controllen = sizeof control;
                if (::recvmsg(m_fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
                    return false;
                for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                        continue;
                    const auto* e = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
                    if (e->ee_origin == SO_EE_ORIGIN_ICMP) {
                        status = statusOfError(e->ee_type, e->ee_code);
                        return true;
                    }
                }
                continue;
            }
            const char* icmp = buf;
            qsizetype len = n;
            if (raw) {
                if (len < 20)
                    continue;
                const int ipHeader = (quint8(buf[0]) & 0x0F) * 4;
                if (len < ipHeader + 8)
                    continue;
                icmp += ipHeader;
                len -= ipHeader;
            } else if (len < 8) {
                continue;
            }
            const quint8 type = quint8(icmp[0]);
            if (type == kEchoReply) {
                if (read16(icmp + 6) != seq || (raw && read16(icmp + 4) != id))
                    continue;
                answeredAfterMs = clock.elapsed();
                status = icmpstatus::Success;
                return true;
            }
            if (raw && (type == kDestinationUnreachable || type == kTimeExceeded ||
                        type == kParameterProblem || type == kSourceQuench)) {
                // The error quotes our echo's IP header and first 8 bytes.
                const char* inner = icmp + 8;
                const qsizetype innerLen = len - 8;
                if (innerLen < 20)
                    continue;
                const int innerHeader = (quint8(inner[0]) & 0x0F) * 4;
                if (innerLen < innerHeader + 8)
                    continue;
                const char* quoted = inner + innerHeader;
                if (quint8(quoted[0]) != kEcho || read16(quoted + 4) != id ||
                    read16(quoted + 6) != seq)
                    continue;
                status = statusOfError(type, quint8(icmp[1]));
                return true;
            }
        }
    };
    bool ended = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        if (!ended && readAnswers()) {
            ended = true;
            notifier.setEnabled(false);
            loop.quit();
        }
    });
    // Never before the timeout's length; once it has run out, an answer
    // that arrives while the wait is still nested is no longer taken.
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        if (ended)
            return;
        if (clock.elapsed() < m_timeoutMs) {
            timeout.start(int(qMax<qint64>(1, m_timeoutMs - clock.elapsed())));
            return;
        }
        ended = true;
        notifier.setEnabled(false);
        loop.quit();
    });
    timeout.start(m_timeoutMs);
    loop.exec();
    if (status == icmpstatus::Success && answeredAfterMs > m_timeoutMs)
        status = icmpstatus::RequestTimedOut; // never a success past the timeout
    record.status = status;
    if (status == icmpstatus::Success)
        record.roundTripMs = quint32(answeredAfterMs);
    return status;
}

#else

bool IcmpPinger::StartSockets()
{
    return false;
}

void IcmpPinger::StopSockets() {}

qint32 IcmpPinger::SendEcho(const QString&, EchoReply& record)
{
    record = EchoReply{};
    return -1;
}

#endif

} // namespace orvalink
