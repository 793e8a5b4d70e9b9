// Auto Discovery and the save request on a real Ethernet segment: a bridge
// in one network namespace, the station in another, simulated elements in
// others, all made by the test and removed after it. Nothing leaves the
// namespaces. Needs root; skipped otherwise.

#include "common/SimProcess.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using orvalink::testing::binPath;
using Run = orvalink::testing::ProgramRun;
Run run(const QString& program, const QStringList& args, int timeoutMs = 20000)
{
    return orvalink::testing::runProgram(program, args, timeoutMs);
}

// The namespaces of one run: the bridge "<run>-sw" and one per node.
class Lan {
public:
    explicit Lan(int net) : m_run(QStringLiteral("ol11-%1-%2").arg(::getpid()).arg(net)), m_net(net)
    {
    }
    ~Lan() { tearDown(); }

    QString ns(const QString& node) const { return m_run + QLatin1Char('-') + node; }
    QString address(int host) const { return QStringLiteral("10.231.%1.%2").arg(m_net).arg(host); }
    QString mac(int host) const
    {
        return QStringLiteral("2E:8B:F2:%1:00:%2")
            .arg(m_net, 2, 16, QLatin1Char('0'))
            .arg(host, 2, 16, QLatin1Char('0'))
            .toUpper();
    }

    bool ip(const QStringList& args)
    {
        const Run r = run(QStringLiteral("ip"), args);
        if (r.exitCode != 0)
            m_error += QStringLiteral("ip %1: %2\n").arg(args.join(QLatin1Char(' ')), r.err);
        return r.exitCode == 0;
    }
    bool makeBridge()
    {
        m_namespaces << ns(QStringLiteral("sw"));
        return ip({"netns", "add", ns("sw")}) &&
               ip({"-n", ns("sw"), "link", "add", "br0", "type", "bridge", "stp_state", "0",
                   "forward_delay", "0"}) &&
               ip({"-n", ns("sw"), "link", "set", "br0", "up"});
    }
    bool addNode(const QString& node, int host)
    {
        const QString n = ns(node);
        const QString port = QStringLiteral("v-") + node;
        m_namespaces << n;
        return ip({"netns", "add", n}) && ip({"-n", n, "link", "set", "lo", "up"}) &&
               ip({"-n", ns("sw"), "link", "add", port, "type", "veth", "peer", "name", "eth0",
                   "netns", n}) &&
               ip({"-n", ns("sw"), "link", "set", port, "master", "br0", "up"}) &&
               ip({"-n", n, "link", "set", "eth0", "address", mac(host).toLower()}) &&
               ip({"-n", n, "addr", "add", address(host) + QStringLiteral("/24"), "dev", "eth0"}) &&
               ip({"-n", n, "link", "set", "eth0", "up"});
    }
    // A simulator inside a node's namespace, until the run ends.
    bool startSim(const QString& node, const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral("ip"),
                 QStringList{"netns", "exec", ns(node), binPath("orvalink-sim")} + args);
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("ready") && t.elapsed() < 5000 && p->state() != QProcess::NotRunning) {
            p->waitForReadyRead(50);
            out += p->readAllStandardOutput();
        }
        if (!out.contains("ready"))
            m_error += QStringLiteral("simulator in %1: %2\n")
                           .arg(node, QString::fromUtf8(p->readAllStandardError()));
        m_sims.push_back(std::move(p));
        return out.contains("ready");
    }
    Run inNms(const QStringList& args)
    {
        return run(QStringLiteral("ip"),
                   QStringList{"netns", "exec", ns("nms"), binPath("orvalink-cli")} + args);
    }
    void tearDown()
    {
        // The processes inside first, then the namespaces (and their links).
        for (auto& p : m_sims) {
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
        m_sims.clear();
        for (const QString& n : m_namespaces)
            run(QStringLiteral("ip"), {"netns", "del", n});
        m_namespaces.clear();
    }
    QString error() const { return m_error; }

private:
    QString m_run;
    int m_net;
    QStringList m_namespaces;
    std::vector<std::unique_ptr<QProcess>> m_sims;
    QString m_error;
};

// Every section's keys and values.
QMap<QString, QMap<QString, QString>> contentOf(const QString& path)
{
    orvalink::IniStore store;
    QMap<QString, QMap<QString, QString>> c;
    for (const QString& section : store.sectionNames(path))
        for (const QString& key : store.sectionKeys(section, path))
            c[section][key] = store.read(section, key, path, QString());
    return c;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TestRemoteNetns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void discoveryAndSaveOnABridge();
    void discoveryFailuresPutTheDatabaseBack();
    void discoveryUnderFloodFindsWhatACleanOneFinds();
};

