// The trap path: the decoder against traps sent by net-snmp's snmptrap and
// by the simulator, the receiver's binding to elements and its refusals,
// and orvalink-cli traps. Everything goes over 127.0.119.x.

#include "common/SimProcess.h"
#include "core/Text.h"
#include "snmp/TrapReceiver.h"
#include "store/IniStore.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

const SimNet kNet{119};
const QHostAddress kNms(kNet.host(1));

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// An SNMPv1 linkUp from agent 127.0.119.21 with community `community`,
// built by hand (one INTEGER binding).
QByteArray v1Trap(const QByteArray& community, quint8 agentLast = 21)
{
    QByteArray pdu = QByteArray::fromHex("06082b0601040182db33"); // enterprise 1.3.6.1.4.1.44467
    pdu += QByteArray::fromHex("40047f0077") + char(agentLast);   // agent address
    pdu += QByteArray::fromHex("020103020100430201f4");           // linkUp, 0, 500
    pdu += QByteArray::fromHex("3011300f060a2b06010201020201010102010"
                               "1");
    QByteArray body = QByteArray::fromHex("020100") + char(0x04) + char(community.size()) +
                      community + char(0xA4) + char(pdu.size()) + pdu;
    return char(0x30) + QByteArray(1, char(body.size())) + body;
}

} // namespace

class TstTraps : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString dbPath() const { return m_dir.filePath(QStringLiteral("nms.ini")); }

