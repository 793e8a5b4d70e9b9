// list: the elements of the database as the element tree shows them.

#include "Cli.h"

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

int run(const Context& ctx, const VerbArgs&)
{
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

} // namespace

const Verb kListVerb{
    "list",
    "",
    "Prints the elements of the database as the element tree shows them: one line per element, "
    "its name, \" [\", its MAC address and \"]\", in file order.",
    {},
    0,
    0,
    run};

} // namespace orvalink::cli
