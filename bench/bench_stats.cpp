// orvalink-cli stats --all against one orvalink-sim serving 200 elements on
// loopback, 20 of which never answer, against reading the same elements one
// after the other as the Statistics window does (measured on a sample of the
// answering elements and one silent one, and scaled to the 200).
//
// Goal: stats --all over the 200 elements in under 5 s.

#include "devops/StatisticsOperation.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace orvalink;

namespace {

constexpr int kElements = 200;
constexpr int kSilent = 20;
constexpr int kSample = 20;
constexpr quint16 kAgentPort = 16195;
const char* const kNms = "127.0.96.1";

QString host(int i)
{
    // 127.0.95.1 .. 127.0.95.200
    return QStringLiteral("127.0.95.%1").arg(i);
}
bool silent(int i)
{
    return i > kElements - kSilent;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("nms.ini"));

    QStringList args{QStringLiteral("--port"), QString::number(kAgentPort)};
    QByteArray ini;
    for (int i = 1; i <= kElements; ++i) {
        const bool decoder = i % 2 == 0;
        args << (decoder ? QStringLiteral("decoder@") : QStringLiteral("encoder@")) + host(i);
        if (silent(i))
            args << QStringLiteral("--silent") << host(i);
        ini += QStringLiteral("[2E8BF2005F%1]\r\nNAME=ELEMENT %2\r\nROLE=%3\r\nSFN=%4\r\n"
                              "SNMPIP=%5\r\nSNMPRO=morqubit\r\n")
                   .arg(QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper())
                   .arg(i)
                   .arg(decoder ? 2 : 1)
                   .arg(i % 4 == 0 ? 1 : 0)
                   .arg(host(i))
                   .toLatin1();
    }
    QFile f(db);
    if (!f.open(QIODevice::WriteOnly) || f.write(ini) != ini.size())
        return 1;
    f.close();

    QProcess sim;
    sim.setProgram(bin + QStringLiteral("/orvalink-sim"));
    sim.setArguments(args);
    sim.start();
    QElapsedTimer wait;
    wait.start();
    QByteArray out;
    while (!out.contains("orvalink-sim: ready") && wait.elapsed() < 10000 &&
           sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(50);
        out += sim.readAllStandardOutput();
    }
    if (!out.contains("orvalink-sim: ready")) {
        std::fprintf(stderr, "bench-stats: orvalink-sim did not start\n");
        return 1;
    }

    // stats --all, the whole program as cron would run it.
    QProcess cli;
    QElapsedTimer t;
    t.start();
    cli.start(bin + QStringLiteral("/orvalink-cli"),
              {QStringLiteral("--db"), db, QStringLiteral("--nms"), QString::fromLatin1(kNms),
               QStringLiteral("--port"), QString::number(kAgentPort), QStringLiteral("stats"),
               QStringLiteral("--all"), QStringLiteral("--prometheus")});
    cli.waitForFinished(120000);
    const double allMs = double(t.elapsed());
    const QByteArray metrics = cli.readAllStandardOutput();
    int upCount = 0, downCount = 0;
    for (const QByteArray& line : metrics.split('\n')) {
        if (line.startsWith("orvalink_up{"))
            (line.endsWith(" 1") ? upCount : downCount)++;
    }

    // One after the other: a sample of answering elements and one silent.
    IniStore store;
    Database database(store, db);
    SnmpTransport snmp{Timings{}};
    snmp.setLocalAddress(QString::fromLatin1(kNms));
    snmp.setPorts(2979, kAgentPort);
    StatisticsOperation statistics(snmp, database, Timings{});
    t.restart();
    for (int i = 1; i <= kSample; ++i)
        statistics.refresh(
            QStringLiteral("2E8BF2005F%1").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    const double perLiveMs = double(t.elapsed()) / kSample;
    t.restart();
    statistics.refresh(
        QStringLiteral("2E8BF2005F%1").arg(kElements, 2, 16, QLatin1Char('0')).toUpper());
    const double perSilentMs = double(t.elapsed());
    const double sequentialMs = perLiveMs * (kElements - kSilent) + perSilentMs * kSilent;

    sim.kill();
    sim.waitForFinished();

    std::printf("stats --all, %d elements (%d silent): %8.0f ms (goal < 5000 ms) %s\n", kElements,
                kSilent, allMs, allMs < 5000 ? "ok" : "MISSED");
    std::printf("  elements up / down in the metrics:  %d / %d\n", upCount, downCount);
    std::printf("one after the other, scaled from %d answering and 1 silent: %8.0f ms\n", kSample,
                sequentialMs);
    std::printf("ratio one-after-the-other / stats --all:  %8.1f\n", sequentialMs / allMs);
    return allMs < 5000 && cli.exitCode() == 1 && upCount == kElements - kSilent ? 0 : 1;
}
