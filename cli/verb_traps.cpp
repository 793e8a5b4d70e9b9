// traps: listens for the elements' traps and prints one line per trap.

#include "Cli.h"

#include "core/Text.h"
#include "snmp/TrapReceiver.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

#include <limits>

namespace orvalink::cli {

namespace {

// A text in double quotes, escaped, so that blanks and bars stay inside.
QString quoted(const QString& text)
{
    return QLatin1Char('"') + printable(text).replace(QLatin1Char('"'), QLatin1String("\\x22")) +
           QLatin1Char('"');
}

QString trapLine(const Trap& trap, const ElementEntry& element)
{
    QString line = formatIPv4(trap.sourceAddress) + QLatin1Char(':') +
                   QString::number(trap.sourcePort) + QLatin1Char(' ');
    line += element.section.isEmpty() ? QStringLiteral("-") : printable(element.nodeText);
    line += trap.version == Trap::Version::V1 ? QLatin1String(" v1 ") : QLatin1String(" v2c ");
    line += printable(trap.name());
    line += QStringLiteral(" uptime ") + QString::number(trap.uptime());
    if (trap.version == Trap::Version::V1 && trap.agentAddress != trap.sourceAddress)
        line += QStringLiteral(" agent ") + formatIPv4(trap.agentAddress);
    for (const TrapBinding& b : trap.bindings) {
        line += QStringLiteral(" | ") + b.oid + QLatin1Char(' ') + b.type;
        if (b.type == u"OCTET STRING")
            line += QLatin1Char(' ') + quoted(b.value);
        else if (!b.value.isEmpty())
            line += QLatin1Char(' ') + printable(b.value);
    }
    return line;
}

constexpr VerbOption kOptions[] = {
    {"port", "P", "the UDP port of the NMS address to listen on (default 162)", "a UDP port", 1,
     65535},
    {"count", "N", "end after N traps (exit 1 when they did not come within --timeout-ms)",
     "a number of traps", 1, std::numeric_limits<qint64>::max()},
    {"timeout-ms", "MS", "end after MS milliseconds", "milliseconds", 1,
     std::numeric_limits<int>::max()},
    {"any-community", nullptr, "also traps whose community is not the element's read community"},
    {"any-source", nullptr, "also traps from senders that are no element of the database"},
};

const char* kindWord(TrapRejection::Kind kind)
{
    switch (kind) {
    case TrapRejection::Kind::Malformed:
        return "malformed";
    case TrapRejection::Kind::Foreign:
        return "foreign";
    case TrapRejection::Kind::Refused:
        return "refused";
    }
    return "";
}

int run(const Context& ctx, const VerbArgs& args)
{
    const quint16 port = quint16(args.number("port", TrapReceiver::kDefaultPort));
    const qint64 count = args.number("count", 0);
    const int timeoutMs = int(args.number("timeout-ms", 0));
    const bool anyCommunity = args.isSet("any-community");
    const bool anySource = args.isSet("any-source");
    const QHostAddress nms(trimBlanks(ctx.nmsAddress));

    IniStore store;
    TrapReceiver receiver(store, ctx.dbPath);
    receiver.setAcceptAnyCommunity(anyCommunity);
    receiver.setAcceptUnknownSources(anySource);
    QString error;
    if (!receiver.start(nms, port, &error)) {
        ctx.err << "orvalink-cli: traps: " << error << "\n";
        if (port < 1024)
            ctx.err << "A port below 1024 needs root, the capability cap_net_bind_service on "
                       "orvalink-cli, or a redirect from it to a high port (see README, Traps).\n";
        return 1;
    }
    if (!receiver.databaseError().isEmpty())
        ctx.err << "orvalink-cli: traps: the element database " << printable(ctx.dbPath) << ' '
                << receiver.databaseError() << "; every trap is from an unknown sender\n";
    ctx.err << "orvalink-cli: listening for traps on " << nms.toString() << ':'
            << receiver.localPort() << "\n";
    ctx.err.flush();

    QEventLoop loop;
    int exitCode = 0;
    qint64 printed = 0;
    bool dirty = false;
    QObject::connect(&receiver, &TrapReceiver::trapReceived, &loop,
                     [&](const Trap& trap, const ElementEntry& element) {
                         ctx.out << trapLine(trap, element) << '\n';
                         dirty = true;
                         if (count && ++printed >= count)
                             loop.quit();
                     });
    QObject::connect(&receiver, &TrapReceiver::trapRejected, &loop, [&](const TrapRejection& r) {
        ctx.err << "orvalink-cli: traps: " << kindWord(r.kind) << " from "
                << formatIPv4(r.sourceAddress) << ':' << r.sourcePort << ": " << printable(r.reason)
                << '\n';
    });
    // Output goes out in batches, a few times a second.
    QTimer flush;
    QObject::connect(&flush, &QTimer::timeout, &loop, [&] {
        if (dirty) {
            ctx.out.flush();
            ctx.err.flush();
            dirty = false;
        }
    });
    flush.start(50);
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        exitCode = count ? 1 : 0;
        loop.quit();
    });
    if (timeoutMs)
        timeout.start(timeoutMs);
    loop.exec();
    ctx.out.flush();
    const TrapCounters& c = receiver.counters();
    ctx.err << "orvalink-cli: traps: received " << c.received << ", decoded " << c.decoded
            << ", malformed " << c.malformed << ", foreign " << c.foreign << ", refused "
            << c.refused << "\n";
    if (exitCode)
        ctx.err << "orvalink-cli: traps: " << printed << " of " << count << " trap(s) within "
                << timeoutMs << " ms\n";
    return exitCode;
}

} // namespace

const Verb kTrapsVerb{
    "traps",
    "[--port P] [--count N] [--timeout-ms MS] [--any-community] [--any-source]",
    "Listens for traps on port P (default 162) of the NMS address (--nms) and prints one line per "
    "SNMPv1 or SNMPv2c trap of an element of the database: the sender, the element's name and "
    "MAC, the version, the trap, the agent's uptime and the bindings (OID, type, value). Traps "
    "whose community is not the element's read community (unless --any-community), from senders "
    "that are no element (unless --any-source; the element is then \"-\") and datagrams that are "
    "no trap are told on standard error. Exit 0 after N traps (--count) or at the end of "
    "--timeout-ms without --count, 1 when N traps did not come in time.",
    kOptions,
    0,
    0,
    run};

} // namespace orvalink::cli
