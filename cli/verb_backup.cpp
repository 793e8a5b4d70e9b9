// backup: every parameter the probe reads, from many elements side by side
// on the multi-element engine (ConfigSweep), one file per element.

#include "Cli.h"

#include "config/ConfigSweep.h"
#include "config/ConfigTransfer.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QFileInfo>

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"all", nullptr, "every element of the database"},
    {"dir", "DIR", "the folder the files are written into (default the current folder)"},
    kEditionOption,
};

int run(const Context& ctx, const VerbArgs& args)
{
    const QStringList& macs = args.arguments();
    const bool all = args.isSet("all");
    const QString dir = args.value("dir", QStringLiteral("."));
    ChangeOptions options;
    if (!takeChangeOptions(ctx, args, &options))
        return kExitUsage;
    const QString& edition = options.edition;
    if (all == !macs.isEmpty())
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(kBackupVerb));
    if (!QFileInfo(dir).isDir())
        return usageError(ctx, printable(dir) + QStringLiteral(" is not a folder"));
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    QList<ElementEntry> elements;
    if (!selectElements(ctx, database, macs, all, &elements))
        return kExitUsage;

    ConfigSweep sweep{Timings{}};
    prepareSweep(ctx, sweep);
    const configtransfer::BackupRun backup = configtransfer::backupAll(
        sweep, database, elements, dir, QDateTime::currentDateTimeUtc(), edition);
    if (!backup.socketError.isEmpty()) {
        ctx.err << "orvalink-cli: backup: " << printable(backup.socketError) << "\n";
        return kExitSocketFailure;
    }
    int failed = 0;
    for (qsizetype i = 0; i < backup.jobs.size(); ++i) {
        const ConfigJob& job = backup.jobs.at(i);
        if (backup.failures.at(i).isEmpty()) {
            ctx.out << elementLabel(job.name, job.mac) << ": " << printable(backup.paths.at(i))
                    << "\n";
            continue;
        }
        ++failed;
        ctx.err << "orvalink-cli: backup: " << elementLabel(job.name, job.mac) << ": "
                << printable(backup.failures.at(i)) << "\n";
    }
    // The same event as the window's Export all.
    postEvent(ctx, backup.event(dir));
    return failed == 0 ? 0 : 1;
}

} // namespace

const Verb kBackupVerb{
    "backup",
    "MAC... | --all [--dir DIR] [--edition GPS|LL]",
    "Reads from each element every parameter the probe reads, many elements side by side, and "
    "writes one file per element into DIR (default the current folder), named by its section and "
    "name: the element's section as nms.ini would hold it after a probe, after comment lines with "
    "the time, the program's version, the element's name, address, role and the edition "
    "(--edition, when given). A file is written completely or not at all, readable by its owner "
    "only (it holds the communities). Exit 0 when every element was written, 1 with a line per "
    "element that was not (no reply, another element at its address, a file that cannot be "
    "written).",
    kOptions,
    0,
    -1,
    run};

} // namespace orvalink::cli
