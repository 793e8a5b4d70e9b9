// ping: one ICMP echo, as the panel's ping button sends it.

#include "Cli.h"

#include "core/Prompt.h"
#include "netutil/Ping.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

int verbPing(const Context& ctx, const QStringList& args)
{
    QString host;
    int timeoutMs = 3000;
    IcmpPinger::SocketKind kind = IcmpPinger::SocketKind::Automatic;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--timeout-ms") && i + 1 < args.size()) {
            bool ok = false;
            timeoutMs = args.at(++i).toInt(&ok);
            if (!ok || timeoutMs < 1 || timeoutMs > 60000) {
                ctx.err << "orvalink-cli: ping: --timeout-ms needs 1 to 60000\n";
                return 2;
            }
        } else if (a == QLatin1String("--socket") && i + 1 < args.size()) {
            const QString k = args.at(++i);
            if (k == QLatin1String("dgram"))
                kind = IcmpPinger::SocketKind::Datagram;
            else if (k == QLatin1String("raw"))
                kind = IcmpPinger::SocketKind::Raw;
            else {
                ctx.err << "orvalink-cli: ping: --socket is dgram or raw\n";
                return 2;
            }
        } else if (host.isEmpty() && !a.startsWith(QLatin1String("--"))) {
            host = a;
        } else {
            ctx.err << "orvalink-cli: usage: ping HOST [--timeout-ms N] [--socket dgram|raw]\n";
            return 2;
        }
    }
    if (!isValidIPAddress(host)) {
        ctx.err << "orvalink-cli: ping: HOST \"" << printable(host)
                << "\" is not a dotted IPv4 address\n";
        return 2;
    }
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

} // namespace orvalink::cli
