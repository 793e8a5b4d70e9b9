// The live-status poller against simulated elements on loopback.
#include "common/SimProcess.h"
#include "monitor/StatusPoller.h"
#include "snmp/SnmpTransport.h"

#include <QSignalSpy>
#include <QTest>

using namespace orvalink;
using orvalink::testing::SimNet;
using orvalink::testing::SimProcess;

namespace {
const QString kCommunity = QStringLiteral("morqubit");
// The test's simulated elements: 127.0.94.x; the station is host(100).
const SimNet kNet{94};
} // namespace

class TstStatusPoller : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Catches: a silent element reported up, a stopped agent never reported
    // down, an agent answering again left down, a change signalled twice or
    // in the wrong order, an element without address polled.
    void liveSilentAndRestartingElements()
    {
        const quint16 port = kNet.agentPort();
        const QStringList args{QStringLiteral("--silent"), kNet.host(2),
                               QStringLiteral("encoder@") + kNet.host(1),
                               QStringLiteral("decoder@") + kNet.host(2)};
        SimProcess sim;
        QVERIFY(sim.start(port, args));

        Timings t;
        t.statusReplyMs = 150;
        t.statusRetries = 1;
        StatusPoller poller(t);
        QVERIFY2(poller.open(kNet.host(100), port), qPrintable(poller.error()));
        QList<PolledElement> list(3);
        list[0].section = QStringLiteral("A");
        list[0].ip = kNet.host(1);
        list[0].community = kCommunity;
        list[1].section = QStringLiteral("B");
        list[1].ip = kNet.host(2);
        list[1].community = kCommunity;
        list[2].section = QStringLiteral("C");
        poller.setElements(list);
        QCOMPARE(poller.elements().at(2).state, ElementState::NoAddress);

        QStringList changes;
        connect(&poller, &StatusPoller::stateChanged, this,
                [&](const QString& s, const QString&, ElementState, ElementState n) {
                    changes << s + QLatin1Char(' ') + elementStateName(n);
                });
        QSignalSpy rounds(&poller, &StatusPoller::roundFinished);
        const auto round = [&] {
            poller.pollNow();
            return rounds.wait(3000);
        };

        QVERIFY(round());
        QCOMPARE(poller.elements().at(0).state, ElementState::Up);
        QVERIFY(poller.elements().at(0).roundTripMs >= 0);
        QCOMPARE(poller.elements().at(1).state, ElementState::Down);
        QCOMPARE(poller.elements().at(1).cause, QStringLiteral("no reply from ") + kNet.host(2));
        QCOMPARE(rounds.last().at(0).value<PollRoundStats>().noAddress, 1);

        sim.stop(); // the agent stops answering...
        QVERIFY(round());
        QCOMPARE(poller.elements().at(0).state, ElementState::Down);
        const QDateTime since = poller.elements().at(0).downSince;
        QVERIFY(round()); // ...stays down, since the first missed round...
        QCOMPARE(poller.elements().at(0).downSince, since);
        QVERIFY(sim.start(port, args)); // ...and answers again
        QVERIFY(round());
        QCOMPARE(poller.elements().at(0).state, ElementState::Up);

        QCOMPARE(changes, (QStringList{QStringLiteral("A up"), QStringLiteral("B down"),
                                       QStringLiteral("A down"), QStringLiteral("A up")}));

        // Every request-id in turn, those of 128 and more too (sent in the
        // devices' one-byte form, which the simulator's strict reading
        // echoes as negative): a live element never turns down for its id.
        poller.setElements({list.at(0)});
        for (int i = 0; i < 260; ++i)
            QVERIFY2(round(), qPrintable(QString::number(i)));
        QCOMPARE(changes.size(), 4);
    }

    // Catches: a poll and an operation's exchange to the same agent at the
    // same time that take each other's reply (the operation would read the
    // poll's MAC for the parameter it asked, or wait out a reply the poller
    // swallowed; the poller would count the operation's reply as an answer,
    // or lose its own).
    void pollNeverMixesWithAnOperation()
    {
        const quint16 port = kNet.agentPort();
        SimProcess sim;
        QVERIFY(sim.start(port, {QStringLiteral("encoder@") + kNet.host(3)}));
        Timings t;
        t.statusReplyMs = 1000;
        t.statusRetries = 0;
        StatusPoller poller(t);
        QVERIFY2(poller.open(kNet.host(100), port), qPrintable(poller.error()));
        QList<PolledElement> list(1);
        list[0].section = QStringLiteral("A");
        list[0].ip = kNet.host(3);
        list[0].community = kCommunity;
        poller.setElements(list);
        SnmpTransport transport(t);
        transport.setLocalAddress(kNet.host(100));
        transport.setPorts(kNet.port(1), port);
        QSignalSpy rounds(&poller, &StatusPoller::roundFinished);

        constexpr int kRounds = 15;
        for (int i = 0; i < kRounds; ++i) {
            poller.pollNow(); // its GET is on the wire...
            // ...when the operation asks the same agent for another parameter.
            const SnmpResult r = transport.GetSNMP(kNet.host(3), kCommunity, 40);
            QVERIFY2(r.hasValue(), qPrintable(r.reason));
            QCOMPARE(r.value.trimmed(), kCommunity);
            QVERIFY(rounds.size() > i || rounds.wait(2000));
            QCOMPARE(rounds.last().at(0).value<PollRoundStats>().up, 1);
        }
        QCOMPARE(poller.elements().at(0).state, ElementState::Up);
        // One request each per round: nothing asked again for a lost reply.
        QCOMPARE(sim.requests(QStringLiteral("GET")).count(StatusPoller::kPolledParameter),
                 kRounds);
        QCOMPARE(sim.requests(QStringLiteral("GET")).count(40), kRounds);
    }
};

QTEST_GUILESS_MAIN(TstStatusPoller)
#include "tst_statuspoller.moc"
