#pragma once
// Pieces the SNMP benchmarks share: the simulator as a child process, a
// plain blocking UDP round trip as the baseline, and the median.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QUdpSocket>

#include <algorithm>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace orvalink::bench {

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Starts orvalink-sim (beside this program) with `args`; true once ready.
inline bool startSimulator(QProcess& sim, const QStringList& args)
{
    sim.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-sim"));
    sim.setArguments(args);
    sim.start();
    QByteArray out;
    QElapsedTimer wait;
    wait.start();
    while (!out.contains("orvalink-sim: ready") && wait.elapsed() < 5000 &&
           sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(50);
        out += sim.readAllStandardOutput();
    }
    return out.contains("orvalink-sim: ready");
}

// A blocking socket on 127.0.0.1 that sends one request and reads one reply.
class RawClient {
public:
    RawClient(const char* agentHost, quint16 agentPort)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        timeval tv{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        m_agent.sin_family = AF_INET;
        m_agent.sin_port = htons(agentPort);
        ::inet_pton(AF_INET, agentHost, &m_agent.sin_addr);
    }
    ~RawClient() { ::close(m_fd); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
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

// A UDP port on 127.0.0.1 that was free a moment ago.
inline quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

} // namespace orvalink::bench
