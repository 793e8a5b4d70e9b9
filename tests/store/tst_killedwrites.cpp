// The database under several processes at once (tst_store_iniwriter does
// the other process's writes):
// - a program killed at any moment of a rewrite leaves either the old or the
//   new file, whole: never a torn or half-written one;
// - writers in several processes lose none of each other's keys;
// - a write lock held too long fails the write, cleanly; one held by a
//   killed program blocks nobody.

#include "store/IniStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <memory>
#include <vector>

using namespace orvalink;

namespace {

QString writerProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tst_store_iniwriter");
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestKilledWrites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A write killed halfway.
    void everyKillLeavesAWholeFile()
    {
        const QString writer = writerProgram();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        // A complete starting state: N=0..49 in S0..S49.
        {
            IniStore store;
            const QString fill(200, QLatin1Char('x'));
            for (int i = 0; i < 50; ++i) {
                store.write(QStringLiteral("S%1").arg(i), QStringLiteral("N"), QString::number(i),
                            path);
                store.write(QStringLiteral("S%1").arg(i), QStringLiteral("FILL"), fill, path);
            }
        }
        auto* rng = QRandomGenerator::global();
        qint64 next = 50;
        for (int kill = 0; kill < 200; ++kill) {
            QProcess p;
            p.start(writer, {path, QString::number(next)});
            QVERIFY(p.waitForReadyRead(10000));
            QTest::qWait(int(rng->bounded(1, 25)));
            p.kill(); // SIGKILL
            QVERIFY(p.waitForFinished(10000));

            // The state after write w holds, in S<k>, the last i <= w with
            // i mod 50 == k: fifty consecutive numbers, one per section.
            IniStore reader;
            const QStringList sections = reader.sectionNames(path);
            QCOMPARE(sections.size(), 50);
            qint64 low = -1, high = -1;
            for (const QString& s : sections) {
                const qint64 n = reader.read(s, QStringLiteral("N"), path, QString()).toLongLong();
                QCOMPARE(reader.read(s, QStringLiteral("FILL"), path, QString()).size(), 200);
                QCOMPARE(QStringLiteral("S%1").arg(n % 50), s);
                low = low < 0 ? n : qMin(low, n);
                high = qMax(high, n);
            }
            QVERIFY2(high - low == 49,
                     qPrintable(
                         QStringLiteral("kill %1: N from %2 to %3").arg(kill).arg(low).arg(high)));
            next = high + 1;
        }
    }

    // Catches a rewrite that starts from a file another process has replaced
    // since it was read (its keys vanish), and a write that trusts a kept
    // copy instead of reading the file again under the lock.
    void concurrentWritersLoseNoKey()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        constexpr int kWriters = 6;
        constexpr int kKeys = 60;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(writerProgram(),
                                  {path, QStringLiteral("--keys"), QStringLiteral("W%1").arg(w),
                                   QString::number(kKeys)});
        }
        for (auto& p : writers) {
            QVERIFY(p->waitForFinished(60000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        IniStore reader;
        for (int w = 0; w < kWriters; ++w)
            QCOMPARE(reader.sectionKeyCount(QStringLiteral("W%1").arg(w), path), kKeys);
    }

    // Catches a writer that waits without end for a lock, writes without it,
    // or reports success; and a lock that outlives its killed holder.
    void heldLockFailsTheWriteKilledHolderFreesIt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        IniStore store;
        QVERIFY(store.write(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("1"), path));
        const QByteArray before = readBytes(path);

        QProcess holder;
        holder.start(writerProgram(), {path, QStringLiteral("--hold")});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAllStandardOutput(), QByteArray("locked\n"));

        store.setLockTimeout(300);
        QElapsedTimer t;
        t.start();
        QVERIFY(!store.write(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), path));
        QVERIFY2(t.elapsed() >= 250 && t.elapsed() < 3000,
                 qPrintable(QString::number(t.elapsed())));
        QVERIFY2(store.lastError().contains(QStringLiteral("locked by another program")),
                 qPrintable(store.lastError()));
        QCOMPARE(readBytes(path), before);

        holder.kill(); // SIGKILL: no chance to let go itself
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY(store.write(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("3"), path));
        QCOMPARE(store.read(QStringLiteral("S"), QStringLiteral("K"), path, QString()),
                 QStringLiteral("3"));
        // The lock file stays (no stale-lock clean-up), private to its owner.
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path + QStringLiteral(".lock")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
    }
};

QTEST_GUILESS_MAIN(TestKilledWrites)
#include "tst_killedwrites.moc"
