// Many orvalink-cli runs writing one database at once lose no key: probes
// of fresh elements, applies of new names and remote-protocol saves, all
// in parallel, each run from its own NMS address, against simulated
// encoders. Every section must end with the keys that the same verb leaves
// when it runs alone, and every applied name must be stored.
//
// The remote protocol learns an element's MAC from the neighbour table, so
// the elements sit on an Ethernet segment of their own: a namespace for the
// station and one for the simulator, joined by a veth pair, each element on
// a macvlan with its own MAC (answering ARP only for its own address). Both
// namespaces are made by the test and removed after it; nothing leaves
// them. Needs root; skipped otherwise.
//
// `make test` runs 8 probes + 8 applies + 4 saves, twice; ORVALINK_STRESS=1
// (.ci/run) 50 + 50 + 10, ten times. The elements to name and to save are
// stored beforehand as a probe would store them.

#include "common/SimProcess.h"
#include "store/IniStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <unistd.h>

using orvalink::IniStore;
using orvalink::testing::binPath;
using orvalink::testing::runProgram;

namespace {

constexpr int kRunTimeoutMs = 120000;

// Element i at 10.233.0.<10 + i> (element 0 runs alone, for reference);
// run j speaks from 10.233.1.j.
QString elementAddress(int i)
{
    return QStringLiteral("10.233.0.%1").arg(10 + i);
}
QString elementMac(int i) // the simulator's MAC for that address
{
    return QStringLiteral("2E:8B:F2:E9:00:%1").arg(10 + i, 2, 16, QLatin1Char('0')).toUpper();
}
QString section(int i)
{
    return QString(elementMac(i)).remove(QLatin1Char(':'));
}

class Segment {
public:
    Segment() : m_run(QStringLiteral("olcw-%1").arg(::getpid())) {}
    ~Segment() { tearDown(); }
    QString nms() const { return m_run + QStringLiteral("-nms"); }
    QString elements() const { return m_run + QStringLiteral("-el"); }

    bool build(int elementCount, int runCount)
    {
        m_made = true;
        if (!ip({"netns", "add", nms()}) || !ip({"netns", "add", elements()}) ||
            !ip({"-n", nms(), "link", "set", "lo", "up"}) ||
            !ip({"-n", nms(), "link", "add", "eth0", "type", "veth", "peer", "name", "eth0",
                 "netns", elements()}) ||
            !ip({"-n", elements(), "link", "set", "eth0", "up"}))
            return false;
        // One element answers ARP only for its own address, with its own MAC.
        if (!sysctl({"-qw", "net.ipv4.conf.all.arp_ignore=1", "net.ipv4.conf.all.arp_announce=2"}))
            return false;
        QStringList batchNms{QStringLiteral("link set eth0 up")};
        for (int j = 1; j <= runCount; ++j)
            batchNms << QStringLiteral("addr add 10.233.1.%1/16 dev eth0").arg(j);
        QStringList batchEl;
        for (int i = 0; i <= elementCount; ++i) {
            const QString dev = QStringLiteral("mv%1").arg(i);
            batchEl << QStringLiteral("link add %1 link eth0 type macvlan mode bridge").arg(dev)
                    << QStringLiteral("link set %1 address %2").arg(dev, elementMac(i).toLower())
                    << QStringLiteral("addr add %1/16 dev %2").arg(elementAddress(i), dev)
                    << QStringLiteral("link set %1 up").arg(dev);
        }
        return batch(nms(), batchNms) && batch(elements(), batchEl);
    }
    bool startSim(const QStringList& elements)
    {
        m_sim.setStandardErrorFile(QProcess::nullDevice());
        m_sim.start(QStringLiteral("ip"),
                    QStringList{"netns", "exec", this->elements(), binPath("orvalink-sim")} +
                        elements);
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("ready") && t.elapsed() < 10000 &&
               m_sim.state() != QProcess::NotRunning) {
            m_sim.waitForReadyRead(50);
            out += m_sim.readAllStandardOutput();
        }
        return out.contains("ready");
    }
    // orvalink-cli ARGS run inside the station's namespace, output to files.
    std::unique_ptr<QProcess> startCli(const QStringList& args, const QString& outFile)
    {
        auto p = std::make_unique<QProcess>();
        p->setStandardInputFile(QProcess::nullDevice());
        p->setStandardOutputFile(outFile);
        p->setStandardErrorFile(outFile + QStringLiteral(".err"));
        p->start(QStringLiteral("ip"),
                 QStringList{"netns", "exec", nms(), binPath("orvalink-cli")} + args);
        return p;
    }
    void tearDown()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(5000);
        }
        if (m_made) {
            runProgram(QStringLiteral("ip"), {"netns", "del", nms()});
            runProgram(QStringLiteral("ip"), {"netns", "del", elements()});
            m_made = false;
        }
    }
    QString error() const { return m_error; }

