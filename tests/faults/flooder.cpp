// datagram-flooder: hostile datagrams for the fault tests, sent from another
// process while the program under test works. Only to the address given,
// which the tests keep on loopback or inside their own namespaces.
//
//   datagram-flooder nms-snmp NMS PORT AGENT AGENTPORT USED_HI FOREIGN COUNT
//       at the station's SNMP port: garbage, truncated and huge-length BER,
//       replies from the agent's address and port (sent through a raw
//       socket, so the agent's own socket is left alone) with request-ids
//       above USED_HI (stale) or about a parameter never asked for, and
//       replies with ids up to USED_HI from FOREIGN or from another port of
//       the agent's address. Every reply carries a poisoned value.
//   datagram-flooder remote NMS PORT COUNT
//       at the remote protocol's port: garbage of every length class,
//       truncated configuration replies and replies that fail their checks.
//   datagram-flooder agent AGENT PORT COUNT
//       at an agent: garbage, truncated and huge-length BER, wrong
//       communities, GETNEXT storms, SET storms that the agent must refuse.
//
// Prints "flooding" once the first datagrams left, and "sent N" at the end.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
std::mt19937 rng(20261207);

int pick(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

Bytes tlv(uint8_t tag, const Bytes& content)
{
    Bytes out{tag};
    if (content.size() < 128) {
        out.push_back(uint8_t(content.size()));
    } else {
        out.push_back(0x82);
        out.push_back(uint8_t(content.size() >> 8));
        out.push_back(uint8_t(content.size()));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// One-variable SNMPv1 message about 1.3.6.1.4.1.44467.1.n.0.
Bytes message(uint8_t pdu, const std::string& community, int id, int n, uint8_t tag,
              const Bytes& value, int error = 0)
{
    const Bytes oid{0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0xdb, 0x33, 0x01, uint8_t(n), 0x00};
    const Bytes bind = tlv(0x30, cat({tlv(0x06, oid), tlv(tag, value)}));
    const Bytes body = cat(
        {tlv(0x02, {uint8_t(id)}), tlv(0x02, {uint8_t(error)}), tlv(0x02, {0}), tlv(0x30, bind)});
    return tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, text(community)), tlv(pdu, body)}));
}

Bytes garbage()
{
    Bytes b(size_t(pick(0, 300)));
    for (uint8_t& c : b)
        c = uint8_t(pick(0, 255));
    return b;
}

Bytes truncated(Bytes b)
{
    b.resize(size_t(pick(0, int(b.size()) - 1)));
    return b;
}

// Lengths that claim far more than the datagram holds.
Bytes hugeLength()
{
    switch (pick(0, 3)) {
    case 0:
        return {0x30, 0x84, 0x7f, 0xff, 0xff, 0xff, 0x02, 0x01, 0x00};
    case 1:
        return {0x30, 0x84, 0xff, 0xff, 0xff, 0xff};
    case 2: {
        Bytes b = message(0xA0, "morqubit", 1, 35, 0x05, {});
        b[1] = 0x82; // a long-form length with its bytes taken from the content
        return b;
    }
    default:
        return {0x30, 0x0b, 0x02, 0x01, 0x00, 0x04, 0x89, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    }
}

Bytes poison(int n)
{
    switch (n % 3) {
    case 0:
        return text("POISONED VALUE!!");
    case 1:
        return {0x42, 0x42, 0x42, 0x42};
    default:
        return {6, 6, 6, 6};
    }
}

uint8_t poisonTag(int n)
{
    return n % 3 == 0 ? 0x04 : n % 3 == 1 ? 0x42 : 0x40;
}

sockaddr_in address(const char* ip, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, ip, &a.sin_addr) != 1) {
        std::fprintf(stderr, "datagram-flooder: bad address %s\n", ip);
        std::exit(2);
    }
    return a;
}

int udpFrom(const char* ip, int port)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in a = address(ip, port);
    if (s < 0 || bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        std::perror("datagram-flooder: bind");
        std::exit(2);
    }
    return s;
}

class Sender {
public:
    explicit Sender(sockaddr_in to) : m_to(to) {}
    void send(int socket, const Bytes& b)
    {
        sendto(socket, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&m_to),
               sizeof m_to);
        count();
    }
    // From srcPort of the raw socket's bound address: a UDP header of our own.
    void spoof(int raw, int srcPort, const Bytes& payload)
    {
        Bytes d(8);
        const uint16_t len = uint16_t(8 + payload.size());
        d[0] = uint8_t(srcPort >> 8);
        d[1] = uint8_t(srcPort);
        std::memcpy(&d[2], &m_to.sin_port, 2);
        d[4] = uint8_t(len >> 8);
        d[5] = uint8_t(len);
        d.insert(d.end(), payload.begin(), payload.end()); // checksum 0: none
        sockaddr_in to = m_to;
        to.sin_port = 0;
        sendto(raw, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        count();
    }
    long sent() const { return m_sent; }

private:
    void count()
    {
        ++m_sent;
        if (m_sent == 64) {
            std::printf("flooding\n");
            std::fflush(stdout);
        }
        // Bursts with a pause: a flood, yet one the receiver's socket buffer
        // survives, so that a lost genuine reply is not the kernel's doing.
        if (m_sent % 16 == 0)
            usleep(1000);
    }
    sockaddr_in m_to;
    long m_sent = 0;
};

