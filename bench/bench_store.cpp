// Loading the element list from databases of 1,000 and 2,000 elements with
// 24 keys each. The file is rewritten before every timed load, so each load
// sees a changed file and pays for validating, reading and parsing it, as
// the program does after another program changed the database.
//
// Goals: 1,000 elements under 100 ms; 2,000 elements at most 2.2 times the
// 1,000-element time (the list must grow linearly with the database).
//
// Then the list of 10,000 elements from an unchanged file, as `orvalink-cli
// list` and the main window do it (one snapshot of the file for the whole
// list), against the same list read key by key (each read checks the file's
// stamps: one stat per key, four per element), with the stat calls per
// element of each. Goal: the batch at most 1/2 of the key-by-key time and
// at most one stat for the whole list.

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include "SyntheticDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include <dlfcn.h>
#include <sys/stat.h>

// Counts the program's stat() calls (the store's check of a file's stamps)
// and passes them on.
static std::atomic<long> g_statCalls{0};

extern "C" int stat(const char* path, struct stat* buf)
{
    using StatFn = int (*)(const char*, struct stat*);
    static const auto real = reinterpret_cast<StatFn>(dlsym(RTLD_NEXT, "stat"));
    ++g_statCalls;
    return real(path, buf);
}

using namespace orvalink;

