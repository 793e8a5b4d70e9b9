// arp and level: the panel's other diagnostics from a shell, through the
// same core code (the neighbour-table look-up, the remote endpoint and the
// level meter's arithmetic).

#include "Cli.h"

#include "core/Text.h"
#include "core/Timings.h"
#include "netutil/MacResolver.h"
#include "remote/AudioLevel.h"
#include "remote/RemoteCodec.h"
#include "remote/RemoteEndpoint.h"
#include "store/ElementDatabase.h"

#include <QEventLoop>
#include <QTimer>

namespace orvalink::cli {

namespace {

bool checkHost(const Context& ctx, const char* verb, const QString& host)
{
    if (isValidIPAddress(host))
        return true;
    ctx.err << "orvalink-cli: " << verb << ": HOST \"" << printable(host)
            << "\" is not a dotted IPv4 address\n";
    return false;
}

} // namespace

int verbArp(const Context& ctx, const QStringList& args)
{
    if (args.size() != 1) {
        ctx.err << "orvalink-cli: usage: arp HOST\n";
        return 2;
    }
    const QString host = args.at(0);
    if (!checkHost(ctx, "arp", host))
        return 2;
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

int verbLevel(const Context& ctx, const QStringList& args)
{
    QString host;
    int count = 1;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--count") && i + 1 < args.size()) {
            bool ok = false;
            count = args.at(++i).toInt(&ok);
            if (!ok || count < 1 || count > 100000) {
                ctx.err << "orvalink-cli: level: --count needs 1 to 100000\n";
                return 2;
            }
        } else if (host.isEmpty() && !a.startsWith(QLatin1String("--"))) {
            host = a;
        } else {
            ctx.err << "orvalink-cli: usage: level HOST [--count N]\n";
            return 2;
        }
    }
    if (!checkHost(ctx, "level", host))
        return 2;

    const Timings timings;
    const int waitMs = ctx.remoteWaitMs > 0 ? ctx.remoteWaitMs : timings.remoteSentMs;
    RemoteEndpoint endpoint;
    endpoint.setLocalAddress(ctx.nmsAddress);
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QByteArray reply;
    QObject::connect(&endpoint, &RemoteEndpoint::levelDatagram, &loop, [&](const QByteArray& data) {
        reply = data;
        loop.quit();
    });

    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            // The meter's own pace.
            QTimer::singleShot(timings.volumeMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        reply.clear();
        const RemoteSendResult sent =
            endpoint.send(remote::levelRequest(), host, remote::kElementPort);
        if (!sent.ok()) {
            if (sent.outcome == RemoteSendOutcome::PortOccupied)
                ctx.err << "orvalink-cli: level: Unable to use UDP port 2976: occupied.\n";
            else
                ctx.err << "orvalink-cli: level: the request was not sent: "
                        << printable(sent.reason) << "\n";
            return 1;
        }
        timeout.start(waitMs);
        while (reply.isEmpty() && timeout.isActive())
            loop.exec();
        timeout.stop();
        if (reply.isEmpty()) {
            ctx.err << "orvalink-cli: level: no level data from " << host << " within " << waitMs
                    << " ms\n";
            return 1;
        }
        ctx.out << audiolevel::labelText(audiolevel::peakOf(reply), QStringLiteral(".")) << "\n";
        ctx.out.flush();
    }
    return 0;
}

} // namespace orvalink::cli
