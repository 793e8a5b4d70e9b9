#include "Cli.h"

namespace orvalink::cli {

int verbGet(const Context& ctx, const QStringList&)
{
    ctx.err << "orvalink-cli: get is not available yet\n";
    return 2;
}

int verbSet(const Context& ctx, const QStringList&)
{
    ctx.err << "orvalink-cli: set is not available yet\n";
    return 2;
}

} // namespace orvalink::cli
