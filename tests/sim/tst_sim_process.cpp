// orvalink-sim as a process, driven over UDP on loopback addresses with
// hand-built datagrams and with net-snmp's command-line tools as an
// independent peer.

#include "Ber.h"
#include "RawSnmp.h"
#include "common/SimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvalink::sim;

namespace {

const QByteArray kRead = "morqubit";
const QByteArray kWrite = "kestrvla";

QString simBinary()
{
    return qEnvironmentVariable("ORVALINK_BIN_DIR", QStringLiteral(".")) +
           QStringLiteral("/orvalink-sim");
}

// The test's loopback addresses: 127.0.77.x, the simulator's agents on a
// port of that net.
const orvalink::testing::SimNet kNet{77};

quint16 testPort()
{
    return kNet.port(0);
}

QHostAddress addr(int last)
{
    return QHostAddress(kNet.host(last));
}

class Sim {
public:
    ~Sim() { kill(); }

    bool start(const QStringList& args)
    {
        m_process.setProgram(simBinary());
        m_process.setArguments(args);
        m_process.start();
        return waitForLine(QStringLiteral("orvalink-sim: ready"), 5000);
    }
    bool waitForLine(const QString& needle, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!m_out.contains(needle)) {
            if (t.elapsed() > ms || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(50);
            m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        }
        return true;
    }
    int terminate()
    {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(5000))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_out;
};

struct Received {
    QByteArray data;
    QHostAddress from;
    int fromPort = -1;
    qint64 afterMs = -1;
};

// Sends one datagram and waits up to `ms` for one answer.
Received exchange(const QHostAddress& to, quint16 port, const QByteArray& datagram, int ms = 500)
{
    QUdpSocket s;
    Received r;
    if (!s.bind(QHostAddress(kNet.host(250)), 0))
        return r;
    QElapsedTimer t;
    t.start();
    s.writeDatagram(datagram, to, port);
    while (t.elapsed() < ms) {
        if (s.hasPendingDatagrams() || s.waitForReadyRead(int(ms - t.elapsed()))) {
            const QNetworkDatagram d = s.receiveDatagram();
            r.data = d.data();
            r.from = d.senderAddress();
            r.fromPort = d.senderPort();
            r.afterMs = t.elapsed();
            break;
        }
    }
    return r;
}

rawsnmp::Reply ask(const QHostAddress& to, const QByteArray& datagram, int ms = 500,
                   quint16 port = testPort())
{
    return rawsnmp::read(exchange(to, port, datagram, ms).data);
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QString runTool(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAll());
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void stationTemplates();
    void roleSets_data();
    void roleSets();
    void communities_data();
    void communities();
    void setEchoesExactly();
    void setErrors_data();
    void setErrors();
    void longerEncodings();
    void garbageIsDropped();
    void oversizedReplyIsTooBig();
    void stateSurvivesRestart();
    void parameter50Rebinds();
    void faultOptions_data();
    void faultOptions();
    void standardPortAsRoot();
    void badCommandLines_data();
    void badCommandLines();
    void netSnmpPeer();

private:
    QTemporaryDir m_netSnmpState; // the state file of net-snmp's tools
    Sim m_shared;                 // encoder@127.0.77.21, decoder@127.0.77.22
};

void TestSimProcess::initTestCase()
{
    orvalink::testing::keepNetSnmpStateIn(m_netSnmpState.path());
    QVERIFY2(QFile::exists(simBinary()), qPrintable(simBinary()));
    QVERIFY2(m_shared.start({QStringLiteral("--port"), QString::number(testPort()),
                             QStringLiteral("encoder@") + kNet.host(21),
                             QStringLiteral("decoder@") + kNet.host(22)}),
             qPrintable(m_shared.errors()));
}

void TestSimProcess::cleanupTestCase()
{
    QCOMPARE(m_shared.terminate(), 0);
}

void TestSimProcess::stationTemplates()
{
    // The test's own builder matches the station's documented GET layout.
    QCOMPARE(rawsnmp::get(kRead, 1, 15),
             hex("302b 020100 0408 6d6f727175626974 a01c 020101 020100 020100 3011 300f"
                 " 060b 2b0601040182db33010f00 0500"));

    const rawsnmp::Reply mac = ask(addr(21), rawsnmp::get(kRead, 1, 15));
    QVERIFY(mac.ok);
    QCOMPARE(mac.errorStatus, 0);
    QCOMPARE(mac.n, 15);
    QCOMPARE(mac.tag, 0x04);
    QCOMPARE(mac.value, hex("2e8bf2004d15"));

    // Request-id 250 goes out as the single byte FA and must come back so.
    const rawsnmp::Reply att = ask(addr(22), rawsnmp::get(kRead, 250, 1));
    QCOMPARE(att.requestId, 250);
    QCOMPARE(att.tag, 0x42);
    QCOMPARE(att.value, hex("00c8")); // 200, canonical two bytes

    const rawsnmp::Reply name = ask(addr(21), rawsnmp::get(kRead, 3, 35));
    QCOMPARE(name.value, QByteArray("ENCODER 21      "));
    const rawsnmp::Reply ip = ask(addr(22), rawsnmp::get(kRead, 4, 14));
    QCOMPARE(ip.tag, 0x40);
    QCOMPARE(ip.value, hex("7f004d16"));
}

void TestSimProcess::roleSets_data()
{
    QTest::addColumn<int>("element");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("status");
    // What the station's probe uses to tell the roles apart.
    for (int n : {32, 1, 2, 34})
        QTest::addRow("encoder %d", n) << 21 << n << 2;
    for (int n : {7, 12, 5, 6})
        QTest::addRow("encoder %d", n) << 21 << n << 0;
    for (int n : {7, 12})
        QTest::addRow("decoder %d", n) << 22 << n << 2;
    for (int n : {32, 1, 2, 34, 3, 4})
        QTest::addRow("decoder %d", n) << 22 << n << 0;
    for (int n : {28, 29, 44, 51})
        QTest::addRow("unused %d", n) << 22 << n << 2;
}

void TestSimProcess::roleSets()
{
    QFETCH(int, element);
    QFETCH(int, n);
    QFETCH(int, status);
    const rawsnmp::Reply r = ask(addr(element), rawsnmp::get(kRead, 9, quint8(n)));
    QVERIFY(r.ok);
    QCOMPARE(r.errorStatus, status);
    QCOMPARE(r.requestId, 9);
}

void TestSimProcess::communities_data()
{
    QTest::addColumn<bool>("isSet");
    QTest::addColumn<QByteArray>("community");
    QTest::addColumn<int>("status"); // -1: no reply at all
    QTest::newRow("get read") << false << kRead << 0;
    QTest::newRow("get write") << false << kWrite << 0;
    QTest::newRow("get wrong") << false << QByteArray("wrongone") << -1;
    QTest::newRow("set write") << true << kWrite << 0;
    QTest::newRow("set read") << true << kRead << 2;
    QTest::newRow("set wrong") << true << QByteArray("wrongone") << -1;
}

void TestSimProcess::communities()
{
    QFETCH(bool, isSet);
    QFETCH(QByteArray, community);
    QFETCH(int, status);
    const QByteArray d =
        isSet ? rawsnmp::set(community, 5, 8, 0x42, hex("00")) : rawsnmp::get(community, 5, 8);
    const Received r = exchange(addr(21), testPort(), d, status < 0 ? 200 : 500);
    if (status < 0) {
        QVERIFY(r.data.isEmpty());
        return;
    }
    const rawsnmp::Reply reply = rawsnmp::read(r.data);
    QVERIFY(reply.ok);
    QCOMPARE(reply.errorStatus, status);
}

void TestSimProcess::setEchoesExactly()
{
    // The reply to an accepted SET is the request with the PDU tag changed.
    const QByteArray name = rawsnmp::set(kWrite, 17, 35, 0x04, "ABCDEF          ");
    QByteArray expected = name;
    expected[15] = char(0xA2);
    QCOMPARE(exchange(addr(21), testPort(), name).data.toHex(' '), expected.toHex(' '));
    QCOMPARE(ask(addr(21), rawsnmp::get(kRead, 18, 35)).value, QByteArray("ABCDEF          "));

    const QByteArray att = rawsnmp::set(kWrite, 19, 1, 0x42, hex("000000ff")); // 255 as four bytes
    expected = att;
    expected[15] = char(0xA2);
    QCOMPARE(exchange(addr(22), testPort(), att).data.toHex(' '), expected.toHex(' '));

    // A new write community works at once; the old one no longer writes.
    QCOMPARE(ask(addr(22), rawsnmp::set(kWrite, 20, 41, 0x04, "abc!!!!!")).value,
             QByteArray("abc!!!!!"));
    QCOMPARE(ask(addr(22), rawsnmp::set(kWrite, 21, 9, 0x42, hex("01")), 200).ok, false);
    QCOMPARE(ask(addr(22), rawsnmp::set("abc!!!!!", 22, 41, 0x04, kWrite)).errorStatus, 0);
}

void TestSimProcess::setErrors_data()
{
    QTest::addColumn<int>("element");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("status");
    QTest::newRow("MAC read-only") << 21 << 15 << 0x04 << hex("2e8bf2000000") << 2;
    QTest::newRow("serial read-only") << 21 << 38 << 0x04 << QByteArray("X") << 2;
    QTest::newRow("counter") << 22 << 4 << 0x42 << hex("00") << 2;
    QTest::newRow("att below range") << 22 << 1 << 0x42 << hex("0d") << 3;
    QTest::newRow("sdt above range") << 22 << 34 << 0x42 << hex("dd") << 3;
    QTest::newRow("gauge too big (42 00)") << 22 << 31 << 0x42 << QByteArray() << 3;
    QTest::newRow("address as text")
        << 21 << 14 << 0x04 << QByteArray("127.0.0.1") << 3; // text only
    QTest::newRow("name too long (04 00)") << 21 << 35 << 0x04 << QByteArray() << 3;
}

void TestSimProcess::setErrors()
{
    QFETCH(int, element);
    QFETCH(int, n);
    QFETCH(int, tag);
    QFETCH(QByteArray, value);
    QFETCH(int, status);
    const rawsnmp::Reply r =
        ask(addr(element), rawsnmp::set(kWrite, 30, quint8(n), quint8(tag), value));
    QVERIFY(r.ok);
    QCOMPARE(r.errorStatus, status);
}

void TestSimProcess::longerEncodings()
{
    // Long-form lengths and a two-byte request-id 128.
    const QByteArray d = hex("30 81 2e 020100 0408 6d6f727175626974 a0 81 1e 02020080 020100 020100"
                             " 30 81 11 300f 060b 2b0601040182db33010f00 0500");
    const Received r = exchange(addr(21), testPort(), d);
    SnmpMessage m;
    QVERIFY(parseMessage(r.data, m));
    QCOMPARE(m.requestId, 128);
    QCOMPARE(m.errorStatus, 0);
    QCOMPARE(m.varBinds.value(0).value, hex("2e8bf2004d15"));
}

void TestSimProcess::garbageIsDropped()
{
    const QByteArray good = rawsnmp::get(kRead, 40, 15);
    const QList<QByteArray> garbage = {
        QByteArray(),
        hex("30"),
        good.chopped(1),
        good + hex("00"),
        hex("3084ffffffff"),
        QByteArray(300, '\xff'),
        QByteArray(good).replace(1, 1, hex("ff")),
    };
    for (const QByteArray& g : garbage)
        QVERIFY(exchange(addr(21), testPort(), g, 100).data.isEmpty());
    QVERIFY(m_shared.running());
    QCOMPARE(ask(addr(21), good).errorStatus, 0);
}

// A GET whose answer would not fit in one datagram is answered with tooBig,
// not left without an answer.
void TestSimProcess::oversizedReplyIsTooBig()
{
    SnmpMessage request;
    request.community = kRead;
    request.pdu = ber::GetRequest;
    request.requestId = 77;
    // 3,800 names: a request of about 65 KB, an answer of about twice that.
    const VarBind name{{1, 3, 6, 1, 4, 1, 44467, 1, 35, 0}, ber::Null, {}};
    request.varBinds = QList<VarBind>(3800, name);
    const QByteArray datagram = encodeMessage(request);
    QVERIFY(datagram.size() < 65507);
    SnmpMessage reply;
    QVERIFY(parseMessage(exchange(addr(21), testPort(), datagram, 2000).data, reply));
    QCOMPARE(reply.pdu, quint8(ber::GetResponse));
    QCOMPARE(reply.requestId, 77);
    QCOMPARE(reply.errorStatus, 1); // tooBig
    QCOMPARE(reply.errorIndex, 0);
    QCOMPARE(reply.varBinds, request.varBinds);
}

void TestSimProcess::stateSurvivesRestart()
{
    // The state holds the communities: created private under the usual
    // umask, and a rewrite keeps the mode it was given.
    const mode_t oldMask = ::umask(022);
    const auto restoreMask = qScopeGuard([&] { ::umask(oldMask); });
    const auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("sim-state.json"));
    const QStringList args = {QStringLiteral("--port"), QString::number(testPort()),
                              QStringLiteral("--state"), state,
                              QStringLiteral("decoder@") + kNet.host(30)};
    {
        Sim sim;
        QVERIFY(sim.start(args));
        QCOMPARE(ask(addr(30), rawsnmp::set(kWrite, 1, 35, 0x04, "KEPT NAME       ")).errorStatus,
                 0);
        QCOMPARE(ask(addr(30), rawsnmp::set(kWrite, 2, 31, 0x42, hex("fffffa24"))).errorStatus, 0);
        sim.kill(); // no chance to save at exit: the SETs must already be on disk
    }
    QCOMPARE(modeOf(state), 0600);
    QCOMPARE(::chmod(QFile::encodeName(state).constData(), 0640), 0);
    {
        Sim sim;
        QVERIFY(sim.start(args));
        QCOMPARE(ask(addr(30), rawsnmp::get(kRead, 3, 35)).value, QByteArray("KEPT NAME       "));
        QCOMPARE(ask(addr(30), rawsnmp::get(kRead, 4, 31)).value,
                 hex("fffffa24")); // -1500 stays signed
        QCOMPARE(ask(addr(30), rawsnmp::set(kWrite, 5, 1, 0x42, hex("20"))).errorStatus, 0);
        QCOMPARE(sim.terminate(), 0);
    }
    QCOMPARE(modeOf(state), 0640);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"sim-state.json"});
    Sim sim;
    QVERIFY(sim.start(args));
    QCOMPARE(ask(addr(30), rawsnmp::get(kRead, 6, 1)).value, hex("20"));

    // A damaged state file stops the start and is left as it was.
    QFile f(state);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("not json");
    f.close();
    Sim broken;
    QVERIFY(!broken.start(args));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("not json"));
}

