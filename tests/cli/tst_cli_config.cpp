// orvalink-cli backup, diff --all, restore, history and the bulk forms of
// apply against orvalink-sim on loopback (127.0.131.x), with net-snmp's
// tools as the party that changes an element behind the program's back.

#include "common/SimProcess.h"
#include "store/EventLog.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.131.x.
const SimNet kNet{131};
quint16 agentPort()
{
    return kNet.agentPort();
}
const QString kBase = QStringLiteral("1.3.6.1.4.1.44467.1.%1.0");

QString httpBody(const QUrl& url)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{url};
    request.setTransferTimeout(5000);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QString body = QString::fromUtf8(reply->readAll());
    reply->deleteLater();
    return body;
}

QString runTool(const QString& tool, const QStringList& args)
{
    const ProgramRun r = runProgram(tool, args, 10000);
    return r.out + r.err;
}

} // namespace

class TestCliConfig : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    ProgramRun cli(const QStringList& args, int timeoutMs = 30000)
    {
        return runCli(QStringList{QStringLiteral("--db"), dbPath(), QStringLiteral("--nms"),
                                  kNet.host(250), QStringLiteral("--port"),
                                  QString::number(agentPort())} +
                          args,
                      timeoutMs);
    }
    QString db() const
    {
        QFile f(dbPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    // The stored value of key in the section of the element on x.
    QString stored(int last, const QString& key) const
    {
        const QString text = db();
        const qsizetype at = text.indexOf(QLatin1Char('[') + kNet.section(last) + QLatin1Char(']'));
        const qsizetype end = text.indexOf(QLatin1Char('['), at + 1);
        const QRegularExpression re(QStringLiteral("\\n%1=([^\\r\\n]*)").arg(key.toUpper()));
        const auto m = re.match(text.mid(at, end < 0 ? -1 : end - at));
        return m.hasMatch() ? m.captured(1) : QString();
    }
    void probeAll(const QList<int>& lasts)
    {
        QFile::remove(dbPath());
        for (const int i : lasts)
            QCOMPARE(cli({QStringLiteral("probe"), kNet.host(i)}).exitCode, 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        keepNetSnmpStateIn(dir.path());
        if (!QFileInfo(binDir() + QStringLiteral("/orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
    }

    // Catches: a backup that misses or garbles what the probe reads, is
    // readable by others or is left half-written; a change behind the
    // program's back that diff --all does not find (or a silent element
    // counted as clean); a restore that does not put the device back, sends
    // what the device already holds, stores what was not confirmed, or
    // takes a file of another role or element; history without the change.
    void backupDiffRestore()
    {
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(1),
                                         QStringLiteral("decoder@") + kNet.host(2),
                                         QStringLiteral("encoder@") + kNet.host(3)}),
                 qPrintable(sim.errors()));
        probeAll({1, 2, 3});
        const QString backups = dir.filePath(QStringLiteral("backups"));
        QVERIFY(QDir().mkpath(backups));
        ProgramRun r = cli(
            {QStringLiteral("backup"), QStringLiteral("--all"), QStringLiteral("--dir"), backups});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList files = QDir(backups).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3);
        // The event of a backup is the window's Export all's, word for word.
        const QList<orvalink::Event> logged =
            orvalink::EventLog(orvalink::EventLog::pathFor(dbPath())).read();
        QVERIFY(!logged.isEmpty());
        QCOMPARE(logged.last().operation, QStringLiteral("backup"));
        QCOMPARE(logged.last().outcome, QStringLiteral("ok"));
        QCOMPARE(logged.last().cause, QStringLiteral("3 of 3 configurations written to ") +
                                          QDir::toNativeSeparators(backups));
        const QString decoderFile = QDir(backups).filePath(files.first());
        QCOMPARE(QFile::permissions(decoderFile) & 0x0077, QFileDevice::Permissions());
        QFile f(decoderFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(f.readAll());
        f.close();
        for (const QString& expected :
             {QStringLiteral("; name: DECODER 1\r\n"), "; address: " + kNet.host(1) + "\r\n",
              QStringLiteral("; role: DECODER\r\n"), QStringLiteral("\r\nATT=200\r\n"),
              QStringLiteral("\r\nROLE=2\r\n")}) {
            QVERIFY2(text.contains(expected), qPrintable(text));
        }
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("; program: orvalink \\d+\\."))));
        QVERIFY(text.contains(QLatin1Char('[') + kNet.section(1) + QStringLiteral("]\r\n")));

        // Changed behind the program's back.
        const QString snmpset = QStandardPaths::findExecutable(QStringLiteral("snmpset"));
        const QString snmpget = QStandardPaths::findExecutable(QStringLiteral("snmpget"));
        const QString agent = kNet.host(1) + QLatin1Char(':') + QString::number(agentPort());
        const QStringList common = {QStringLiteral("-v1"), QStringLiteral("-r0"),
                                    QStringLiteral("-t1"), QStringLiteral("-On")};
        if (!snmpset.isEmpty()) {
            const QString out = runTool(
                snmpset, common + QStringList{"-c", "kestrvla", agent, kBase.arg(1), "u", "180"});
            QVERIFY2(out.contains(QStringLiteral("Gauge32: 180")), qPrintable(out));
        } else {
            QCOMPARE(cli({QStringLiteral("set"), kNet.host(1), QStringLiteral("kestrvla"),
                          QStringLiteral("1"), QStringLiteral("gauge"), QStringLiteral("180")})
                         .exitCode,
                     0);
        }
        r = cli({QStringLiteral("diff"), QStringLiteral("--all")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QStringLiteral("DECODER 1 [%1]\n  att 200 180\n").arg(kNet.mac(1)));
        // The monitor's drift check finds the same, per element.
        {
            QProcess monitor;
            monitor.start(binPath("orvalink-cli"),
                          QStringList{QStringLiteral("--db"), dbPath(), QStringLiteral("--nms"),
                                      kNet.host(250), QStringLiteral("--port"),
                                      QString::number(agentPort()), QStringLiteral("monitor"),
                                      QStringLiteral("--listen"),
                                      kNet.host(250) + QStringLiteral(":0"),
                                      QStringLiteral("--trap-port"), QStringLiteral("0"),
                                      QStringLiteral("--drift-every"), QStringLiteral("1")});
            const QRegularExpression at(QStringLiteral("metrics at (http://[0-9.:]+/metrics)"));
            QString told;
            QTRY_VERIFY_WITH_TIMEOUT(
                at.match(told += QString::fromUtf8(monitor.readAllStandardError())).hasMatch(),
                10000);
            const QUrl url(at.match(told).captured(1));
            const QString drift =
                QStringLiteral("orvalink_config_drift{mac=\"%1\",name=\"%2\"} %3");
            QString body;
            QTRY_VERIFY_WITH_TIMEOUT(
                (body = httpBody(url)).contains(QStringLiteral("orvalink_config_drift{")), 10000);
            QVERIFY2(body.contains(drift.arg(kNet.mac(1), QStringLiteral("DECODER 1")).arg(1)) &&
                         body.contains(drift.arg(kNet.mac(2), QStringLiteral("DECODER 2")).arg(0)),
                     qPrintable(body));
            monitor.kill();
            monitor.waitForFinished();
        }

        // Refused before anything is sent: another role, another element,
        // another edition, a pipe in place of a file (never waited on).
        const QString piped = dir.filePath(QStringLiteral("piped.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(piped).constData(), 0600), 0);
        const qsizetype setsBefore = sim.requests(QStringLiteral("SET")).size();
        const QString wrongRole = dir.filePath(QStringLiteral("wrong-role.ini"));
        QFile w(wrongRole);
        QVERIFY(w.open(QIODevice::WriteOnly));
        w.write(
            QString(text).replace(QStringLiteral("ROLE=2"), QStringLiteral("ROLE=1")).toLatin1());
        w.close();
        const QString otherEdition = dir.filePath(QStringLiteral("gps.ini"));
        QFile g(otherEdition);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(QString(text)
                    .replace(QStringLiteral("; role:"), QStringLiteral("; edition: GPS\r\n; role:"))
                    .toLatin1());
        g.close();
        for (const QStringList& args :
             {QStringList{kNet.mac(1), wrongRole}, QStringList{kNet.mac(2), decoderFile},
              QStringList{kNet.mac(1), otherEdition}, QStringList{kNet.mac(1), piped}}) {
            r = cli(QStringList{QStringLiteral("restore")} + args +
                    QStringList{QStringLiteral("--yes")});
            QVERIFY2(r.exitCode == 2 && !r.err.isEmpty(), qPrintable(args.join(u' ')));
        }
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), setsBefore);

        r = cli({QStringLiteral("restore"), kNet.mac(1), decoderFile, QStringLiteral("--yes"),
                 QStringLiteral("--spacing-ms"), QStringLiteral("10")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QVERIFY2(r.out.startsWith(QStringLiteral("att: -37.5 dB (180) -> -27.5 dB (200)\n")),
                 qPrintable(r.out));
        // The change behind its back, then only what differed.
        QCOMPARE(sim.requests(QStringLiteral("SET")), (QList<int>{1, 1}));
        if (!snmpget.isEmpty()) {
            const QString out =
                runTool(snmpget, common + QStringList{"-c", "morqubit", agent, kBase.arg(1)});
            QVERIFY2(out.contains(QStringLiteral("Gauge32: 200")), qPrintable(out));
        }
        QCOMPARE(cli({QStringLiteral("diff"), QStringLiteral("--all")}).exitCode, 0);

        r = cli({QStringLiteral("history"), kNet.mac(1)});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.count(QLatin1Char('\n')) == 1 &&
                     r.out.contains(QStringLiteral(" set ok DECODER 1 [%1] %2: att 180 -> "
                                                   "200\n")
                                        .arg(kNet.mac(1), kNet.host(1))),
                 qPrintable(r.out));

        // An element that stops answering: reported, no file, exit codes.
        sim.stop();
        QVERIFY(sim.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(1),
                                        QStringLiteral("decoder@") + kNet.host(2),
                                        QStringLiteral("encoder@") + kNet.host(3),
                                        QStringLiteral("--silent"), kNet.host(2)}));
        const QString again = dir.filePath(QStringLiteral("again"));
        QVERIFY(QDir().mkpath(again));
        r = cli(
            {QStringLiteral("backup"), QStringLiteral("--all"), QStringLiteral("--dir"), again});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(
            r.err.contains(
                QStringLiteral("DECODER 2 [%1]: no reply from %2").arg(kNet.mac(2), kNet.host(2))),
            qPrintable(r.err));
        QCOMPARE(QDir(again).entryList(QDir::Files).size(), 2);
        QCOMPARE(cli({QStringLiteral("diff"), QStringLiteral("--all")}).exitCode, 2);
    }

    // Catches: a restore that sends part of a file it should refuse (an
    // address the panel would not take, a key the role needs missing, a key
    // twice) and then blames the element; an encoder's inactive destination
    // (its multicast group while it streams unicast) that diff does not
    // compare and restore does not put back.
    void restoreWholeOrNothing()
    {
        const QString snmpset = QStandardPaths::findExecutable(QStringLiteral("snmpset"));
        if (snmpset.isEmpty())
            QSKIP("snmpset is missing (Debian package snmp)");
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(4),
                                         QStringLiteral("encoder@") + kNet.host(5)}),
                 qPrintable(sim.errors()));
        probeAll({4, 5});
        const QString backups = dir.filePath(QStringLiteral("whole"));
        QVERIFY(QDir().mkpath(backups));
        QCOMPARE(cli({QStringLiteral("backup"), kNet.mac(4), kNet.mac(5), QStringLiteral("--dir"),
                      backups})
                     .exitCode,
                 0);
        const auto fileOf = [&](int last) {
            for (const QString& name : QDir(backups).entryList(QDir::Files))
                if (name.startsWith(kNet.section(last)))
                    return QDir(backups).filePath(name);
            return QString();
        };
        const auto textOf = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
        };
        const QString decoder = textOf(fileOf(4));
        const QString encoder = textOf(fileOf(5));
        QVERIFY(encoder.contains(QStringLiteral("\r\nTX=0\r\n")));
        const auto edited = [&](const QString& name, const QString& text, const QString& from,
                                const QString& to) {
            const QString path = dir.filePath(name);
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write(QString(text).replace(QRegularExpression(from), to).toLatin1());
            return path;
        };
        const qsizetype setsBefore = sim.requests(QStringLiteral("SET")).size();
        const QList<QPair<int, QString>> refused = {
            {4, edited("gw.ini", decoder, "\r\nGW=[^\r]*", "\r\nGW=1.2.3")},
            {4, edited("ip-name.ini", decoder, "\r\nIP=[^\r]*", "\r\nIP=localhost")},
            {4, edited("ip-256.ini", decoder, "\r\nIP=[^\r]*", "\r\nIP=127.0.50.256")},
            {5, edited("multi.ini", encoder, "\r\nMULTI=[^\r]*", "\r\nMULTI=300.1.1.1")},
            {4, edited("no-att.ini", decoder, "\r\nATT=[^\r]*", "")},
            {4, edited("two-att.ini", decoder, "\r\nATT=", "\r\nATT=150\r\nATT=")},
        };
        for (const auto& [last, file] : refused) {
            const ProgramRun r =
                cli({QStringLiteral("restore"), kNet.mac(last), file, QStringLiteral("--yes"),
                     QStringLiteral("--spacing-ms"), QStringLiteral("10")});
            QVERIFY2(r.exitCode == 2 && !r.err.isEmpty(), qPrintable(file + r.out + r.err));
            QVERIFY2(!r.err.contains(QStringLiteral("no reply")), qPrintable(r.err));
        }
        QVERIFY(cli({QStringLiteral("restore"), kNet.mac(4), refused.at(4).second,
                     QStringLiteral("--yes")})
                    .err.contains(QStringLiteral("att")));
        QVERIFY(cli({QStringLiteral("restore"), kNet.mac(4), refused.at(5).second,
                     QStringLiteral("--yes")})
                    .err.contains(QStringLiteral("twice")));
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), setsBefore);

        // The encoder streams unicast; its multicast group is changed behind
        // the program's back.
        const QString agent = kNet.host(5) + QLatin1Char(':') + QString::number(agentPort());
        const QString out =
            runTool(snmpset, {QStringLiteral("-v1"), QStringLiteral("-r0"), QStringLiteral("-t1"),
                              QStringLiteral("-c"), QStringLiteral("kestrvla"), agent,
                              kBase.arg(10), QStringLiteral("a"), QStringLiteral("239.9.9.9")});
        QVERIFY2(out.contains(QStringLiteral("239.9.9.9")), qPrintable(out));
        ProgramRun r = cli({QStringLiteral("diff"), QStringLiteral("--all")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains(QStringLiteral("  multi ")) && r.out.contains("239.9.9.9"),
                 qPrintable(r.out));
        r = cli({QStringLiteral("restore"), kNet.mac(5), fileOf(5), QStringLiteral("--yes"),
                 QStringLiteral("--spacing-ms"), QStringLiteral("10")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        // The change behind its back, then the restore of only that.
        QCOMPARE(sim.requests(QStringLiteral("SET")).mid(setsBefore), (QList<int>{10, 10}));
        QCOMPARE(cli({QStringLiteral("diff"), QStringLiteral("--all")}).exitCode, 0);
    }

    // Catches, for the reads asked several to a GET: a value put on the
    // wrong parameter when the agent answers the variables in another order;
    // an element lost or a value missing when the agent refuses GETs of
    // several variables (or lacks some of the parameters asked, as each role
    // does); a GET per read still sent where one asks several.
    void severalVariablesPerGet()
    {
        const QStringList elements = {QStringLiteral("decoder@") + kNet.host(21),
                                      QStringLiteral("encoder@") + kNet.host(22)};
        // The backup files' contents (without their time) and the GETs sent.
        const auto backup = [&](const QString& fault, QMap<QString, QString>* files) -> qsizetype {
            SimProcess sim;
            if (!sim.start(agentPort(),
                           fault.isEmpty() ? elements : elements + QStringList{fault})) {
                qWarning("%s", qPrintable(sim.errors()));
                return -1;
            }
            if (fault.isEmpty())
                probeAll({21, 22});
            const qsizetype before = sim.requests(QStringLiteral("GET")).size();
            const QString out = dir.filePath(QStringLiteral("several") + fault);
            QDir().mkpath(out);
            const ProgramRun r = cli(
                {QStringLiteral("backup"), QStringLiteral("--all"), QStringLiteral("--dir"), out});
            if (r.exitCode != 0)
                qWarning("%s", qPrintable(r.err));
            for (const QString& name : QDir(out).entryList(QDir::Files)) {
                QFile f(QDir(out).filePath(name));
                if (f.open(QIODevice::ReadOnly))
                    files->insert(name, QString::fromLatin1(f.readAll())
                                            .remove(QRegularExpression(
                                                QStringLiteral("; time: [^\r]*\r\n"))));
            }
            const qsizetype gets = sim.requests(QStringLiteral("GET")).size() - before;
            if (fault == QLatin1String("--single-get") &&
                cli({QStringLiteral("diff"), QStringLiteral("--all")}).exitCode != 0)
                return -1;
            return gets;
        };
        QMap<QString, QString> several, single, swapped;
        const qsizetype gets = backup(QString(), &several);
        const qsizetype singleGets = backup(QStringLiteral("--single-get"), &single);
        QVERIFY(backup(QStringLiteral("--swap-varbinds"), &swapped) > 0);
        QCOMPARE(several.size(), 2);
        // Each role lacks parameters of the other: what follows them is there.
        QVERIFY2(several.first().contains(QStringLiteral("\r\nATT=200\r\n")) &&
                     several.first().contains(QStringLiteral("\r\nSDL=")) &&
                     several.last().contains(QStringLiteral("\r\nINPUT=")),
                 qPrintable(several.first() + several.last()));
        QCOMPARE(single, several);
        QCOMPARE(swapped, several);
        // 26 reads of each element: one GET each when refused, and at most
        // half as many GETs when taken.
        QVERIFY2(singleGets >= 52 && gets > 0 && gets * 2 <= 52,
                 qPrintable(QStringLiteral("%1 GETs, %2 refused").arg(gets).arg(singleGets)));
    }

    // Catches: a bulk apply that runs elements one after the other (40 times
    // the time), lets a silent or refusing element stop the others, stores a
    // value that was not confirmed, or reports a failure as a success.
    void bulkApply()
    {
        SimProcess sim;
        SimProcess refusing;
        QStringList args;
        for (int i = 11; i <= 15; ++i)
            args << QStringLiteral("decoder@") + kNet.host(i);
        args << QStringLiteral("encoder@") + kNet.host(17) << QStringLiteral("--silent")
             << kNet.host(15);
        QVERIFY2(sim.start(agentPort(), args), qPrintable(sim.errors()));
        QVERIFY(refusing.start(agentPort(), {QStringLiteral("--refuse-set"), QStringLiteral("1"),
                                             QStringLiteral("decoder@") + kNet.host(16)}));
        QFile::remove(dbPath());
        for (const int i : {11, 12, 13, 14, 16, 17})
            QCOMPARE(cli({QStringLiteral("probe"), kNet.host(i)}).exitCode, 0);
        // The silent one, stored as it was before it fell silent.
        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::Append));
        f.write(QStringLiteral("[%1]\r\nNAME=DECODER 15\r\nROLE=2\r\nATT=200\r\nSNMPIP=%2\r\n")
                    .arg(kNet.section(15), kNet.host(15))
                    .toLatin1());
        f.close();
        const QStringList timing = {QStringLiteral("--yes"), QStringLiteral("--spacing-ms"),
                                    QStringLiteral("600")};

        // One element alone, then all decoders with other values.
        const QString one = dir.filePath(QStringLiteral("one.txt"));
        QFile o(one);
        QVERIFY(o.open(QIODevice::WriteOnly));
        o.write(QStringLiteral("# one\n%1\n").arg(kNet.mac(11)).toLatin1());
        o.close();
        ProgramRun single = cli(QStringList{QStringLiteral("apply"), QStringLiteral("--macs"), one,
                                            QStringLiteral("att=150"), QStringLiteral("sdl=50")} +
                                timing);
        QVERIFY2(single.exitCode == 0, qPrintable(single.out + single.err));

        // An encoder does not take att: nothing is sent to anyone.
        const qsizetype setsBefore = sim.requests(QStringLiteral("SET")).size();
        QCOMPARE(cli(QStringList{QStringLiteral("apply"), QStringLiteral("--all"),
                                 QStringLiteral("att=190")} +
                     timing)
                     .exitCode,
                 2);
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), setsBefore);

        const ProgramRun bulk =
            cli(QStringList{QStringLiteral("apply"), QStringLiteral("--where"),
                            QStringLiteral("role=decoder"), QStringLiteral("att=190"),
                            QStringLiteral("sdl=70")} +
                timing);
        QCOMPARE(bulk.exitCode, 1);
        for (const int i : {11, 12, 13, 14}) {
            QVERIFY2(
                bulk.out.contains(
                    QStringLiteral("DECODER %1 [%2]: 2 of 2 confirmed\n").arg(i).arg(kNet.mac(i))),
                qPrintable(bulk.out));
            QCOMPARE(stored(i, QStringLiteral("att")), QStringLiteral("190"));
        }
        QVERIFY2(
            bulk.out.contains(QStringLiteral("DECODER 15 [%1]: 0 of 2 confirmed (no reply from %2)")
                                  .arg(kNet.mac(15), kNet.host(15))),
            qPrintable(bulk.out));
        QVERIFY2(bulk.out.contains(QStringLiteral("DECODER 16 [%1]: 1 of 2 confirmed (att "
                                                  "refused; att refused)")
                                       .arg(kNet.mac(16))),
                 qPrintable(bulk.out));
        QVERIFY(bulk.out.endsWith(
            QStringLiteral("total: 6 elements, 4 all confirmed, 2 failed, 0 nothing to apply\n")));
        QCOMPARE(stored(15, QStringLiteral("att")), QStringLiteral("200"));
        QCOMPARE(stored(16, QStringLiteral("att")), QStringLiteral("200"));
        QCOMPARE(stored(16, QStringLiteral("sdl")), QStringLiteral("70"));
        // Six elements side by side cost about one: the silent one's wait
        // (1 s) and the spacing overlap.
        QVERIFY2(
            bulk.ms < single.ms + 1500,
            qPrintable(QStringLiteral("%1 ms for six, %2 ms for one").arg(bulk.ms).arg(single.ms)));
    }
};

QTEST_GUILESS_MAIN(TestCliConfig)
#include "tst_cli_config.moc"
