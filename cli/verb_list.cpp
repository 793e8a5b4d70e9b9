#include "Cli.h"

namespace orvalink::cli {

int verbList(const Context& ctx, const QStringList&)
{
    ctx.err << "orvalink-cli: list is not available yet\n";
    return 2;
}

} // namespace orvalink::cli
