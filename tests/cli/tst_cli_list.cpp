// Runs the built orvalink-cli with its list verb on databases made here.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestCliList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void list_data();
    void list();

private:
    QString m_cli;
};

void TestCliList::initTestCase()
{
    const QString binDir = qEnvironmentVariable("ORVALINK_BIN_DIR");
    if (binDir.isEmpty())
        QSKIP("ORVALINK_BIN_DIR is not set: run this test through ctest");
    m_cli = QDir(binDir).filePath(QStringLiteral("orvalink-cli"));
    QVERIFY2(QFile::exists(m_cli), qPrintable(m_cli + QStringLiteral(" is missing")));
}

void TestCliList::list_data()
{
    // The file's bytes, or "<missing>", "<folder>", "<fifo>", "<loop>" (a
    // symbolic link to itself), "<dev-zero>", "<empty-path>" (--db "").
    QTest::addColumn<QByteArray>("db");
    QTest::addColumn<QStringList>("extra"); // arguments after "list"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("stdOut");
    QTest::addColumn<QByteArray>("stdErrHas");

    QTest::newRow("elements in file order, 8-bit name as UTF-8")
        << QByteArray("; db\r\n[2E8BF2000002]\r\nROLE=2\r\nNAME=DEC 1           \r\n\r\n"
                      "[2e8bf2000001]\r\nName=\"CAF\xC9\"\r\nrole=1\r\n[2E8BF2000003]\r\nIP=1\r\n")
        << QStringList{} << 0
        << QByteArray("DEC 1 [2E:8B:F2:00:00:02]\n"
                      "CAF\xC3\x89 [2E:8B:F2:00:00:01]\n"
                      " [2E:8B:F2:00:00:03]\n")
        << QByteArray();
    // Texts from the file reach the terminal with their control characters
    // escaped: a name must not retitle the window or move the cursor.
    QTest::newRow("control characters escaped")
        << QByteArray("[2E8BF2000001]\r\nNAME=\x1B]0;owned\x07"
                      "A\\B\x9D\r\n")
        << QStringList{} << 0 << QByteArray("\\x1b]0;owned\\x07A\\x5cB\\x9d [2E:8B:F2:00:00:01]\n")
        << QByteArray();
    QTest::newRow("UTF-8 byte-order mark skipped")
        << QByteArray("\xEF\xBB\xBF[2E8BF2000001]\r\nNAME=A\r\n") << QStringList{} << 0
        << QByteArray("A [2E:8B:F2:00:00:01]\n") << QByteArray();
    QTest::newRow("CR line ends") << QByteArray("[2E8BF2000001]\rNAME=A\r[2E8BF2000002]\rNAME=B\r")
                                  << QStringList{} << 0
                                  << QByteArray("A [2E:8B:F2:00:00:01]\nB [2E:8B:F2:00:00:02]\n")
                                  << QByteArray();
    // Files that are no database: an error, never "empty", never a hang.
    QTest::newRow("UTF-16 text") << QByteArray("\xFF\xFE[\0002\0E\0]\0", 10) << QStringList{} << 1
                                 << QByteArray() << QByteArray("is UTF-16 text");
    QTest::newRow("named pipe") << QByteArray("<fifo>") << QStringList{} << 1 << QByteArray()
                                << QByteArray("not a regular file");
    QTest::newRow("device") << QByteArray("<dev-zero>") << QStringList{} << 1 << QByteArray()
                            << QByteArray("not a regular file");
    QTest::newRow("symbolic link loop") << QByteArray("<loop>") << QStringList{} << 1
                                        << QByteArray() << QByteArray("symbolic links");
    QTest::newRow("empty --db") << QByteArray("<empty-path>") << QStringList{} << 2 << QByteArray()
                                << QByteArray("--db needs");
    QTest::newRow("missing database") << QByteArray("<missing>") << QStringList{} << 0
                                      << QByteArray() << QByteArray("Local database is empty.\n");
    QTest::newRow("no sections") << QByteArray("; only a comment\r\n") << QStringList{} << 0
                                 << QByteArray() << QByteArray("Local database is empty.\n");
    QTest::newRow("database is a folder") << QByteArray("<folder>") << QStringList{} << 1
                                          << QByteArray() << QByteArray("is a folder");
    QTest::newRow("stray argument") << QByteArray("[A]\r\nK=1\r\n") << QStringList{"x"} << 2
                                    << QByteArray() << QByteArray("no arguments");
}

void TestCliList::list()
{
    QFETCH(QByteArray, db);
    QFETCH(QStringList, extra);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("nms.ini"));
    // What a write killed halfway left: removed when the CLI starts.
    const QString stale = path + QStringLiteral(".~orvalink-tmp-Qx7Tm2");
    QFile(stale).open(QIODevice::WriteOnly);
    if (db == "<folder>") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("nms.ini")));
    } else if (db == "<fifo>") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (db == "<loop>") {
        QVERIFY(QFile::link(path, path));
    } else if (db == "<dev-zero>") {
        path = QStringLiteral("/dev/zero");
    } else if (db == "<empty-path>") {
        path.clear();
    } else if (db != "<missing>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(db);
    }

    QProcess p;
    // Keep the per-user settings of whoever runs the tests out of reach.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    p.setProcessEnvironment(env);
    p.start(m_cli, QStringList{QStringLiteral("--db"), path, QStringLiteral("list")} + extra);
    QElapsedTimer clock;
    clock.start();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        QFAIL("orvalink-cli list did not end");
    }
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QByteArray err = p.readAllStandardError();
    QTEST(p.exitCode(), "exitCode");
    QTEST(p.readAllStandardOutput(), "stdOut");
    QFETCH(QByteArray, stdErrHas);
    QVERIFY2(err.contains(stdErrHas), err.constData());
    if (db == "<missing>")
        QVERIFY(!QFile::exists(path)); // listing never creates the database
    QCOMPARE(QFile::exists(stale), db == "<empty-path>" || db == "<dev-zero>");
}

QTEST_GUILESS_MAIN(TestCliList)
#include "tst_cli_list.moc"
