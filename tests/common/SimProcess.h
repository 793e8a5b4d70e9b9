#pragma once
// orvalink-sim as a child process of a test: started on port 161 (the tests
// that use it need root and skip otherwise), with --verbose so that the
// requests it saw can be read back in order.

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <unistd.h>

namespace orvalink::testing {

inline bool mayBindAgentPort()
{
    return ::geteuid() == 0;
}

class SimProcess {
public:
    ~SimProcess() { stop(); }
    bool start(const QStringList& args)
    {
        stop();
        m_log.clear();
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.setProgram(qEnvironmentVariable("ORVALINK_BIN_DIR") +
                             QStringLiteral("/orvalink-sim"));
        m_process.setArguments(QStringList{QStringLiteral("--verbose")} + args);
        m_process.start();
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (!out.contains("orvalink-sim: ready")) {
            if (t.elapsed() > 5000 || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(50);
            out += m_process.readAllStandardOutput();
        }
        m_process.setReadChannel(QProcess::StandardError);
        return true;
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
        while (m_process.waitForReadyRead(50)) {
        }
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        QList<int> out;
        const QRegularExpression re(QStringLiteral(": %1 (\\d+)").arg(kind));
        for (auto it = re.globalMatch(m_log); it.hasNext();)
            out << it.next().captured(1).toInt();
        return out;
    }

private:
    QProcess m_process;
    QString m_log;
};

} // namespace orvalink::testing