private Q_SLOTS:
    void init()
    {
        keepNetSnmpStateIn(m_dir.path());
        // Element 21 answers from 127.0.119.21 with its read community;
        // element 22's community is stored short (padded with "!" on the
        // device).
        writeFile(dbPath(), QStringLiteral("[2E8BF2771521]\r\nNAME=NORTH\r\nROLE=2\r\nSNMPIP=%1\r\n"
                                           "SNMPRO=morqubit\r\nSNMPTR=%3\r\n"
                                           "[2E8BF2771522]\r\nNAME=SOUTH\r\nROLE=2\r\nSNMPIP=%2\r\n"
                                           "SNMPRO=abc\r\nSNMPTR=%3\r\n")
                                .arg(kNet.host(21), kNet.host(22), kNet.host(1))
                                .toLatin1());
    }

    // Fault: fields of real SNMPv1 and SNMPv2c traps misread (enterprise,
    // agent address, generic and specific trap, time stamp, sysUpTime,
    // snmpTrapOID, the value types of the bindings).
    void netSnmpTrapsDecodeFieldByField()
    {
        const QString snmptrap = QStandardPaths::findExecutable(QStringLiteral("snmptrap"));
        if (snmptrap.isEmpty())
            QSKIP("snmptrap is not installed (Debian package snmp; tools/install-deps.sh)");
        // snmptrap sends from 127.0.0.1 to the loopback: accept that sender.
        IniStore store;
        TrapReceiver receiver(store, dbPath());
        receiver.setAcceptUnknownSources(true);
        QString error;
        QVERIFY2(receiver.start(kNms, 0, &error), qPrintable(error));
        QSignalSpy spy(&receiver, &TrapReceiver::trapReceived);
        const QString to =
            kNms.toString() + QLatin1Char(':') + QString::number(receiver.localPort());
        const QStringList bindings = {
            "1.3.6.1.2.1.2.2.1.1.1", "i", "-7",        "1.3.6.1.2.1.1.5.0", "s", "STUDIO|A",
            "1.3.6.1.4.1.1.1",       "c", "5",         "1.3.6.1.4.1.1.2",   "C", "123456789012",
            "1.3.6.1.4.1.1.3",       "o", "1.3.6",     "1.3.6.1.4.1.1.4",   "a", "10.1.2.3",
            "1.3.6.1.4.1.1.5",       "t", "77",        "1.3.6.1.4.1.1.6",   "x", "00FF1B",
            "1.3.6.1.4.1.1.7",       "u", "4294967295"};
        const QStringList v1 =
            QStringList{"-v",          "1", "-c", "morqubit", to, "1.3.6.1.4.1.44467.3",
                        kNet.host(21), "6", "1",  "1234"} +
            bindings;
        const QStringList v2 =
            QStringList{"-v", "2c", "-c", "morqubit", to, "4321", "1.3.6.1.6.3.1.1.5.3"} + bindings;
        for (const QStringList& args : {v1, v2}) {
            const ProgramRun r = runProgram(snmptrap, args, 10000);
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        }
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 2, 5000);

        const Trap a = spy.at(0).at(0).value<Trap>();
        QCOMPARE(a.version, Trap::Version::V1);
        QCOMPARE(a.community, QByteArray("morqubit"));
        QCOMPARE(a.enterprise, QStringLiteral("1.3.6.1.4.1.44467.3"));
        QCOMPARE(formatIPv4(a.agentAddress), kNet.host(21));
        QCOMPARE(a.genericTrap, 6);
        QCOMPARE(a.specificTrap, 1);
        QCOMPARE(a.timeStamp, 1234u);
        QCOMPARE(a.name(), QStringLiteral("silenceDetected"));
        // Bound by its agent address, although it came from 127.0.0.1.
        QCOMPARE(spy.at(0).at(1).value<ElementEntry>().name, QStringLiteral("NORTH"));

        const Trap b = spy.at(1).at(0).value<Trap>();
        QCOMPARE(b.version, Trap::Version::V2c);
        QCOMPARE(b.sysUpTime, 4321u);
        QCOMPARE(b.trapOid, QStringLiteral("1.3.6.1.6.3.1.1.5.3"));
        QCOMPARE(b.name(), QStringLiteral("linkDown"));
        QVERIFY(spy.at(1).at(1).value<ElementEntry>().section.isEmpty());

        const QList<TrapBinding> expected = {{"1.3.6.1.2.1.2.2.1.1.1", "INTEGER", "-7"},
                                             {"1.3.6.1.2.1.1.5.0", "OCTET STRING", "STUDIO|A"},
                                             {"1.3.6.1.4.1.1.1", "Counter32", "5"},
                                             {"1.3.6.1.4.1.1.2", "Counter64", "123456789012"},
                                             {"1.3.6.1.4.1.1.3", "OID", "1.3.6"},
                                             {"1.3.6.1.4.1.1.4", "IpAddress", "10.1.2.3"},
                                             {"1.3.6.1.4.1.1.5", "TimeTicks", "77"},
                                             {"1.3.6.1.4.1.1.6", "Hex-STRING", "00 FF 1B"},
                                             {"1.3.6.1.4.1.1.7", "Gauge32", "4294967295"}};
        QCOMPARE(a.bindings, expected);
        QCOMPARE(b.bindings, expected);
    }

    // Fault: a trap bound to the wrong element or taken with a community
    // other than the element's read community; an element added to the
    // database while the receiver runs stays unknown.
    void bindsByAddressAndCommunity()
    {
        IniStore store;
        TrapReceiver receiver(store, dbPath());
        QSignalSpy taken(&receiver, &TrapReceiver::trapReceived);
        QSignalSpy rejected(&receiver, &TrapReceiver::trapRejected);
        QString error;
        QVERIFY2(receiver.start(kNms, 0, &error), qPrintable(error));
        const quint16 port = receiver.localPort();
        auto sendFrom = [&](int from, const QByteArray& datagram) {
            QUdpSocket s;
            QVERIFY(s.bind(QHostAddress(kNet.host(from)), 0));
            QVERIFY(s.writeDatagram(datagram, kNms, port) == datagram.size());
        };
        auto rejection = [&](qsizetype i) {
            return rejected.at(i).at(0).value<TrapRejection>().kind;
        };

        sendFrom(21, v1Trap("morqubit"));
        sendFrom(21, v1Trap("kestrvla")); // the write community is no read community
        sendFrom(22, v1Trap("abc!!!!!", 22));
        sendFrom(22, v1Trap("morqubit", 22));
        sendFrom(23, v1Trap("morqubit", 23)); // no such element yet
        QTRY_COMPARE_WITH_TIMEOUT(taken.size() + rejected.size(), 5, 5000);
        QCOMPARE(taken.size(), 2);
        QCOMPARE(taken.at(0).at(1).value<ElementEntry>().mac, QStringLiteral("2E:8B:F2:77:15:21"));
        QCOMPARE(taken.at(1).at(1).value<ElementEntry>().mac, QStringLiteral("2E:8B:F2:77:15:22"));
        QCOMPARE(rejection(0), TrapRejection::Kind::Refused);
        QCOMPARE(rejection(1), TrapRejection::Kind::Refused);
        QCOMPARE(rejection(2), TrapRejection::Kind::Foreign);

        // Another program adds element 23 (same size file, so only the
        // stamps tell): its next trap is bound.
        {
            IniStore writer;
            QVERIFY(writer.writeKeys(QStringLiteral("2E8BF2771523"),
                                     {{QStringLiteral("name"), QStringLiteral("WEST")},
                                      {QStringLiteral("snmpip"), kNet.host(23)},
                                      {QStringLiteral("snmpro"), QStringLiteral("morqubit")}},
                                     dbPath()));
        }
        sendFrom(23, v1Trap("morqubit", 23));
        QTRY_COMPARE_WITH_TIMEOUT(taken.size(), 3, 5000);
        QCOMPARE(taken.at(2).at(1).value<ElementEntry>().mac, QStringLiteral("2E:8B:F2:77:15:23"));

        const TrapCounters& c = receiver.counters();
        QCOMPARE(c.received, 6u);
        QCOMPARE(c.decoded, 3u);
        QCOMPARE(c.refused, 2u);
        QCOMPARE(c.foreign, 1u);
        QCOMPARE(c.malformed, 0u);
    }

    // Fault: a damaged datagram taken as a trap, read past its end, or
    // stopping the receiver: every cut of a valid trap, long-form lengths
    // claiming more than is there, the indefinite form, nesting without
    // end and a wrong version are counted as malformed, and the receiver
    // still takes the next good trap.
    void malformedDatagramsAreCountedNotFatal()
    {
        IniStore store;
        TrapReceiver receiver(store, dbPath());
        QSignalSpy taken(&receiver, &TrapReceiver::trapReceived);
        const quint32 from = QHostAddress(kNet.host(21)).toIPv4Address();
        const QByteArray good = v1Trap("morqubit");
        QList<QByteArray> bad;
        for (qsizetype n = 0; n < good.size(); ++n)
            bad << good.left(n);
        QByteArray deep = QByteArray::fromHex("0500");
        for (int i = 0; i < 40; ++i)
            deep = char(0x30) + QByteArray(1, char(deep.size())) + deep;
        bad << QByteArray::fromHex("3084ffffffff020100") << QByteArray::fromHex("3080020100")
            << QByteArray::fromHex("3085010000000002") << deep << good + '\0'
            << QByteArray(good).replace(QByteArray::fromHex("020100"),
                                        QByteArray::fromHex("020103")); // version 3
        QByteArray v1Garbled = good;
        v1Garbled[v1Garbled.size() - 2] = char(0x07); // binding value length beyond its parent
        bad << v1Garbled;
        for (const QByteArray& d : bad)
            receiver.handleDatagram(d, from, 162);
        QCOMPARE(receiver.counters().malformed, quint64(bad.size()));
        QCOMPARE(taken.size(), 0);
        receiver.handleDatagram(good, from, 162);
        QCOMPARE(taken.size(), 1);
    }

    // Fault: the simulator's traps and the station's decoder disagree, or
    // orvalink-cli traps does not end after N traps or prints a stored name
    // unescaped. coldStart at start, linkDown and linkUp on SIGUSR1,
    // silenceDetected from the silence detector; SNMPv1 and SNMPv2c.
    void simulatorTrapsThroughCli_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("v1") << QStringLiteral("1");
        QTest::newRow("v2c") << QStringLiteral("2c");
    }
    void simulatorTrapsThroughCli()
    {
        QFETCH(QString, version);
        const QString trapPort = QString::number(kNet.port(version == u"1" ? 1 : 2));
        writeFile(dbPath(),
                  QStringLiteral("[2E8BF2771521]\r\nNAME=NOR\x1bTH\r\nROLE=2\r\nSNMPIP=%1\r\n"
                                 "SNMPRO=morqubit\r\nSNMPTR=%2\r\n")
                      .arg(kNet.host(21), kNet.host(1))
                      .toLatin1());
        QProcess cli;
        cli.start(binPath("orvalink-cli"),
                  {"--db", dbPath(), "--nms", kNms.toString(), "traps", "--port", trapPort,
                   "--count", "4", "--timeout-ms", "10000"});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((cli.waitForReadyRead(20), err += cli.readAllStandardError(),
                                  err.contains("listening")),
                                 5000);
        SimProcess sim;
        QVERIFY(sim.start(kNet.port(0),
                          {"--no-remote", "--from-ini", dbPath(), "--trap-port", trapPort,
                           "--trap-version", version, "--silence-trap-ms", "300",
                           QStringLiteral("decoder@%1/2E:8B:F2:77:15:21").arg(kNet.host(21))}));
        ::kill(pid_t(sim.processId()), SIGUSR1);
        QTest::qWait(30);
        ::kill(pid_t(sim.processId()), SIGUSR1);
        QVERIFY(cli.waitForFinished(10000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        err += cli.readAllStandardError();
        QVERIFY2(cli.exitCode() == 0, err.constData());
        const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        const QString prefix = kNet.host(21) + QLatin1Char(':');
        const QString who = QStringLiteral(" NOR\\x1bTH [2E:8B:F2:77:15:21] v") + version + ' ';
        QStringList names;
        for (const QString& line : lines) {
            QVERIFY2(line.startsWith(prefix) && line.contains(who), qPrintable(line));
            names << line.section(QLatin1Char(' '), 4, 4);
        }
        // coldStart first; the link's traps in their order; the silence
        // detector's whenever its timer came.
        const QString silence = lines.value(names.indexOf(QStringLiteral("silenceDetected")));
        names.removeOne(QStringLiteral("silenceDetected"));
        QCOMPARE(names, QStringList({"coldStart", "linkDown", "linkUp"}));
        // The silence detector's bindings: name, mode, level, time-out.
        QVERIFY2(silence.contains(QStringLiteral(
                     "| 1.3.6.1.4.1.44467.1.35.0 OCTET STRING \"DECODER 21      \" | "
                     "1.3.6.1.4.1.44467.1.32.0 Gauge32 ")),
                 qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TstTraps)
#include "tst_traps.moc"
