// orvalink-cli probe, diff, apply, sfn and stats against orvalink-sim on
// loopback (a net of its own): what they print, what they store, and their exit
// codes, also when the database cannot be written or the SNMP port is taken.

#include "common/SimProcess.h"
#include "common/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <sys/stat.h>

using orvalink::testing::binPath;
using orvalink::testing::ProgramRun;
using orvalink::testing::runProgram;
using orvalink::testing::SimProcess;

namespace {

const orvalink::testing::SimNet kNet{141};
const QString kNms = kNet.host(100);
const QString kDecoderMac = kNet.mac(2);

} // namespace

class TestCliDevops : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    SimProcess sim;
    SimProcess refusing;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    ProgramRun cli(const QStringList& args, const QByteArray& input = QByteArray())
    {
        return cliOn(dbPath(), args, input);
    }
    ProgramRun cliOn(const QString& db, const QStringList& args,
                     const QByteArray& input = QByteArray())
    {
        return runProgram(binPath("orvalink-cli"),
                          QStringList{QStringLiteral("--db"), db, QStringLiteral("--nms"), kNms} +
                              args,
                          30000, input);
    }
    static QByteArray contentOf(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray db() const { return contentOf(dbPath()); }
    // Requests of both kinds the simulators have seen so far.
    qsizetype requestsSeen()
    {
        return sim.requests(QStringLiteral("GET")).size() +
               sim.requests(QStringLiteral("SET")).size() +
               refusing.requests(QStringLiteral("GET")).size();
    }
    // Every verb that writes the database, on the elements stored by probe().
    QList<QStringList> writingVerbs() const
    {
        return {
            {QStringLiteral("probe"), kNet.host(3)},
            {QStringLiteral("apply"), kDecoderMac, QStringLiteral("att=150"),
             QStringLiteral("--yes"), QStringLiteral("--spacing-ms"), QStringLiteral("10")},
            {QStringLiteral("sfn"), kDecoderMac, QStringLiteral("--set"), QStringLiteral("500")}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!orvalink::testing::mayBindAgentPort())
            QSKIP("the simulated agents need port 161: run as root");
        QVERIFY(sim.start({QStringLiteral("decoder@") + kNet.host(2),
                           QStringLiteral("encoder@%1/00:11:22:33:44:55").arg(kNet.host(4))}));
        QVERIFY(refusing.start({QStringLiteral("--refuse-set"), QStringLiteral("1"),
                                QStringLiteral("decoder@") + kNet.host(3)}));
    }

    // Catches: a wrong exit code for success or for a foreign device, and
    // the status lines not printed.
    void probe()
    {
        ProgramRun r = cli({QStringLiteral("probe"), kNet.host(2)});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("Status: Getting device DSP revison\n")));
        QVERIFY(r.out.contains(QStringLiteral("Status: Finished with SUCCESS!\n")));
        QVERIFY(db().contains("ROLE=2"));
        r = cli({QStringLiteral("probe"), kNet.host(4)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.endsWith(QStringLiteral("Status: FAIL - Not a Quorvane device.\n")));
        QCOMPARE(cli({QStringLiteral("probe"), kNet.host(3)}).exitCode, 0);
    }

    // Catches: a change made behind the database's back not found, an apply
    // that stores without the echo, a declined question that still sends.
    void diffBeforeAndAfterApply()
    {
        QCOMPARE(cli({QStringLiteral("diff"), kDecoderMac}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("--port"), QStringLiteral("161"), QStringLiteral("set"),
                      kNet.host(2), QStringLiteral("kestrvla"), QStringLiteral("2"),
                      QStringLiteral("gauge"), QStringLiteral("5")})
                     .exitCode,
                 0);
        ProgramRun r = cli({QStringLiteral("diff"), kDecoderMac});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QStringLiteral("buf 10 5\n"));

        r = cli({QStringLiteral("apply"), kDecoderMac, QStringLiteral("buf=5")}, "n\n");
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains(QStringLiteral("would send buf (parameter 2): 10 -> 5")));
        QVERIFY(!r.out.contains(QStringLiteral("sent buf")));
        QVERIFY(db().contains("BUF=10"));

        r = cli({QStringLiteral("apply"), kDecoderMac, QStringLiteral("buf=5"),
                 QStringLiteral("name=studio 9"), QStringLiteral("--yes"),
                 QStringLiteral("--spacing-ms"), QStringLiteral("10")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(
            r.out.contains(QStringLiteral("sent name \"STUDIO 9\"\nconfirmed name \"STUDIO 9\"\n"
                                          "sent buf 5\nconfirmed buf 5\n")));
        QVERIFY(r.out.endsWith(QStringLiteral("SUCCESS! 2 parameter changes applied.\n")));
        QVERIFY(db().contains("BUF=5"));
        QCOMPARE(cli({QStringLiteral("diff"), kDecoderMac}).exitCode, 0);
    }

    // Catches: a refused value reported as applied or stored.
    void applyRefused()
    {
        const ProgramRun r =
            cli({QStringLiteral("apply"), kNet.mac(3), QStringLiteral("att=255"),
                 QStringLiteral("--yes"), QStringLiteral("--spacing-ms"), QStringLiteral("10")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains(QStringLiteral("Failed setting Device audio attenuation!\n")));
        QVERIFY(r.out.contains(QStringLiteral("Failed setting audio attenuation!\n")));
        QVERIFY(r.out.endsWith(QStringLiteral("Only 0 of 2 parameters changes applied.\n")));
        QVERIFY(db().contains("ATT=200"));
    }

    // Catches: values the panel could not hold sent from the shell (a mask
    // whose bits are not ones then zeros, a name outside the devices' code
    // page, an edition the program does not know), a key for the other role
    // accepted, and a silent device taken as matching.
    void refusedInputAndSilence()
    {
        for (const QStringList& args :
             {QStringList{QStringLiteral("att=13")}, QStringList{QStringLiteral("ver=1")},
              QStringList{QStringLiteral("input=1")}, QStringList{QStringLiteral("ip=1.2.3")},
              QStringList{QStringLiteral("name=")}, QStringList{QStringLiteral("mask=255.0.255.0")},
              QStringList{QString::fromUtf8("name=STUDIO \u03A9")},
              QStringList{QStringLiteral("buf=5"), QStringLiteral("--edition"),
                          QStringLiteral("FOO")}}) {
            const ProgramRun r = cli(QStringList{QStringLiteral("apply"), kDecoderMac} + args +
                                     QStringList{QStringLiteral("--yes")});
            QVERIFY2(r.exitCode == 2, qPrintable(args.join(u' ')));
            QVERIFY2(!r.err.isEmpty() && !r.out.contains(QStringLiteral("sent ")),
                     qPrintable(args.join(u' ')));
        }
        // The edition word is taken without regard to case, as at start-up:
        // the low-latency range holds 44 (refused here for the empty name).
        const ProgramRun ll =
            cli({QStringLiteral("apply"), kDecoderMac, QStringLiteral("buf=44"),
                 QStringLiteral("name="), QStringLiteral("--edition"), QStringLiteral("ll")});
        QCOMPARE(ll.exitCode, 2);
        QVERIFY2(ll.err.contains(QStringLiteral("name field")), qPrintable(ll.err));
        QCOMPARE(cli({QStringLiteral("diff"), QStringLiteral("2E:8B:F2:00:00:99")}).exitCode, 2);

        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::Append));
        f.write(QStringLiteral("[%1]\r\nROLE=1\r\nSNMPIP=%2\r\n")
                    .arg(kNet.section(9), kNet.host(9))
                    .toLatin1());
        f.close();
        const ProgramRun r = cli({QStringLiteral("diff"), kNet.section(9)});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("does not answer")));
    }

    // Catches: a verb's outcome missing from the event log or logged
    // without its cause, a failure logged as a success, a confirmed SET
    // (apply, set, sfn --set) without its old and new value, a refused SET
    // logged as a change. Runs after the tests above, on their log.
    void outcomesInTheEventLog()
    {
        // A SET the agent refuses, a new delay (on the element that refuses
        // attenuations only: the other keeps its delay for the tests below),
        // a ping, and a remote save of an element stored without its address.
        QCOMPARE(cli({QStringLiteral("set"), kNet.host(3), QStringLiteral("kestrvla"),
                      QStringLiteral("1"), QStringLiteral("gauge"), QStringLiteral("100")})
                     .exitCode,
                 1);
        QCOMPARE(cli({QStringLiteral("sfn"), kNet.mac(3), QStringLiteral("--set"),
                      QStringLiteral("500"), QStringLiteral("--spacing-ms"), QStringLiteral("10")})
                     .exitCode,
                 0);
        QCOMPARE(cli({QStringLiteral("ping"), kNet.host(2)}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("remote-save"), kNet.section(9)}).exitCode, 1);

        const ProgramRun r = cli({QStringLiteral("events")});
        QCOMPARE(r.exitCode, 0);
        QStringList kinds;                   // "operation outcome" per line
        QStringList sets;                    // "key old -> new"
        QHash<QString, QStringList> details; // what follows the colon, by operation
        for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList words = line.split(QLatin1Char(' '));
            kinds << words.at(1) + QLatin1Char(' ') + words.at(2);
            const QString detail = line.section(QStringLiteral(": "), 1);
            if (words.at(1) == QLatin1String("set") && words.at(2) == QLatin1String("ok"))
                sets << detail;
            else
                details[words.at(1)] << detail;
        }
        QCOMPARE(kinds,
                 QStringList({"probe ok", "probe failed", "probe ok", "diff ok", "set ok",
                              "diff differs", "apply cancelled", "set ok", "set ok", "apply ok",
                              "diff ok", "apply failed", "diff failed", "set failed", "set ok",
                              "sfn ok", "ping ok", "remote-save failed"}));
        QCOMPARE(sets, QStringList({"buf 10 -> 5", "name DECODER 2 -> STUDIO 9", "buf 10 -> 5",
                                    "dly 0 -> 500"}));
        QCOMPARE(details.value(QStringLiteral("diff")),
                 QStringList(
                     {"clean", "1 difference(s): buf", "clean", "no reply from " + kNet.host(9)}));
        QCOMPARE(details.value(QStringLiteral("set")), QStringList({"refused by the agent"}));
        QVERIFY2(details.value(QStringLiteral("ping")).value(0).endsWith(QStringLiteral(" ms")),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral(" ping ok STUDIO 9 [%1] ").arg(kNet.mac(2))),
                 qPrintable(r.out));
        QVERIFY2(!details.value(QStringLiteral("remote-save")).value(0).isEmpty(),
                 qPrintable(r.out));
    }

    // Catches: a decoder's multicast group stored from parameter 10 (an
    // encoder's group) instead of 11, the group it receives and the one Save
    // writes; and a lower-case device name taken as a difference that no
    // apply can clear. Either makes diff report a freshly probed decoder.
    void freshProbeDiffsClean()
    {
        QTemporaryDir own;
        const QString seed = own.filePath(QStringLiteral("seed.ini"));
        QFile f(seed);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[%1]\r\nNAME=studio b\r\nMULTI=239.1.2.3\r\nREMOTE=239.4.5.6\r\n")
                    .arg(kNet.section(6))
                    .toLatin1());
        f.close();
        SimProcess seeded;
        QVERIFY(seeded.start(
            {QStringLiteral("--from-ini"), seed, QStringLiteral("decoder@") + kNet.host(6)}));
        const QString db = own.filePath(QStringLiteral("nms.ini"));
        QCOMPARE(cliOn(db, {QStringLiteral("probe"), kNet.host(6)}).exitCode, 0);
        const QByteArray stored = contentOf(db);
        QVERIFY2(stored.contains("MULTI=239.4.5.6\r\n") && stored.contains("NAME=STUDIO B "),
                 stored.constData());
        const ProgramRun r = cliOn(db, {QStringLiteral("diff"), kNet.mac(6)});
        QCOMPARE(r.out, QString());
        QCOMPARE(r.exitCode, 0);
    }

    // Catches: a database that cannot be read (a folder, a pipe, a device,
    // UTF-16 text, a link loop) taken for an empty one, so that the element
    // is asked and changed and the answer lost, or the file overwritten.
    void hostileDatabaseRefusedBeforeAnyExchange()
    {
        QTemporaryDir hostile;
        const QString folder = hostile.filePath(QStringLiteral("folder.ini"));
        const QString fifo = hostile.filePath(QStringLiteral("fifo.ini"));
        const QString utf16 = hostile.filePath(QStringLiteral("utf16.ini"));
        const QString loop = hostile.filePath(QStringLiteral("loop.ini"));
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QFile u(utf16);
        QVERIFY(u.open(QIODevice::WriteOnly));
        u.write(QByteArray("\xFF\xFE") + QByteArray("[\0A\0]\0\r\0\n\0", 10));
        u.close();
        QVERIFY(QFile::link(loop, loop));

        const qsizetype before = requestsSeen();
        for (const QString& path : {folder, fifo, utf16, loop, QStringLiteral("/dev/zero")}) {
            for (const QStringList& verb : writingVerbs()) {
                const ProgramRun r = cliOn(path, verb);
                const QString what = path + QLatin1Char(' ') + verb.first();
                QVERIFY2(r.exitCode == 1, qPrintable(what));
                QVERIFY2(r.err.contains(QStringLiteral("The element database ") + path),
                         qPrintable(what + r.err));
                QVERIFY2(!r.out.contains(QStringLiteral("SUCCESS")), qPrintable(what));
            }
        }
        QCOMPARE(requestsSeen(), before);
        QCOMPARE(contentOf(utf16).size(), 12);
    }

    // Catches: a write that failed on a full disk reported as a success
    // (probe, apply), the element changed behind a database that kept its
    // old value without a word, and metrics replaced by an empty file.
    void failedWriteIsNeverASuccess()
    {
        const orvalink::testing::SmallDisk mountPoint;
        if (!mountPoint.mounted())
            QSKIP("mounting a small tmpfs needs root");
        const QString full = mountPoint.filePath(QStringLiteral("nms.ini"));
        const QString metrics = mountPoint.filePath(QStringLiteral("orvalink.prom"));
        QCOMPARE(cliOn(full, {QStringLiteral("probe"), kNet.host(2)}).exitCode, 0);
        const QStringList scrape{QStringLiteral("stats"), QStringLiteral("--all"),
                                 QStringLiteral("--prometheus"), QStringLiteral("--output"),
                                 metrics};
        cliOn(full, scrape);
        const QByteArray oldMetrics = contentOf(metrics);
        QVERIFY(oldMetrics.contains("orvalink_up"));

        QFile filler(mountPoint.filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.close();

        const QByteArray oldDb = contentOf(full);
        // Into a new database: the probe has something to write.
        ProgramRun r = cliOn(mountPoint.filePath(QStringLiteral("new.ini")),
                             {QStringLiteral("probe"), kNet.host(2)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.out.contains(QStringLiteral("SUCCESS")));
        QVERIFY(!r.out.contains(QStringLiteral("Stored as")));
        QVERIFY2(r.out.contains(QStringLiteral("new.ini could not be written: No space left on "
                                               "device\n")),
                 qPrintable(r.out));
        QVERIFY(!QFile::exists(mountPoint.filePath(QStringLiteral("new.ini"))));

        r = cliOn(full, writingVerbs().at(1));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.endsWith(QStringLiteral("The element took att=150, but ") + full +
                                QStringLiteral(" could not be written: No space left on "
                                               "device\n")),
                 qPrintable(r.out));
        QCOMPARE(contentOf(full), oldDb);

        r = cliOn(full, writingVerbs().at(2));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("The element took dly=500, but ")),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("has been applied")));
        QCOMPARE(contentOf(full), oldDb);

        r = cliOn(full, scrape);
        QVERIFY(r.exitCode != 0);
        QVERIFY2(r.err.contains(QStringLiteral("No space left on device")), qPrintable(r.err));
        QCOMPARE(contentOf(metrics), oldMetrics);
    }

    // Catches: apply, diff and sfn sending (and apply marking values as
    // sent) through a local SNMP port another program holds, and reporting
    // a silent or failing element instead of the taken port.
    void takenPortReportedBeforeSending()
    {
        QUdpSocket squatter;
        QVERIFY(squatter.bind(QHostAddress(kNms), 2979, QAbstractSocket::DontShareAddress));
        const qsizetype before = requestsSeen();
        const QList<QStringList> verbs =
            writingVerbs().mid(1) + QList<QStringList>{{QStringLiteral("diff"), kDecoderMac},
                                                       {QStringLiteral("sfn"), kDecoderMac}};
        for (const QStringList& verb : verbs) {
            const ProgramRun r = cli(verb);
            QVERIFY2(r.exitCode == 3, qPrintable(verb.join(QLatin1Char(' '))));
            QVERIFY2(
                r.err.startsWith(QStringLiteral("orvalink-cli: Cannot open UDP port 2979 on ") +
                                 kNms + ": "),
                qPrintable(r.err));
            QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        }
        QCOMPARE(requestsSeen(), before);
    }
};

QTEST_GUILESS_MAIN(TestCliDevops)
#include "tst_cli_devops.moc"
