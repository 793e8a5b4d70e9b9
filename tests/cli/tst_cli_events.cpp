// orvalink-cli events: the event log beside the database, filtered by time
// and element, printed safely.

#include "common/SimProcess.h"
#include "store/EventLog.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

using namespace orvalink;

namespace {
const orvalink::testing::SimNet kNet{151};
} // namespace

class TestCliEvents : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void filtersByTimeAndElement();
    void noLogBesideARefusedDatabase();
    void anOversizeLogIsReadInPart();

private:
    QByteArray run(const QStringList& args, int* exitCode);
    QString m_cli;
    QTemporaryDir m_dir;
};

void TestCliEvents::initTestCase()
{
    const QString binDir = qEnvironmentVariable("ORVALINK_BIN_DIR");
    if (binDir.isEmpty())
        QSKIP("ORVALINK_BIN_DIR is not set: run this test through ctest");
    m_cli = QDir(binDir).filePath(QStringLiteral("orvalink-cli"));
}

QByteArray TestCliEvents::run(const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(m_cli, QStringList{"--db", m_dir.filePath(QStringLiteral("nms.ini")), "events"} + args);
    if (!p.waitForFinished(20000))
        return "<timeout>";
    *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

// Catches: --since or MAC ignored or compared wrongly (a time in another
// zone, the other MAC form), events out of order, a stored control
// character reaching the terminal, a bad argument taken as "everything".
void TestCliEvents::filtersByTimeAndElement()
{
    EventLog log(EventLog::pathFor(m_dir.filePath(QStringLiteral("nms.ini"))));
    const auto at = [](int day, int hour) {
        return QDateTime(QDate(2020, 12, day), QTime(hour, 0), QTimeZone::utc());
    };
    const auto event = [](const QDateTime& time, const char* op, const char* mac,
                          const QString& name) {
        Event e;
        e.time = time;
        e.operation = QString::fromLatin1(op);
        e.outcome = QStringLiteral("ok");
        e.mac = QString::fromLatin1(mac);
        e.name = name;
        return e;
    };
    QVERIFY(log.append(event(at(1, 10), "probe", "2E:8B:F2:00:0A:1B", QStringLiteral("OLD"))));
    Event set = event(at(8, 9), "set", "2E:8B:F2:00:0A:1B", QStringLiteral("STUDIO A ENC"));
    set.key = QStringLiteral("att");
    set.oldValue = QStringLiteral("255");
    set.newValue = QStringLiteral("200");
    QVERIFY(log.append(set));
    QVERIFY(log.append(event(at(8, 10), "ping", "2E:8B:F2:00:0A:2C", QStringLiteral("OTHER"))));
    Event hostile = event(at(8, 11), "delete", "2E:8B:F2:00:0A:1B", QStringLiteral("\x1b[2J"));
    hostile.cause = QStringLiteral("line\nbreak");
    QVERIFY(log.append(hostile));
    // An event of a minute ago, for an age.
    QVERIFY(log.append(event(QDateTime::currentDateTimeUtc().addSecs(-60), "refresh", "", {})));

    int code = -1;
    // 08:30 at +01:00 is 07:30 UTC: the SET of 09:00 UTC and after.
    QCOMPARE(run({"--since", "2020-12-08T08:30+01:00", "2e8bf2000a1b"}, &code),
             QByteArray("2020-12-08T09:00:00.000Z set ok STUDIO A ENC [2E:8B:F2:00:0A:1B]: "
                        "att 255 -> 200\n"
                        "2020-12-08T11:00:00.000Z delete ok \\x1b[2J [2E:8B:F2:00:0A:1B]: "
                        "line\\x0abreak\n"));
    QCOMPARE(code, 0);
    // A date alone is its midnight UTC; without a MAC every element.
    QCOMPARE(run({"--since", "2020-12-08"}, &code).count('\n'), 4);
    QCOMPARE(run({"--since", "5m"}, &code).count('\n'), 1);
    QCOMPARE(run({}, &code).count('\n'), 5);
    for (const QStringList& bad :
         {QStringList{"--since", "yesterday"}, QStringList{"--since"}, QStringList{"not-a-mac"}}) {
        QCOMPARE(run(bad, &code), QByteArray());
        QCOMPARE(code, 2);
    }
}

// Catches: the outcome of a verb refused for its database (a pipe, a
// folder; as root also a device: /dev/events.log) written to a new event
// log beside that database.
void TestCliEvents::noLogBesideARefusedDatabase()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir.filePath(QStringLiteral("folder.ini"));
    QVERIFY(QDir().mkdir(folder));
    for (const QString& db : {fifo, folder}) {
        QProcess p;
        p.start(m_cli, {"--db", db, "--nms", kNet.host(100), "probe", kNet.host(1)});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("The element database"));
    }
    const QStringList made =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(made, QStringList({QStringLiteral("fifo.ini"), QStringLiteral("folder.ini")}));
}

QTEST_GUILESS_MAIN(TestCliEvents)
// Catches an event log grown beyond the reading bound (rotation off, or a
// program of another version appending) refused as a whole, so that
// `events` shows nothing at all: its newest lines are read, with a note.
void TestCliEvents::anOversizeLogIsReadInPart()
{
    QTemporaryDir own;
    const QString db = own.filePath(QStringLiteral("nms.ini"));
    const QString path = EventLog::pathFor(db);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray filler = QByteArray(1023, 'x') + '\n';
        for (int i = 0; i < 65 * 1024; ++i)
            QVERIFY(f.write(filler) == filler.size());
    }
    Event last;
    last.time = QDateTime(QDate(2026, 1, 2), QTime(3, 4), QTimeZone::utc());
    last.operation = QStringLiteral("probe");
    last.outcome = QStringLiteral("ok");
    last.name = QStringLiteral("NEWEST");
    QVERIFY(EventLog(path).append(last));
    QProcess p;
    p.start(m_cli, QStringList{"--db", db, "events"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("NEWEST"));
    QVERIFY(p.readAllStandardError().contains("only its newest lines were read"));
}

#include "tst_cli_events.moc"
