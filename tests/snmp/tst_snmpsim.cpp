// The SNMP client and orvalink-cli against the device simulator on loopback
// (127.0.78.x): every value form both ways, the simulator's fault modes, and
// the command line's exit codes.

#include "common/SimProcess.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"

#include "SnmpTestUtil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

using namespace orvalink;

namespace {

const QString kRead = QStringLiteral("morqubit");
const QString kWrite = QStringLiteral("kestrvla");

QString binDir()
{
    return qEnvironmentVariable("ORVALINK_BIN_DIR");
}

// The test's loopback addresses: 127.0.78.x; the station is host(100).
const orvalink::testing::SimNet kNet{78};

QString host(int last)
{
    return kNet.host(last);
}

quint16 agentPort()
{
    return kNet.agentPort();
}

class Sim {
public:
    ~Sim() { stop(); }
    bool start(const QStringList& args)
    {
        m_process.setProgram(binDir() + QStringLiteral("/orvalink-sim"));
        m_process.setArguments(QStringList{QStringLiteral("--port"), QString::number(agentPort())} +
                               args);
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
    // Waits until the log (--verbose) shows `line`.
    bool waitForLog(const QByteArray& line)
    {
        QElapsedTimer t;
        t.start();
        while (!m_log.contains(line)) {
            if (t.elapsed() > 5000)
                return false;
            m_process.waitForReadyRead(10);
            m_log += m_process.readAllStandardError();
        }
        return true;
    }

private:
    QProcess m_process;
    QByteArray m_log;
};

struct CliResult {
    int exitCode = -1;
    QStringList lines;
    QString err;
};

QStringList cliArguments(const QStringList& args)
{
    return QStringList{QStringLiteral("--nms"), host(100), QStringLiteral("--port"),
                       QString::number(agentPort())} +
           args;
}

CliResult runCli(const QStringList& args)
{
    QProcess p;
    p.start(binDir() + QStringLiteral("/orvalink-cli"), cliArguments(args));
    CliResult r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (out.endsWith(QLatin1Char('\n')))
        out.chop(1);
    r.lines = out.split(QLatin1Char('\n'));
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

Timings timings()
{
    Timings t;
    t.snmpTimeoutMs = 400;
    t.snmpSetAllowedMs = 50;
    return t;
}

} // namespace

class TestSnmpSim : public QObject {
    Q_OBJECT
    Sim sim; // encoder at .1, decoder at .2
    std::unique_ptr<SnmpTransport> snmp;

    QString get(int last, quint8 n, const QString& community = kRead)
    {
        return snmp->GetSNMP(host(last), community, n).value;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(binDir() + QStringLiteral("/orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        QVERIFY2(
            sim.start({QStringLiteral("encoder@") + host(1), QStringLiteral("decoder@") + host(2)}),
            qPrintable(sim.errors()));
    }
    void init()
    {
        snmp = std::make_unique<SnmpTransport>(timings());
        snmp->setLocalAddress(host(100));
        snmp->setPorts(test::freeLoopbackPort(host(100)), agentPort());
    }

    void readEveryForm_data()
    {
        QTest::addColumn<int>("element");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("mac") << 1 << 15 << "2E:8B:F2:00:4E:01";
        QTest::newRow("address") << 2 << 14 << "127\\.0\\.78\\.2";
        QTest::newRow("gauge") << 2 << 1 << "\\d+";
        QTest::newRow("name") << 1 << 35 << "\\S.*\\S";
        QTest::newRow("community") << 1 << 41 << ".{8}";
        QTest::newRow("counter") << 1 << 20 << "-?\\d+";
        QTest::newRow("decoder parameter on an encoder") << 1 << 1 << "";
        QTest::newRow("encoder parameter on a decoder") << 2 << 7 << "";
    }
    void readEveryForm()
    {
        QFETCH(int, element);
        QFETCH(int, n);
        QFETCH(QString, pattern);
        const QString value = get(element, quint8(n));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                     .match(value)
                     .hasMatch(),
                 qPrintable(value));
    }

