// Only the element we mean is configured: orvalink-cli against two
// simulated elements on loopback (127.0.163.x), one of whose sections names
// the other's address (a stale snmpip), and a section without any address.

#include "common/SimProcess.h"
#include "store/EventLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.163.x.
const SimNet kNet{163};
quint16 agentPort()
{
    return kNet.agentPort();
}

} // namespace

class TestCliIdentity : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    SimProcess first;  // the element on .1
    SimProcess second; // the element on .2, which the stale section reaches

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    QStringList common() const
    {
        return {QStringLiteral("--db"),   dbPath(),
                QStringLiteral("--nms"),  kNet.host(250),
                QStringLiteral("--port"), QString::number(agentPort())};
    }
    ProgramRun cli(const QStringList& args) { return runCli(common() + args); }
    QByteArray db() const
    {
        QFile f(dbPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeDb(const QByteArray& text)
    {
        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(text), text.size());
    }
    // "the element at HOST(2) is MAC(2), not MAC(1)".
    static QString otherElement()
    {
        return QStringLiteral("the element at %1 is %2, not %3")
            .arg(kNet.host(2), kNet.mac(2), kNet.mac(1));
    }
    // Whether the stored value of key in the section of the element on x is value.
    bool storedAs(int last, const char* line) const
    {
        const QByteArray text = db();
        const qsizetype at = text.indexOf('[' + kNet.section(last).toLatin1() + ']');
        const qsizetype end = text.indexOf('[', at + 1);
        return at >= 0 && text.mid(at, end < 0 ? -1 : end - at).contains(line);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(binDir() + QStringLiteral("/orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        QVERIFY2(first.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(1)}),
                 qPrintable(first.errors()));
        QVERIFY2(second.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(2)}),
                 qPrintable(second.errors()));
        for (const int i : {1, 2})
            QCOMPARE(cli({QStringLiteral("probe"), kNet.host(i)}).exitCode, 0);
        // A backup of the element on .1 while its section is right.
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("backups"))));
        const ProgramRun r = cli({QStringLiteral("backup"), kNet.mac(1), QStringLiteral("--dir"),
                                  dir.filePath(QStringLiteral("backups"))});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        // The element on .1 moved away; its section still names .2, where
        // the other element answers now.
        const QByteArray right = "SNMPIP=" + kNet.host(1).toLatin1() + "\r\n";
        QByteArray text = db();
        QVERIFY(text.contains(right));
        text.replace(right, "SNMPIP=" + kNet.host(2).toLatin1() + "\r\n");
        writeDb(text);
    }

    // Catches: apply (single and bulk), restore and sfn --set configuring
    // whatever answers at a stale address, the other element's new values
    // stored under the stale section, and diff listing the other element's
    // values as differences of the stale one.
    void staleAddressReachesNoOtherElement()
    {
        const QString backup =
            QDir(dir.filePath(QStringLiteral("backups"))).entryList(QDir::Files).value(0);
        QVERIFY(!backup.isEmpty());
        const QList<QStringList> refused = {
            {QStringLiteral("apply"), kNet.mac(1), QStringLiteral("att=150"),
             QStringLiteral("--yes"), QStringLiteral("--spacing-ms"), QStringLiteral("0")},
            {QStringLiteral("restore"), kNet.mac(1),
             dir.filePath(QStringLiteral("backups/")) + backup, QStringLiteral("--yes"),
             QStringLiteral("--spacing-ms"), QStringLiteral("0")},
            {QStringLiteral("sfn"), kNet.mac(1), QStringLiteral("--set"), QStringLiteral("500"),
             QStringLiteral("--spacing-ms"), QStringLiteral("0")}};
        for (const QStringList& args : refused) {
            const QByteArray before = db();
            const ProgramRun r = cli(args);
            const QString what = args.first() + QLatin1Char(' ') + r.out + r.err;
            QVERIFY2(r.exitCode == 1, qPrintable(what));
            QVERIFY2(r.err.contains(otherElement()), qPrintable(what));
            QVERIFY2(second.requests(QStringLiteral("SET")).isEmpty(), qPrintable(what));
            QCOMPARE(db(), before);
        }
        // The refusal is the apply's logged outcome.
        QStringList applies;
        for (const orvalink::Event& e :
             orvalink::EventLog(orvalink::EventLog::pathFor(dbPath())).read({}, kNet.mac(1))) {
            if (e.operation == QLatin1String("apply"))
                applies << e.outcome + QLatin1Char(' ') + e.cause;
        }
        QCOMPARE(applies, QStringList{QStringLiteral("failed ") + otherElement()});

        // In a bulk run the stale element is refused, the other one goes on.
        ProgramRun r =
            cli({QStringLiteral("apply"), QStringLiteral("--all"), QStringLiteral("att=150"),
                 QStringLiteral("--yes"), QStringLiteral("--spacing-ms"), QStringLiteral("0")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains(QStringLiteral("DECODER 1 [%1]: 0 of 1 confirmed (%2)\n")
                                    .arg(kNet.mac(1), otherElement())),
                 qPrintable(r.out));
        QVERIFY2(
            r.out.contains(QStringLiteral("DECODER 2 [%1]: 1 of 1 confirmed\n").arg(kNet.mac(2))),
            qPrintable(r.out));
        QVERIFY2(r.out.endsWith(QStringLiteral("total: 2 elements, 1 all confirmed, 1 failed, 0 "
                                               "nothing to apply\n")),
                 qPrintable(r.out));
        QCOMPARE(second.requests(QStringLiteral("SET")).size(), 1);
        QVERIFY(first.requests(QStringLiteral("SET")).isEmpty());
        QVERIFY(storedAs(1, "\r\nATT=200\r\n"));
        QVERIFY(storedAs(2, "\r\nATT=150\r\n"));

        // The element on .2 now differs from what the stale section holds:
        // diff names it instead of listing its values.
        r = cli({QStringLiteral("diff"), kNet.mac(1)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(otherElement()), qPrintable(r.err));
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        r = cli({QStringLiteral("diff"), QStringLiteral("--all")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QStringLiteral("DECODER 1 [%1]: %2\n").arg(kNet.mac(1), otherElement()));
    }

    // Catches: a section without an SNMP address (as discovery writes it)
    // sent to the devices' factory address. Run in a network namespace of
    // its own, so that nothing can leave this machine whatever happens.
    void noAgentAddressIsRefused()
    {
        if (!mayBindAgentPort())
            QSKIP("a network namespace of the test's own needs root");
        const QString mac = QStringLiteral("2E:8B:F2:00:A3:0A");
        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::Append));
        f.write("[2E8BF200A30A]\r\nNAME=FOUND           \r\nIP=" + kNet.host(10).toLatin1() +
                "\r\nROLE=2\r\nATT=200\r\nSFN=1\r\nDLY=0\r\n");
        f.close();
        const QByteArray before = db();
        const QString file = dir.filePath(QStringLiteral("absent.ini"));
        const QList<QStringList> verbs = {
            {QStringLiteral("apply"), mac, QStringLiteral("att=150"), QStringLiteral("--yes"),
             QStringLiteral("--spacing-ms"), QStringLiteral("0")},
            {QStringLiteral("restore"), mac, file, QStringLiteral("--yes")},
            {QStringLiteral("sfn"), mac, QStringLiteral("--set"), QStringLiteral("500")},
            {QStringLiteral("sfn"), mac},
            {QStringLiteral("diff"), mac}};
        for (const QStringList& args : verbs) {
            const ProgramRun r =
                runProgram(QStringLiteral("/usr/bin/unshare"),
                           QStringList{QStringLiteral("--net"), QStringLiteral("--"),
                                       QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                       QStringLiteral("ip link set lo up && exec \"$0\" \"$@\""),
                                       binPath("orvalink-cli"), QStringLiteral("-v")} +
                               common() + args);
            const QString what = args.join(QLatin1Char(' ')) + QLatin1Char('\n') + r.out + r.err;
            QVERIFY2(r.exitCode == 2, qPrintable(what));
            QVERIFY2(
                r.err.contains(QStringLiteral("FOUND [%1]: no SNMP address stored\n").arg(mac)),
                qPrintable(what));
            // -v shows every datagram: there is none.
            QVERIFY2(!r.err.contains(QStringLiteral("192.168.1.15")), qPrintable(what));
            QVERIFY2(!r.out.contains(QStringLiteral("sent ")), qPrintable(what));
        }
        QCOMPARE(db(), before);
    }
};

QTEST_GUILESS_MAIN(TestCliIdentity)
#include "tst_cli_identity.moc"
