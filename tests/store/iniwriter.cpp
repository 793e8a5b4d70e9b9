// Test helper: rewrites the database at argv[1] through the store without
// end, one key per write, until it is killed. Write i sets N=i in section
// S<i mod 50>; every section also holds a long FILL value, so that each
// rewrite is a file of some 15 KB. Prints "writing" once it has started.

#include "store/IniStore.h"

#include <QCoreApplication>

#include <cstdio>

using namespace orvalink;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    qint64 i = QByteArray(argv[2]).toLongLong();
    IniStore store;
    const QString fill(200, QLatin1Char('x'));
    std::fputs("writing\n", stdout);
    std::fflush(stdout);
    for (;; ++i) {
        const QString section = QStringLiteral("S%1").arg(i % 50);
        store.write(section, QStringLiteral("N"), QString::number(i), path);
        store.write(section, QStringLiteral("FILL"), fill, path);
    }
}