private:
    bool ip(const QStringList& args)
    {
        const auto r = runProgram(QStringLiteral("ip"), args, 20000);
        if (r.exitCode != 0)
            m_error += QStringLiteral("ip %1: %2\n").arg(args.join(QLatin1Char(' ')), r.err);
        return r.exitCode == 0;
    }
    bool sysctl(const QStringList& args)
    {
        const auto r = runProgram(QStringLiteral("ip"),
                                  QStringList{"netns", "exec", elements(), "sysctl"} + args);
        if (r.exitCode != 0)
            m_error += QStringLiteral("sysctl: %1\n").arg(r.err);
        return r.exitCode == 0;
    }
    bool batch(const QString& ns, const QStringList& commands)
    {
        const auto r = runProgram(QStringLiteral("ip"), {"-n", ns, "-batch", "-"}, 60000,
                                  commands.join(QLatin1Char('\n')).toUtf8() + '\n');
        if (r.exitCode != 0)
            m_error += QStringLiteral("ip -batch in %1: %2\n").arg(ns, r.err);
        return r.exitCode == 0;
    }

    QString m_run;
    bool m_made = false;
    QProcess m_sim;
    QString m_error;
};

struct Run {
    std::unique_ptr<QProcess> process;
    QString what;
    QString outFile;
};

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestConcurrentDb : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    Segment m_segment;
    int m_probes = 8; // fresh elements probed, and as many named anew
    int m_saves = 4;  // elements saved through the remote protocol
    int m_rounds = 2;
    int m_nextRun = 0;                       // NMS address of the next run
    QSet<QString> m_probeKeys;               // what a probe alone leaves in a section
    QList<QPair<QString, QString>> m_probed; // its keys and values
    QSet<QString> m_savedKeys;               // the same after a remote-protocol save

    int elementCount() const { return 2 * m_probes + m_saves; }
    int runCount() const { return elementCount(); }
    QStringList cliArgs(const QString& db, const QStringList& verb)
    {
        const int j = m_nextRun++ % runCount() + 1;
        return QStringList{"--db",   db,    "--nms", QStringLiteral("10.233.1.%1").arg(j),
                           "--wait", "3000"} +
               verb;
    }
    // Runs every verb at once and waits for all of them; "" when each
    // exited 0, else what went wrong.
    QString runAll(const QString& db, const QList<QPair<QString, QStringList>>& verbs)
    {
        std::vector<Run> runs;
        for (const auto& [what, verb] : verbs) {
            const QString out = m_dir.filePath(QStringLiteral("run%1.out").arg(runs.size()));
            runs.push_back({m_segment.startCli(cliArgs(db, verb), out), what, out});
        }
        QString failures;
        for (Run& r : runs) {
            if (!r.process->waitForFinished(kRunTimeoutMs))
                r.process->kill();
            r.process->waitForFinished(5000);
            if (r.process->exitStatus() != QProcess::NormalExit || r.process->exitCode() != 0)
                failures += QStringLiteral("%1: exit %2: %3%4\n")
                                .arg(r.what)
                                .arg(r.process->exitCode())
                                .arg(readText(r.outFile).right(300),
                                     readText(r.outFile + QStringLiteral(".err")).right(300));
        }
        return failures;
    }
    static QSet<QString> keysOf(IniStore& store, const QString& section, const QString& db)
    {
        const QStringList keys = store.sectionKeys(section, db);
        return QSet<QString>(keys.begin(), keys.end());
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make network namespaces (run the suite as root, as CI does)");
        if (qEnvironmentVariableIntValue("ORVALINK_STRESS") != 0) {
            m_probes = 50;
            m_saves = 10;
            m_rounds = 10;
        }
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_segment.build(elementCount(), runCount()), qPrintable(m_segment.error()));
        QStringList elements;
        for (int i = 0; i <= elementCount(); ++i)
            elements << QStringLiteral("encoder@") + elementAddress(i);
        QVERIFY2(m_segment.startSim(elements), "the simulator did not start");

        // What each verb leaves when it runs alone.
        const QString db = m_dir.filePath(QStringLiteral("alone.ini"));
        QCOMPARE(runAll(db, {{"probe", {"probe", elementAddress(0)}}}), QString());
        IniStore store;
        for (const QString& key : store.sectionKeys(section(0), db)) {
            m_probeKeys.insert(key);
            m_probed.append({key, store.read(section(0), key, db, QString())});
        }
        QCOMPARE(runAll(db, {{"remote-save", {"remote-save", elementMac(0)}}}), QString());
        m_savedKeys = keysOf(store, section(0), db);
        QVERIFY(m_probeKeys.size() > 10);
        QVERIFY(m_savedKeys.size() > m_probeKeys.size());
    }

    void parallelRunsLoseNoKey_data()
    {
        QTest::addColumn<int>("round");
        for (int round = 1; round <= m_rounds; ++round)
            QTest::addRow("round %d", round) << round;
    }

    // Catches a rewrite that starts from a file another run has replaced
    // since it was read: that run's keys vanish while it reports success.
    void parallelRunsLoseNoKey()
    {
        QFETCH(int, round);
        // Elements 1..P are named anew, P+1..2P probed, the rest saved.
        const int p = m_probes;
        const QString db = m_dir.filePath(QStringLiteral("round%1.ini").arg(round));
        QByteArray seed;
        for (int i = 1; i <= elementCount(); ++i) {
            if (i > p && i <= 2 * p)
                continue;
            seed += '[' + section(i).toLatin1() + "]\r\n";
            for (const auto& [key, value] : std::as_const(m_probed)) {
                const bool address = key == QLatin1String("IP") || key == QLatin1String("SNMPIP");
                seed +=
                    (key + QLatin1Char('=') + (address ? elementAddress(i) : value)).toLatin1() +
                    "\r\n";
            }
        }
        QFile f(db);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(seed) == seed.size());
        f.close();

        QElapsedTimer t;
        t.start();
        QList<QPair<QString, QStringList>> verbs;
        for (int i = 1; i <= elementCount(); ++i) {
            if (i <= p)
                verbs.append(
                    {QStringLiteral("apply %1").arg(i),
                     {"apply", elementMac(i), QStringLiteral("name=R%1 E%2").arg(round).arg(i),
                      "--yes", "--spacing-ms", "10"}});
            else if (i <= 2 * p)
                verbs.append({QStringLiteral("probe %1").arg(i), {"probe", elementAddress(i)}});
            else
                verbs.append(
                    {QStringLiteral("remote-save %1").arg(i), {"remote-save", elementMac(i)}});
        }
        const QString failed = runAll(db, verbs);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));

        IniStore store;
        QCOMPARE(store.sectionNames(db).size(), elementCount());
        int lost = 0;
        QString report;
        for (int i = 1; i <= elementCount(); ++i) {
            const QSet<QString> want = i > 2 * p ? m_savedKeys : m_probeKeys;
            const QSet<QString> missing = want - keysOf(store, section(i), db);
            lost += int(missing.size());
            if (!missing.isEmpty() && report.size() < 500)
                report +=
                    QStringLiteral("%1 lost %2; ")
                        .arg(section(i),
                             QStringList(missing.begin(), missing.end()).join(QLatin1Char(',')));
            if (i <= p && store.read(section(i), QStringLiteral("name"), db, QString()) !=
                              QStringLiteral("R%1 E%2").arg(round).arg(i)) {
                ++lost;
                report += QStringLiteral("%1 lost its new name; ").arg(section(i));
            }
        }
        QVERIFY2(lost == 0, qPrintable(QStringLiteral("%1 keys lost: %2").arg(lost).arg(report)));
        qInfo("%d runs in %lld ms", int(verbs.size()), t.elapsed());
    }

    void cleanupTestCase() { m_segment.tearDown(); }
};

QTEST_GUILESS_MAIN(TestConcurrentDb)
#include "tst_concurrentdb.moc"
