// Loading the element list from databases of 1,000 and 2,000 elements with
// 24 keys each. The file is rewritten before every timed load, so each load
// sees a changed file and pays for validating, reading and parsing it, as
// the program does after another program changed the database.
//
// Goals: 1,000 elements under 100 ms; 2,000 elements at most 2.2 times the
// 1,000-element time (the list must grow linearly with the database).

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace orvalink;

namespace {

const char* const kKeys[24] = {"NAME",   "IP",     "MASK",   "GW",     "TYPE",   "MULTI",
                               "SN",     "VER",    "SFN",    "LLO",    "BUF",    "ATT",
                               "SDM",    "SDL",    "SDT",    "DLY",    "SNMPIP", "SNMPRO",
                               "SNMPRW", "SNMPNM", "SNMPGW", "SNMPDN", "SNMPTR", "ROLE"};

QByteArray makeDatabase(int elements)
{
    QByteArray file;
    file.reserve(elements * 400);
    for (int i = 0; i < elements; ++i) {
        file += '[' + QByteArray::number(0x2E8BF2000000LL + i, 16).toUpper() + "]\r\n";
        for (const char* key : kKeys) {
            file += key;
            file += '=';
            if (qstrcmp(key, "NAME") == 0)
                file += QByteArray("ELEMENT ") + QByteArray::number(i).leftJustified(8, ' ');
            else if (qstrcmp(key, "ROLE") == 0)
                file += (i % 2) ? "1" : "2";
            else
                file += "10.20." + QByteArray::number(i / 250) + '.' + QByteArray::number(i % 250);
            file += "\r\n";
        }
    }
    return file;
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
    return 0;
}
