// orvalink-cli -v and the hint for a silent agent (against orvalink-sim on
// 127.0.111.x), and the summaries -v prints, on datagrams built here.

#include "common/SimProcess.h"
#include "core/DatagramTap.h"
#include "remote/RemoteCodec.h"
#include "remote/RemoteSummary.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpSummary.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace orvalink;
using orvalink::testing::SimProcess;

namespace {

const orvalink::testing::SimNet kNet{111};
const QString kNms = kNet.host(100);
const QString kAgent = kNet.host(2);

// A GetResponse as an agent sends it: community, id, parameter, tag, value.
QByteArray getResponse(const QByteArray& community, quint8 id, quint8 n, quint8 tag,
                       const QByteArray& value, quint8 error = 0)
{
    QByteArray oid = QByteArray::fromHex("2b0601040182db3301") + char(n) + char(0);
    QByteArray bind =
        char(0x06) + QByteArray(1, char(oid.size())) + oid + char(tag) + char(value.size()) + value;
    bind = char(0x30) + QByteArray(1, char(bind.size())) + bind;
    const QByteArray list = char(0x30) + QByteArray(1, char(bind.size())) + bind;
    QByteArray pdu = QByteArray::fromHex("020100") + QByteArray::fromHex("0201") + char(error) +
                     QByteArray::fromHex("020100") + list;
    pdu[2] = char(id);
    pdu = char(0xA2) + QByteArray(1, char(pdu.size())) + pdu;
    QByteArray msg =
        QByteArray::fromHex("020100") + char(0x04) + char(community.size()) + community + pdu;
    return char(0x30) + QByteArray(1, char(msg.size())) + msg;
}

} // namespace

class TestCliDiagnostics : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void summariesSayWhatTheDatagramIs();
    void verboseShowsBothDatagramsAndSilenceGivesTheHint();
    void textFromDevicesAndFilesCannotDriveTheTerminal();
};

