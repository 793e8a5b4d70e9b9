// ICMP echo: the outcome rules over a scripted pinger, and real echoes on
// loopback and into a network namespace made here (root only).

#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "netutil/Ping.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

// The test's loopback addresses: 127.0.145.x.
const SimNet kNet{145};

class FakePinger : public Pinger {
public:
    bool sockets = true;
    qint32 status = 0;
    quint32 rtt = 0;
    int echoes = 0;
    bool StartSockets() override { return sockets; }
    qint32 SendEcho(const QString&, EchoReply& record) override
    {
        ++echoes;
        record.status = status;
        record.roundTripMs = rtt;
        return status;
    }
    void StopSockets() override {}
};

QString cli()
{
    return qEnvironmentVariable("ORVALINK_BIN_DIR") + QStringLiteral("/orvalink-cli");
}

// Runs a command, failing the test when it cannot start or hangs.
int run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestPing : public QObject {
    Q_OBJECT
    QString m_ns;

private Q_SLOTS:
    // What the button shows for each outcome; an address that cannot be
    // pinged must end as "Failed!", not leave "Trying..." on the button.
    void outcomes()
    {
        ScriptedPrompt prompt;
        FakePinger fake;
        fake.rtt = 0;
        PingOutcome o = PingElement(fake, kNet.host(9), prompt);
        QCOMPARE(o.state, PingOutcome::State::Success);
        QCOMPARE(o.caption, QStringLiteral("0 ms"));

        fake.status = -1;
        QCOMPARE(PingElement(fake, kNet.host(9), prompt).caption, QStringLiteral("Failed!"));
        QCOMPARE(EchoStatusText(-1), QStringLiteral("Unknown Response"));

        const int before = fake.echoes;
        o = PingElement(fake, QStringLiteral("127.0.0"), prompt);
        QCOMPARE(o.state, PingOutcome::State::Failed);
        QCOMPARE(fake.echoes, before);

        fake.sockets = false;
        prompt.expect(QStringLiteral("Windows Sockets not responding correctly."));
        o = PingElement(fake, kNet.host(9), prompt);
        QCOMPARE(o.caption, QStringLiteral("No sockets!"));
        QVERIFY(prompt.done());
        QCOMPARE(prompt.shown().first().title, QStringLiteral("Ping failed"));
    }

    // A real echo to this machine over a raw socket.
    void loopbackRawEcho()
    {
        if (::geteuid() != 0)
            QSKIP("needs root for a raw ICMP socket");
        IcmpPinger pinger(2000, IcmpPinger::SocketKind::Raw);
        QVERIFY(pinger.StartSockets());
        EchoReply r;
        QCOMPARE(pinger.SendEcho(kNet.host(1), r), icmpstatus::Success);
        QVERIFY(r.roundTripMs < 1000);
        // A second echo on the same socket is matched by its own sequence.
        QCOMPARE(pinger.SendEcho(kNet.host(1), r), icmpstatus::Success);
    }

    // The operator opens another window while a ping waits (a nested event
    // loop holds the ping's wait): the round trip shown must be the echo's,
    // taken when it was read, not the time until the wait could return.
    void roundTripTakenWhenAnswered()
    {
        if (::geteuid() != 0)
            QSKIP("needs root for a raw ICMP socket");
        IcmpPinger pinger(3000, IcmpPinger::SocketKind::Raw);
        QVERIFY(pinger.StartSockets());
        QTimer::singleShot(0, [] {
            QEventLoop otherWindow;
            QTimer::singleShot(600, &otherWindow, &QEventLoop::quit);
            otherWindow.exec();
        });
        EchoReply r;
        QElapsedTimer held;
        held.start();
        QCOMPARE(pinger.SendEcho(kNet.host(1), r), icmpstatus::Success);
        QVERIFY(held.elapsed() >= 550); // the other window held the wait
        QVERIFY2(r.roundTripMs < 300, qPrintable(QString::number(r.roundTripMs)));
    }

    // In a namespace of its own: both socket kinds reach a live address and
    // end with a timeout for an absent one, within the timeout.
    void namespaceEchoes_data()
    {
        QTest::addColumn<QString>("socket");
        QTest::newRow("datagram socket") << "dgram";
        QTest::newRow("raw socket") << "raw";
    }
    void namespaceEchoes()
    {
        QFETCH(QString, socket);
        if (::geteuid() != 0)
            QSKIP("needs root to make a network namespace");
        if (m_ns.isEmpty()) {
            const QString ns = QStringLiteral("orvping%1").arg(::getpid());
            if (run(QStringLiteral("ip"), {"netns", "add", ns}) != 0)
                QSKIP("ip netns is not available here");
            m_ns = ns;
            const auto in = [&](const QStringList& args) {
                return run(QStringLiteral("ip"), QStringList{"netns", "exec", ns} + args);
            };
            QCOMPARE(in({"ip", "link", "set", "lo", "up"}), 0);
            // A veth pair whose far end answers nobody: 10.231.77.2 is absent.
            QCOMPARE(in({"ip", "link", "add", "v0", "type", "veth", "peer", "name", "v1"}), 0);
            QCOMPARE(in({"ip", "addr", "add", "10.231.77.1/24", "dev", "v0"}), 0);
            QCOMPARE(in({"ip", "link", "set", "v0", "up"}), 0);
            QCOMPARE(in({"ip", "link", "set", "v1", "up"}), 0);
            // Unprivileged ICMP sockets for every group, in this namespace only.
            QCOMPARE(in({"sysctl", "-q", "-w", "net.ipv4.ping_group_range=0 2147483647"}), 0);
        }
        const QStringList exec{"netns", "exec", m_ns, cli(), "ping"};
        QByteArray out;
        QCOMPARE(
            run(QStringLiteral("ip"), exec + QStringList{"10.231.77.1", "--socket", socket}, &out),
            0);
        QVERIFY2(out.trimmed().endsWith(" ms"), out.constData());

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(QStringLiteral("ip"),
                     exec + QStringList{"10.231.77.2", "--socket", socket, "--timeout-ms", "400"},
                     &out),
                 1);
        QCOMPARE(out.trimmed(), QByteArray("Request Timed Out"));
        QVERIFY(clock.elapsed() < 5000);
    }

    void cleanupTestCase()
    {
        if (!m_ns.isEmpty())
            run(QStringLiteral("ip"), {"netns", "del", m_ns});
    }
};

QTEST_GUILESS_MAIN(TestPing)
#include "tst_ping.moc"
