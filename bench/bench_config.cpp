// orvalink-cli's configuration verbs against orvalink-sim on loopback:
//
//  - bulk apply of two changes to 40 decoders against the same apply to one
//    decoder (goal: at most 1.3 times; one after the other would be 40);
//  - backup --all and diff --all of 500 elements against stats --all of the
//    same 500 (goal: at most 2 times).
//
// The spacing of SETs is 1000 ms here instead of the devices' 6000 ms, so
// that a run takes seconds; the ratio is what counts.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr quint16 kAgentPort = 16197;
const QString kNms = QStringLiteral("127.0.135.250");
constexpr int kElements = 500;
constexpr int kDecoders = 40;

QString host(int i)
{
    // 127.0.132.1 .. 127.0.132.250, 127.0.133.1 .. : 250 a block.
    return QStringLiteral("127.0.%1.%2").arg(132 + (i - 1) / 250).arg((i - 1) % 250 + 1);
}
QString sectionOf(const QString& address)
{
    const QStringList o = address.split(QLatin1Char('.'));
    QString s = QStringLiteral("2E8BF2");
    for (int k = 1; k < 4; ++k)
        s += QStringLiteral("%1").arg(o.at(k).toInt(), 2, 16, QLatin1Char('0')).toUpper();
    return s;
}
QByteArray sectionText(const QString& address, int role)
{
    return QStringLiteral("[%1]\r\nNAME=E %2\r\nROLE=%3\r\nSNMPIP=%2\r\nSNMPRO=morqubit\r\n"
                          "SNMPRW=kestrvla\r\nATT=200\r\nSDL=60\r\nTX=0\r\n")
        .arg(sectionOf(address), address)
        .arg(role)
        .toLatin1();
}

bool startSim(QProcess& sim, const QStringList& args)
{
    sim.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-sim"));
    sim.setArguments(args);
    sim.start();
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("orvalink-sim: ready") && t.elapsed() < 10000 &&
           sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(50);
        out += sim.readAllStandardOutput();
    }
    return out.contains("orvalink-sim: ready");
}

// Milliseconds of one orvalink-cli run; -1 when it failed to run.
qint64 cliMs(const QString& db, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-cli"),
            QStringList{QStringLiteral("--db"), db, QStringLiteral("--nms"), kNms,
                        QStringLiteral("--port"), QString::number(kAgentPort)} +
                args);
    if (!p.waitForFinished(300000))
        return -1;
    if (exitCode)
        *exitCode = p.exitCode();
    return t.elapsed();
}

qint64 medianMs(const QString& db, const QStringList& args, int runs)
{
    std::vector<qint64> v;
    for (int i = 0; i < runs; ++i)
        v.push_back(cliMs(db, args));
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList args{QStringLiteral("--port"), QString::number(kAgentPort)};
    QByteArray many;
    for (int i = 1; i <= kElements; ++i) {
        const bool decoder = i % 2 == 0;
        args << (decoder ? QStringLiteral("decoder@") : QStringLiteral("encoder@")) + host(i);
        many += sectionText(host(i), decoder ? 2 : 1);
    }
    QByteArray decoders;
    for (int i = 1; i <= kDecoders; ++i) {
        const QString a = QStringLiteral("127.0.134.%1").arg(i);
        args << QStringLiteral("decoder@") + a;
        decoders += sectionText(a, 2);
    }
    QProcess sim;
    if (!startSim(sim, args)) {
        std::fprintf(stderr, "bench-config: the simulator did not start\n");
        return 1;
    }

    // Bulk apply: one decoder, then forty, each with two changes.
    const QStringList apply = {QStringLiteral("apply"),        QStringLiteral("--where"),
                               QStringLiteral("role=decoder"), QStringLiteral("att=150"),
                               QStringLiteral("sdl=50"),       QStringLiteral("--yes"),
                               QStringLiteral("--spacing-ms"), QStringLiteral("1000")};
    const QString oneDb = dir.filePath(QStringLiteral("one.ini"));
    const QString fortyDb = dir.filePath(QStringLiteral("forty.ini"));
    writeFile(oneDb, sectionText(QStringLiteral("127.0.134.1"), 2));
    writeFile(fortyDb, decoders);
    int oneExit = -1;
    int fortyExit = -1;
    const qint64 one = cliMs(oneDb, apply, &oneExit);
    const qint64 forty = cliMs(fortyDb, apply, &fortyExit);
    std::printf("bulk apply, two changes, 1000 ms spacing: one decoder %lld ms (exit %d), "
                "%d decoders %lld ms (exit %d), ratio %.2f (goal <= 1.3; one after the other "
                "would be %d)\n",
                static_cast<long long>(one), oneExit, kDecoders, static_cast<long long>(forty),
                fortyExit, double(forty) / double(qMax<qint64>(1, one)), kDecoders);

    // 500 elements: stats --all as the baseline.
    const QString manyDb = dir.filePath(QStringLiteral("many.ini"));
    writeFile(manyDb, many);
    const QString backups = dir.filePath(QStringLiteral("backups"));
    QDir().mkpath(backups);
    const qint64 stats = medianMs(manyDb, {QStringLiteral("stats"), QStringLiteral("--all")}, 3);
    const qint64 backup = medianMs(
        manyDb,
        {QStringLiteral("backup"), QStringLiteral("--all"), QStringLiteral("--dir"), backups}, 3);
    const qint64 diff = medianMs(manyDb, {QStringLiteral("diff"), QStringLiteral("--all")}, 3);
    std::printf("%d elements: stats --all %lld ms, backup --all %lld ms (ratio %.2f), diff "
                "--all %lld ms (ratio %.2f); goal <= 2\n",
                kElements, static_cast<long long>(stats), static_cast<long long>(backup),
                double(backup) / double(qMax<qint64>(1, stats)), static_cast<long long>(diff),
                double(diff) / double(qMax<qint64>(1, stats)));
    std::printf("backup files written: %lld\n",
                static_cast<long long>(QDir(backups).entryList(QDir::Files).size()));
    sim.kill();
    sim.waitForFinished();
    return 0;
}
