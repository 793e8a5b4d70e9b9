// Test helper: writes the database at argv[1] through the store from
// another process.
//
//   PATH N          rewrites it without end, one key per write, until it is
//                   killed. Write i sets N=i in section S<i mod 50>; every
//                   section also holds a long FILL value, so that each
//                   rewrite is a file of some 15 KB. Prints "writing" once
//                   it has started.
//   PATH --keys S C writes keys K0..K<C-1> of section S, one write each;
//                   exit 0 when every write succeeded, else 1 with the cause.
//   PATH --hold     takes the database's write lock, prints "locked" and
//                   keeps it until it is killed.

#include "store/FileLock.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace orvalink;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode(argv[2]);
    IniStore store;
    if (mode == "--hold") {
        const FileLock lock(FileLock::lockPathFor(path));
        std::fputs(lock.isLocked() ? "locked\n" : "not locked\n", stdout);
        std::fflush(stdout);
        for (;;)
            QThread::sleep(60);
    }
    if (mode == "--keys" && argc == 5) {
        const QString section = QString::fromLocal8Bit(argv[3]);
        const int count = QByteArray(argv[4]).toInt();
        for (int k = 0; k < count; ++k) {
            if (!store.write(section, QStringLiteral("K%1").arg(k), QString::number(k), path)) {
                std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
                return 1;
            }
        }
        return 0;
    }
    qint64 i = mode.toLongLong();
    const QString fill(200, QLatin1Char('x'));
    std::fputs("writing\n", stdout);
    std::fflush(stdout);
    for (;; ++i) {
        const QString section = QStringLiteral("S%1").arg(i % 50);
        store.write(section, QStringLiteral("N"), QString::number(i), path);
        store.write(section, QStringLiteral("FILL"), fill, path);
    }
}