// Catches a summary that misreads a field (request-id, community, OID,
// value) or lets a damaged datagram pass as a message, and a hex dump whose
// offsets or text column are off.
void TestCliDiagnostics::summariesSayWhatTheDatagramIs()
{
    const SnmpEncodeResult get = encodeGetRequest(QStringLiteral("morqubit"), 35, 17);
    QVERIFY(get.ok());
    QCOMPARE(snmpSummary(get.datagram),
             QStringLiteral("GetRequest id 17 community morqubit 1.3.6.1.4.1.44467.1.35.0"));
    const QByteArray reply = getResponse("morqubit", 17, 35, 0x04, "STUDIO 1        ");
    QCOMPARE(snmpSummary(reply),
             QStringLiteral("GetResponse id 17 error 0 n 35 OCTET STRING \"STUDIO 1        \""));
    QCOMPARE(
        snmpSummary(getResponse("morqubit", 200, 15, 0x04, QByteArray::fromHex("2e8bf2000a1b"))),
        QStringLiteral("GetResponse id 200 error 0 n 15 OCTET STRING 2E:8B:F2:00:0A:1B"));
    QCOMPARE(snmpSummary(getResponse("morqubit", 3, 33, 0x42, "", 2)),
             QStringLiteral("GetResponse id 3 error 2 index 0 n 33 Gauge32 (empty)"));
    const SnmpEncodeResult set =
        encodeSetRequest(QStringLiteral("kestrvla"), 33, 0x42, QStringLiteral("300"), 9);
    QCOMPARE(
        snmpSummary(set.datagram),
        QStringLiteral("SetRequest id 9 community kestrvla 1.3.6.1.4.1.44467.1.33.0 Gauge32 300"));
    // Fault: a request whose one-byte id or Gauge32 has the top bit set was
    // summed up as meant, hiding the negative number a strict agent reads.
    const SnmpEncodeResult strict =
        encodeSetRequest(QStringLiteral("kestrvla"), 31, 0x42, QStringLiteral("200"), 200);
    QCOMPARE(snmpSummary(strict.datagram),
             QStringLiteral("SetRequest id 200 (sent as 02 01 C8, which strict agents read as -56) "
                            "community kestrvla 1.3.6.1.4.1.44467.1.31.0 Gauge32 200 (sent as "
                            "42 01 C8, which strict agents read as -56)"));
    QVERIFY(snmpSummary(encodeSetRequest(QStringLiteral("kestrvla"), 31, 0x42,
                                         QStringLiteral("4294967295"), 5)
                            .datagram)
                .endsWith(QStringLiteral("Gauge32 4294967295 (sent as 42 04 FF FF FF FF, which "
                                         "strict agents read as -1)")));
    // Damaged: a well-formed GetResponse that ends after its request-id, a
    // cut message, no BER at all.
    QByteArray idOnly = reply.left(20);
    idOnly[1] = char(idOnly.size() - 2);
    idOnly[16] = char(idOnly.size() - 17);
    QCOMPARE(snmpSummary(idOnly), QStringLiteral("GetResponse, damaged or without variables"));
    QCOMPARE(snmpSummary(reply.left(reply.size() - 3)), QStringLiteral("not an SNMP message"));
    QCOMPARE(snmpSummary("hello"), QStringLiteral("not an SNMP message"));

    QCOMPARE(remote::remoteSummary(remote::levelRequest(), true),
             QStringLiteral("level request \"VOL\""));
    QCOMPARE(remote::remoteSummary(QByteArray(1500, '\x10'), false),
             QStringLiteral("level data, 1500 bytes"));
    QByteArray config = QByteArray::fromHex("7f00006fffffff007f0000017f00006f000100");
    config += "STUDIO 1        ";
    config += QByteArray::fromHex("01000004d2");
    QVERIFY(
        remote::remoteSummary(config, false)
            .startsWith(QStringLiteral("configuration reply: ip 127.0.0.111 mask "      // text only
                                       "255.255.255.0 gw 127.0.0.1 remote 127.0.0.111 " // text only
                                       "input 0 type 1 tx 0 name \"STUDIO 1        \" "
                                       "role 1 sn 1234")));
    QVERIFY(remote::remoteSummary(config.left(20), false).contains(QStringLiteral("fails")));

    QCOMPARE(hexDump(get.datagram.left(18)),
             QStringLiteral("0000  30 2b 02 01 00 04 08 6d  6f 72 71 75 62 69 74 a0  "
                            "|0+.....morqubit.|\n"
                            "0010  1c 02                                             |..|\n"));
}

// Catches -v that misses a direction or prints device text unescaped, and a
// silent agent left without the community hint.
void TestCliDiagnostics::verboseShowsBothDatagramsAndSilenceGivesTheHint()
{
    const quint16 port = kNet.agentPort();
    SimProcess sim;
    QVERIFY(sim.start(port, {QStringLiteral("decoder@") + kAgent}));
    const auto cli = [&](const QStringList& args) {
        QProcess p;
        p.start(orvalink::testing::binDir() + QStringLiteral("/orvalink-cli"),
                QStringList{QStringLiteral("-v"), QStringLiteral("--nms"), kNms,
                            QStringLiteral("--port"), QString::number(port)} +
                    args);
        p.waitForFinished(20000);
        return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    };

    const auto [ok, talk] =
        cli({QStringLiteral("get"), kAgent, QStringLiteral("morqubit"), QStringLiteral("35")});
    QCOMPARE(ok, 0);
    const QRegularExpression sent(
        QStringLiteral("sent to %1:%2 45 byte\\(s\\): GetRequest id (\\d+)(?: \\(sent as "
                       "[^)]*\\))? community morqubit "
                       "1\\.3\\.6\\.1\\.4\\.1\\.44467\\.1\\.35\\.0\\n  0000  30 2b ")
            .arg(QRegularExpression::escape(kAgent))
            .arg(port));
    const QRegularExpressionMatch m = sent.match(talk);
    QVERIFY2(m.hasMatch(), qPrintable(talk));
    QVERIFY2(talk.contains(QStringLiteral("received from %1:%2 ").arg(kAgent).arg(port) +
                           QStringLiteral("61 byte(s): GetResponse id %1 error 0 n 35 OCTET "
                                          "STRING \"")
                               .arg(m.captured(1))),
             qPrintable(talk));
    QVERIFY(!talk.contains(QStringLiteral("no reply")));

    // A wrong community: the agent drops it; one datagram out, none in, and
    // the hint names the community first.
    const auto [silentCode, silent] =
        cli({QStringLiteral("get"), kAgent, QStringLiteral("wrongcom"), QStringLiteral("35")});
    QCOMPARE(silentCode, 1);
    QVERIFY(silent.contains(QStringLiteral("sent to ")));
    QVERIFY(!silent.contains(QStringLiteral("received from ")));
    QVERIFY2(
        silent.contains(QStringLiteral("drops a request with a wrong community silently")) &&
            silent.contains(QStringLiteral("(--nms, now %1)").arg(kNms)) &&
            silent.contains(QStringLiteral("drop silently a SET whose bytes are not canonical")),
        qPrintable(silent));
}