void TestSimProcess::parameter50Rebinds()
{
    Sim sim;
    QVERIFY(sim.start({QStringLiteral("--port"), QString::number(testPort()),
                       QStringLiteral("--restart-ms"), QStringLiteral("300"),
                       QStringLiteral("encoder@") + kNet.host(40)}));
    auto setAddress = [&](quint8 n, const char* bytes) {
        return ask(addr(40), rawsnmp::set(kWrite, n, n, 0x40, hex(bytes))).errorStatus;
    };
    QCOMPARE(setAddress(48, "7f004d29"), 0); // 127.0.77.41
    QCOMPARE(setAddress(46, "ffff0000"), 0);
    QCOMPARE(setAddress(47, "7f004d01"), 0);
    QCOMPARE(setAddress(49, "7f004d02"), 0);
    const rawsnmp::Reply apply = ask(addr(40), rawsnmp::set(kWrite, 50, 50, 0x42, hex("01")));
    QCOMPARE(apply.errorStatus, 0);
    QCOMPARE(apply.value, hex("01"));
    // Silent while restarting, then only on the new address.
    QVERIFY(!ask(addr(40), rawsnmp::get(kRead, 1, 15), 100).ok);
    QVERIFY(sim.waitForLine(QStringLiteral("restarted encoder@") + kNet.host(41), 3000));
    QCOMPARE(ask(addr(41), rawsnmp::get(kRead, 2, 42)).value, hex("ffff0000"));
    QCOMPARE(ask(addr(41), rawsnmp::get(kRead, 3, 43)).value, hex("7f004d01"));
    QCOMPARE(ask(addr(41), rawsnmp::get(kRead, 4, 45)).value, hex("7f004d02"));
    QCOMPARE(ask(addr(41), rawsnmp::get(kRead, 5, 15)).value, hex("2e8bf2004d28")); // same element
    QVERIFY(!ask(addr(40), rawsnmp::get(kRead, 6, 15), 100).ok);

    // An address that is not on this host is refused; the agent stays put.
    // (203.0.113.9 is only compared with the local interfaces, never contacted.)
    QCOMPARE(ask(addr(41), rawsnmp::set(kWrite, 7, 48, 0x40, hex("cb007109"))).errorStatus, 0);
    QCOMPARE(ask(addr(41), rawsnmp::set(kWrite, 8, 50, 0x42, hex("01"))).errorStatus, 0);
    QVERIFY(sim.waitForLine(QStringLiteral("staying on ") + kNet.host(41), 3000));
    QCOMPARE(ask(addr(41), rawsnmp::get(kRead, 9, 15)).errorStatus, 0);
}

