// orvalink-cli stats and sfn against orvalink-sim on loopback (127.0.104.x):
// many elements read at once with some silent, the Prometheus text checked
// by promtool, counters of every integer type, and the SFN read-out.

#include "common/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.104.x.
const SimNet kNet{104};
quint16 agentPort()
{
    return kNet.agentPort();
}
QString sectionText(int last, int role, int sfn)
{
    return QStringLiteral("[%1]\r\nNAME=ELEMENT %2\r\nROLE=%3\r\nSFN=%4\r\nSNMPIP=%5\r\n"
                          "SNMPRO=morqubit\r\nSNMPRW=kestrvla\r\nDLY=0\r\n")
        .arg(kNet.section(last))
        .arg(last)
        .arg(role)
        .arg(sfn)
        .arg(kNet.host(last));
}
QStringList cli(const QString& db)
{
    return {QStringLiteral("--db"),   db,
            QStringLiteral("--nms"),  kNet.host(250),
            QStringLiteral("--port"), QString::number(agentPort())};
}

} // namespace

class TestCliStats : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString writeDb(const QString& content)
    {
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content.toLatin1());
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(binDir() + QStringLiteral("/orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
    }

    // 40 elements, 5 of them silent: all read side by side, so the silent
    // ones cost about one wait together; their counters are ERROR and their
    // orvalink_up 0; the metrics pass promtool.
    void statsAll()
    {
        const int count = 40;
        QStringList args;
        QString db;
        for (int i = 1; i <= count; ++i) {
            const bool decoder = i % 2 == 0;
            args << (decoder ? QStringLiteral("decoder@") : QStringLiteral("encoder@")) +
                        kNet.host(i);
            db += sectionText(i, decoder ? 2 : 1, 0);
        }
        for (int i = count - 4; i <= count; ++i)
            args << QStringLiteral("--silent") << kNet.host(i);
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), args), qPrintable(sim.errors()));
        const QString path = writeDb(db);

        const CliRun text =
            runCli(cli(path) + QStringList{QStringLiteral("stats"), QStringLiteral("--all")});
        QCOMPARE(text.exitCode, 1); // the silent ones were not read
        QVERIFY2(text.ms < 4000, qPrintable(QString::number(text.ms)));
        const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int headers = 0;
        int errors = 0;
        int numbers = 0;
        const QRegularExpression value(QStringLiteral("^[A-Za-z ]+: (\\d+|ERROR)$"));
        for (const QString& line : lines) {
            if (line.startsWith(QLatin1String("ELEMENT "))) {
                ++headers;
                QVERIFY(line.endsWith(QLatin1Char(']')));
                continue;
            }
            const auto m = value.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            (m.captured(1) == QLatin1String("ERROR") ? errors : numbers)++;
        }
        QCOMPARE(headers, count);
        QCOMPARE(errors, 5 * 6); // encoders and decoders read six each with sfn 0
        QCOMPARE(numbers, (count - 5) * 6);
        QVERIFY(lines.first().startsWith(QLatin1String("ELEMENT 1 [2E:8B:F2:00:68:01]")));

        const QString prom = dir.filePath(QStringLiteral("orvalink.prom"));
        const CliRun metrics =
            runCli(cli(path) + QStringList{QStringLiteral("stats"), QStringLiteral("--all"),
                                           QStringLiteral("--prometheus"),
                                           QStringLiteral("--output"), prom});
        QCOMPARE(metrics.exitCode, 1);
        QVERIFY(metrics.out.isEmpty());
        QFile f(prom);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString body = QString::fromUtf8(f.readAll());
        QCOMPARE(body.count(QRegularExpression(QStringLiteral("^orvalink_up\\{.*\\} 0$"),
                                               QRegularExpression::MultilineOption)),
                 5);
        QCOMPARE(body.count(QRegularExpression(QStringLiteral("^orvalink_up\\{.*\\} 1$"),
                                               QRegularExpression::MultilineOption)),
                 count - 5);
        QVERIFY(body.contains(
            QStringLiteral(
                "orvalink_mac_rx_frames_total{mac=\"2E:8B:F2:00:68:02\",name=\"ELEMENT 2\","
                "ip=\"%1\",role=\"decoder\"} ")
                .arg(kNet.host(2))));
        QVERIFY(body.contains(QStringLiteral("\norvalink_scrape_duration_seconds ")));
        QVERIFY(QDir(dir.path()).entryList({QStringLiteral("orvalink.prom*")}, QDir::Files) ==
                QStringList{QStringLiteral("orvalink.prom")});

        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (promtool.isEmpty())
            QSKIP("promtool is missing (Debian package prometheus): the metrics were not linted");
        QProcess check;
        check.setStandardInputFile(prom);
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0,
                 qPrintable(QString::fromUtf8(check.readAllStandardOutput() +
                                              check.readAllStandardError())));
    }

    // A reply counts only from the agent's address and port with the
    // community, request-id and parameter it was asked with: replies with
    // another id or community or from another port leave every counter
    // unread.
    // Faults: a damaged database (a NUL byte, a folder, a pipe in its place)
    // read as an empty one: stats --all replaces a good textfile with one
    // without any orvalink_up, exit 0, so no alert can fire; stats MAC and
    // remote-save MAC say "no element" instead of why; a pipe read blocks.
    void damagedDatabaseIsRefused()
    {
        const QString good = sectionText(1, 1, 0);
        const QString prom = dir.filePath(QStringLiteral("refused.prom"));
        const QByteArray kept = "orvalink_up{mac=\"2E:8B:F2:00:68:01\"} 1\n";
        const QString mac = kNet.mac(1);
        const QString path = dir.filePath(QStringLiteral("damaged.ini"));
        const auto damage = [&](const char* how) {
            QFile::remove(path);
            QDir(path).removeRecursively();
            if (qstrcmp(how, "NUL byte") == 0) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(good.toLatin1().insert(3, '\0'));
            } else if (qstrcmp(how, "folder") == 0) {
                QVERIFY(QDir().mkpath(path));
            } else {
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            }
        };
        for (const char* how : {"NUL byte", "folder", "FIFO"}) {
            damage(how);
            QFile out(prom);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(kept);
            out.close();
            const CliRun all =
                runCli(cli(path) + QStringList{QStringLiteral("stats"), QStringLiteral("--all"),
                                               QStringLiteral("--prometheus"),
                                               QStringLiteral("--output"), prom},
                       10000);
            QVERIFY2(all.exitCode == 1, qPrintable(QLatin1String(how) + all.err));
            QVERIFY2(all.err.contains(QStringLiteral("database")) &&
                         !all.err.contains(QStringLiteral("empty")),
                     qPrintable(all.err));
            QVERIFY(out.open(QIODevice::ReadOnly));
            QCOMPARE(out.readAll(), kept);
            out.close();
            for (const char* verb : {"stats", "remote-save"}) {
                const CliRun one = runCli(cli(path) + QStringList{QLatin1String(verb), mac}, 10000);
                QVERIFY2(one.exitCode == 1, qPrintable(QLatin1String(verb) + one.err));
                QVERIFY2(one.err.contains(QStringLiteral("database")) &&
                             !one.err.contains(QStringLiteral("no element")),
                         qPrintable(QLatin1String(how) + one.err));
            }
        }
        QFile::remove(path);
    }

    void statsAllMatchesReplies_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::newRow("wrong request-id") << QStringList{QStringLiteral("--wrong-id")};
        QTest::newRow("other source port")
            << QStringList{QStringLiteral("--from-port"), QString::number(kNet.port(2))};
        QTest::newRow("other community")
            << QStringList{QStringLiteral("--reply-community"), QStringLiteral("kestrvla")};
    }
    void statsAllMatchesReplies()
    {
        QFETCH(QStringList, fault);
        SimProcess sim;
        QVERIFY2(
            sim.start(agentPort(), fault + QStringList{QStringLiteral("encoder@") + kNet.host(80),
                                                       QStringLiteral("encoder@") + kNet.host(81)}),
            qPrintable(sim.errors()));
        const QString path = writeDb(sectionText(80, 1, 0) + sectionText(81, 1, 0));
        const CliRun r =
            runCli(cli(path) + QStringList{QStringLiteral("stats"), QStringLiteral("--all")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out.count(QStringLiteral(": ERROR")), 12);
    }

    // Catches a sweep that gives up an element after one lost reply (the
    // window still asks for every counter), that waits once per counter of a
    // silent element, and that starts its request-ids at the same place on
    // every run (a late reply of the run before would then be taken).
    void statsAllAfterALostReply()
    {
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("--drop"), QStringLiteral("1"),
                                         QStringLiteral("--silent"), kNet.host(92),
                                         QStringLiteral("decoder@") + kNet.host(90),
                                         QStringLiteral("encoder@") + kNet.host(91),
                                         QStringLiteral("decoder@") + kNet.host(92)}),
                 qPrintable(sim.errors()));
        const QString path =
            writeDb(sectionText(90, 2, 1) + sectionText(91, 1, 0) + sectionText(92, 2, 1));
        const CliRun r = runCli(QStringList{QStringLiteral("-v")} + cli(path) +
                                QStringList{QStringLiteral("stats"), QStringLiteral("--all")});
        QCOMPARE(r.exitCode, 1);
        // Each answering element lost its first reply only; the silent one
        // lost all ten, in two waits rather than ten.
        const QStringList blocks = r.out.split(QStringLiteral("ELEMENT "), Qt::SkipEmptyParts);
        QCOMPARE(blocks.size(), 3);
        QCOMPARE(blocks.at(0).count(QStringLiteral(": ERROR")), 1);
        QCOMPARE(blocks.at(0).count(QRegularExpression(QStringLiteral(": \\d+\n"))), 9);
        QCOMPARE(blocks.at(1).count(QStringLiteral(": ERROR")), 1);
        QCOMPARE(blocks.at(1).count(QRegularExpression(QStringLiteral(": \\d+\n"))), 5);
        QCOMPARE(blocks.at(2).count(QStringLiteral(": ERROR")), 10);
        QCOMPARE(r.err.count(QStringLiteral("sent to ") + kNet.host(92)), 10);
        QVERIFY2(r.ms < 3500, qPrintable(QString::number(r.ms)));

        // Three runs do not all start at the same request-id (the later two
        // without the silent element, which only costs time).
        writeDb(sectionText(91, 1, 0));
        const QRegularExpression firstId(QStringLiteral("GetRequest id (\\d+) "));
        QSet<QString> starts{firstId.match(r.err).captured(1)};
        for (int run = 0; run < 2; ++run)
            starts.insert(
                firstId
                    .match(runCli(QStringList{QStringLiteral("-v")} + cli(path) +
                                  QStringList{QStringLiteral("stats"), QStringLiteral("--all")})
                               .err)
                    .captured(1));
        QVERIFY2(starts.size() > 1, qPrintable(QStringList(starts.values()).join(u' ')));
    }

    // Counters served as any integer type are numbers, Counter64 beyond 2^32.
    void integerTypes_data()
    {
        QTest::addColumn<QString>("type");
        for (const char* t : {"gauge", "counter32", "timeticks", "integer", "counter64"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }
    void integerTypes()
    {
        QFETCH(QString, type);
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("--counter-type"), type,
                                         QStringLiteral("decoder@") + kNet.host(60)}),
                 qPrintable(sim.errors()));
        const QString path = writeDb(sectionText(60, 2, 0));
        const CliRun r = runCli(
            cli(path) + QStringList{QStringLiteral("stats"), QStringLiteral("2E:8B:F2:00:68:3C")});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 6);
        QVERIFY2(lines.first().startsWith(QLatin1String("Good TX Frames: ")), qPrintable(r.out));
        for (const QString& line : lines) {
            bool ok = false;
            const quint64 v = line.section(QLatin1String(": "), 1).toULongLong(&ok);
            QVERIFY2(ok, qPrintable(line));
            if (type == QLatin1String("counter64") && line.startsWith(QLatin1String("Good")))
                QVERIFY2(v > 0xFFFFFFFFull, qPrintable(line));
        }
    }

    // sfn prints the measurements with their sums; --set of the stored delay
    // changes nothing; a delay the scroll bar cannot stand for is refused.
    void sfnVerb()
    {
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(70)}),
                 qPrintable(sim.errors()));
        const QStringList base = cli(writeDb(sectionText(70, 2, 1)));
        QCOMPARE(runCli(base + QStringList{QStringLiteral("set"), kNet.host(70),
                                           QStringLiteral("kestrvla"), QStringLiteral("30"),
                                           QStringLiteral("gauge"), QStringLiteral("1")})
                     .exitCode,
                 0);
        const QString mac = QStringLiteral("2E:8B:F2:00:68:46");
        const CliRun r = runCli(base + QStringList{QStringLiteral("sfn"), mac});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 9);
        QVERIFY2(
            QRegularExpression(QStringLiteral("^Latency summary \\(MIN\\): 5\\d\\d uS, \\d+ nS$"))
                .match(lines.at(5))
                .hasMatch(),
            qPrintable(r.out));
        QCOMPARE(lines.last(), QStringLiteral("Latency compensation: 0 nS"));

        const CliRun same =
            runCli(base + QStringList{QStringLiteral("sfn"), mac, QStringLiteral("--set"),
                                      QStringLiteral("0")});
        QCOMPARE(same.exitCode, 1);
        QVERIFY(same.err.contains(QStringLiteral("Nothing has changed!")));
        QCOMPARE(runCli(base + QStringList{QStringLiteral("sfn"), mac, QStringLiteral("--set"),
                                           QStringLiteral("150")})
                     .exitCode,
                 2);
    }
};

QTEST_MAIN(TestCliStats)
#include "tst_cli_stats.moc"
