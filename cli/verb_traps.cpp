// traps: listens for the elements' traps and prints one line per trap.

#include "Cli.h"

#include "core/Text.h"
#include "snmp/TrapReceiver.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

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

} // namespace

int verbTraps(const Context& ctx, const QStringList& args)
{
    quint16 port = TrapReceiver::kDefaultPort;
    qint64 count = 0;
    int timeoutMs = 0;
    bool anyCommunity = false;
    bool anySource = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        bool ok = false;
        if (a == QLatin1String("--port") && i + 1 < args.size()) {
            const uint p = args.at(++i).toUInt(&ok);
            if (!ok || p == 0 || p > 65535) {
                ctx.err << "orvalink-cli: traps: --port needs a UDP port from 1 to 65535\n";
                return 2;
            }
            port = quint16(p);
        } else if (a == QLatin1String("--count") && i + 1 < args.size()) {
            count = args.at(++i).toLongLong(&ok);
            if (!ok || count < 1) {
                ctx.err << "orvalink-cli: traps: --count needs a number of traps from 1\n";
                return 2;
            }
        } else if (a == QLatin1String("--timeout-ms") && i + 1 < args.size()) {
            timeoutMs = args.at(++i).toInt(&ok);
            if (!ok || timeoutMs < 1) {
                ctx.err << "orvalink-cli: traps: --timeout-ms needs milliseconds from 1\n";
                return 2;
            }
        } else if (a == QLatin1String("--any-community")) {
            anyCommunity = true;
        } else if (a == QLatin1String("--any-source")) {
            anySource = true;
        } else {
            ctx.err << "orvalink-cli: usage: traps [--port P] [--count N] [--timeout-ms MS] "
                       "[--any-community] [--any-source]\n";
            return 2;
        }
    }
    QHostAddress nms;
    if (!isValidIPAddress(ctx.nmsAddress) || !nms.setAddress(trimBlanks(ctx.nmsAddress))) {
        ctx.err << "orvalink-cli: traps: --nms \"" << printable(ctx.nmsAddress)
                << "\" is not a dotted IPv4 address\n";
        return 2;
    }

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

} // namespace orvalink::cli
