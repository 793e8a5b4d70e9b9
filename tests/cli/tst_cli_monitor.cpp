// orvalink-cli monitor against orvalink-sim on loopback (127.0.121.x): what
// /metrics serves for a live and a silent element, the alarms and trap
// counts from real traps (net-snmp's snmptrap), and a clean stop.

#include "common/SimProcess.h"
#include "store/EventLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>

using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.121.x; the station is host(250).
const SimNet kNet{121};
const QString kNms = kNet.host(250);
QString sectionText(int last, const char* name, int role)
{
    return QStringLiteral("[2E8BF20079%1]\r\nNAME=%2\r\nROLE=%3\r\nSFN=0\r\nSNMPIP=%4\r\n"
                          "SNMPRO=morqubit\r\n")
        .arg(last, 2, 16, QLatin1Char('0'))
        .arg(QLatin1String(name))
        .arg(role)
        .arg(kNet.host(last));
}

struct HttpAnswer {
    int status = 0; // 0: no answer
    QString body;
    qint64 ms = 0;
};

HttpAnswer httpGet(const QString& url)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(5000);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    HttpAnswer a;
    a.ms = clock.elapsed();
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    a.body = QString::fromUtf8(reply->readAll());
    reply->deleteLater();
    return a;
}

// A running monitor and the ports it told.
class MonitorProcess {
public:
    ~MonitorProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool start(const QStringList& args)
    {
        m_process.setProgram(binPath("orvalink-cli"));
        m_process.setArguments(args);
        m_process.start();
        const QRegularExpression ready(
            QStringLiteral("metrics at http://([0-9.]+:\\d+)/metrics, traps on ([0-9.]+):(\\d+)"));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(50);
            m_err += QString::fromUtf8(m_process.readAllStandardError());
            const auto m = ready.match(m_err);
            if (m.hasMatch()) {
                base = QStringLiteral("http://") + m.captured(1);
                trapTo = m.captured(2) + QLatin1Char(':') + m.captured(3);
                return true;
            }
        }
        return false;
    }
    // /metrics once the first round has ended.
    HttpAnswer metricsAfterFirstRound()
    {
        QElapsedTimer t;
        t.start();
        HttpAnswer a;
        do {
            a = httpGet(base + QStringLiteral("/metrics"));
        } while (a.status == 503 && t.elapsed() < 15000 && (QTest::qWait(100), true));
        return a;
    }
    QString errors()
    {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_err;
    }
    QProcess m_process;
    QString base;   // http://ADDR:PORT
    QString trapTo; // ADDR:PORT of the trap receiver

private:
    QString m_err;
};

// An SNMPv1 trap of the devices' enterprise (1.3.6.1.4.1.44467.3), generic
// 6, specific `number`, from agent `agent`, without bindings.
QByteArray numberedTrap(quint32 agent, int number)
{
    QByteArray pdu = QByteArray::fromHex("06092b0601040182db3303");
    pdu += QByteArray::fromHex("4004");
    for (int shift = 24; shift >= 0; shift -= 8)
        pdu += char((agent >> shift) & 0xFF);
    pdu += QByteArray::fromHex("020106"); // enterpriseSpecific
    QByteArray specific;
    for (int n = number; n > 0 || specific.isEmpty(); n >>= 8)
        specific.prepend(char(n & 0xFF));
    if (quint8(specific.at(0)) & 0x80)
        specific.prepend('\0');
    pdu += char(0x02) + QByteArray(1, char(specific.size())) + specific;
    pdu += QByteArray::fromHex("430101") + QByteArray::fromHex("3000");
    const QByteArray community("morqubit");
    QByteArray body = QByteArray::fromHex("020100") + char(0x04) + char(community.size()) +
                      community + char(0xA4) + char(pdu.size()) + pdu;
    return char(0x30) + QByteArray(1, char(body.size())) + body;
}

int countLines(const QString& body, const QString& pattern)
{
    return int(body.count(QRegularExpression(pattern, QRegularExpression::MultilineOption)));
}

} // namespace