namespace {

const char* const kKeys[24] = {"NAME",   "IP",     "MASK",   "GW",     "TYPE",   "MULTI",
                               "SN",     "VER",    "SFN",    "LLO",    "BUF",    "ATT",
                               "SDM",    "SDL",    "SDT",    "DLY",    "SNMPIP", "SNMPRO",
                               "SNMPRW", "SNMPNM", "SNMPGW", "SNMPDN", "SNMPTR", "ROLE"};

QByteArray makeDatabase(int elements)
{
    return orvalink::bench::syntheticDatabase(elements, kKeys);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

struct Figures {
    double medianMs = 0;
    double minMs = 0;
};

Figures summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

// One database file and the store that reads it, as the program has them.
struct Case {
    int elements = 0;
    QString path;
    QByteArray bytes;
    IniStore store;
    std::vector<double> times;

    void timeOneLoad(bool rewriteFirst)
    {
        if (rewriteFirst && !writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        QElapsedTimer t;
        t.start();
        const ElementList list = loadElementList(store, path);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
        if (list.entries.size() != elements) {
            std::fprintf(stderr, "loaded %lld elements, expected %d\n",
                         static_cast<long long>(list.entries.size()), elements);
            std::exit(1);
        }
    }
};

// Times both sizes in alternation, so that whatever else the machine does
// weighs on both alike and the ratio stays fair.
std::pair<Figures, Figures> measure(Case& small, Case& large, int rounds, bool rewriteFirst)
{
    small.timeOneLoad(true); // warm up the program, not the file
    large.timeOneLoad(true);
    small.times.clear();
    large.times.clear();
    for (int r = 0; r < rounds; ++r) {
        small.timeOneLoad(rewriteFirst);
        large.timeOneLoad(rewriteFirst);
    }
    return {summarise(small.times), summarise(large.times)};
}

// The list as it was read before snapshots: every key through a store read
// of its own, each checking the file first.
ElementList listKeyByKey(const IniStore& store, const QString& path)
{
    ElementList list;
    list.error = store.readError(path);
    const QStringList sections = store.sectionNames(path);
    list.empty = sections.isEmpty();
    for (const QString& section : sections) {
        ElementEntry e;
        e.section = section;
        e.mac = Decode_MAC(section);
        e.roleText = store.read(section, QStringLiteral("role"), path, QString());
        e.name = store.read(section, QStringLiteral("name"), path, QString());
        e.role = roleFromText(e.roleText);
        e.nodeText = e.name + QStringLiteral(" [") + e.mac + QLatin1Char(']');
        e.ip = store.read(section, QStringLiteral("ip"), path, QString());
        e.snmpIp = store.read(section, QStringLiteral("snmpip"), path, QString());
        list.entries.append(e);
    }
    return list;
}

struct ListFigures {
    Figures time;
    double statsPerElement = 0;
};

// Lists of 10,000 elements from an unchanged, already read file, the two
// ways in alternation.
void measureLists(const QString& path, int elements, int rounds)
{
    IniStore store;
    std::vector<double> batch, perKey;
    long batchStats = 0, perKeyStats = 0;
    loadElementList(store, path); // read and parse once: both time the lists only
    for (int r = 0; r < rounds; ++r) {
        for (int way = 0; way < 2; ++way) {
            const long statsBefore = g_statCalls;
            QElapsedTimer t;
            t.start();
            const ElementList list =
                way == 0 ? loadElementList(store, path) : listKeyByKey(store, path);
            const double ms = double(t.nsecsElapsed()) / 1e6;
            (way == 0 ? batch : perKey).push_back(ms);
            (way == 0 ? batchStats : perKeyStats) += g_statCalls - statsBefore;
            if (list.entries.size() != elements) {
                std::fprintf(stderr, "listed %lld elements, expected %d\n",
                             static_cast<long long>(list.entries.size()), elements);
                std::exit(1);
            }
        }
    }
    const Figures b = summarise(batch);
    const Figures k = summarise(perKey);
    const double perList = double(batchStats) / rounds;
    const double perElement = double(perKeyStats) / rounds / elements;
    std::printf("  %-44s %8.2f ms (min %.2f), %.0f stat per list\n",
                "10000 elements, one snapshot per list", b.medianMs, b.minMs, perList);
    std::printf("  %-44s %8.2f ms (min %.2f), %.2f stat per element\n",
                "10000 elements, read key by key", k.medianMs, k.minMs, perElement);
    const double ratio = b.medianMs / k.medianMs;
    std::printf("  goal snapshot/key-by-key <= 0.5:   %8.2f     %s\n", ratio,
                ratio <= 0.5 ? "met" : "MISSED");
    std::printf("  goal one stat per list:            %8.0f     %s\n", perList,
                perList <= 1.0 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const int rounds = 21;
    Case small;
    small.elements = 1000;
    small.path = dir.filePath(QStringLiteral("nms-1000.ini"));
    small.bytes = makeDatabase(small.elements);
    Case large;
    large.elements = 2000;
    large.path = dir.filePath(QStringLiteral("nms-2000.ini"));
    large.bytes = makeDatabase(large.elements);

    std::printf("bench-store: loadElementList, 24 keys per element, median of %d loads\n", rounds);
    const auto [cold1k, cold2k] = measure(small, large, rounds, true);
    const auto [warm1k, warm2k] = measure(small, large, rounds, false);

    std::printf("  %-44s %8.2f ms (min %.2f)\n", "1000 elements, file rewritten before each load",
                cold1k.medianMs, cold1k.minMs);
    std::printf("  %-44s %8.2f ms (min %.2f)\n", "2000 elements, file rewritten before each load",
                cold2k.medianMs, cold2k.minMs);
    std::printf("  %-44s %8.2f ms (min %.2f)\n", "1000 elements, unchanged file (validated)",
                warm1k.medianMs, warm1k.minMs);
    std::printf("  %-44s %8.2f ms (min %.2f)\n", "2000 elements, unchanged file (validated)",
                warm2k.medianMs, warm2k.minMs);

    const double ratio = cold2k.medianMs / cold1k.medianMs;
    const bool fastEnough = cold1k.medianMs < 100.0;
    const bool linear = ratio <= 2.2;
    std::printf("  goal 1000 elements < 100 ms:       %8.2f ms  %s\n", cold1k.medianMs,
                fastEnough ? "met" : "MISSED");
    std::printf("  goal ratio 2000/1000 <= 2.2:       %8.2f     %s\n", ratio,
                linear ? "met" : "MISSED");

    const int listElements = 10000;
    const QString listPath = dir.filePath(QStringLiteral("nms-10000.ini"));
    if (!writeFile(listPath, makeDatabase(listElements)))
        return 1;
    std::printf("bench-store: element list of an unchanged file, median of %d lists\n", rounds);
    measureLists(listPath, listElements, rounds);
    return 0;
}
