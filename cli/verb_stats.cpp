// stats: the counters of the Statistics window from a shell, for one element
// or for every element of the database at once, as text or as metrics for
// Prometheus.

#include "Cli.h"

#include "config/StatisticsSweep.h"
#include "devops/StatisticsOperation.h"
#include "monitor/PrometheusText.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"
#include "store/SafeFile.h"

#include <QElapsedTimer>

#include <algorithm>

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"all", nullptr, "every element of the database, read several at a time"},
    {"prometheus", nullptr, "the Prometheus text format"},
    {"output", "FILE",
     "with --prometheus: written to FILE whole or not at all, for node_exporter's textfile "
     "collector"},
};

void printReadings(const Context& ctx, const QList<StatisticsReading>& readings)
{
    for (const StatisticsReading& r : readings) {
        const StatisticsCounter* c = findStatisticsCounter(r.key);
        ctx.out << (c ? QLatin1String(c->caption) : QLatin1String(r.key.toLatin1())) << ' '
                << printable(r.display()) << '\n';
    }
}

bool allRead(const QList<ElementStatistics>& elements)
{
    for (const ElementStatistics& e : elements) {
        for (const StatisticsReading& r : e.readings) {
            if (r.value.isEmpty())
                return false;
        }
    }
    return true;
}

// Written whole or not at all: a collector reading the file meanwhile sees
// the previous scrape, and a file that could not be written whole (a full
// disk) leaves the previous one in place. A new file is readable as a new
// file of the user is (the collector may run as another user); a replaced
// one keeps its mode.
bool writeAtomically(const Context& ctx, const QString& path, const QString& text)
{
    safefile::Options options;
    options.mode = safefile::Mode::KeepOrShared;
    QString why;
    if (safefile::replaceFile(path, text.toUtf8(), options, &why))
        return true;
    ctx.err << "orvalink-cli: cannot write " << printable(path) << ": " << printable(why)
            << "; the previous file is kept\n";
    return false;
}

int run(const Context& ctx, const VerbArgs& args)
{
    const bool all = args.isSet("all");
    const bool prometheus = args.isSet("prometheus");
    const QString output = args.value("output");
    const QString mac = args.arguments().value(0);
    // An empty FILE would print to the terminal what was meant for a file.
    if (args.isSet("output") && output.isEmpty())
        return usageError(ctx, QStringLiteral("--output needs the path of a file"));
    if (all == !mac.isEmpty() || (!output.isEmpty() && !prometheus))
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(kStatsVerb));

    IniStore store;
    Database database(store, ctx.dbPath);
    // A database that cannot be read is no empty one: nothing is read and
    // the previous --output file stays, so that its orvalink_up series do
    // not vanish while no element is watched.
    if (!databaseUsable(ctx, database))
        return 1;
    QString unreadable;
    QList<ElementStatistics> elements = StatisticsSweep::elementsOf(database, &unreadable);
    if (!unreadable.isEmpty()) { // damaged since the look above
        ctx.err << "orvalink-cli: stats: the element database " << printable(ctx.dbPath) << ' '
                << printable(unreadable) << "\n";
        return 1;
    }
    if (!all) {
        FoundElement element;
        if (!findElement(ctx, database, mac, &element))
            return kExitUsage;
        const auto found =
            std::find_if(elements.begin(), elements.end(), [&](const ElementStatistics& e) {
                return e.section.compare(element.section, Qt::CaseInsensitive) == 0;
            });
        if (found == elements.end()) // the file changed in between
            return 1;
        elements = {*found};
    } else if (elements.isEmpty()) {
        ctx.err << "Local database is empty.\n";
    }

    QElapsedTimer clock;
    clock.start();
    if (!all) {
        // One element: exactly as the Statistics window reads it.
        SnmpTransport snmp{Timings{}};
        prepareTransport(ctx, snmp);
        StatisticsOperation statistics(snmp, database, Timings{});
        statistics.refresh(elements.first().section);
        elements.first().readings = statistics.readings();
        for (const StatisticsReading& r : statistics.readings())
            elements.first().up |= r.answered;
    } else if (!elements.isEmpty()) {
        StatisticsSweep sweep{Timings{}};
        prepareSweep(ctx, sweep);
        if (!sweep.run(elements)) {
            ctx.err << "orvalink-cli: stats: " << sweep.error() << "\n";
            return 1;
        }
    }
    const double seconds = double(clock.elapsed()) / 1000.0;

    if (prometheus) {
        const QString text = prometheusText(elements, seconds);
        if (output.isEmpty())
            ctx.out << text;
        else if (!writeAtomically(ctx, output, text))
            return 1;
    } else if (all) {
        for (const ElementStatistics& e : elements) {
            ctx.out << elementLabel(e.name, e.mac) << "\n";
            printReadings(ctx, e.readings);
        }
    } else {
        printReadings(ctx, elements.first().readings);
    }
    return allRead(elements) ? 0 : 1;
}

} // namespace

const Verb kStatsVerb{
    "stats",
    "MAC | --all [--prometheus [--output FILE]]",
    "Reads the counters the Statistics window reads (by the element's stored role and sfn) and "
    "prints one line per counter: its caption and value, \"ERROR\" for no value. With --all, "
    "every element of the database, read several at a time, each after a line \"NAME [MAC]\". "
    "--prometheus prints the Prometheus text format instead (one metric family per counter, "
    "orvalink_up per element, orvalink_scrape_duration_seconds); --output writes it to FILE in "
    "one step, for node_exporter's textfile collector (a FILE that cannot be written whole, e.g. "
    "on a full disk, keeps its previous content). Exit 0 when every counter was read and "
    "written, 1 otherwise.",
    kOptions,
    0,
    1,
    run};

} // namespace orvalink::cli
