// The SNMP exchange against a scripted agent on loopback: replies, timeouts,
// late and foreign datagrams, refused calls and socket failures.

#include "SnmpTestUtil.h"
#include "common/SimProcess.h"

#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>

using namespace orvalink;
using namespace orvalink::test;

// The test's loopback addresses: the scripted agent and the station on
// 127.0.147.1, another host on .2.
const orvalink::testing::SimNet kNet{147};

namespace snmptest {

// What the agent does with one request.
struct Action {
    int delayMs = 0;
    bool reply = true;
    int idDelta = 0;           // echo another request-id
    bool signExtendId = false; // echo ids from 128 up as 02 02 FF xx
    bool fromOtherPort = false;
    bool fromOtherHost = false; // kNet.host(2)
    int otherParameter = 0;     // answer about this parameter instead
    QByteArray community;       // answer with this community instead
    QByteArray value;           // value bytes; empty: echo (SET) or "42"
};

Action silent()
{
    Action a;
    a.reply = false;
    return a;
}
Action delayed(int ms, const QByteArray& value = QByteArray())
{
    Action a;
    a.delayMs = ms;
    a.value = value;
    return a;
}
Action stray(int idDelta, bool otherPort, bool otherHost, int otherParameter = 0,
             const QByteArray& community = QByteArray())
{
    Action a;
    a.community = community;
    a.otherParameter = otherParameter;
    a.idDelta = idDelta;
    a.fromOtherPort = otherPort;
    a.fromOtherHost = otherHost;
    a.value = "STRAY";
    return a;
}

} // namespace snmptest

Q_DECLARE_METATYPE(snmptest::Action)

namespace snmptest {

class FakeAgent : public QObject {
public:
    FakeAgent()
    {
        QVERIFY(m_socket.bind(QHostAddress(kNet.host(1)), 0));
        QVERIFY(m_otherPort.bind(QHostAddress(kNet.host(1)), 0));
        m_hasOtherHost = m_otherHost.bind(QHostAddress(kNet.host(2)), 0);
        connect(&m_socket, &QUdpSocket::readyRead, this, &FakeAgent::onRequest);
    }
    quint16 port() const { return m_socket.localPort(); }
    bool hasOtherHost() const { return m_hasOtherHost; }

    // Actions of the coming requests, in order; the default afterwards.
    QList<QList<Action>> script;
    QList<Action> defaultActions{Action{}};
    QList<QByteArray> requests;
    QList<QHostAddress> senders;

    // Sends a reply to the next request before it is made.
    void sendUnasked(quint16 toPort, quint8 requestId)
    {
        ReplySpec s;
        s.community = QByteArrayLiteral("morqubit");
        s.requestId = QByteArray(1, char(requestId));
        s.n = 9;
        s.tag = 0x04;
        s.value = QByteArrayLiteral("EARLY");
        m_socket.writeDatagram(buildReply(s), QHostAddress(kNet.host(1)), toPort);
    }

private:
    void onRequest()
    {
        while (m_socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = m_socket.receiveDatagram();
            requests.append(d.data());
            senders.append(d.senderAddress());
            const SentRequest req = readRequest(d.data());
            const QList<Action> actions = script.isEmpty() ? defaultActions : script.takeFirst();
            for (const Action& a : actions) {
                if (!a.reply)
                    continue;
                const QByteArray reply = makeReply(req, a);
                QUdpSocket* from = a.fromOtherPort   ? &m_otherPort
                                   : a.fromOtherHost ? &m_otherHost
                                                     : &m_socket;
                const QHostAddress to = d.senderAddress();
                const quint16 toPort = quint16(d.senderPort());
                if (a.delayMs == 0)
                    from->writeDatagram(reply, to, toPort);
                else
                    QTimer::singleShot(a.delayMs, from, [from, reply, to, toPort] {
                        from->writeDatagram(reply, to, toPort);
                    });
            }
        }
    }
    static QByteArray makeReply(const SentRequest& req, const Action& a)
    {
        ReplySpec s;
        s.community = a.community.isEmpty() ? req.community : a.community;
        const quint8 id = quint8(req.requestId + a.idDelta);
        s.requestId = a.signExtendId && id >= 128
                          ? QByteArray(1, char(0xFF)) + QByteArray(1, char(id))
                          : QByteArray(1, char(id));
        if (id >= 128 && !a.signExtendId)
            s.requestId.prepend('\0');
        s.n = a.otherParameter ? quint8(a.otherParameter) : req.n;
        if (!a.value.isEmpty()) {
            s.tag = 0x04;
            s.value = a.value;
        } else if (req.pduTag == 0xA3) {
            s.tag = req.tag;
            s.value = req.value;
        } else {
            s.tag = 0x42;
            s.value = QByteArray(1, char(42));
        }
        return buildReply(s);
    }

