// The MAC look-up and the level meter's requests on a real link: two network
// namespaces made here joined by a veth pair, the station's side and a
// simulated element with a known MAC. Nothing leaves the namespaces. Needs
// root; skipped otherwise.

#include "common/SimProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

using orvalink::testing::binPath;
using Run = orvalink::testing::ProgramRun;
Run run(const QString& program, const QStringList& args)
{
    return orvalink::testing::runProgram(program, args, 20000);
}

const QString kStation = QStringLiteral("10.231.88.1");
const QString kElement = QStringLiteral("10.231.88.2");
const QString kAbsent = QStringLiteral("10.231.88.3");
const QString kElementMac = QStringLiteral("2E:8B:F2:88:00:02");

// The two namespaces and the simulator; all removed when it goes, also when
// a check failed halfway.
class Link {
public:
    Link()
        : m_station(QStringLiteral("oldiag%1-nms").arg(::getpid())),
          m_element(QStringLiteral("oldiag%1-el").arg(::getpid()))
    {
    }
    ~Link()
    {
        if (m_sim) {
            m_sim->terminate();
            if (!m_sim->waitForFinished(3000)) {
                m_sim->kill();
                m_sim->waitForFinished(3000);
            }
        }
        for (const QString& ns : m_made)
            run(QStringLiteral("ip"), {"netns", "del", ns});
    }

    bool make()
    {
        for (const QString& ns : {m_station, m_element}) {
            if (!ip({"netns", "add", ns}))
                return false;
            m_made << ns;
            if (!ip({"-n", ns, "link", "set", "lo", "up"}))
                return false;
        }
        return ip({"-n", m_station, "link", "add", "eth0", "type", "veth", "peer", "name", "eth0",
                   "netns", m_element}) &&
               ip({"-n", m_element, "link", "set", "eth0", "address", kElementMac.toLower()}) &&
               ip({"-n", m_station, "addr", "add", kStation + QStringLiteral("/24"), "dev",
                   "eth0"}) &&
               ip({"-n", m_element, "addr", "add", kElement + QStringLiteral("/24"), "dev",
                   "eth0"}) &&
               ip({"-n", m_station, "link", "set", "eth0", "up"}) &&
               ip({"-n", m_element, "link", "set", "eth0", "up"});
    }

    bool startSim()
    {
        m_sim = std::make_unique<QProcess>();
        m_sim->start(QStringLiteral("ip"),
                     {"netns", "exec", m_element, binPath("orvalink-sim"),
                      QStringLiteral("encoder@%1/%2").arg(kElement, kElementMac)});
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("ready") && t.elapsed() < 5000 &&
               m_sim->state() != QProcess::NotRunning) {
            m_sim->waitForReadyRead(50);
            out += m_sim->readAllStandardOutput();
        }
        if (!out.contains("ready"))
            m_error += QString::fromUtf8(m_sim->readAllStandardError());
        return out.contains("ready");
    }

    // orvalink-cli in the station's namespace, sending from its address.
    Run cli(const QStringList& args)
    {
        return run(QStringLiteral("ip"), QStringList{"netns", "exec", m_station,
                                                     binPath("orvalink-cli"), "--nms", kStation} +
                                             args);
    }
    QString error() const { return m_error; }

private:
    bool ip(const QStringList& args)
    {
        const Run r = run(QStringLiteral("ip"), args);
        if (r.exitCode != 0)
            m_error += QStringLiteral("ip %1: %2\n").arg(args.join(QLatin1Char(' ')), r.err);
        return r.exitCode == 0;
    }

    QString m_station;
    QString m_element;
    QStringList m_made;
    std::unique_ptr<QProcess> m_sim;
    QString m_error;
};

} // namespace

class TestDiagnosticsNetns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arpAndLevelOnALink();
};

void TestDiagnosticsNetns::arpAndLevelOnALink()
{
    if (::geteuid() != 0)
        QSKIP("needs root to make network namespaces (run the suite as root, as CI does)");
    if (run(QStringLiteral("ip"), {"netns", "list"}).exitCode != 0)
        QSKIP("the ip tool (iproute2) with network namespaces is not available");
    Link link;
    QVERIFY2(link.make(), qPrintable(link.error()));
    QVERIFY2(link.startSim(), qPrintable(link.error()));

    // A live host: its MAC, prompted into the empty neighbour table first.
    // An absent one: no complete entry, so no MAC (an incomplete entry taken
    // for an answer would print zeros).
    Run r = link.cli({"arp", kElement});
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
    QCOMPARE(r.out, kElementMac + QLatin1Char('\n'));
    r = link.cli({"arp", kAbsent});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());

    // The level requests reach the element and every reply is read as the
    // meter reads it: a figure in dBFS, never silence for the simulated tone.
    r = link.cli({"--wait", "2000", "level", kElement, "--count", "4"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    static const QRegularExpression figure(QStringLiteral("^-?\\d+(\\.\\d)?dBFS$"));
    for (const QString& line : lines)
        QVERIFY2(figure.match(line).hasMatch(), qPrintable(line));

    // No element: the verb says so within its wait instead of hanging.
    QElapsedTimer clock;
    clock.start();
    r = link.cli({"--wait", "300", "level", kAbsent});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("no level data")), qPrintable(r.err));
    QVERIFY(clock.elapsed() < 5000);
}

QTEST_GUILESS_MAIN(TestDiagnosticsNetns)
#include "tst_diagnostics_netns.moc"