void TestSimProcess::faultOptions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("replies"); // per request: r reply, - none
    QTest::addColumn<int>("minDelayMs");
    QTest::addColumn<bool>("sameId");
    QTest::addColumn<int>("fromPort"); // 0: the agent port
    const quint16 other = quint16(testPort() == 65535 ? 65534 : testPort() + 1);
    QTest::newRow("drop 2") << QStringList{"--drop", "2"} << "--rr" << 0 << true << 0;
    QTest::newRow("drop-every 2") << QStringList{"--drop-every", "2"} << "r-r-" << 0 << true << 0;
    QTest::newRow("loss 100") << QStringList{"--loss", "100", "--seed", "7"} << "---" << 0 << true
                              << 0;
    QTest::newRow("loss 0") << QStringList{"--loss", "0"} << "rrr" << 0 << true << 0;
    QTest::newRow("delay 250") << QStringList{"--delay", "250"} << "r" << 240 << true << 0;
    QTest::newRow("wrong id") << QStringList{"--wrong-id"} << "rr" << 0 << false << 0;
    QTest::newRow("from port") << QStringList{"--from-port", QString::number(other)} << "r" << 0
                               << true << int(other);
}

void TestSimProcess::faultOptions()
{
    QFETCH(QStringList, options);
    QFETCH(QString, replies);
    QFETCH(int, minDelayMs);
    QFETCH(bool, sameId);
    QFETCH(int, fromPort);
    Sim sim;
    QVERIFY(sim.start(options + QStringList{QStringLiteral("--port"), QString::number(testPort()),
                                            QStringLiteral("encoder@") + kNet.host(50)}));
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const bool expect = replies[i] == QLatin1Char('r');
        const Received r = exchange(addr(50), testPort(), rawsnmp::get(kRead, quint8(60 + i), 15),
                                    expect ? 1000 : 150);
        QCOMPARE(!r.data.isEmpty(), expect);
        if (!expect)
            continue;
        QVERIFY(r.afterMs >= minDelayMs);
        QCOMPARE(rawsnmp::read(r.data).requestId == 60 + i, sameId);
        QCOMPARE(r.from, addr(50));
        QCOMPARE(r.fromPort, fromPort ? fromPort : int(testPort()));
    }
}