    QUdpSocket m_socket;
    QUdpSocket m_otherPort;
    QUdpSocket m_otherHost;
    bool m_hasOtherHost = false;
};

Timings fastTimings()
{
    Timings t;
    t.snmpTimeoutMs = 200;
    t.snmpSetAllowedMs = 150;
    return t;
}

} // namespace snmptest

using namespace snmptest;

class TestSnmpTransport : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeAgent> agent;
    std::unique_ptr<SnmpTransport> snmp;
    quint16 localPort = 0;

    SnmpResult exchange(quint8 n = 9)
    {
        return snmp->GetSNMP(kNet.host(1), QStringLiteral("morqubit"), n);
    }
    QString get(quint8 n = 9) { return exchange(n).value; }

private Q_SLOTS:
    void init()
    {
        agent = std::make_unique<FakeAgent>();
        snmp = std::make_unique<SnmpTransport>(fastTimings());
        localPort = freeLoopbackPort(kNet.host(1));
        snmp->setLocalAddress(kNet.host(1));
        snmp->setPorts(localPort, agent->port());
        snmp->setLastRequestId(0); // ids from 1, as the tests below count them
    }
    void cleanup()
    {
        snmp.reset();
        agent.reset();
    }

    void replyEndsTheWaitAndClosesTheSocket()
    {
        QVERIFY(!snmp->isBound());
        QCOMPARE(get(), QStringLiteral("42"));
        QCOMPARE(agent->requests.size(), 1);
        QCOMPARE(agent->requests.first(),
                 encodeGetRequest(QStringLiteral("morqubit"), 9, 1).datagram);
        QVERIFY(!snmp->isBound());
        QVERIFY(!snmp->isBusy());
        QCOMPARE(snmp->lastRequestId(), quint8(1));
    }

    // A SET goes out as encoded and returns what the agent echoed.
    void setReturnsTheEcho_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("echo");
        QTest::newRow("gauge small") << 33 << 0x42 << "37"
                                     << "37";
        QTest::newRow("gauge wide") << 31 << 0x42 << "2000000"
                                    << "2000000";
        QTest::newRow("address") << 14 << 0x40 << "10.1.2.3"
                                 << "10.1.2.3";
        QTest::newRow("name") << 35 << 0x04 << "studio"
                              << "studio";
        QTest::newRow("community") << 41 << 0x04 << "abc"
                                   << "abc!!!!!";
    }
    void setReturnsTheEcho()
    {
        QFETCH(int, n);
        QFETCH(int, tag);
        QFETCH(QString, value);
        QFETCH(QString, echo);
        QCOMPARE(
            snmp->SetSNMP(kNet.host(1), QStringLiteral("kestrvla"), quint8(n), quint8(tag), value)
                .value,
            echo);
        QCOMPARE(agent->requests.size(), 1);
        QCOMPARE(agent->requests.first(),
                 encodeSetRequest(QStringLiteral("kestrvla"), quint8(n), quint8(tag), value, 1)
                     .datagram);
    }

    void unencodableValueIsNotSent()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not sent")));
        const SnmpResult r = snmp->SetSNMP(kNet.host(1), QStringLiteral("kestrvla"), 31, 0x42,
                                           QStringLiteral("4294967296"));
        QCOMPARE(r.outcome, SnmpOutcome::NotSent);
        QVERIFY(r.reason.contains(QStringLiteral("4294967295")));
        QTest::qWait(20);
        QVERIFY(agent->requests.isEmpty());
        QCOMPARE(snmp->lastRequestId(), quint8(0));
        QCOMPARE(get(), QStringLiteral("42")); // the next request carries id 1
        QCOMPARE(snmp->lastRequestId(), quint8(1));
    }

    void timeoutLeavesTheSocketBound()
    {
        agent->defaultActions = {silent()};
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(exchange().outcome, SnmpOutcome::NoAnswer);
        QVERIFY(clock.elapsed() >= 190);
        QVERIFY(snmp->isBound());
        QVERIFY(!snmp->isBusy());
        // The next exchange goes out on the same socket.
        agent->defaultActions = {Action{}};
        QCOMPARE(get(), QStringLiteral("42"));
        QCOMPARE(agent->requests.size(), 2);
    }

    // Datagrams that are not the queried agent's reply to the outstanding
    // request are dropped and the wait goes on.
    void strayDatagramsAreIgnored_data()
    {
        QTest::addColumn<Action>("stray");
        QTest::newRow("earlier request-id") << stray(-1, false, false);
        QTest::newRow("later request-id") << stray(1, false, false);
        QTest::newRow("another port") << stray(0, true, false);
        QTest::newRow("another host") << stray(0, false, true);
        // The right id and agent, but the value of another parameter (a
        // late reply of an earlier run that started its ids at the same place).
        QTest::newRow("another parameter") << stray(0, false, false, 14);
        // Everything right but the community: not the answer to our request
        // (another station's, or made up by someone who saw the id).
        QTest::newRow("another community") << stray(0, false, false, 0, "public");
        QTest::newRow("community in other case") << stray(0, false, false, 0, "MORQUBIT");
    }
    void strayDatagramsAreIgnored()
    {
        QFETCH(Action, stray);
        if (stray.fromOtherHost && !agent->hasOtherHost())
            QSKIP("the test's second address cannot be bound on this host");
        agent->script = {{stray, delayed(40)}};
        QCOMPARE(get(), QStringLiteral("42"));

        // Only strays: the wait runs out and the socket stays bound.
        agent->script = {{stray}};
        QCOMPARE(get(), QString());
        QVERIFY(snmp->isBound());
    }

    // A reply that comes after its wait ended is not taken for the reply of
    // the next request.
    void lateReplyIsNotTheNextOnesAnswer()
    {
        // The first reply arrives during the second wait.
        agent->script = {{delayed(260, "LATE")}, {delayed(120)}};
        QCOMPARE(get(), QString());
        QCOMPARE(get(), QStringLiteral("42"));
    }

    // Between exchanges the socket is closed: a datagram that arrives then,
    // even one that looks like the reply to the next request, is not taken.
    void datagramBetweenExchangesIsDiscarded()
    {
        QCOMPARE(get(), QStringLiteral("42"));
        QVERIFY(!snmp->isBound());
        agent->defaultActions = {silent()};
        // Both before any event is processed (it waits in the socket's
        // queue) and after it was delivered while nothing was outstanding.
        agent->sendUnasked(localPort, 2);
        QCOMPARE(get(), QString());
        agent->sendUnasked(localPort, 3);
        QTest::qWait(30);
        QCOMPARE(get(), QString());
        QCOMPARE(snmp->lastRequestId(), quint8(3));
    }

    // A new NMS interface is used from the next exchange on.
    void newLocalAddressTakesEffectAtTheNextExchange()
    {
        if (!agent->hasOtherHost())
            QSKIP("the test's second address cannot be bound on this host");
        QCOMPARE(get(), QStringLiteral("42"));
        snmp->setLocalAddress(kNet.host(2));
        QCOMPARE(get(), QStringLiteral("42"));
        QCOMPARE(agent->senders.size(), 2);
        QCOMPARE(agent->senders.at(0), QHostAddress(kNet.host(1)));
        QCOMPARE(agent->senders.at(1), QHostAddress(kNet.host(2)));
    }

    void reentrantCallIsRefused()
    {
        agent->defaultActions = {delayed(80)};
        SnmpResult inner;
        inner.outcome = SnmpOutcome::Value;
        QTimer::singleShot(20, this, [&] { inner = exchange(17); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("still waiting")));
        QCOMPARE(get(), QStringLiteral("42"));
        // Not sent is not "no answer": the caller can tell it never left.
        QCOMPARE(inner.outcome, SnmpOutcome::NotSent);
        QCOMPARE(agent->requests.size(), 1);
    }

    // Ids run 1..250 and start again at 1; ids from 128 up echoed
    // sign-extended are still recognised.
    void requestIdsCycle()
    {
        Action a;
        a.signExtendId = true;
        agent->defaultActions = {a};
        for (int i = 1; i <= 251; ++i) {
            QCOMPARE(get(), QStringLiteral("42"));
            QCOMPARE(int(readRequest(agent->requests.last()).requestId), i <= 250 ? i : 1);
        }
        QCOMPARE(snmp->lastRequestId(), quint8(1));
    }

    // Two programs started one after the other on the same port must not
    // count their ids from the same place, or the first one's late reply is
    // taken as the second one's answer.
    void eachTransportStartsItsIdsAtRandom()
    {
        QSet<int> firstIds;
        for (int i = 0; i < 40; ++i) {
            const int next = SnmpTransport(fastTimings()).lastRequestId() + 1;
            QVERIFY2(next >= 1 && next <= 250, qPrintable(QString::number(next)));
            firstIds.insert(next);
        }
        QVERIFY(firstIds.size() > 10);
    }

    void socketFailuresAreReportedOnce()
    {
        QSignalSpy failures(snmp.get(), &SnmpTransport::transportFailure);
        QUdpSocket squatter;
        QVERIFY(squatter.bind(QHostAddress(kNet.host(1)), localPort,
                              QAbstractSocket::DontShareAddress));
        QCOMPARE(get(), QString());
        QCOMPARE(get(), QString());
        QCOMPARE(failures.size(), 1);
        QVERIFY(failures.first().first().toString().contains(QString::number(localPort)));
        QVERIFY(agent->requests.isEmpty());

        squatter.close();
        QCOMPARE(get(), QStringLiteral("42"));

        // A new streak is reported again: an address that is not local.
        snmp->setLocalAddress(QStringLiteral("192.0.2.1"));
        QCOMPARE(get(), QString());
        QCOMPARE(failures.size(), 2);

        snmp->setLocalAddress(kNet.host(1));
        const SnmpResult r =
            snmp->GetSNMP(QStringLiteral("127.0.0"), QStringLiteral("morqubit"), 9);
        QCOMPARE(r.outcome, SnmpOutcome::NotSent);
        QCOMPARE(failures.size(), 2); // same streak
    }

    // The transport may be destroyed by an event dispatched during its wait.
    void destroyedDuringTheWait()
    {
        agent->defaultActions = {silent()};
        QTimer::singleShot(30, this, [&] { snmp.reset(); });
        SnmpTransport* raw = snmp.get();
        QCOMPARE(raw->GetSNMP(kNet.host(1), QStringLiteral("morqubit"), 9).value, QString());
        QVERIFY(!snmp);
    }
};

QTEST_GUILESS_MAIN(TestSnmpTransport)
#include "tst_snmptransport.moc"
