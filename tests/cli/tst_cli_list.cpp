// Runs the built orvalink-cli with its list verb on databases made here.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
    QTest::addColumn<QByteArray>("db");     // "<missing>", "<folder>" or the file
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
    QTest::newRow("missing database") << QByteArray("<missing>") << QStringList{} << 0
                                      << QByteArray() << QByteArray("Local database is empty.\n");
    QTest::newRow("no sections") << QByteArray("; only a comment\r\n") << QStringList{} << 0
                                 << QByteArray() << QByteArray("Local database is empty.\n");
    QTest::newRow("database is a folder") << QByteArray("<folder>") << QStringList{} << 1
                                          << QByteArray() << QByteArray("cannot read");
    QTest::newRow("stray argument") << QByteArray("[A]\r\nK=1\r\n") << QStringList{"x"} << 2
                                    << QByteArray() << QByteArray("no arguments");
}

void TestCliList::list()
{
    QFETCH(QByteArray, db);
    QFETCH(QStringList, extra);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    if (db == "<folder>") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("nms.ini")));
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
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QByteArray err = p.readAllStandardError();
    QTEST(p.exitCode(), "exitCode");
    QTEST(p.readAllStandardOutput(), "stdOut");
    QFETCH(QByteArray, stdErrHas);
    QVERIFY2(err.contains(stdErrHas), err.constData());
    if (db == "<missing>")
        QVERIFY(!QFile::exists(path)); // listing never creates the database
}

QTEST_GUILESS_MAIN(TestCliList)
#include "tst_cli_list.moc"