    // A write is echoed in the same text form and reads back the same.
    void writeEveryForm_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("echo");
        QTest::newRow("name") << 35 << 0x04 << "NEW NAME"
                              << "NEW NAME";
        QTest::newRow("gauge one byte") << 33 << 0x42 << "37"
                                        << "37";
        QTest::newRow("gauge four bytes") << 31 << 0x42 << "70000"
                                          << "70000";
        QTest::newRow("address") << 13 << 0x40 << host(254) << host(254);
        QTest::newRow("read community") << 40 << 0x04 << "abc"
                                        << "abc!!!!!";
    }
    void writeEveryForm()
    {
        QFETCH(int, n);
        QFETCH(int, tag);
        QFETCH(QString, value);
        QFETCH(QString, echo);
        QCOMPARE(snmp->SetSNMP(host(2), kWrite, quint8(n), quint8(tag), value).value, echo);
        if (n != 40) // the read community changed: read with the write one
            QCOMPARE(get(2, quint8(n)), echo);
        else
            QCOMPARE(get(2, quint8(n), kWrite), echo);
    }

    void refusedWrites()
    {
        // The agent refuses: an error status is no value.
        QCOMPARE(snmp->SetSNMP(host(2), kRead, 33, 0x42, QStringLiteral("40")).value, QString());
        // Not representable: nothing goes out, the stored value stays.
        const QString before = get(2, 31, kWrite);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not sent")));
        QCOMPARE(snmp->SetSNMP(host(2), kWrite, 31, 0x42, QStringLiteral("4294967296")).value,
                 QString());
        QCOMPARE(get(2, 31, kWrite), before);
    }

    // Replies the transport must not take: another request-id, another
    // source port, too late. None of them is a value.
    void faultyAgents_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("wrong request-id") << QStringList{QStringLiteral("--wrong-id")};
        QTest::newRow("reply from another port")
            << QStringList{QStringLiteral("--from-port"), QString::number(kNet.port(1))};
        QTest::newRow("late reply")
            << QStringList{QStringLiteral("--delay"), QStringLiteral("600")};
    }
    void faultyAgents()
    {
        QFETCH(QStringList, options);
        Sim faulty;
        QVERIFY2(faulty.start(options + QStringList{QStringLiteral("encoder@") + host(3)}),
                 qPrintable(faulty.errors()));
        QCOMPARE(get(3, 15), QString());
        QVERIFY(snmp->isBound());
        // A healthy agent right after: its reply is the one taken.
        QCOMPARE(get(1, 15), QStringLiteral("2E:8B:F2:00:4E:01"));
    }

    void lostRepliesThenAnswers()
    {
        Sim lossy;
        QVERIFY(lossy.start(
            {QStringLiteral("--drop"), QStringLiteral("1"), QStringLiteral("decoder@") + host(4)}));
        QCOMPARE(get(4, 15), QString());
        QCOMPARE(get(4, 15), QStringLiteral("2E:8B:F2:00:4E:04"));
    }

    void cliGet()
    {
        const CliResult all = runCli(
            {QStringLiteral("get"), host(1), kRead, QStringLiteral("15"), QStringLiteral("14")});
        QCOMPARE(all.exitCode, 0);
        QCOMPARE(all.lines, (QStringList{QStringLiteral("2E:8B:F2:00:4E:01"), host(1)}));

        const CliResult some = runCli(
            {QStringLiteral("get"), host(1), kRead, QStringLiteral("1"), QStringLiteral("14")});
        QCOMPARE(some.exitCode, 1);
        QCOMPARE(some.lines, (QStringList{QString(), host(1)}));
    }

