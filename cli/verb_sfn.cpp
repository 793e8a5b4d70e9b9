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

constexpr VerbOption kOptions[] = {
    {"set", "NS", "sets the delay NS: a multiple of 100 from 0 to 2500000 ns"},
    kSpacingOption,
};

QString durationOrError(const std::optional<qint64>& ns, bool sum)
{
    if (!ns)
        return QStringLiteral("ERROR");
    return FormatDuration(sum ? sfn::latencySum(*ns) : *ns);
}

int run(const Context& ctx, const VerbArgs& args)
{
    std::optional<qint64> newDelay;
    if (args.isSet("set")) {
        bool ok = false;
        const qint64 ns = args.value("set").toLongLong(&ok);
        if (!ok || !sfn::delayInRange(ns) || ns % sfn::kNsPerPosition != 0)
            return usageError(ctx,
                              QStringLiteral("NS must be a multiple of 100 from 0 to 2500000"));
        newDelay = ns;
    }
    Timings timings;
    timings.snmpSetAllowedMs = int(args.number(kSpacingOption.name, timings.snmpSetAllowedMs));
    const QString mac = args.arguments().at(0);
    // A failed write is told by the operation itself, with what the element did.
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, database))
        return 1;
    FoundElement element;
    if (!findElement(ctx, database, mac, &element) || !hasStoredAgent(ctx, database, element))
        return kExitUsage;
    const QString section = element.section;
    const Event event = elementEvent(QStringLiteral("sfn"), element);

    TerminalPrompt prompt(ctx.err, false);
    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    if (QString why; !openSnmpSocket(ctx, snmp, &why)) {
        if (newDelay)
            postOutcome(ctx, event, QStringLiteral("failed"), why);
        return kExitSocketFailure;
    }
    SfnAdjustOperation adjust(snmp, database, prompt, timings);
    const SilenceWatch silence(snmp);

    if (newDelay) {
        // The agent at the stored address must be this element: a stale
        // address may be another element's now.
        if (QString why; identify(snmp, database, element, &why) != Identity::Same) {
            ctx.err << "orvalink-cli: sfn: " << printable(why) << "; nothing sent\n";
            postOutcome(ctx, event, QStringLiteral("failed"), why);
            return 1;
        }
        const QString before = QString::number(adjust.storedDelay(section));
        const bool decoder = readouts::storedInteger(element.role) == 2;
        const auto result = adjust.set(
            section, decoder ? QStringLiteral("DECODER") : QStringLiteral("ENCODER"), *newDelay);
        switch (result) {
        case SfnAdjustOperation::SetResult::Applied:
            postConfirmedSet(ctx, event, QStringLiteral("dly"), before, QString::number(*newDelay));
            postOutcome(ctx, event, QStringLiteral("ok"), QStringLiteral("delay applied"));
            return 0;
        case SfnAdjustOperation::SetResult::NothingChanged:
            postOutcome(ctx, event, QStringLiteral("failed"),
                        decoder ? QStringLiteral("the delay is already %1 ns").arg(before)
                                : QStringLiteral("not a DECODER"));
            return 1;
        case SfnAdjustOperation::SetResult::Failed:
            postOutcome(ctx, event, QStringLiteral("failed"), silence.cause());
            return 1;
        case SfnAdjustOperation::SetResult::StoreFailed:
            // The element may have taken the delay: then it is a confirmed
            // SET whose value the database did not keep.
            if (adjust.failure().contains(QStringLiteral("took dly=")))
                postConfirmedSet(ctx, event, QStringLiteral("dly"), before,
                                 QString::number(*newDelay));
            postOutcome(ctx, event, QStringLiteral("failed"), adjust.failure());
            return 1;
        case SfnAdjustOperation::SetResult::Busy:
            break;
        }
        return 1;
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

} // namespace

const Verb kSfnVerb{
    "sfn",
    "MAC [--set NS [--spacing-ms N]]",
    "For a DECODER with the SFN option: prints the measured network latency (minimum, maximum, "
    "average), the latency sums and the additional delay as the SFN Adjustment window does. "
    "--set NS sets the delay NS (a multiple of 100 from 0 to 2500000) as its \"&Set\" does and "
    "stores what the element echoed, then waits the 6000 ms the devices need after a SET "
    "(--spacing-ms N: N ms instead, for simulators only). Exit 0 when all was read or the delay "
    "was applied and stored, 3 when the SNMP port (2979 on --nms) cannot be opened (nothing is "
    "sent), 1 otherwise.",
    kOptions,
    1,
    1,
    run};

} // namespace orvalink::cli