// Catches text from the database or a device that reaches the terminal as
// it is: a section name's ESC in stats --all, and under -v a reply whose
// text holds a line break, which would print a forged "received from" line.
void TestCliDiagnostics::textFromDevicesAndFilesCannotDriveTheTerminal()
{
    const quint16 port = kNet.agentPort();
    SimProcess sim;
    QVERIFY(sim.start(port, {QStringLiteral("decoder@") + kAgent}));
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("nms.ini"));
    QFile f(db);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[\x1b"
            "c2E8BF20000]\r\nNAME=A\r\nROLE=2\r\nSNMPRO=morqubit\r\nSNMPIP=" +
            kAgent.toLatin1() + "\r\n");
    f.close();
    QProcess stats;
    stats.start(orvalink::testing::binDir() + QStringLiteral("/orvalink-cli"),
                {QStringLiteral("--db"), db, QStringLiteral("--nms"), kNms,
                 QStringLiteral("--port"), QString::number(port), QStringLiteral("stats"),
                 QStringLiteral("--all")});
    QVERIFY(stats.waitForFinished(20000));
    const QByteArray statsOut = stats.readAllStandardOutput();
    QVERIFY2(statsOut.startsWith("A [\\x1b"), statsOut.constData());
    QVERIFY(!statsOut.contains('\x1b'));

    // An agent of our own answers the name with a line break in it.
    QUdpSocket agent;
    QVERIFY(agent.bind(QHostAddress(kNet.host(3)), 0));
    QProcess get;
    get.start(orvalink::testing::binDir() + QStringLiteral("/orvalink-cli"),
              {QStringLiteral("-v"), QStringLiteral("--nms"), kNms, QStringLiteral("--port"),
               QString::number(agent.localPort()), QStringLiteral("get"), kNet.host(3),
               QStringLiteral("morqubit"), QStringLiteral("35")});
    QVERIFY(agent.waitForReadyRead(10000));
    QHostAddress from;
    quint16 fromPort = 0;
    QByteArray request(int(agent.pendingDatagramSize()), '\0');
    agent.readDatagram(request.data(), request.size(), &from, &fromPort);
    const SnmpReply asked = parseSnmpMessage(request);
    QVERIFY(asked.valid);
    agent.writeDatagram(getResponse("morqubit", quint8(asked.requestId), 35, 0x04,
                                    "X\nreceived from 6.6.6.6:161 0 byte(s)\r"),
                        from, fromPort);
    QVERIFY(get.waitForFinished(20000));
    QCOMPARE(get.exitCode(), 0);
    const QString talk = QString::fromUtf8(get.readAllStandardError());
    QVERIFY2(talk.contains(QStringLiteral("X\\x0areceived from 6.6.6.6")), qPrintable(talk));
    for (const QString& line : talk.split(QLatin1Char('\n')))
        QVERIFY2(!line.startsWith(QStringLiteral("received from 6.6.6.6")), qPrintable(talk));
    QVERIFY(!talk.contains(QLatin1Char('\r')));
}

QTEST_GUILESS_MAIN(TestCliDiagnostics)
#include "tst_cli_diagnostics.moc"
