#include "RemoteSetup.h"

namespace orvalink::cli {

RemoteSetup::RemoteSetup(const Context& ctx)
    : database(store, ctx.dbPath), prompt(ctx.err, false), timings(timingsFor(ctx)),
      resolver(ctx.nmsAddress), protocol(endpoint, database, prompt, resolver, timings)
{
    endpoint.setLocalAddress(ctx.nmsAddress);
    endpoint.setTap(datagramPrinter(ctx, false));
    reportWriteFailures(ctx, store);
}

Timings RemoteSetup::timingsFor(const Context& ctx)
{
    Timings t;
    if (ctx.remoteWaitMs > 0) {
        t.remoteSentMs = ctx.remoteWaitMs;
        t.pagingMs = ctx.remoteWaitMs;
        t.getMacMs = qMin(1000, qMax(50, ctx.remoteWaitMs / 3));
    }
    return t;
}

} // namespace orvalink::cli
