// The event log: appenders in several processes at once, rotation by size,
// and texts that try to break the one-line-per-event format.

#include "store/EventLog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

using namespace orvalink;

namespace {

QString writerProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tst_store_eventwriter");
}

QList<QByteArray> rawLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The numbers of writer id's events, in the order read ("A 7" -> 7).
QList<int> numbersOf(const QList<Event>& events, const QString& id)
{
    QList<int> numbers;
    for (const Event& e : events) {
        if (e.name.startsWith(id + QLatin1Char(' ')))
            numbers << e.name.mid(id.size() + 1).toInt();
    }
    return numbers;
}

bool finished(QProcess& p)
{
    return p.state() == QProcess::NotRunning || p.waitForFinished(60000);
}

} // namespace

class TestEventLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void concurrentWritersLoseNoLine();
    void rotationUnderWritersKeepsTheNewestLines();
    void hostileTextsCannotForgeALine();
    void noLogBesideADatabaseThatIsNoFile();
};

// Catches: appends of several processes overwriting or splitting each
// other's lines (no O_APPEND, a line written in pieces, no lock).
void TestEventLog::concurrentWritersLoseNoLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.log"));
    constexpr int kPerProcess = 1000;
    QProcess a, b;
    a.start(writerProgram(), {path, QStringLiteral("A"), QString::number(kPerProcess)});
    b.start(writerProgram(), {path, QStringLiteral("B"), QString::number(kPerProcess)});
    QVERIFY(a.waitForStarted() && b.waitForStarted());
    // This process writes too, for as long as the others run.
    EventLog log(path);
    int own = 0;
    while ((a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) && own < 3000) {
        Event e;
        e.operation = QStringLiteral("ping");
        e.name = QStringLiteral("C %1").arg(own++);
        QVERIFY2(log.append(e), qPrintable(log.lastError()));
        QCoreApplication::processEvents();
    }
    QVERIFY(finished(a) && finished(b));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);

    const QList<Event> events = log.read();
    QCOMPARE(rawLines(path).size(), events.size()); // every line whole
    QList<int> expected;
    for (int i = 0; i < kPerProcess; ++i)
        expected << i;
    QCOMPARE(numbersOf(events, QStringLiteral("A")), expected);
    QCOMPARE(numbersOf(events, QStringLiteral("B")), expected);
    QCOMPARE(numbersOf(events, QStringLiteral("C")).size(), own);
    for (const Event& e : events)
        QVERIFY(e.name.startsWith(QLatin1Char('C')) || e.cause == QString(300, QLatin1Char('c')));
}

// Catches: a rotation racing another writer (a line written into a file
// just moved away, or a file cut), more files kept than configured, rotated
// files readable by others (or an existing log left so), the oldest lines
// kept instead of the newest.
void TestEventLog::rotationUnderWritersKeepsTheNewestLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.log"));
    EventLog::Limits limits;
    limits.maxBytes = 4096;
    constexpr int kLines = 1000; // per process
    limits.rotatedFiles = 2;
    const mode_t oldMask = ::umask(0); // the files are private whatever the umask
    QProcess a, b;
    const QStringList rest{QString::number(kLines), QString::number(limits.maxBytes),
                           QString::number(limits.rotatedFiles)};
    a.start(writerProgram(), QStringList{path, QStringLiteral("A")} + rest);
    b.start(writerProgram(), QStringList{path, QStringLiteral("B")} + rest);
    const bool done = finished(a) && finished(b);
    EventLog log(path, limits);
    for (int i = 0; i < 40; ++i) {
        Event e;
        e.operation = QStringLiteral("probe");
        e.name = QStringLiteral("C %1").arg(i);
        QVERIFY(log.append(e));
    }
    ::umask(oldMask);
    QVERIFY(done);
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);

    const QStringList files{path, path + QStringLiteral(".1"), path + QStringLiteral(".2")};
    QVERIFY(!QFile::exists(path + QStringLiteral(".3")));
    int lines = 0;
    for (const QString& f : files) {
        struct stat st {};
        QVERIFY2(::stat(QFile::encodeName(f).constData(), &st) == 0, qPrintable(f));
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        QVERIFY2(st.st_size <= limits.maxBytes, qPrintable(f));
        lines += int(rawLines(f).size());
    }
    const QList<Event> events = log.read();
    QCOMPARE(events.size(), lines);
    // Three files of 4 KB hold at least 25 of these lines (about 350 bytes).
    QVERIFY2(lines >= 25, qPrintable(QString::number(lines)));
    // What stays of each writer is the end of what it wrote, in order.
    for (const QString& id : {QStringLiteral("A"), QStringLiteral("B")}) {
        const QList<int> kept = numbersOf(events, id);
        for (qsizetype i = 0; i < kept.size(); ++i)
            QCOMPARE(kept.at(i), kLines - int(kept.size()) + int(i));
    }
    QList<int> allOwn;
    for (int i = 0; i < 40; ++i)
        allOwn << i;
    QCOMPARE(numbersOf(events, QStringLiteral("C")), allOwn);
    QCOMPARE(events.last().name, QStringLiteral("C 39"));
    QCOMPARE(log.history().size(), 40);

    // A log others may read (made by hand, or by an older version) is made
    // private again at the next line.
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadGroup | QFileDevice::ReadOther));
    Event late;
    late.operation = QStringLiteral("probe");
    QVERIFY(log.append(late));
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
}

