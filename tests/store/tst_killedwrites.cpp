// A program killed at any moment of a database rewrite leaves either the
// old or the new file, whole: never a torn or half-written one. A writer
// process rewrites nms.ini in a loop and is killed with SIGKILL at random
// moments, 200 times; after each kill the file must be a complete state of
// the write sequence.

#include "store/IniStore.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink;

class TestKilledWrites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyKillLeavesAWholeFile()
    {
        const QString writer =
            QCoreApplication::applicationDirPath() + QStringLiteral("/tst_store_iniwriter");
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
};

QTEST_GUILESS_MAIN(TestKilledWrites)
#include "tst_killedwrites.moc"
