#pragma once
// An orvalink-sim process for tests on loopback, and orvalink-cli runs.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace orvalink::testing {

inline QString binDir()
{
    return qEnvironmentVariable("ORVALINK_BIN_DIR");
}

// Port 161 when we may bind it, a high one otherwise.
inline quint16 simAgentPort(quint16 unprivileged)
{
    return ::geteuid() == 0 ? 161 : unprivileged;
}

class SimProcess {
public:
    ~SimProcess() { stop(); }
    // Starts the simulator with `args` after --port; true once it is ready.
    bool start(quint16 port, const QStringList& args)
    {
        m_process.setProgram(binDir() + QStringLiteral("/orvalink-sim"));
        m_process.setArguments(QStringList{QStringLiteral("--port"), QString::number(port)} + args);
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
        return true;
    }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
};

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

inline CliRun runCli(const QStringList& args, int timeoutMs = 30000)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(binDir() + QStringLiteral("/orvalink-cli"), args);
    CliRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace orvalink::testing