void TestRemoteNetns::discoveryAndSaveOnABridge()
{
    if (::geteuid() != 0)
        QSKIP("needs root to make network namespaces (run the suite as root, as CI does)");
    if (run(QStringLiteral("ip"), {"netns", "list"}).exitCode != 0)
        QSKIP("the ip tool (iproute2) with network namespaces is not available");

    const int net = 1 + int(QRandomGenerator::global()->bounded(250));
    Lan lan(net);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("nms.ini"));
    QVERIFY2(lan.makeBridge() && lan.addNode(QStringLiteral("nms"), 1) &&
                 lan.addNode(QStringLiteral("dec"), 2) && lan.addNode(QStringLiteral("enc"), 3) &&
                 lan.addNode(QStringLiteral("mute"), 4),
             qPrintable(lan.error()));
    QVERIFY2(lan.startSim(QStringLiteral("dec"),
                          {"--state", dir.filePath(QStringLiteral("dec.json")),
                           QStringLiteral("decoder@%1/%2").arg(lan.address(2), lan.mac(2))}) &&
                 lan.startSim(QStringLiteral("enc"),
                              {QStringLiteral("encoder@%1/%2").arg(lan.address(3), lan.mac(3))}) &&
                 lan.startSim(QStringLiteral("mute"),
                              {"--no-remote",
                               QStringLiteral("decoder@%1/%2").arg(lan.address(4), lan.mac(4))}),
             qPrintable(lan.error()));

    const QStringList common{"--db", db, "--nms", lan.address(1), "--wait", "1000"};
    QFile old(db);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("[2E8BF2000001]\r\nNAME=GONE\r\n");
    old.close();

    // Discovery finds both answering elements with their real MACs.
    const Run first = lan.inNms(common + QStringList{"discover"});
    QVERIFY2(first.exitCode == 0, qPrintable(first.out + first.err));
    QVERIFY2(first.out.contains(lan.mac(2)) && first.out.contains(lan.mac(3)),
             qPrintable(first.out));
    QVERIFY(!first.out.contains(lan.mac(4)));
    const QByteArray firstDb = readFile(db);
    QVERIFY(firstDb.contains(
        QStringLiteral("[%1]").arg(QString(lan.mac(3)).remove(QLatin1Char(':'))).toLatin1()));
    QVERIFY(firstDb.contains("IP=" + lan.address(2).toLatin1()));
    QCOMPARE(readFile(db + QStringLiteral(".bak")), QByteArray("[2E8BF2000001]\r\nNAME=GONE\r\n"));

    // A second discovery keeps the first database as the backup.
    const Run second = lan.inNms(common + QStringList{"discover"});
    QVERIFY2(second.exitCode == 0, qPrintable(second.out + second.err));
    QCOMPARE(readFile(db + QStringLiteral(".bak")), firstDb);

    // A save request with a new name is confirmed, and SNMP reads it back.
    const QString decSection = QString(lan.mac(2)).remove(QLatin1Char(':'));
    QByteArray content = readFile(db);
    content.replace("NAME=DECODER 2", "NAME=NEWSTUDIO  ");
    QFile rewrite(db);
    QVERIFY(rewrite.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rewrite.write(content);
    rewrite.close();
    const Run saved = lan.inNms(common + QStringList{"remote-save", lan.mac(2)});
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.out + saved.err));
    QVERIFY(saved.out.contains(QStringLiteral("Confirmed")));
    const Run name = lan.inNms({"--nms", lan.address(1), "get", lan.address(2), "morqubit", "35"});
    QCOMPARE(name.out.trimmed(), QStringLiteral("NEWSTUDIO"));
    Q_UNUSED(decSection);

    // An element that does not speak the remote protocol: the save times out.
    QFile append(db);
    QVERIFY(append.open(QIODevice::Append));
    append.write(
        QStringLiteral("[%1]\r\nNAME=MUTE\r\nIP=%2\r\nROLE=2\r\nMASK=255.255.255.0\r\n"
                       "GW=%3\r\nMULTI=239.192.10.1\r\nINPUT=0\r\nTYPE=0\r\nTX=0\r\n")
            .arg(QString(lan.mac(4)).remove(QLatin1Char(':')), lan.address(4), lan.address(1))
            .toLatin1());
    append.close();
    const Run silent = lan.inNms(common + QStringList{"remote-save", lan.mac(4)});
    QCOMPARE(silent.exitCode, 1);
    QVERIFY2(silent.err.contains(
                 QStringLiteral("Waiting for a response from Network Element has timed out!")),
             qPrintable(silent.err));
}

