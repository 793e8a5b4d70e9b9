// `orvalink-cli list` against an awk one-liner that prints the same list
// from the same file (Debian's default awk, mawk, where there is one), run
// in alternation, each as a program of its own started the same way.
//
// Goals: the list of 10,000 elements at most 1.2 times the awk time
// (medians), and the list of a database near the largest the store reads
// (190,000 elements, about 60 MB) with a peak memory of at most 3 times the
// file.

#include "SyntheticDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

// Prints NAME [MA:C0:...] for each section of an nms.ini with CRLF lines
// and NAME= keys, in file order: what `list` prints.
const char* const kAwkList =
    R"(BEGIN{RS="\r\n"} /^\[/{ if (sec!="") print name " [" mac "]"; sec=substr($0,2,length($0)-2); mac=""; for(i=1;i<=12;i+=2) mac=mac (i>1?":":"") substr(sec,i,2); name=""; next} /^NAME=/{name=substr($0,6); sub(/ +$/,"",name)} END{ if (sec!="") print name " [" mac "]"})";

const char* const kKeys[] = {"NAME", "IP",  "MASK", "GW",  "TYPE", "MULTI", "SN",     "VER",
                             "SFN",  "LLO", "BUF",  "ATT", "SDM",  "SDL",   "SNMPIP", "ROLE"};

QByteArray makeDatabase(int elements)
{
    return orvalink::bench::syntheticDatabase(elements, kKeys);
}

struct Run {
    double ms = 0;
    long peakKb = 0;
    bool ok = false;
};

// Starts argv with its output into outPath, waits for it: wall time, peak
// resident memory and whether it ended with exit code 0.
Run runProgram(const std::vector<QByteArray>& args, const char* outPath)
{
    std::vector<char*> argv;
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    Run run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            clock_gettime(CLOCK_MONOTONIC, &end);
            run.ms =
                double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
            run.peakKb = usage.ru_maxrss;
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QString awk = QStandardPaths::findExecutable(QStringLiteral("mawk"));
    if (awk.isEmpty())
        awk = QStandardPaths::findExecutable(QStringLiteral("awk"));
    const QByteArray cli =
        QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-cli"));
    if (awk.isEmpty() || !QFile::exists(QFile::decodeName(cli))) {
        std::fprintf(stderr, "bench-list: needs awk and %s\n", cli.constData());
        return 1;
    }
    const QByteArray awkOut = QFile::encodeName(dir.filePath(QStringLiteral("awk.out")));
    const QByteArray cliOut = QFile::encodeName(dir.filePath(QStringLiteral("cli.out")));
    const auto measure = [&](int elements, int rounds, double* awkMs, double* cliMs, long* peakKb,
                             qint64* fileBytes) {
        const QString db = dir.filePath(QStringLiteral("nms-%1.ini").arg(elements));
        const QByteArray bytes = makeDatabase(elements);
        *fileBytes = bytes.size();
        QFile f(db);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
        f.close();
        const std::vector<QByteArray> awkArgs = {QFile::encodeName(awk), kAwkList,
                                                 QFile::encodeName(db)};
        const std::vector<QByteArray> cliArgs = {cli, "--db", QFile::encodeName(db), "list"};
        // Once each to warm the caches, and to see that both print the same.
        if (!runProgram(awkArgs, awkOut).ok || !runProgram(cliArgs, cliOut).ok ||
            contentOf(QFile::decodeName(awkOut)) != contentOf(QFile::decodeName(cliOut))) {
            std::fprintf(stderr, "bench-list: awk and list differ for %d elements\n", elements);
            return false;
        }
        std::vector<double> a, c;
        *peakKb = 0;
        for (int r = 0; r < rounds; ++r) {
            a.push_back(runProgram(awkArgs, "/dev/null").ms);
            const Run run = runProgram(cliArgs, "/dev/null");
            c.push_back(run.ms);
            *peakKb = std::max(*peakKb, run.peakKb);
        }
        *awkMs = median(a);
        *cliMs = median(c);
        return true;
    };

    std::printf("bench-list: orvalink-cli list against %s, medians of interleaved runs\n",
                qPrintable(awk));
    double awk10k = 0, cli10k = 0, awkBig = 0, cliBig = 0;
    long peak10k = 0, peakBig = 0;
    qint64 file10k = 0, fileBig = 0;
    if (!measure(10000, 21, &awk10k, &cli10k, &peak10k, &file10k) ||
        !measure(190000, 5, &awkBig, &cliBig, &peakBig, &fileBig))
        return 1;
    const double ratio = cli10k / awk10k;
    const double memory = double(peakBig) * 1024 / double(fileBig);
    std::printf("  %-38s awk %7.1f ms  list %7.1f ms  peak %6.1f MB\n", "10000 elements", awk10k,
                cli10k, double(peak10k) / 1024);
    std::printf("  %-38s awk %7.1f ms  list %7.1f ms  peak %6.1f MB (file %.1f MB)\n",
                "190000 elements", awkBig, cliBig, double(peakBig) / 1024,
                double(fileBig) / (1024 * 1024));
    std::printf("  goal list/awk (10000) <= 1.2:       %8.2f     %s\n", ratio,
                ratio <= 1.2 ? "met" : "MISSED");
    std::printf("  goal peak/file (190000) <= 3:       %8.2f     %s\n", memory,
                memory <= 3.0 ? "met" : "MISSED");
    return 0;
}
