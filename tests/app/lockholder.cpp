// Test helper: holds the instance lock at argv[1] like a running program
// would, prints "locked" once it has it, and keeps it until stdin closes or
// the process is killed.

#include <QCoreApplication>
#include <QLockFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QLockFile lock(QString::fromLocal8Bit(argv[1]));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return 1;
    std::fputs("locked\n", stdout);
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}