void TestSimProcess::standardPortAsRoot()
{
    if (::geteuid() != 0)
        QSKIP("binding the agent port 161 needs root; the other tests use a high port");
    Sim sim;
    QVERIFY(sim.start({QStringLiteral("decoder@") + kNet.host(61)}));
    const rawsnmp::Reply r = ask(addr(61), rawsnmp::get(kRead, 1, 15), 500, 161);
    QCOMPARE(r.value, hex("2e8bf2004d3d"));
}

void TestSimProcess::badCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("outside address")
        << QStringList{"encoder@192.0.2.1"} << 2 << "not an address of this host";
    QTest::newRow("nothing") << QStringList{} << 2 << "no element";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--drop-every";
}

void TestSimProcess::badCommandLines()
{
    QFETCH(QStringList, args);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(simBinary(), args);
    QVERIFY(p.waitForFinished(5000));
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QCOMPARE(p.exitCode(), exitCode);
    const QString out = QString::fromUtf8(p.readAll());
    QVERIFY2(out.contains(message), qPrintable(out));
}

void TestSimProcess::netSnmpPeer()
{
    const QString snmpget = QStandardPaths::findExecutable(QStringLiteral("snmpget"));
    const QString snmpset = QStandardPaths::findExecutable(QStringLiteral("snmpset"));
    if (snmpget.isEmpty() || snmpset.isEmpty())
        QSKIP("net-snmp's snmpget/snmpset are not installed (Debian package snmp)");
    qputenv("MIBS", ""); // numeric names only, no MIB loading noise
    const QString decoder = QStringLiteral("%1:%2").arg(kNet.host(22)).arg(testPort());
    const QString base = QStringLiteral("1.3.6.1.4.1.44467.1.%1.0");
    const QStringList common = {QStringLiteral("-v1"), QStringLiteral("-r0"), QStringLiteral("-t1"),
                                QStringLiteral("-On")};

    QString out = runTool(snmpget, common + QStringList{"-c", "morqubit", decoder, base.arg(15),
                                                        base.arg(33), base.arg(18)});
    QVERIFY2(out.contains(QStringLiteral("Hex-STRING: 2E 8B F2 00 4D 16")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral(".33.0 = Gauge32: 60")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("IpAddress: 255.0.0.0")), qPrintable(out));

    out = runTool(snmpset,
                  common + QStringList{"-c", "kestrvla", decoder, base.arg(35), "s", "NEW NAME",
                                       base.arg(2), "u", "22", base.arg(11), "a", "239.192.10.7"});
    QVERIFY2(out.contains(QStringLiteral("STRING: \"NEW NAME\"")) &&
                 out.contains(QStringLiteral("Gauge32: 22")) &&
                 out.contains(QStringLiteral("IpAddress: 239.192.10.7")),
             qPrintable(out));
    out = runTool(snmpget, common + QStringList{"-c", "kestrvla", decoder, base.arg(35)});
    QVERIFY2(out.contains(QStringLiteral("\"NEW NAME        \"")), qPrintable(out));

    // Wrong type, read community, read-only parameter: errors the tool names.
    out = runTool(snmpset, common + QStringList{"-c", "kestrvla", decoder, base.arg(2), "i", "5"});
    QVERIFY2(out.contains(QStringLiteral("badValue")), qPrintable(out));
    out = runTool(snmpset, common + QStringList{"-c", "morqubit", decoder, base.arg(2), "u", "5"});
    QVERIFY2(out.contains(QStringLiteral("noSuchName")), qPrintable(out));
    out = runTool(snmpget, common + QStringList{"-c", "nobody!!", decoder, base.arg(15)});
    QVERIFY2(out.contains(QStringLiteral("Timeout")), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_sim_process.moc"
