#pragma once
// orvalink-sim as a child process of a test, and orvalink-cli runs. The
// simulator runs with --verbose, so that the requests it saw can be read
// back in order.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orvalink::testing {

inline QString binDir()
{
    return qEnvironmentVariable("ORVALINK_BIN_DIR");
}

inline bool mayBindAgentPort()
{
    return ::geteuid() == 0;
}

// Claims net N on this machine for the life of the process: a local socket
// of the abstract namespace (no file), "orvalink-test-net-N", is bound by
// one process at a time. Another run of the same test (a second build of
// the tree, `make test` and `make test-asan` at once, another checkout)
// waits here until the first has ended instead of meeting it on the same
// addresses; after four minutes it goes on and says so.
inline void claimNet(int net)
{
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = "orvalink-test-net-" + QByteArray::number(net);
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    for (int tries = 0; ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0; ++tries) {
        if (errno != EADDRINUSE || tries == 2400) {
            std::fprintf(stderr, "net %d: not claimed (%s), going on\n", net, std::strerror(errno));
            ::close(fd);
            return;
        }
        if (tries == 0)
            std::fprintf(stderr, "net %d is in use by another run of this test: waiting\n", net);
        const timespec tenth{0, 100 * 1000 * 1000};
        ::nanosleep(&tenth, nullptr);
    }
    // Kept open until the process ends.
}

// The loopback addresses and ports of one test: 127.0.NET.x, each element
// with the MAC the simulator gives it (2E:8B:F2 and the address's last three
// octets) and the section nms.ini names it by. Each test takes a NET of its
// own and takes every address and port it binds or sends to from it (the
// NMS address too, where the program binds the protocol's fixed ports), so
// that tests run side by side; tests/check-nets.sh refuses a NET claimed
// twice, an address written out and a fixed port.
struct SimNet {
    explicit SimNet(int n) : net(n) { claimNet(n); }
    SimNet(const SimNet&) = delete;
    SimNet& operator=(const SimNet&) = delete;
    int net;
    QString host(int last) const { return QStringLiteral("127.0.%1.%2").arg(net).arg(last); }
    QString mac(int last) const
    {
        return QStringLiteral("2E:8B:F2:00:%1:%2")
            .arg(net, 2, 16, QLatin1Char('0'))
            .arg(last, 2, 16, QLatin1Char('0'))
            .toUpper();
    }
    QString section(int last) const { return mac(last).remove(QLatin1Char(':')); }
    // A port of the net's own, k from 0 to 63: 10000 + 64 * NET + k, below
    // the kernel's range of ephemeral ports, so no socket of another program
    // holds it by chance.
    quint16 port(int k) const { return quint16(10000 + 64 * net + (k & 63)); }
    // The agents' port: 161 when we may bind it, one of the net's otherwise.
    quint16 agentPort() const { return mayBindAgentPort() ? 161 : port(61); }
};

// net-snmp's tools (snmpget, snmpset, snmptrap) save a state file,
// snmpapp.conf, in /var/lib/snmp when run as root; the tools a test starts
// keep it in a folder of the test's own.
inline void keepNetSnmpStateIn(const QString& folder)
{
    qputenv("SNMP_PERSISTENT_DIR", QFile::encodeName(folder));
}

class SimProcess {
public:
    ~SimProcess() { stop(); }
    // Starts the simulator with `args`; true once it is ready.
    bool start(const QStringList& args)
    {
        stop();
        m_log.clear();
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.setProgram(binDir() + QStringLiteral("/orvalink-sim"));
        m_process.setArguments(QStringList{QStringLiteral("--verbose")} + args);
        m_process.start();
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (!out.contains("orvalink-sim: ready")) {
            if (t.elapsed() > 10000 || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(50);
            out += m_process.readAllStandardOutput();
        }
        m_process.setReadChannel(QProcess::StandardError);
        return true;
    }
    // The same with the agents on `port`.
    bool start(quint16 port, const QStringList& args)
    {
        return start(QStringList{QStringLiteral("--port"), QString::number(port)} + args);
    }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Parameter numbers of the requests of one kind ("GET" or "SET") that
    // reached the simulator so far, in order.
    QList<int> requests(const QString& kind)
    {
        readLog();
        QList<int> out;
        const QRegularExpression re(QStringLiteral(": %1 (\\d+)").arg(kind));
        for (auto it = re.globalMatch(m_log); it.hasNext();)
            out << it.next().captured(1).toInt();
        return out;
    }
    qint64 processId() const { return m_process.processId(); }
    // What the simulator wrote to standard error so far.
    QString errors()
    {
        readLog();
        return m_log;
    }

private:
    void readLog()
    {
        while (m_process.waitForReadyRead(50)) {
        }
        m_log += QString::fromUtf8(m_process.readAllStandardError());
    }

    QProcess m_process;
    QString m_log;
};

// What a program run by a test did.
struct ProgramRun {
    int exitCode = -1; // -1: timed out, -2: crashed
    QString out;
    QString err;
    qint64 ms = 0;
};
using CliRun = ProgramRun;

// Runs a program to its end (killed after timeoutMs), with `input` on its
// standard input.
inline ProgramRun
runProgram(const QString& program, const QStringList& args, int timeoutMs = 30000,
           const QByteArray& input = QByteArray(),
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    ProgramRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// One of the project's programs, beside the tests' programs.
inline QString binPath(const char* name)
{
    return binDir() + QLatin1Char('/') + QLatin1String(name);
}

inline CliRun runCli(const QStringList& args, int timeoutMs = 30000)
{
    return runProgram(binPath("orvalink-cli"), args, timeoutMs);
}

} // namespace orvalink::testing