class TestCliMonitor : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString dbPath;

    QStringList cli() const
    {
        return {QStringLiteral("--db"),   dbPath,
                QStringLiteral("--nms"),  kNms,
                QStringLiteral("--port"), QString::number(kNet.agentPort())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        keepNetSnmpStateIn(dir.path());
        if (!QFileInfo(binPath("orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        dbPath = dir.filePath(QStringLiteral("nms.ini"));
        QFile f(dbPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write((sectionText(1, "LIVE", 1) + sectionText(2, "SILENT", 2)).toLatin1());
    }

    // Faults: a silent element served as up (or a live one as down), a
    // body promtool refuses, a scrape that waits for a round in progress,
    // link alarms that do not follow the linkDown and linkUp of the same
    // link, traps counted under the wrong element or reason, an element
    // gone from the database that still alarms, and a stop on SIGTERM that
    // is not clean (exit 0, port released).
    void servesRoundsTrapsAndStops()
    {
        SimProcess sim;
        QVERIFY2(sim.start(kNet.agentPort(), {QStringLiteral("encoder@") + kNet.host(1),
                                              QStringLiteral("decoder@") + kNet.host(2),
                                              QStringLiteral("--silent"), kNet.host(2)}),
                 qPrintable(sim.errors()));
        MonitorProcess monitor;
        QVERIFY2(
            monitor.start(cli() + QStringList{QStringLiteral("monitor"), QStringLiteral("--listen"),
                                              kNms + QStringLiteral(":0"),
                                              QStringLiteral("--interval"), QStringLiteral("1"),
                                              QStringLiteral("--trap-port"), QStringLiteral("0")}),
            qPrintable(monitor.errors()));

        HttpAnswer first = monitor.metricsAfterFirstRound();
        QCOMPARE(first.status, 200);
        QCOMPARE(countLines(first.body,
                            QStringLiteral("^orvalink_up\\{mac=\"2E:8B:F2:00:79:01\",name=\"LIVE\","
                                           "ip=\"%1\",role=\"encoder\"\\} 1$")
                                .arg(kNet.host(1))),
                 1);
        QCOMPARE(
            countLines(first.body,
                       QStringLiteral("^orvalink_up\\{mac=\"2E:8B:F2:00:79:02\",name=\"SILENT\""
                                      ".*\\} 0$")),
            1);
        QCOMPARE(
            countLines(first.body, QStringLiteral("^orvalink_alarm_active\\{mac=\"2E:8B:F2:00:"
                                                  "79:02\",name=\"SILENT\",alarm="
                                                  "\"unreachable\",severity=\"critical\"\\} 1$")),
            1);
        QCOMPARE(countLines(first.body, QStringLiteral("^orvalink_alarm_active\\{")), 1);
        QCOMPARE(
            countLines(first.body, QStringLiteral("^orvalink_mac_rx_frames_total\\{mac=\"2E:8B:"
                                                  "F2:00:79:01\".* \\d+$")),
            1);

        // The monitor posts live status as the window does: the silent
        // element's state change and its alarm are in the event log.
        const auto logged = [&] {
            bool down = false;
            bool raised = false;
            const orvalink::EventLog log(orvalink::EventLog::pathFor(dbPath));
            for (const orvalink::Event& e : log.read({}, QStringLiteral("2E:8B:F2:00:79:02"))) {
                down = down ||
                       (e.operation == QLatin1String("status") &&
                        e.outcome == QLatin1String("down") && e.name == QLatin1String("SILENT"));
                raised = raised || e.outcome == QLatin1String("raised");
            }
            return down && raised;
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged(), 5000);

        // Every round waits for the silent element; a scrape never does.
        qint64 slowest = 0;
        for (int i = 0; i < 20; ++i) {
            const HttpAnswer a = httpGet(monitor.base + QStringLiteral("/metrics"));
            QCOMPARE(a.status, 200);
            slowest = qMax(slowest, a.ms);
            QTest::qWait(50);
        }
        QVERIFY2(slowest < 500, qPrintable(QString::number(slowest)));

        // Links 1 and 2 of LIVE go down; the alarm holds until both are up
        // again. A trap with another community is refused, not counted.
        const QString snmptrap = QStandardPaths::findExecutable(QStringLiteral("snmptrap"));
        if (snmptrap.isEmpty())
            QSKIP("snmptrap is missing (Debian package snmp): the trap half was not run");
        const auto trap = [&](const char* community, int generic, int ifIndex) {
            const ProgramRun r = runProgram(
                snmptrap,
                {QStringLiteral("-v"), QStringLiteral("1"), QStringLiteral("-c"),
                 QLatin1String(community), monitor.trapTo, QStringLiteral("1.3.6.1.4.1.44467.3"),
                 kNet.host(1), QString::number(generic), QStringLiteral("0"), QStringLiteral("100"),
                 QStringLiteral("1.3.6.1.2.1.2.2.1.1.%1").arg(ifIndex), QStringLiteral("i"),
                 QString::number(ifIndex)},
                10000);
            return r.exitCode == 0;
        };
        const QString linkAlarm = QStringLiteral(
            "^orvalink_alarm_active\\{mac=\"2E:8B:F2:00:79:01\",name=\"LIVE\",alarm=\"linkDown\","
            "severity=\"major\"\\} 1$");
        const auto metrics = [&] {
            return httpGet(monitor.base + QStringLiteral("/metrics")).body;
        };
        QVERIFY(trap("morqubit", 2, 1));
        QVERIFY(trap("morqubit", 2, 2));
        QVERIFY(trap("kestrvla", 3, 1)); // another community: refused
        QTRY_VERIFY_WITH_TIMEOUT(metrics().contains(QStringLiteral(
                                     "orvalink_traps_rejected_total{reason=\"refused\"} 1")),
                                 5000);
        QVERIFY(trap("morqubit", 3, 1));
        QTRY_VERIFY_WITH_TIMEOUT(
            metrics().contains(QStringLiteral("orvalink_traps_total{mac=\"2E:8B:F2:00:79:01\","
                                              "name=\"LIVE\",kind=\"linkUp\"} 1")),
            5000);
        QString body = metrics();
        QCOMPARE(countLines(body, linkAlarm), 1); // link 2 is still down
        QVERIFY(body.contains(QStringLiteral("orvalink_traps_total{mac=\"2E:8B:F2:00:79:01\",name="
                                             "\"LIVE\",kind=\"linkDown\"} 2\n")));
        QVERIFY(trap("morqubit", 3, 2));
        QTRY_COMPARE_WITH_TIMEOUT(countLines(metrics(), linkAlarm), 0, 5000);

        // An element taken out of the database takes its series and its
        // alarm along at the next round.
        QFile db(dbPath);
        QVERIFY(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
        db.write(sectionText(1, "LIVE", 1).toLatin1());
        db.close();
        QTRY_VERIFY_WITH_TIMEOUT(!metrics().contains(QStringLiteral("SILENT")), 8000);

        body = metrics();
        QCOMPARE(countLines(body, QStringLiteral("^orvalink_up\\{.*\\} 1$")), 1);
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (!promtool.isEmpty()) {
            QProcess check;
            check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
            check.write(body.toUtf8());
            check.closeWriteChannel();
            QVERIFY(check.waitForFinished(30000));
            QVERIFY2(check.exitCode() == 0,
                     qPrintable(QString::fromUtf8(check.readAllStandardOutput() +
                                                  check.readAllStandardError()) +
                                body));
        }

        // SIGTERM: exit 0 within a round's time, and the port is free again.
        ::kill(pid_t(monitor.m_process.processId()), SIGTERM);
        QVERIFY(monitor.m_process.waitForFinished(5000));
        QCOMPARE(monitor.m_process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.m_process.exitCode(), 0);
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress(kNms), quint16(QUrl(monitor.base).port())));
        if (promtool.isEmpty())
            QSKIP("promtool is missing (Debian package prometheus): the body was not linted");
    }

    // Faults: a damaged database read as an empty one: /metrics answers
    // 200 with no element at all, so no alert can fire; the reason told at
    // every round (or never); the elements not read again once it is fixed.
    void damagedDatabaseKeepsTheLastList()
    {
        SimProcess sim;
        QVERIFY2(sim.start(kNet.agentPort(), {QStringLiteral("encoder@") + kNet.host(1),
                                              QStringLiteral("decoder@") + kNet.host(2)}),
                 qPrintable(sim.errors()));
        QTemporaryDir own;
        const QString db = own.filePath(QStringLiteral("nms.ini"));
        const QByteArray good =
            (sectionText(1, "LIVE", 1) + sectionText(2, "SECOND", 2)).toLatin1();
        const auto write = [&](const QByteArray& bytes) {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        };
        write(good);
        MonitorProcess monitor;
        QVERIFY2(monitor.start({QStringLiteral("--db"), db, QStringLiteral("--nms"), kNms,
                                QStringLiteral("--port"), QString::number(kNet.agentPort()),
                                QStringLiteral("monitor"), QStringLiteral("--listen"),
                                kNms + QStringLiteral(":0"), QStringLiteral("--interval"),
                                QStringLiteral("1"), QStringLiteral("--trap-port"),
                                QStringLiteral("0")}),
                 qPrintable(monitor.errors()));
        HttpAnswer a = monitor.metricsAfterFirstRound();
        QVERIFY2(a.body.contains(QStringLiteral("orvalink_database_ok 1\n")), qPrintable(a.body));
        const QString up = QStringLiteral("^orvalink_up\\{.*\\} 1$");
        QCOMPARE(countLines(a.body, up), 2);
        const auto metrics = [&] {
            return httpGet(monitor.base + QStringLiteral("/metrics")).body;
        };

        // A NUL byte, then a folder: the two elements stay watched.
        write(QByteArray(good).insert(5, '\0'));
        QTRY_VERIFY_WITH_TIMEOUT(metrics().contains(QStringLiteral("orvalink_database_ok 0\n")),
                                 5000);
        QTest::qWait(2500); // rounds go on
        a = httpGet(monitor.base + QStringLiteral("/metrics"));
        QCOMPARE(a.status, 200);
        QCOMPARE(countLines(a.body, up), 2);
        QVERIFY(a.body.contains(QStringLiteral("orvalink_database_ok 0\n")));
        QVERIFY(QFile::remove(db));
        QVERIFY(QDir().mkdir(db));
        QTest::qWait(2500);
        QCOMPARE(countLines(metrics(), up), 2);
        QVERIFY(QDir().rmdir(db));
        write(sectionText(1, "LIVE", 1).toLatin1());
        QTRY_VERIFY_WITH_TIMEOUT(metrics().contains(QStringLiteral("orvalink_database_ok 1\n")),
                                 5000);
        QTRY_COMPARE_WITH_TIMEOUT(countLines(metrics(), up), 1, 5000);

        // Told once per change: the NUL byte, the folder, fixed.
        const QString err = monitor.errors();
        QCOMPARE(err.count(QStringLiteral("NUL")), 1);
        QCOMPARE(err.count(QStringLiteral("is a folder")), 1);
        QCOMPARE(err.count(QStringLiteral("can be read again")), 1);
        const orvalink::EventLog log(orvalink::EventLog::pathFor(db));
        QStringList told;
        for (const orvalink::Event& e : log.read({}, QString())) {
            if (e.operation == QLatin1String("database"))
                told << e.outcome;
        }
        // While the database is a folder no event log is kept beside it
        // (stderr says it): the NUL byte and the fix are in the log.
        QCOMPARE(told, (QStringList{QStringLiteral("unreadable"), QStringLiteral("ok")}));
    }

    // Faults: every trap number a sender invents becomes a series of
    // orvalink_traps_total and an alarm, until /metrics grows without
    // bound and a scrape takes seconds.
    void trapNumbersStayBounded()
    {
        SimProcess sim;
        QVERIFY2(sim.start(kNet.agentPort(), {QStringLiteral("encoder@") + kNet.host(1),
                                              QStringLiteral("decoder@") + kNet.host(2)}),
                 qPrintable(sim.errors()));
        MonitorProcess monitor;
        QVERIFY2(
            monitor.start(cli() + QStringList{QStringLiteral("monitor"), QStringLiteral("--listen"),
                                              kNms + QStringLiteral(":0"),
                                              QStringLiteral("--interval"), QStringLiteral("1"),
                                              QStringLiteral("--trap-port"), QStringLiteral("0")}),
            qPrintable(monitor.errors()));
        QCOMPARE(monitor.metricsAfterFirstRound().status, 200);

        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(kNet.host(200)), 0));
        const QStringList to = monitor.trapTo.split(QLatin1Char(':'));
        const QHostAddress trapHost(to.at(0));
        const quint16 trapPort = quint16(to.at(1).toUInt());
        const quint32 live = QHostAddress(kNet.host(1)).toIPv4Address();
        constexpr int kTraps = 5000;
        for (int n = 0; n < kTraps; ++n) {
            sender.writeDatagram(numberedTrap(live, 1000 + n), trapHost, trapPort);
            if (n % 100 == 99)
                QTest::qWait(3); // paced: a lost datagram is not the fault looked for
        }
        const QRegularExpression otherCount(QStringLiteral(
            "orvalink_traps_total\\{mac=\"2E:8B:F2:00:79:01\",name=\"LIVE\",kind=\"other\"\\} "
            "(\\d+)"));
        HttpAnswer a;
        int counted = 0;
        QElapsedTimer waited;
        waited.start();
        do {
            QTest::qWait(200);
            a = httpGet(monitor.base + QStringLiteral("/metrics"));
            counted = otherCount.match(a.body).captured(1).toInt();
        } while (counted < kTraps && waited.elapsed() < 10000);
        qInfo("%d of %d numbered traps counted; /metrics: %lld bytes, %d trap series, %d alarm "
              "series, answered in %lld ms",
              counted, kTraps, qlonglong(a.body.toUtf8().size()),
              countLines(a.body, QStringLiteral("^orvalink_traps_total\\{")),
              countLines(a.body, QStringLiteral("^orvalink_alarm_active\\{")), a.ms);
        QCOMPARE(a.status, 200);
        QVERIFY2(counted >= kTraps * 9 / 10, qPrintable(a.body.left(4000)));
        QCOMPARE(countLines(a.body, QStringLiteral("^orvalink_traps_total\\{")), 1);
        QCOMPARE(countLines(a.body, QStringLiteral(
                                        "^orvalink_alarm_active\\{.*alarm=\"enterpriseSpecific\"")),
                 1);
        QVERIFY2(a.body.toUtf8().size() < 16 * 1024, qPrintable(a.body.left(4000)));
    }

    // Faults: a monitor that starts without a place to serve, or keeps
    // running when its HTTP port is taken.
    void refusesWhatItCannotServe()
    {
        QCOMPARE(runCli(cli() + QStringList{QStringLiteral("monitor")}).exitCode, 2);
        QCOMPARE(runCli(cli() + QStringList{QStringLiteral("monitor"), QStringLiteral("--listen"),
                                            QStringLiteral("localhost:80")}) // text only
                     .exitCode,
                 2);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress(kNms), 0));
        const CliRun r =
            runCli(cli() + QStringList{QStringLiteral("monitor"), QStringLiteral("--listen"),
                                       QStringLiteral("%1:%2").arg(kNms).arg(taken.serverPort()),
                                       QStringLiteral("--trap-port"), QStringLiteral("0")},
                   10000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("cannot listen")), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestCliMonitor)
#include "tst_cli_monitor.moc"
