// arp: the neighbour-table look-up of the remote protocol from a shell.

#include "Cli.h"

#include "netutil/MacResolver.h"

namespace orvalink::cli {

namespace {

int run(const Context& ctx, const VerbArgs& args)
{
    const QString host = args.arguments().at(0);
    if (!checkHost(ctx, host))
        return kExitUsage;
    // The datagram that makes the kernel resolve the address leaves from the
    // NMS interface; a loopback default would keep it from leaving at all.
    const QString local =
        ctx.nmsAddress.startsWith(QLatin1String("127.")) ? QString() : ctx.nmsAddress;
    NeighbourTableResolver resolver(local);
    QString mac;
    if (!resolver.ResolveMAC(host, QStringLiteral(":"), &mac) || mac.isEmpty()) {
        ctx.err << "orvalink-cli: arp: no MAC address found for " << host << "\n";
        return 1;
    }
    ctx.out << mac << "\n";
    return 0;
}

} // namespace

const Verb kArpVerb{
    "arp",
    "HOST",
    "Finds the MAC address of HOST in the host's neighbour (ARP) table, asking the network first "
    "when it is not there (a datagram from the NMS address, --nms), as the remote protocol does "
    "for an answering element. Prints it as 00:1A:2B:3C:4D:5E and exits 0, or exits 1 when no "
    "complete entry appears.",
    {},
    1,
    1,
    run};

} // namespace orvalink::cli
