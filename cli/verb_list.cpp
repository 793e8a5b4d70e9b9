#include "Cli.h"

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

int verbList(const Context& ctx, const QStringList& args)
{
    if (!args.isEmpty()) {
        ctx.err << "orvalink-cli: list takes no arguments (see --help)\n";
        return 2;
    }
    IniStore store;
    // Printed as it is read: a large database costs its file, not a copy
    // of its list as well.
    const ElementList list = visitElementList(
        store, ctx.dbPath, [&](ElementEntry& e) { ctx.out << printable(e.nodeText) << '\n'; });
    // A database that exists but cannot be read is an error, not an empty list.
    if (!list.error.isEmpty()) {
        ctx.err << "orvalink-cli: the element database " << printable(ctx.dbPath) << ' '
                << list.error << "\n";
        return 1;
    }
    if (list.empty) {
        ctx.err << "Local database is empty.\n"
                << "No elements in " << ctx.dbPath
                << ". Add one with the desktop program's 'Add New Element' button, or name "
                   "another database with --db PATH.\n";
        return 0;
    }
    return 0;
}

} // namespace orvalink::cli
