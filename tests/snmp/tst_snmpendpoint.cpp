// The SNMP endpoint under every exchange, against a scripted agent on
// loopback: request-ids, which datagram is taken as which request's reply,
// reply waits, and binding as every endpoint binds.

#include "SnmpTestUtil.h"
#include "common/SimProcess.h"

#include "snmp/SnmpEndpoint.h"
#include "snmp/TrapReceiver.h"
#include "store/IniStore.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink;
using namespace orvalink::test;

namespace {

// The test's loopback net: the agent and the endpoints on host(1).
const orvalink::testing::SimNet kNet{154};
const QHostAddress kAgent(kNet.host(1));

// Keeps every request; answers only when told to.
class QuietAgent : public QObject {
public:
    QuietAgent()
    {
        QVERIFY(m_socket.bind(kAgent, 0));
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_socket.receiveDatagram();
                requests.append(readRequest(d.data()));
                m_peerPort = quint16(d.senderPort());
            }
        });
    }
    quint16 port() const { return m_socket.localPort(); }
    void answer(quint8 requestId, const QByteArray& community = "morqubit")
    {
        ReplySpec s;
        s.community = community;
        s.requestId = QByteArray(1, char(requestId));
        s.n = 9;
        s.tag = 0x04;
        s.value = QByteArrayLiteral("V") + QByteArray::number(requestId);
        m_socket.writeDatagram(buildReply(s), kAgent, m_peerPort);
    }
    QList<SentRequest> requests;

private:
    QUdpSocket m_socket;
    quint16 m_peerPort = 0;
};

SnmpEndpoint::Build getOf(quint8 n)
{
    return [n](quint8 id) { return encodeGetRequest(QStringLiteral("morqubit"), n, id); };
}

} // namespace

class TestSnmpEndpoint : public QObject {
    Q_OBJECT

    std::unique_ptr<QuietAgent> agent;
    std::unique_ptr<SnmpEndpoint> endpoint;

    int send(int waitMs = 5000)
    {
        QString error;
        const int token = endpoint->send(kAgent, getOf(9), waitMs, &error);
        [&] { QVERIFY2(token > 0, qPrintable(error)); }();
        return token;
    }

private Q_SLOTS:
    void init()
    {
        agent = std::make_unique<QuietAgent>();
        endpoint = std::make_unique<SnmpEndpoint>();
        QString error;
        QVERIFY2(endpoint->open(kNet.host(1), 0, &error), qPrintable(error));
        endpoint->setAgentPort(agent->port());
        endpoint->setLastRequestId(0);
    }
    void cleanup()
    {
        endpoint.reset();
        agent.reset();
    }

    // Ids run on from the last one sent, skip those still awaited from the
    // same agent (one agent must never get two requests of one id in
    // flight), and a request that could not be built uses none up.
    void requestIdsAreNeverAwaitedTwice()
    {
        QString error;
        QCOMPARE(endpoint->send(
                     kAgent,
                     [](quint8) {
                         return SnmpEncodeResult{{}, QStringLiteral("no")};
                     },
                     5000, &error),
                 0);
        QCOMPARE(error, QStringLiteral("no"));
        QCOMPARE(endpoint->lastRequestId(), quint8(0));
        send();
        endpoint->setLastRequestId(0);
        const int second = send();
        QCOMPARE(endpoint->lastRequestId(), quint8(2));
        endpoint->forget(second);
        endpoint->setLastRequestId(1);
        send(); // 2 is free again
        QTRY_COMPARE(agent->requests.size(), 3);
        QCOMPARE(agent->requests.at(0).requestId, quint8(1));
        QCOMPARE(agent->requests.at(1).requestId, quint8(2));
        QCOMPARE(agent->requests.at(2).requestId, quint8(2));
    }

    // A reply ends only the request it answers, once: answers in another
    // order go to their own requests, a second copy and a reply with
    // another community are dropped, and so is the reply of a request
    // given up.
    void eachReplyIsTakenOnceByItsRequest()
    {
        QList<DatagramEvent> received;
        endpoint->setTap([&](const DatagramEvent& e) {
            if (!e.sent)
                received.append(e);
        });
        QSignalSpy replied(endpoint.get(), &SnmpEndpoint::replied);
        const int first = send();
        const int second = send();
        const int forgotten = send();
        endpoint->forget(forgotten);
        QTRY_COMPARE(agent->requests.size(), 3);
        agent->answer(2, "public");
        agent->answer(2);
        agent->answer(2);
        agent->answer(3);
        agent->answer(1);
        QTRY_COMPARE(received.size(), 5);
        QCOMPARE(replied.size(), 2);
        QCOMPARE(replied.at(0).at(0).toInt(), second);
        QCOMPARE(replied.at(1).at(0).toInt(), first);
        QCOMPARE(received.at(0).ignored, QStringLiteral("other community"));
        QVERIFY(received.at(1).ignored.isEmpty());
        QVERIFY(!received.at(2).ignored.isEmpty());
        QVERIFY(!received.at(3).ignored.isEmpty());
        QVERIFY(received.at(4).ignored.isEmpty());
        QVERIFY(!endpoint->isAwaitingAny());
    }

    // A wait is never cut short, starts again when told, and a request
    // given up never times out.
    void waitsLastTheirWholeLength()
    {
        QSignalSpy timedOut(endpoint.get(), &SnmpEndpoint::timedOut);
        QElapsedTimer clock;
        clock.start();
        const int restarted = send(100);
        const int plain = send(100);
        const int forgotten = send(50);
        endpoint->forget(forgotten);
        QTest::qWait(60);
        endpoint->restartWait(restarted);
        QTRY_COMPARE(timedOut.size(), 1);
        QCOMPARE(timedOut.at(0).at(0).toInt(), plain);
        QVERIFY(clock.elapsed() >= 100);
        QTRY_COMPARE(timedOut.size(), 2);
        QCOMPARE(timedOut.at(1).at(0).toInt(), restarted);
        QVERIFY(clock.elapsed() >= 160);
        QTest::qWait(20);
        QCOMPARE(timedOut.size(), 2);
    }

    // Every socket is bound the same way: never shared with another socket
    // (which would take some of the datagrams), on the NMS interface text
    // read one way, with one set of messages; the trap receiver too.
    void everyEndpointBindsAlike()
    {
        QString error;
        bool taken = false;
        SnmpEndpoint other;
        QVERIFY(!other.open(kNet.host(1), endpoint->localPort(), &error, &taken));
        QVERIFY(taken);
        QVERIFY2(error.startsWith(QStringLiteral("Cannot open UDP port %1 on %2: ")
                                      .arg(endpoint->localPort())
                                      .arg(kNet.host(1))),
                 qPrintable(error));
        QVERIFY(!other.open(QStringLiteral("10.1.2"), 0, &error));
        QCOMPARE(error,
                 QStringLiteral("The NMS interface address \"10.1.2\" is not an IPv4 address."));
        QVERIFY(other.open(kNet.host(1), 0, &error));
        QVERIFY(other.localPort() != endpoint->localPort());

        QUdpSocket sharing;
        QVERIFY(sharing.bind(kAgent, 0,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QTemporaryDir dir;
        IniStore store;
        TrapReceiver traps(store, dir.filePath(QStringLiteral("nms.ini")));
        QVERIFY(!traps.start(kAgent, sharing.localPort(), &error));
        QVERIFY2(error.startsWith(QStringLiteral("cannot listen for traps on %1:%2: ")
                                      .arg(kNet.host(1))
                                      .arg(sharing.localPort())),
                 qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestSnmpEndpoint)
#include "tst_snmpendpoint.moc"
