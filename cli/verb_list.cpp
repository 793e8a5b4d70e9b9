#include "Cli.h"

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QFile>
#include <QFileInfo>

namespace orvalink::cli {

int verbList(const Context& ctx, const QStringList& args)
{
    if (!args.isEmpty()) {
        ctx.err << "orvalink-cli: list takes no arguments (see --help)\n";
        return 2;
    }
    // A database that exists but cannot be read is an error, not an empty list.
    const QFileInfo info(ctx.dbPath);
    if (info.exists()) {
        QFile f(ctx.dbPath);
        if (info.isDir() || !f.open(QIODevice::ReadOnly)) {
            ctx.err << "orvalink-cli: cannot read the element database " << ctx.dbPath << ": "
                    << (info.isDir() ? QStringLiteral("it is a folder") : f.errorString()) << "\n";
            return 1;
        }
    }

    IniStore store;
    const ElementList list = loadElementList(store, ctx.dbPath);
    if (list.empty) {
        ctx.err << "Local database is empty.\n"
                << "No elements in " << ctx.dbPath
                << ". Add one with the desktop program's 'Add New Element' button, or name "
                   "another database with --db PATH.\n";
        return 0;
    }
    for (const ElementEntry& e : list.entries)
        ctx.out << e.nodeText << '\n';
    return 0;
}

} // namespace orvalink::cli
