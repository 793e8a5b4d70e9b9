// discover: the remote protocol's Auto Discovery from a shell, through the
// same core classes as the main window.

#include "Cli.h"
#include "InterruptGuard.h"
#include "RemoteSetup.h"

#include "core/Text.h"
#include "remote/DiscoveryOperation.h"
#include "store/ElementDatabase.h"

namespace orvalink::cli {

namespace {

int run(const Context& ctx, const VerbArgs&)
{
    RemoteSetup r(ctx);
    DiscoveryOperation discovery(r.protocol, r.timings);
    int interruptedBy = 0;
    // Ctrl-C or a TERM signal ends the discovery; it puts the previous
    // database back before the program ends.
    InterruptGuard guard([&](int signal) {
        if (interruptedBy == 0)
            interruptedBy = signal;
        discovery.cancel();
    });
    ctx.out << "Paging the network from " << printable(ctx.nmsAddress) << " for "
            << r.timings.pagingMs << " ms; the previous database is kept as "
            << printable(DiscoveryOperation::backupPath(ctx.dbPath)) << "\n";
    ctx.out.flush();
    const DiscoveryOperation::Result result = discovery.runBlocking();
    Event event;
    event.operation = QStringLiteral("discover");
    event.host = trimBlanks(ctx.nmsAddress);
    if (result != DiscoveryOperation::Result::Found) {
        // The cause was told on standard error.
        const bool cancelled = result == DiscoveryOperation::Result::Cancelled;
        postOutcome(ctx, event, cancelled ? QStringLiteral("cancelled") : QStringLiteral("failed"),
                    cancelled ? QStringLiteral("interrupted; the previous database is back")
                    : result == DiscoveryOperation::Result::NoAnswer
                        ? QStringLiteral("no element answered; the previous database is back")
                        : r.prompt.lastText());
        return interruptedBy != 0 ? 128 + interruptedBy : 1;
    }
    const ElementList list = loadElementList(r.store, ctx.dbPath);
    for (const ElementEntry& e : list.entries)
        ctx.out << printable(e.nodeText) << "\n";
    ctx.out << list.entries.size() << " element(s) found.\n";
    postOutcome(ctx, event,
                list.entries.isEmpty() ? QStringLiteral("failed") : QStringLiteral("ok"),
                QStringLiteral("%1 element(s) found").arg(list.entries.size()));
    return list.entries.isEmpty() ? 1 : 0;
}

} // namespace

const Verb kDiscoverVerb{
    "discover",
    "",
    "Auto Discovery: keeps the database as PATH.bak, empties it, broadcasts the paging request "
    "from port 2976 of the NMS address (--nms) and writes the section of every element that "
    "answers within 3 s (--wait), then prints the new list. When no element is stored, an element "
    "cannot be stored, or the run is interrupted (Ctrl-C, TERM), the previous database is put "
    "back. Exit 0 when at least one element was found, 1 otherwise, 128 + the signal's number "
    "when interrupted.",
    {},
    0,
    0,
    run};

} // namespace orvalink::cli