int nmsSnmp(char** argv)
{
    const char* agent = argv[4];
    const int agentPort = std::atoi(argv[5]);
    const int usedHi = std::atoi(argv[6]);
    const char* foreign = argv[7];
    const long total = std::atol(argv[8]);
    Sender out(address(argv[2], std::atoi(argv[3])));

    const int raw = socket(AF_INET, SOCK_RAW, IPPROTO_UDP);
    const sockaddr_in agentAddress = address(agent, 0);
    if (raw < 0 ||
        bind(raw, reinterpret_cast<const sockaddr*>(&agentAddress), sizeof agentAddress) != 0) {
        std::perror("datagram-flooder: raw socket (needs root)");
        return 2;
    }
    const int fromForeign = udpFrom(foreign, agentPort);
    const int fromOtherPort = udpFrom(agent, 0);

    for (long i = 0; out.sent() < total; ++i) {
        const int n = pick(1, 50);
        const int used = pick(1, usedHi);
        switch (i % 8) {
        case 0:
            out.send(fromForeign, garbage());
            break;
        case 1:
            out.spoof(raw, agentPort,
                      truncated(message(0xA2, "morqubit", used, n, poisonTag(n), poison(n))));
            break;
        case 2: // stale: an id this run never used
            out.spoof(raw, agentPort,
                      message(0xA2, "morqubit", pick(usedHi + 1, 250), n, poisonTag(n), poison(n)));
            break;
        case 3: // a parameter never asked for
            out.spoof(raw, agentPort, message(0xA2, "morqubit", used, 99, 0x04, poison(0)));
            break;
        case 4:
            out.send(fromForeign, message(0xA2, "morqubit", used, n, poisonTag(n), poison(n)));
            break;
        case 5:
            out.send(fromOtherPort, message(0xA2, "morqubit", used, n, poisonTag(n), poison(n)));
            break;
        case 6: // not a response
            out.spoof(raw, agentPort, message(0xA3, "kestrvla", used, n, poisonTag(n), poison(n)));
            break;
        default:
            out.spoof(raw, agentPort, hugeLength());
            break;
        }
    }
    std::printf("sent %ld\n", out.sent());
    return 0;
}

int remoteFlood(char** argv)
{
    Sender out(address(argv[2], std::atoi(argv[3])));
    const long total = std::atol(argv[4]);
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    // A configuration reply that passes its checks (an element at .77).
    Bytes reply{10, 0, 0, 77, 255, 255, 255, 0, 10, 0, 0, 1, 239, 192, 0, 1, 0, 0, 1};
    const Bytes name = text("FLOODED ELEMENT ");
    reply.insert(reply.end(), name.begin(), name.end());
    reply.insert(reply.end(), {2, 0, 0, 0, 9, 255, 3, 49, 0, 1, 0, 0, 0});
    for (long i = 0; out.sent() < total; ++i) {
        switch (i % 6) {
        case 0:
            out.send(s, garbage());
            break;
        case 1:
            out.send(s, Bytes{'V', 'O', 'L'});
            break;
        case 2: { // cut before the serial number is complete: fails its checks
            Bytes b = reply;
            b.resize(size_t(pick(0, 39)));
            out.send(s, b);
            break;
        }
        case 3: { // a check fails: input, role or serial number
            Bytes b = reply;
            const int which = pick(1, 3);
            if (which == 1)
                b[16] = uint8_t(pick(2, 255));
            else if (which == 2)
                b[35] = uint8_t(pick(3, 255));
            else
                b[36] = b[37] = b[38] = b[39] = 0;
            out.send(s, b);
            break;
        }
        case 4:
            out.send(s, Bytes(size_t(pick(55, 1200)), uint8_t(pick(0, 255))));
            break;
        default:
            out.send(s, Bytes(size_t(pick(1201, 1500)), uint8_t(pick(0, 255))));
            break;
        }
    }
    std::printf("sent %ld\n", out.sent());
    return 0;
}

int agentFlood(char** argv)
{
    Sender out(address(argv[2], std::atoi(argv[3])));
    const long total = std::atol(argv[4]);
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    for (long i = 0; out.sent() < total; ++i) {
        const int n = pick(1, 50);
        switch (i % 8) {
        case 0:
            out.send(s, garbage());
            break;
        case 1:
            out.send(s, truncated(message(0xA0, "morqubit", pick(1, 250), n, 0x05, {})));
            break;
        case 2:
            out.send(s, hugeLength());
            break;
        case 3: // wrong communities
            out.send(s, message(0xA0, i % 2 ? "public" : "morqubiX", pick(1, 250), n, 0x05, {}));
            break;
        case 4: { // GETNEXT storm, from any place of the tree
            Bytes b = message(0xA1, "morqubit", pick(1, 250), pick(0, 127), 0x05, {});
            out.send(s, b);
            break;
        }
        case 5: // SETs with the read community: refused
            out.send(s, message(0xA3, "morqubit", pick(1, 250), n, 0x04, text("HIJACKED")));
            break;
        case 6: // SETs of a parameter that does not exist
            out.send(s, message(0xA3, "kestrvla", pick(1, 250), 99, 0x42, {1}));
            break;
        default: // SETs with the write community and a value of the wrong type
            out.send(s, message(0xA3, "kestrvla", pick(1, 250), n, 0x02, {0x7f, 0, 0, 0, 0, 0}));
            break;
        }
    }
    std::printf("sent %ld\n", out.sent());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "nms-snmp" && argc == 9)
        return nmsSnmp(argv);
    if (mode == "remote" && argc == 5)
        return remoteFlood(argv);
    if (mode == "agent" && argc == 5)
        return agentFlood(argv);
    std::fprintf(stderr, "usage: see the comment at the top of flooder.cpp\n");
    return 2;
}
