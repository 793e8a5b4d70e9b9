// sfn: the SFN adjustment of a DECODER from a shell: the measured network
// delay with its latency sums and the additional delay, or a new delay set
// with the same checks and storing as the window's "&Set".

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/Readouts.h"
#include "devops/SfnAdjustOperation.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {
const char kUsage[] = "orvalink-cli: usage: sfn MAC [--set NS]\n";

QString durationOrError(const std::optional<qint64>& ns, bool sum)
{
    if (!ns)
        return QStringLiteral("ERROR");
    return FormatDuration(sum ? sfn::latencySum(*ns) : *ns);
}
} // namespace

int verbSfn(const Context& ctx, const QStringList& args)
{
    if (args.size() != 1 && !(args.size() == 3 && args.at(1) == QLatin1String("--set"))) {
        ctx.err << kUsage;
        return 2;
    }
    std::optional<qint64> newDelay;
    if (args.size() == 3) {
        bool ok = false;
        const qint64 ns = args.at(2).toLongLong(&ok);
        if (!ok || !sfn::delayInRange(ns) || ns % sfn::kNsPerPosition != 0) {
            ctx.err << "orvalink-cli: sfn: NS must be a multiple of 100 from 0 to 2500000\n";
            return 2;
        }
        newDelay = ns;
    }
    const QString section = encodeMac(args.at(0));
    // A failed write is told by the operation itself, with what the element did.
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "sfn", database))
        return 1;
    if (section.isEmpty() || !database.sectionExists(section)) {
        ctx.err << "orvalink-cli: sfn: no element " << printable(args.at(0)) << " in " << ctx.dbPath
                << " (MAC in the form 2E:8B:F2:00:0A:1B)\n";
        return 2;
    }

    TerminalPrompt prompt(ctx.err, false);
    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    if (!openSnmpSocket(ctx, snmp))
        return kExitSocketFailure;
    SfnAdjustOperation adjust(snmp, database, prompt, Timings{});

    if (newDelay) {
        const bool decoder =
            readouts::storedInteger(database.read(section, QStringLiteral("role"))) == 2;
        const auto result = adjust.set(
            section, decoder ? QStringLiteral("DECODER") : QStringLiteral("ENCODER"), *newDelay);
        return result == SfnAdjustOperation::SetResult::Applied ? 0 : 1;
    }

    const SfnAdjustOperation::Measurements m = adjust.refresh(section);
    if (!m.read) {
        ctx.err << "orvalink-cli: sfn: the element is not a DECODER with the SFN option; nothing "
                   "was read\n";
        return 1;
    }
    ctx.out << "Network latency (MIN): " << durationOrError(m.min, false) << "\n"
            << "Network latency (MAX): " << durationOrError(m.max, false) << "\n"
            << "Network latency (AVG): " << durationOrError(m.avg, false) << "\n"
            << "MAC interface latency: " << FormatDuration(sfn::kMacLatencyNs) << "\n"
            << "Audio interface latency: " << FormatDuration(sfn::kAudioLatencyNs) << "\n"
            << "Latency summary (MIN): " << durationOrError(m.min, true) << "\n"
            << "Latency summary (MAX): " << durationOrError(m.max, true) << "\n"
            << "Latency summary (AVG): " << durationOrError(m.avg, true) << "\n"
            << "Latency compensation: " << durationOrError(m.delay, false) << "\n";
    return m.min && m.max && m.avg && m.delay ? 0 : 1;
}

} // namespace orvalink::cli
