// Which elements a bulk apply reaches: apply --macs FILE against
// orvalink-sim on loopback (127.0.137.x). A list that names no element, and
// a list that cannot be read within bounds, reach none of them.

#include "common/SimProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.137.x.
const SimNet kNet{137};
quint16 agentPort()
{
    return kNet.agentPort();
}

// Writes text into the FIFO at path once a reader opens it, then closes it;
// or, with forever, writes text again and again until the reader is gone.
class FifoWriter {
public:
    FifoWriter(const QString& path, const QByteArray& text, bool forever)
        : m_path(QFile::encodeName(path))
    {
        m_thread = std::thread([this, text, forever] {
            const int fd = ::open(m_path.constData(), O_WRONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            do {
                if (::write(fd, text.constData(), size_t(text.size())) < 0)
                    break;
            } while (forever && !m_stop);
            ::close(fd);
        });
    }
    ~FifoWriter()
    {
        m_stop = true;
        // A writer still waiting for a reader gets one.
        const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_thread.join();
        if (fd >= 0)
            ::close(fd);
    }

private:
    QByteArray m_path;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class TestCliSelect : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    SimProcess sim;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    ProgramRun cli(const QStringList& args, int timeoutMs = 30000)
    {
        return runCli(QStringList{QStringLiteral("--db"), dbPath(), QStringLiteral("--nms"),
                                  kNet.host(250), QStringLiteral("--port"),
                                  QString::number(agentPort())} +
                          args,
                      timeoutMs);
    }
    // apply --macs path att=120, answered and timed.
    ProgramRun applyFrom(const QString& path, int timeoutMs = 30000)
    {
        return cli({QStringLiteral("apply"), QStringLiteral("--macs"), path,
                    QStringLiteral("att=120"), QStringLiteral("--yes"),
                    QStringLiteral("--spacing-ms"), QStringLiteral("0")},
                   timeoutMs);
    }
    QByteArray dbBytes() const
    {
        QFile f(dbPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString file(const QString& name, const QByteArray& text)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QString fifo(const QString& name)
    {
        const QString path = dir.filePath(name);
        QFile::remove(path);
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            qFatal("cannot make the FIFO %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(binDir() + QStringLiteral("/orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        // A FIFO writer whose reader has gone gets EPIPE, not the signal.
        std::signal(SIGPIPE, SIG_IGN);
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(1),
                                         QStringLiteral("decoder@") + kNet.host(2),
                                         QStringLiteral("decoder@") + kNet.host(3)}),
                 qPrintable(sim.errors()));
        for (const int i : {1, 2, 3})
            QCOMPARE(cli({QStringLiteral("probe"), kNet.host(i)}).exitCode, 0);
    }

    // Catches: a --macs list that names no element taken as "every
    // element", so that one empty file reconfigures the whole network.
    void emptyListSelectsNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("comments only") << QByteArray("# decoders of studio 2\n#\n");
        QTest::newRow("blank lines") << QByteArray("\n  \n\t\n");
    }
    void emptyListSelectsNothing()
    {
        QFETCH(QByteArray, text);
        const QByteArray before = dbBytes();
        const qsizetype sets = sim.requests(QStringLiteral("SET")).size();
        const QString path = file(QStringLiteral("list.txt"), text);
        const ProgramRun r = applyFrom(path);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(path + QStringLiteral(" names no element\n")), qPrintable(r.err));
        QVERIFY2(!r.out.contains(QStringLiteral("would send")), qPrintable(r.out));
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), sets);
        QCOMPARE(dbBytes(), before);
    }

    // Catches: a --macs FILE that hangs the run or eats memory (a device
    // that streams forever, a FIFO that never ends or never speaks, a file of
    // millions of lines), and a list read from a pipe that is not used.
    void listFilesWithinBounds()
    {
        const qsizetype sets = sim.requests(QStringLiteral("SET")).size();
        auto refused = [&](const QString& path, const QString& why, int withinMs) {
            const ProgramRun r = applyFrom(path, withinMs + 5000);
            QVERIFY2(r.exitCode == 2, qPrintable(path + QLatin1Char(' ') + r.err));
            QVERIFY2(r.err.contains(path + QLatin1Char(' ') + why + QLatin1Char('\n')),
                     qPrintable(r.err));
            QVERIFY2(r.ms < withinMs, qPrintable(QStringLiteral("%1 ms").arg(r.ms)));
        };
        refused(QStringLiteral("/dev/zero"), QStringLiteral("is not a regular file or a pipe"),
                5000);
        refused(dir.path(), QStringLiteral("is a folder"), 5000);
        refused(dir.filePath(QStringLiteral("absent.txt")),
                QStringLiteral("cannot be read (No such file or directory)"), 5000);

        // Five million lines, a few bytes each: within the size bound.
        QByteArray lines;
        lines.reserve(10000000);
        for (int i = 0; i < 5000000; ++i)
            lines.append("#\n");
        refused(file(QStringLiteral("long.txt"), lines),
                QStringLiteral("has more than 1000000 lines"), 10000);
        lines.clear();
        // More than the size bound, at once.
        const QString big = dir.filePath(QStringLiteral("big.txt"));
        QVERIFY(QFile(big).open(QIODevice::WriteOnly));
        QVERIFY(QFile::resize(big, 17 * 1024 * 1024));
        refused(big, QStringLiteral("is larger than 16 MB"), 5000);

        {
            const QString endless = fifo(QStringLiteral("endless"));
            FifoWriter writer(endless, QByteArray(kNet.mac(1).toLatin1() + "\n").repeated(1000),
                              true);
            refused(endless, QStringLiteral("is larger than 16 MB"), 10000);
        }
        {
            // Held open for writing, never written to.
            const QString silent = fifo(QStringLiteral("silent"));
            const int fd = ::open(QFile::encodeName(silent).constData(), O_RDWR | O_CLOEXEC);
            QVERIFY(fd >= 0);
            refused(silent, QStringLiteral("sent nothing for 10 s"), 13000);
            ::close(fd);
        }
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), sets);

        // A list from a pipe reaches the elements it names, and only them.
        const QString piped = fifo(QStringLiteral("piped"));
        FifoWriter writer(piped, QStringLiteral("# one\n%1\n").arg(kNet.mac(2)).toLatin1(), false);
        const ProgramRun r = applyFrom(piped);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QVERIFY2(
            r.out.contains(QStringLiteral("DECODER 2 [%1]: 1 of 1 confirmed\n").arg(kNet.mac(2))),
            qPrintable(r.out));
        QVERIFY2(r.out.endsWith(QStringLiteral("total: 1 elements, 1 all confirmed, 0 failed, 0 "
                                               "nothing to apply\n")),
                 qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestCliSelect)
#include "tst_cli_select.moc"
