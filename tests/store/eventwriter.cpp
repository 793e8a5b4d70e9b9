// Test helper: appends COUNT events to the event log at PATH as writer ID,
// event i named "ID i" with a long cause, as fast as it can. Limits may be
// given as MAX_BYTES and ROTATED. Exits 1 when an append failed.

#include "store/EventLog.h"

#include <QCoreApplication>

#include <cstdio>

using namespace orvalink;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    EventLog::Limits limits;
    limits.lockTimeoutMs = 10000;
    if (argc >= 6) {
        limits.maxBytes = QByteArray(argv[4]).toLongLong();
        limits.rotatedFiles = QByteArray(argv[5]).toInt();
    }
    EventLog log(QString::fromLocal8Bit(argv[1]), limits);
    const QString id = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    const QString cause(300, QLatin1Char('c'));
    for (int i = 0; i < count; ++i) {
        Event e;
        e.operation = QStringLiteral("set");
        e.outcome = QStringLiteral("ok");
        e.name = QStringLiteral("%1 %2").arg(id).arg(i);
        e.cause = cause;
        if (!log.append(e)) {
            std::fprintf(stderr, "%s\n", qPrintable(log.lastError()));
            return 1;
        }
    }
    return 0;
}
