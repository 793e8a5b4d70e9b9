// Traps under a flood: orvalink-cli traps (decoding each trap, binding it to
// its element and writing its line to a file) against net-snmp's snmptrapd
// logging to a file, each fed in turn by orvalink-sim flooding SNMPv2c
// silenceDetected traps at rising rates over loopback.
//
// Goal: at least snmptrapd's rate with nothing lost below it, and memory
// flat under a flood.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include <csignal>

namespace {

constexpr quint16 kAgentPort = 16196;
constexpr quint16 kTrapPort = 16197;
constexpr int kSeconds = 2;
const char* const kNms = "127.0.97.1";
const char* const kElement = "127.0.97.21";
const int kRates[] = {2000, 5000, 10000, 20000, 40000, 80000};

qint64 rssKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qint64 countLines(const QString& path, const QByteArray& prefix)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    qint64 n = 0;
    while (!f.atEnd()) {
        if (f.readLine().startsWith(prefix))
            ++n;
    }
    return n;
}

struct Run {
    qint64 sent = 0;
    qint64 recorded = 0;
    qint64 rssStartKb = 0;
    qint64 rssEndKb = 0;
};

// Starts `receiver`, floods it at `rate` for kSeconds, stops it and counts
// the records in `out`.
Run flood(const QString& bin, const QString& db, QProcess& receiver, const QString& out,
          const QByteArray& prefix, int rate)
{
    Run r;
    QFile::remove(out);
    receiver.start();
    receiver.waitForStarted();
    QThread::msleep(300); // bound and listening
    QProcess sim;
    sim.start(bin + QStringLiteral("/orvalink-sim"),
              {QStringLiteral("--port"), QString::number(kAgentPort), QStringLiteral("--no-remote"),
               QStringLiteral("--from-ini"), db, QStringLiteral("--trap-port"),
               QString::number(kTrapPort), QStringLiteral("--trap-version"), QStringLiteral("2c"),
               QStringLiteral("--trap-flood"), QString::number(rate),
               QStringLiteral("decoder@%1/2E:8B:F2:00:61:15").arg(QLatin1String(kElement))});
    QElapsedTimer t;
    t.start();
    QByteArray simOut;
    while (!simOut.contains("ready") && t.elapsed() < 10000) {
        sim.waitForReadyRead(50);
        simOut += sim.readAllStandardOutput();
    }
    QThread::msleep(250);
    r.rssStartKb = rssKb(receiver.processId());
    QThread::msleep(kSeconds * 1000 - 250);
    r.rssEndKb = rssKb(receiver.processId());
    ::kill(pid_t(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);
    simOut += sim.readAllStandardOutput();
    for (const QByteArray& line : simOut.split('\n')) {
        if (line.endsWith("trap(s) sent"))
            r.sent = line.split(' ').at(1).toLongLong();
    }
    QThread::msleep(500); // what is still queued
    ::kill(pid_t(receiver.processId()), SIGTERM);
    receiver.waitForFinished(10000);
    r.recorded = countLines(out, prefix);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("nms.ini"));
    QFile f(db);
    const QByteArray ini = QByteArray("[2E8BF2006115]\r\nNAME=FLOOD\r\nROLE=2\r\nSNMPIP=") +
                           kElement + "\r\nSNMPRO=morqubit\r\nSNMPTR=" + kNms + "\r\n";
    if (!f.open(QIODevice::WriteOnly) || f.write(ini) != ini.size())
        return 1;
    f.close();

    const QString ours = dir.filePath(QStringLiteral("orvalink.log"));
    const QString theirs = dir.filePath(QStringLiteral("snmptrapd.log"));
    QProcess cli;
    cli.setProgram(bin + QStringLiteral("/orvalink-cli"));
    cli.setArguments({QStringLiteral("--db"), db, QStringLiteral("--nms"),
                      QString::fromLatin1(kNms), QStringLiteral("traps"), QStringLiteral("--port"),
                      QString::number(kTrapPort)});
    cli.setStandardOutputFile(ours);
    cli.setStandardErrorFile(QProcess::nullDevice());

    const QString snmptrapd = QStandardPaths::findExecutable(
        QStringLiteral("snmptrapd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    QProcess net;
    const QString conf = dir.filePath(QStringLiteral("traps.conf"));
    {
        QFile c(conf);
        if (!c.open(QIODevice::WriteOnly))
            return 1;
        c.write("authCommunity log morqubit\n");
    }
    net.setProgram(snmptrapd);
    // In the foreground, this configuration only, numeric OIDs, no name
    // look-ups, one line per trap to the file.
    net.setArguments({QStringLiteral("-f"), QStringLiteral("-C"), QStringLiteral("-c"), conf,
                      QStringLiteral("-n"), QStringLiteral("-On"), QStringLiteral("-Lf"), theirs,
                      QStringLiteral("-F"), QStringLiteral("TRAP %B %v\\n"), QStringLiteral("-p"),
                      dir.filePath(QStringLiteral("snmptrapd.pid")),
                      QStringLiteral("udp:%1:%2").arg(QLatin1String(kNms)).arg(kTrapPort)});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Its state (written at exit) away from the configuration above.
    QDir(dir.path()).mkdir(QStringLiteral("state"));
    env.insert(QStringLiteral("SNMP_PERSISTENT_DIR"), dir.filePath(QStringLiteral("state")));
    net.setProcessEnvironment(env);
    net.setStandardOutputFile(QProcess::nullDevice());
    net.setStandardErrorFile(QProcess::nullDevice());

    std::printf("flood of SNMPv2c traps from orvalink-sim for %d s each; recorded / sent\n",
                kSeconds);
    std::printf("%10s %22s %22s %18s\n", "rate/s", "orvalink-cli traps", "snmptrapd",
                "cli VmRSS kB");
    int ourBest = 0, theirBest = 0;
    qint64 ourPeak = 0, theirPeak = 0; // most records of one run
    bool ourClean = true, theirClean = true, flat = true;
    for (const int rate : kRates) {
        const Run a = flood(bin, db, cli, ours, QByteArray("127.0.97.21:"), rate);
        Run b;
        if (!snmptrapd.isEmpty())
            b = flood(bin, db, net, theirs, QByteArray("TRAP "), rate);
        ourClean = ourClean && a.sent > 0 && a.recorded == a.sent;
        if (ourClean)
            ourBest = rate;
        theirClean = theirClean && b.sent > 0 && b.recorded == b.sent;
        if (theirClean)
            theirBest = rate;
        ourPeak = qMax(ourPeak, a.recorded);
        theirPeak = qMax(theirPeak, b.recorded);
        // Flat: no more than 2 MB of growth over a flood.
        flat = flat && a.rssEndKb - a.rssStartKb < 2048;
        std::printf("%10d %10lld / %-10lld %10lld / %-10lld %8lld -> %lld\n", rate,
                    qint64(a.recorded), qint64(a.sent), qint64(b.recorded), qint64(b.sent),
                    a.rssStartKb, a.rssEndKb);
        std::fflush(stdout);
    }
    if (snmptrapd.isEmpty()) {
        std::printf("snmptrapd is not installed (Debian package snmptrapd): no baseline\n");
        return 0;
    }
    std::printf("highest rate without loss: orvalink-cli traps %d/s, snmptrapd %d/s\n", ourBest,
                theirBest);
    std::printf("most recorded per second: orvalink-cli traps %lld/s, snmptrapd %lld/s (ratio "
                "%.2f)\n",
                ourPeak / kSeconds, theirPeak / kSeconds,
                theirPeak ? double(ourPeak) / double(theirPeak) : 0.0);
    std::printf("ratio orvalink / snmptrapd: %.2f (goal >= 1) %s; memory %s\n",
                theirBest ? double(ourBest) / theirBest : 0.0,
                ourBest >= theirBest ? "ok" : "MISSED", flat ? "flat" : "GROWING");
    return ourBest >= theirBest && flat ? 0 : 1;
}