// Catches: a name or cause from a device that ends the line or adds fields
// (a forged event), control characters written raw into a file an operator
// may print, escapes that do not read back as what was written, and a
// reader that waits on a pipe or reads a device without end.
void TestEventLog::hostileTextsCannotForgeALine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.log"));
    EventLog log(path);
    Event hostile;
    hostile.time = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 7, 125), QTimeZone::utc());
    hostile.operation = QStringLiteral("set");
    hostile.outcome = QStringLiteral("ok");
    hostile.mac = QStringLiteral("2E:8B:F2:00:0A:1B");
    hostile.name = QStringLiteral("X\n2026-01-01T00:00:00.000Z\tdelete\tok\t\t\t\t\t\t\t");
    hostile.host = QStringLiteral("a\\tb\\x41\\");
    hostile.cause = QStringLiteral("\x1b]0;owned\x07 \r\u009b2J caf\u00e9");
    hostile.key = QStringLiteral("att");
    hostile.oldValue = QStringLiteral("255");
    hostile.newValue = QStringLiteral("\t200");
    QVERIFY(log.append(hostile));
    // A line a writer killed in the middle left without its line feed stays
    // alone: the next event is read whole.
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("2026-12-08T14:03:08.000Z\tprobe\tfai");
    }
    Event next = hostile;
    next.name = QStringLiteral("NEXT");
    QVERIFY(log.append(next));

    const QList<QByteArray> lines = rawLines(path);
    QVERIFY2(lines.size() == 3, rawLines(path).join("|").constData());
    QCOMPARE(lines.at(0).count('\t'), 9);
    QVERIFY(!lines.at(0).contains('\x1b') && !lines.at(0).contains('\r'));
    QVERIFY(!lines.at(0).contains("\xc2\x9b")); // C1 too
    const QList<Event> events = log.read();
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0), hostile);
    QCOMPARE(events.at(1), next);
    // Filtering by element takes either form of the MAC, and a text that is
    // no MAC matches nothing.
    QCOMPARE(log.read({}, QStringLiteral("2e8bf2000a1b")).size(), 2);
    QCOMPARE(log.read(hostile.time.addMSecs(1)).size(), 0);
    QCOMPARE(log.read({}, QStringLiteral("X")).size(), 0);
    // A pipe or a device in the log's place is never waited on or read
    // without end (`events` would hang, or fill the memory).
    const QString fifo = dir.filePath(QStringLiteral("piped.log"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(EventLog(fifo).read().isEmpty());
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), fifo + QStringLiteral(".zero")));
    QVERIFY(EventLog(fifo + QStringLiteral(".zero")).read().isEmpty());
}

// Catches: an event log made beside a database that is a device, a pipe or
// a folder (as root, /dev/events.log beside --db /dev/null), a log on no
// path writing a file into the current folder instead, and a lock made
// beside what a log's link points to when that is no file (/dev/zero.lock).
void TestEventLog::noLogBesideADatabaseThatIsNoFile()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));
    QVERIFY(QFile::link(fifo, dir.filePath(QStringLiteral("to-fifo.ini"))));
    for (const QString& refused :
         {QStringLiteral("/dev/null"), fifo, dir.filePath(QStringLiteral("folder.ini")),
          dir.filePath(QStringLiteral("to-fifo.ini"))})
        QVERIFY2(EventLog::pathFor(refused).isEmpty(), qPrintable(refused));

    // A file, one still to be made, and a link: beside the file.
    QFile real(elsewhere.filePath(QStringLiteral("nms.ini")));
    QVERIFY(real.open(QIODevice::WriteOnly));
    real.close();
    QVERIFY(QFile::link(real.fileName(), dir.filePath(QStringLiteral("linked.ini"))));
    const QString besideReal = elsewhere.filePath(QStringLiteral("events.log"));
    QCOMPARE(EventLog::pathFor(real.fileName()), besideReal);
    QCOMPARE(EventLog::pathFor(dir.filePath(QStringLiteral("linked.ini"))), besideReal);
    QCOMPARE(EventLog::pathFor(dir.filePath(QStringLiteral("new.ini"))),
             dir.filePath(QStringLiteral("events.log")));

    // No path: the event is kept and shown, no file is made anywhere.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
    const QStringList entries = QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden);
    EventLog log(EventLog::pathFor(fifo));
    Event e;
    e.operation = QStringLiteral("probe");
    e.outcome = QStringLiteral("failed");
    QVERIFY(!log.append(e));
    QVERIFY(!log.lastError().isEmpty());
    QCOMPARE(log.history().size(), 1);
    QVERIFY(log.read().isEmpty());
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden), entries);

    // The log's place a link to a pipe in another folder: nothing there.
    const QString pipe = elsewhere.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString linked = dir.filePath(QStringLiteral("events.log"));
    QVERIFY(QFile::link(pipe, linked));
    EventLog onPipe(linked);
    QVERIFY(!onPipe.append(e));
    QString why;
    QVERIFY(onPipe.read({}, {}, &why).isEmpty());
    QVERIFY2(why.contains(QStringLiteral("not a regular file")), qPrintable(why));
    onPipe.loadHistory();
    QVERIFY(!QFileInfo::exists(pipe + QStringLiteral(".lock")));
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
