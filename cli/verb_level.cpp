// level: the level meter of the panel from a shell, through the same
// remote endpoint and arithmetic.

#include "Cli.h"

#include "core/Timings.h"
#include "remote/AudioLevel.h"
#include "remote/RemoteCodec.h"
#include "remote/RemoteEndpoint.h"

#include <QEventLoop>
#include <QTimer>

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"count", "N", "how many requests, 50 ms apart (default 1)", "a number", 1, 100000},
};

int run(const Context& ctx, const VerbArgs& args)
{
    const QString host = args.arguments().at(0);
    const int count = int(args.number("count", 1));
    if (!checkHost(ctx, host))
        return kExitUsage;

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

} // namespace

const Verb kLevelVerb{
    "level",
    "HOST [--count N]",
    "Sends the level request of the audio meter (\"VOL\", from port 2976 of the NMS address to "
    "port 2977 of HOST) N times (default 1), 50 ms apart, and prints the peak of each reply in "
    "dBFS as the panel's label shows it (\"-6dBFS\", \"-oodBFS\" for silence), one a line. Exit 0 "
    "when all N replies came, 1 when one did not come within 3000 ms (--wait).",
    kOptions,
    1,
    1,
    run};

} // namespace orvalink::cli
