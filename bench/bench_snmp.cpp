// One GetSNMP (SnmpTransport::get) against orvalink-sim on loopback, against
// a plain blocking UDP round trip of the same request to the same simulator,
// measured alternately in the same run.
//
// Goal: the median exchange at most 1.5 times the median raw round trip
// (waiting in a nested event loop, binding and closing the socket per
// exchange must cost little next to the network round trip itself).

#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

using namespace orvalink;

namespace {

constexpr int kRounds = 2000;
constexpr quint16 kAgentPort = 16179;
const char* const kAgentHost = "127.0.79.1";

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A blocking socket on 127.0.0.1 that sends one request and reads one reply.
class RawClient {
public:
    RawClient()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        timeval tv{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        m_agent.sin_family = AF_INET;
        m_agent.sin_port = htons(kAgentPort);
        ::inet_pton(AF_INET, kAgentHost, &m_agent.sin_addr);
    }
    ~RawClient() { ::close(m_fd); }
    bool roundTrip(const QByteArray& request)
    {
        if (::sendto(m_fd, request.constData(), size_t(request.size()), 0,
                     reinterpret_cast<const sockaddr*>(&m_agent), sizeof m_agent) < 0)
            return false;
        char buf[1500];
        return ::recv(m_fd, buf, sizeof buf, 0) > 0;
    }

private:
    int m_fd = -1;
    sockaddr_in m_agent{};
};

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    QProcess sim;
    sim.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-sim"));
    sim.setArguments({QStringLiteral("--port"), QString::number(kAgentPort),
                      QStringLiteral("encoder@") + QLatin1String(kAgentHost)});
    sim.start();
    QByteArray out;
    QElapsedTimer wait;
    wait.start();
    while (!out.contains("orvalink-sim: ready") && wait.elapsed() < 5000 &&
           sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(50);
        out += sim.readAllStandardOutput();
    }
    if (!out.contains("orvalink-sim: ready")) {
        std::fprintf(stderr,
                     "bench-snmp: orvalink-sim did not start (build it next to this program)\n");
        return 1;
    }

    Timings timings; // production timeout: a lost reply would show as 1000 ms
    SnmpTransport snmp(timings);
    snmp.setLocalAddress(QStringLiteral("127.0.0.1"));
    snmp.setPorts(freePort(), kAgentPort);
    RawClient raw;
    const QString host = QLatin1String(kAgentHost);
    const QString community = QStringLiteral("morqubit");

    // Warm up both paths.
    for (int i = 0; i < 50; ++i) {
        snmp.GetSNMP(host, community, 15);
        raw.roundTrip(encodeGetRequest(community, 15, 1).datagram);
    }

    std::vector<double> exchangeUs, rawUs;
    exchangeUs.reserve(kRounds);
    rawUs.reserve(kRounds);
    int failures = 0;
    QElapsedTimer t;
    for (int i = 0; i < kRounds; ++i) {
        const QByteArray request = encodeGetRequest(community, 15, quint8(1 + i % 250)).datagram;
        t.start();
        const bool rawOk = raw.roundTrip(request);
        rawUs.push_back(double(t.nsecsElapsed()) / 1000.0);
        t.start();
        const QString value = snmp.GetSNMP(host, community, 15).value;
        exchangeUs.push_back(double(t.nsecsElapsed()) / 1000.0);
        if (!rawOk || value.isEmpty())
            ++failures;
    }
    sim.kill();
    sim.waitForFinished();

    const double mEx = median(exchangeUs);
    const double mRaw = median(rawUs);
    const double ratio = mEx / mRaw;
    std::printf("GetSNMP exchange, median of %d: %8.1f us\n", kRounds, mEx);
    std::printf("raw UDP round trip, median:      %8.1f us\n", mRaw);
    std::printf("ratio exchange / raw:            %8.2f (goal <= 1.50) %s\n", ratio,
                ratio <= 1.5 ? "ok" : "MISSED");
    if (failures)
        std::printf("rounds without a reply: %d\n", failures);
    return failures == 0 ? 0 : 1;
}
