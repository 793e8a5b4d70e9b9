#include "config/ConfigFile.h"
#include "store/SafeFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace orvalink;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes, mode_t mode = 0644)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

} // namespace

class TestSafeFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_dir = QDir(m_tmp->path());
    }

    // Each writer keeps the mode its file needs: a database or a backup
    // holding communities never becomes readable by others, a collector's
    // metrics file stays readable to the collector.
    void modes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<uint>("expected");
        const auto keep = int(safefile::Mode::KeepOrPrivate);
        const auto priv = int(safefile::Mode::Private);
        const auto shared = int(safefile::Mode::KeepOrShared);
        const auto given = int(safefile::Mode::Given);
        QTest::newRow("kept: a new file is private") << keep << false << 0600u;
        QTest::newRow("kept: a rewrite keeps 0640") << keep << true << 0640u;
        QTest::newRow("private: 0640 becomes 0600") << priv << true << 0600u;
        QTest::newRow("shared: a new file as the umask 027 lets it") << shared << false << 0640u;
        QTest::newRow("shared: a rewrite keeps 0640") << shared << true << 0640u;
        QTest::newRow("given: 0604 whatever stood there") << given << true << 0604u;
    }
    void modes()
    {
        QFETCH(int, mode);
        QFETCH(bool, exists);
        QFETCH(uint, expected);
        const mode_t oldMask = ::umask(027);
        const auto restore = qScopeGuard([&] { ::umask(oldMask); });
        const QString path = m_dir.filePath(QStringLiteral("file"));
        if (exists)
            writeBytes(path, "old", 0640);
        safefile::Options options;
        options.mode = safefile::Mode(mode);
        options.permissions =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther;
        QString error;
        QVERIFY2(safefile::replaceFile(path, "new", options, &error), qPrintable(error));
        QCOMPARE(error, QString());
        QCOMPARE(readBytes(path), QByteArray("new"));
        QCOMPARE(uint(modeOf(path)), expected);
        QCOMPARE(m_dir.entryList(QDir::Files), QStringList{QStringLiteral("file")});
    }

    // A write that cannot be finished leaves the old file whole and no
    // temporary behind; one that cannot even start names why.
    void failedReplaceKeepsTheFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("alarms.json"));
        writeBytes(path, "previous", 0600);
        safefile::Options options;
        options.fault.afterBytes = 3;
        QString error;
        QVERIFY(!safefile::replaceFile(path, "replacement", options, &error));
        QCOMPARE(error, QStringLiteral("write stopped after 3 bytes (injected fault)"));
        QCOMPARE(readBytes(path), QByteArray("previous"));
        QCOMPARE(m_dir.entryList(QDir::Files), QStringList{QStringLiteral("alarms.json")});

        error.clear();
        QVERIFY(!safefile::replaceFile(m_dir.filePath(QStringLiteral("no/such/folder/f")), "x",
                                       safefile::Options{}, &error));
        QVERIFY(!error.isEmpty());
    }

    // Catches an output or backup path that names a device node, a pipe or
    // a loop of links being replaced by a regular file (exit 0 for a write
    // that destroyed what stood there): only a regular file is replaced.
    void replacesOnlyARegularFile()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("metrics.prom"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString loop = m_dir.filePath(QStringLiteral("loop"));
        QVERIFY(QFile::link(loop, loop));
        QStringList targets = {fifo, loop, m_dir.path()};
        const QString node = m_dir.filePath(QStringLiteral("null"));
        if (::geteuid() == 0 &&
            ::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0)
            targets << node; // a character device as /dev/null is one
        for (const QString& target : std::as_const(targets)) {
            QString error;
            QVERIFY2(!safefile::replaceFile(target, "text", safefile::Options{}, &error),
                     qPrintable(target));
            QVERIFY2(error.contains(QStringLiteral("nothing was written")), qPrintable(error));
        }
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        if (targets.contains(node))
            QVERIFY(::stat(QFile::encodeName(node).constData(), &st) == 0 && S_ISCHR(st.st_mode));
        QVERIFY(QFileInfo(loop).isSymLink());
        // The backup files of many elements: the one that is a pipe is
        // refused, the others are written.
        const QStringList errors =
            configfile::writeBackups({{m_dir.filePath(QStringLiteral("a.ini")), "A"}, {fifo, "B"}});
        QCOMPARE(errors.at(0), QString());
        QVERIFY(!errors.at(1).isEmpty());
    }

    // Catches a backup file name too long for the file system (a name of
    // 300 characters edited into nms.ini): the file could not be written.
    // The name part is bounded, the section stays whole, the file is written.
    void backupFileNameFitsTheFileSystem()
    {
        const QString name = QString(300, QLatin1Char('N'));
        const QString file = configfile::backupFileName(QStringLiteral("2E8BF2000201"), name);
        QVERIFY(file.startsWith(QStringLiteral("2E8BF2000201-NNN")));
        QVERIFY(file.endsWith(QStringLiteral(".ini")));
        QVERIFY(file.size() <= 12 + 1 + configfile::kBackupNameChars + 4);
        const QStringList errors = configfile::writeBackups({{m_dir.filePath(file), "A"}});
        QCOMPARE(errors, QStringList{QString()});
        QCOMPARE(readBytes(m_dir.filePath(file)), QByteArray("A"));
    }

    // Many files at once: each is written or left as it was on its own, and
    // one that fails says so without stopping the others.
    void batchReportsEachFile()
    {
        const QString first = m_dir.filePath(QStringLiteral("a.ini"));
        const QString second = m_dir.filePath(QStringLiteral("b.ini"));
        writeBytes(second, "old b", 0644);
        const QStringList errors = configfile::writeBackups(
            {{first, "A"}, {m_dir.filePath(QStringLiteral("gone/c.ini")), "C"}, {second, "B"}});
        QCOMPARE(errors.size(), 3);
        QCOMPARE(errors.at(0), QString());
        QVERIFY(!errors.at(1).isEmpty());
        QCOMPARE(errors.at(2), QString());
        QCOMPARE(readBytes(first), QByteArray("A"));
        QCOMPARE(readBytes(second), QByteArray("B"));
        // Backups hold communities: private even where a readable file stood.
        QCOMPARE(uint(modeOf(second)), 0600u);
        QCOMPARE(m_dir.entryList(QDir::Files),
                 (QStringList{QStringLiteral("a.ini"), QStringLiteral("b.ini")}));
    }

    // A pipe, a device or a folder in place of a file is refused at once,
    // never waited on; a file beyond the bound is refused without reading it.
    void readRefusesWhatIsNoFile()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString big = m_dir.filePath(QStringLiteral("big"));
        QFile sparse(big);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(safefile::kMaxFileSize + 1));
        sparse.close();
        const QString small = m_dir.filePath(QStringLiteral("small"));
        writeBytes(small, "text");

        const QList<std::pair<QString, QString>> cases = {
            {fifo, QStringLiteral("is not a regular file")},
            {QStringLiteral("/dev/null"), QStringLiteral("is not a regular file")},
            {m_dir.path(), QStringLiteral("is a folder")},
            {big, QStringLiteral("is larger than 64 MB")},
        };
        for (const auto& [path, why] : cases) {
            QElapsedTimer clock;
            clock.start();
            QByteArray bytes("stale");
            QString error;
            QVERIFY2(!readRegularFile(path, &bytes, &error), qPrintable(path));
            QCOMPARE(error, why);
            QVERIFY(bytes.isEmpty());
            QVERIFY(clock.elapsed() < 2000);
        }
        QByteArray bytes;
        QString error;
        QVERIFY(!readRegularFile(m_dir.filePath(QStringLiteral("missing")), &bytes, &error));
        QVERIFY(error.startsWith(QStringLiteral("cannot be read (")));
        QVERIFY(readRegularFile(small, &bytes, &error));
        QCOMPARE(bytes, QByteArray("text"));
    }

    // Only our own temporaries of that file are cleaned up.
    void staleTemporariesOfOneFileOnly()
    {
        const QString path = m_dir.filePath(QStringLiteral("out.prom"));
        writeBytes(path, "metrics");
        safefile::Options killed;
        killed.fault = {2, true};
        QString error;
        QVERIFY(!safefile::replaceFile(path, "new metrics", killed, &error));
        writeBytes(m_dir.filePath(QStringLiteral("other.prom.~orvalink-tmp-abc123")), "x");
        writeBytes(m_dir.filePath(QStringLiteral("out.prom.~orvalink-tmp-abc12")), "x");
        QCOMPARE(m_dir.entryList({QStringLiteral("out.prom.*")}, QDir::Files).size(), 2);
        QCOMPARE(safefile::removeStaleTemporaries(path), 1);
        QCOMPARE(readBytes(path), QByteArray("metrics"));
        QCOMPARE(m_dir.entryList(QDir::Files).size(), 4); // the file, its lock, two foreign
    }

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_dir;
};

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