// Catches a command-line discovery that loses the database: a full disk
// (the backup does not fit) that still empties it and reports elements
// found, or destroys the good backup of an earlier run, a run that hears nothing or is stopped by
// TERM and leaves an empty or partial database, an empty database written over the only backup, and
// a pipe or a device taken for a database (a hang, an abort).
void TestRemoteNetns::discoveryFailuresPutTheDatabaseBack()
{
    if (::geteuid() != 0)
        QSKIP("needs root to make network namespaces and mount a tmpfs (run the suite as root, "
              "as CI does)");
    if (run(QStringLiteral("ip"), {"netns", "list"}).exitCode != 0)
        QSKIP("the ip tool (iproute2) with network namespaces is not available");

    const int net = 1 + int(QRandomGenerator::global()->bounded(250));
    Lan lan(net);
    QTemporaryDir dir;
    QVERIFY2(lan.makeBridge() && lan.addNode(QStringLiteral("nms"), 1) &&
                 lan.addNode(QStringLiteral("enc"), 3),
             qPrintable(lan.error()));
    const auto discover = [&](const QString& db, int waitMs, int timeoutMs = 20000) {
        return run(QStringLiteral("ip"),
                   {"netns", "exec", lan.ns(QStringLiteral("nms")), binPath("orvalink-cli"), "--db",
                    db, "--nms", lan.address(1), "--wait", QString::number(waitMs), "discover"},
                   timeoutMs);
    };
    const QString db = dir.filePath(QStringLiteral("nms.ini"));
    const QString bak = db + QStringLiteral(".bak");
    const QByteArray previous("[2E8BF2000001]\r\nNAME=KEPT\r\nCOMMUNITY=secret\r\n");
    QVERIFY(writeFile(db, previous));

    // Nothing answers, twice: the database is put back both times.
    for (int i = 0; i < 2; ++i) {
        const Run r = discover(db, 300);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("was put back")), qPrintable(r.err));
        QCOMPARE(readFile(db), previous);
    }
    // An empty database is never written over the backup.
    QVERIFY(writeFile(db, QByteArray()));
    QCOMPARE(discover(db, 300).exitCode, 1);
    QCOMPARE(readFile(bak), previous);
    QVERIFY(writeFile(db, previous));

    // A pipe and a device are refused at once.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QVERIFY(::mkfifo(qPrintable(fifo), 0600) == 0);
    for (const QString& hostile : {fifo, QStringLiteral("/dev/zero")}) {
        const Run r = discover(hostile, 300, 5000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("cannot be used")), qPrintable(r.err));
    }

    // From here on an element answers.
    QVERIFY2(lan.startSim(QStringLiteral("enc"),
                          {QStringLiteral("encoder@%1/%2").arg(lan.address(3), lan.mac(3))}),
             qPrintable(lan.error()));
    const QByteArray encSection =
        QStringLiteral("[%1]").arg(QString(lan.mac(3)).remove(QLatin1Char(':'))).toLatin1();

    // A full disk: the backup does not fit, so nothing is emptied.
    const QString full = dir.filePath(QStringLiteral("full"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("full")));
    QCOMPARE(
        run(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=16k", "tmpfs", full}).exitCode, 0);
    const auto unmount = qScopeGuard([&] { run(QStringLiteral("umount"), {full}); });
    QByteArray big("[2E8BF2000001]\r\n");
    for (int i = 0; big.size() < 10000; ++i)
        big += QStringLiteral("KEY%1=%2\r\n").arg(i).arg(QString(40, QLatin1Char('x'))).toLatin1();
    const QString fullDb = full + QStringLiteral("/nms.ini");
    QVERIFY(writeFile(fullDb, big));
    // A good backup of an earlier run is there: the new one that does not
    // fit must not take its place (it was left empty, "nothing changed").
    const QByteArray earlier("[2E8BF2000001]\r\nNAME=EARLIER\r\n");
    QVERIFY(writeFile(fullDb + QStringLiteral(".bak"), earlier));
    const Run onFull = discover(fullDb, 500);
    QCOMPARE(onFull.exitCode, 1);
    QVERIFY2(onFull.err.contains(QStringLiteral("could not be kept")), qPrintable(onFull.err));
    QVERIFY(!onFull.out.contains(QStringLiteral("found")));
    QCOMPARE(readFile(fullDb), big);
    QCOMPARE(readFile(fullDb + QStringLiteral(".bak")), earlier);
    QVERIFY(QDir(full).entryList({QStringLiteral("*~orvalink-tmp-*")}, QDir::Files).isEmpty());

    // TERM during the collection, after the element was stored.
    QProcess cli;
    cli.start(QStringLiteral("ip"),
              {"netns", "exec", lan.ns(QStringLiteral("nms")), binPath("orvalink-cli"), "--db", db,
               "--nms", lan.address(1), "--wait", "10000", "discover"});
    QElapsedTimer t;
    t.start();
    while (!readFile(db).contains(encSection) && t.elapsed() < 5000)
        QTest::qWait(20);
    QVERIFY2(readFile(db).contains(encSection), "the element was not stored");
    cli.terminate();
    QVERIFY(cli.waitForFinished(5000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 128 + SIGTERM);
    QVERIFY(cli.readAllStandardError().contains("was put back"));
    QCOMPARE(readFile(db), previous);
}

// Catches a dispatch or reply handler that crashes on garbage, takes a
// truncated reply or one that fails its checks as an element, or loses the
// real elements' replies among thousands of hostile datagrams on port 2976.
void TestRemoteNetns::discoveryUnderFloodFindsWhatACleanOneFinds()
{
    if (::geteuid() != 0)
        QSKIP("needs root to make network namespaces (run the suite as root, as CI does)");
    if (run(QStringLiteral("ip"), {"netns", "list"}).exitCode != 0)
        QSKIP("the ip tool (iproute2) with network namespaces is not available");

    const int net = 1 + int(QRandomGenerator::global()->bounded(250));
    Lan lan(net);
    QTemporaryDir dir;
    QVERIFY2(lan.makeBridge() && lan.addNode(QStringLiteral("nms"), 1) &&
                 lan.addNode(QStringLiteral("dec"), 2) && lan.addNode(QStringLiteral("enc"), 3) &&
                 lan.addNode(QStringLiteral("flood"), 5),
             qPrintable(lan.error()));
    QVERIFY2(lan.startSim(QStringLiteral("dec"),
                          {QStringLiteral("decoder@%1/%2").arg(lan.address(2), lan.mac(2))}) &&
                 lan.startSim(QStringLiteral("enc"),
                              {QStringLiteral("encoder@%1/%2").arg(lan.address(3), lan.mac(3))}),
             qPrintable(lan.error()));
    const auto discover = [&](const QString& file) {
        return lan.inNms(
            {"--db", dir.filePath(file), "--nms", lan.address(1), "--wait", "1000", "discover"});
    };
    const Run clean = discover(QStringLiteral("clean.ini"));
    QVERIFY2(clean.exitCode == 0, qPrintable(clean.out + clean.err));
    const auto cleanContent = contentOf(dir.filePath(QStringLiteral("clean.ini")));
    QCOMPARE(cleanContent.size(), 2);

    // The flooder sends from its own node of the bridge, to the station only.
    QProcess flooder;
    flooder.start(QStringLiteral("ip"),
                  {"netns", "exec", lan.ns(QStringLiteral("flood")),
                   QCoreApplication::applicationDirPath() + QStringLiteral("/datagram-flooder"),
                   "remote", lan.address(1), "2976", "100000"});
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("flooding") && t.elapsed() < 10000 &&
           flooder.state() != QProcess::NotRunning) {
        flooder.waitForReadyRead(20);
        out += flooder.readAllStandardOutput();
    }
    QVERIFY2(out.contains("flooding"), flooder.readAllStandardError().constData());
    const Run flooded = discover(QStringLiteral("flooded.ini"));
    // The flood lasted the whole discovery.
    QVERIFY(flooder.state() == QProcess::Running);
    flooder.kill();
    flooder.waitForFinished(5000);
    QVERIFY2(flooded.exitCode == 0, qPrintable(flooded.out + flooded.err.left(2000)));
    // Proof that the flood reached the station during the discovery; how
    // many it read depends on the machine's load (a busy CI runner reads
    // fewer), not on the program.
    const qsizetype corrupted = flooded.err.count(QStringLiteral("Feedback is corrupted."));
    QVERIFY2(corrupted > 10,
             qPrintable(
                 QStringLiteral("the station saw only %1 of the flood's replies").arg(corrupted)));
    QCOMPARE(contentOf(dir.filePath(QStringLiteral("flooded.ini"))), cleanContent);
}

QTEST_GUILESS_MAIN(TestRemoteNetns)
#include "tst_remote_netns.moc"
