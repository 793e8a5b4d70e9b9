// ping: one ICMP echo, as the panel's ping button sends it.

#include "Cli.h"

#include "core/Prompt.h"
#include "netutil/Ping.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"timeout-ms", "N", "how long the echo is awaited (default 3000 ms)", "milliseconds", 1, 60000},
    {"socket", "dgram|raw",
     "the ICMP socket: dgram (unprivileged, where net.ipv4.ping_group_range allows it) or raw "
     "(root or CAP_NET_RAW); default the first that can be opened"},
};

int run(const Context& ctx, const VerbArgs& args)
{
    const QString host = args.arguments().at(0);
    const int timeoutMs = int(args.number("timeout-ms", 3000));
    IcmpPinger::SocketKind kind = IcmpPinger::SocketKind::Automatic;
    if (args.isSet("socket")) {
        const QString k = args.value("socket");
        if (k == QLatin1String("dgram"))
            kind = IcmpPinger::SocketKind::Datagram;
        else if (k == QLatin1String("raw"))
            kind = IcmpPinger::SocketKind::Raw;
        else
            return usageError(ctx, QStringLiteral("--socket is dgram or raw"));
    }
    if (!checkHost(ctx, host))
        return kExitUsage;
    // The button's box about the socket layer is said below in a shell's words.
    struct Quiet : Prompt {
        PromptAnswer ask(const PromptRequest&) override { return PromptAnswer::Ok; }
    } prompt;
    IcmpPinger pinger(timeoutMs, kind);
    const PingOutcome outcome = PingElement(pinger, host, prompt);
    // The element pinged, when the database knows the address.
    IniStore store;
    const Event event =
        elementEvent(QStringLiteral("ping"), elementAt(Database(store, ctx.dbPath), host), host);
    if (outcome.state == PingOutcome::State::Success) {
        ctx.out << outcome.caption << "\n";
        postOutcome(ctx, event, QStringLiteral("ok"), outcome.caption);
        return 0;
    }
    if (outcome.state == PingOutcome::State::NoSockets) {
        ctx.out << outcome.caption << "\n";
        ctx.err << "orvalink-cli: ping: no ICMP socket can be opened; allow unprivileged ping "
                   "(sysctl net.ipv4.ping_group_range=\"0 2147483647\") or give the program "
                   "CAP_NET_RAW\n";
        postOutcome(ctx, event, QStringLiteral("failed"),
                    QStringLiteral("no ICMP socket can be opened"));
        return 1;
    }
    ctx.out << EchoStatusText(outcome.status) << "\n";
    postOutcome(ctx, event, QStringLiteral("failed"), EchoStatusText(outcome.status));
    return 1;
}

} // namespace

const Verb kPingVerb{
    "ping",
    "HOST [--timeout-ms N] [--socket dgram|raw]",
    "Sends one ICMP echo (payload \"hello\") to HOST and waits up to 3000 ms (or N). Prints the "
    "round-trip time as \"N ms\" and exits 0, or prints the status (\"Request Timed Out\", "
    "\"Destination Host Unreachable\", ...) and exits 1. An unprivileged ICMP socket is used "
    "where net.ipv4.ping_group_range allows it, else a raw one (root or CAP_NET_RAW).",
    kOptions,
    1,
    1,
    run};

} // namespace orvalink::cli