    // A run of the command line that gave up before the reply came, then the
    // next run from the same port: the first run's late reply arrives while
    // the second one waits, and must not be printed as its value.
    void lateReplyOfAnEarlierRunIsNoValue()
    {
        Sim slow;
        QVERIFY(slow.start({QStringLiteral("--verbose"), QStringLiteral("--delay"),
                            QStringLiteral("600"), QStringLiteral("encoder@") + host(5)}));
        QProcess first;
        first.start(binDir() + QStringLiteral("/orvalink-cli"),
                    cliArguments({QStringLiteral("get"), host(5), kRead, QStringLiteral("14")}));
        QVERIFY(slow.waitForLog("GET 14"));
        first.kill();
        first.waitForFinished(5000);

        const CliResult second =
            runCli({QStringLiteral("get"), host(5), kRead, QStringLiteral("35")});
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.lines.size(), 1);
        QVERIFY2(second.lines.first().startsWith(QStringLiteral("ENCODER ")),
                 qPrintable(second.lines.first()));
    }

    // A device's text reaches the terminal with its control characters
    // escaped, in what get reads and in what set echoes. (The simulator
    // refuses such names; a scripted agent sends one.)
    void cliEscapesDeviceTexts()
    {
        QUdpSocket agent;
        QVERIFY(agent.bind(QHostAddress(host(9)), agentPort()));
        const QList<QStringList> runs = {
            {QStringLiteral("get"), host(9), kRead, QStringLiteral("35")},
            {QStringLiteral("set"), host(9), kWrite, QStringLiteral("35"), QStringLiteral("text"),
             QStringLiteral("A")},
        };
        for (const QStringList& args : runs) {
            QProcess cli;
            cli.start(binDir() + QStringLiteral("/orvalink-cli"), cliArguments(args));
            QVERIFY(agent.waitForReadyRead(5000));
            const QNetworkDatagram d = agent.receiveDatagram();
            const test::SentRequest request = test::readRequest(d.data());
            test::ReplySpec reply;
            reply.community = request.community;
            reply.requestId = QByteArray(1, char(request.requestId));
            reply.n = request.n;
            reply.value = QByteArrayLiteral("A\x1B]0;T\x07");
            agent.writeDatagram(test::buildReply(reply), d.senderAddress(),
                                quint16(d.senderPort()));
            QVERIFY(cli.waitForFinished(5000));
            QCOMPARE(cli.readAllStandardOutput(), QByteArray("A\\x1b]0;T\\x07\n"));
        }
    }

    // Port 2979 taken by another program: one message, then exit 1, not one
    // message per parameter.
    void cliPortTakenIsReportedOnce()
    {
        QUdpSocket squatter;
        QVERIFY(squatter.bind(QHostAddress(host(100)), 2979, QAbstractSocket::DontShareAddress));
        const CliResult r = runCli({QStringLiteral("get"), host(1), kRead, QStringLiteral("15"),
                                    QStringLiteral("14"), QStringLiteral("35")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.lines, QStringList{QString()}); // nothing on stdout
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.err.contains(QStringLiteral("2979")), qPrintable(r.err));
    }

    void cliSet_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::newRow("name") << QStringList{QStringLiteral("35"), QStringLiteral("text"),
                                             QStringLiteral(" Cli Name ")}
                              << 0 << "Cli Name";
        QTest::newRow("gauge") << QStringList{QStringLiteral("34"), QStringLiteral("gauge"),
                                              QStringLiteral("043")}
                               << 0 << "43";
        QTest::newRow("address") << QStringList{QStringLiteral("18"), QStringLiteral("ip"),
                                                QStringLiteral("255.255.0.0")}
                                 << 0 << "255.255.0.0";
        QTest::newRow("trap destination")
            << QStringList{QStringLiteral("39"), QStringLiteral("ip"), host(9)} << 0 << host(9);
        QTest::newRow("refused by the agent")
            << QStringList{QStringLiteral("15"), QStringLiteral("text"), QStringLiteral("x")} << 1
            << "";
        QTest::newRow("usage: bad type")
            << QStringList{QStringLiteral("35"), QStringLiteral("word"), QStringLiteral("x")} << 2
            << "";
        QTest::newRow("usage: bad number")
            << QStringList{QStringLiteral("200"), QStringLiteral("gauge"), QStringLiteral("1")} << 2
            << "";
        QTest::newRow("usage: unsendable")
            << QStringList{QStringLiteral("31"), QStringLiteral("gauge"), QStringLiteral("-5")} << 2
            << "";
        QTest::newRow("usage: missing value")
            << QStringList{QStringLiteral("31"), QStringLiteral("gauge")} << 2 << "";
    }
    void cliSet()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        const CliResult r = runCli(QStringList{QStringLiteral("set"), host(2), kWrite} + args);
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode != 2)
            QCOMPARE(r.lines, QStringList{printed});
        else
            QVERIFY(!r.err.isEmpty());
    }

    void cliUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("get without N") << QStringList{QStringLiteral("get"), host(1), kRead};
        QTest::newRow("get bad host") << QStringList{
            QStringLiteral("get"), QStringLiteral("127.0.78"), kRead, QStringLiteral("15")};
        QTest::newRow("get bad N")
            << QStringList{QStringLiteral("get"), host(1), kRead, QStringLiteral("x")};
        QTest::newRow("get empty community") << QStringList{
            QStringLiteral("get"), host(1), QStringLiteral(" "), QStringLiteral("15")};
    }
    void cliUsage()
    {
        QFETCH(QStringList, args);
        const CliResult r = runCli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSnmpSim)
#include "tst_snmpsim.moc"
