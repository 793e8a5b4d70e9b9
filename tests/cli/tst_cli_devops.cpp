// orvalink-cli probe, diff and apply against orvalink-sim on loopback
// (127.0.95.x): what they print, what they store, and their exit codes.

#include "common/SimProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using orvalink::testing::binPath;
using orvalink::testing::ProgramRun;
using orvalink::testing::runProgram;
using orvalink::testing::SimProcess;

namespace {

const QString kNms = QStringLiteral("127.0.95.100");
const QString kDecoderMac = QStringLiteral("2E:8B:F2:00:5F:02");

} // namespace

class TestCliDevops : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    SimProcess sim;
    SimProcess refusing;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    ProgramRun cli(const QStringList& args, const QByteArray& input = QByteArray())
    {
        return runProgram(
            binPath("orvalink-cli"),
            QStringList{QStringLiteral("--db"), dbPath(), QStringLiteral("--nms"), kNms} + args,
            30000, input);
    }
    QByteArray db() const
    {
        QFile f(dbPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!orvalink::testing::mayBindAgentPort())
            QSKIP("the simulated agents need port 161: run as root");
        QVERIFY(sim.start({QStringLiteral("decoder@127.0.95.2"),
                           QStringLiteral("encoder@127.0.95.4/00:11:22:33:44:55")}));
        QVERIFY(refusing.start({QStringLiteral("--refuse-set"), QStringLiteral("1"),
                                QStringLiteral("decoder@127.0.95.3")}));
    }

    // Catches: a wrong exit code for success or for a foreign device, and
    // the status lines not printed.
    void probe()
    {
        ProgramRun r = cli({QStringLiteral("probe"), QStringLiteral("127.0.95.2")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("Status: Getting device DSP revison\n")));
        QVERIFY(r.out.contains(QStringLiteral("Status: Finished with SUCCESS!\n")));
        QVERIFY(db().contains("ROLE=2"));
        r = cli({QStringLiteral("probe"), QStringLiteral("127.0.95.4")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.endsWith(QStringLiteral("Status: FAIL - Not a Quorvane device.\n")));
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("127.0.95.3")}).exitCode, 0);
    }

    // Catches: a change made behind the database's back not found, an apply
    // that stores without the echo, a declined question that still sends.
    void diffBeforeAndAfterApply()
    {
        QCOMPARE(cli({QStringLiteral("diff"), kDecoderMac}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("--port"), QStringLiteral("161"), QStringLiteral("set"),
                      QStringLiteral("127.0.95.2"), QStringLiteral("kestrvla"), QStringLiteral("2"),
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
        const ProgramRun r = cli({QStringLiteral("apply"), QStringLiteral("2E:8B:F2:00:5F:03"),
                                  QStringLiteral("att=255"), QStringLiteral("--yes"),
                                  QStringLiteral("--spacing-ms"), QStringLiteral("10")});
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
        f.write("[2E8BF2005F09]\r\nROLE=1\r\nSNMPIP=127.0.95.9\r\n");
        f.close();
        const ProgramRun r = cli({QStringLiteral("diff"), QStringLiteral("2E8BF2005F09")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("does not answer")));
    }
};

QTEST_GUILESS_MAIN(TestCliDevops)
#include "tst_cli_devops.moc"
