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
const char kUsage[] = "orvalink-cli: usage: sfn MAC [--set NS [--spacing-ms N]]\n";

QString durationOrError(const std::optional<qint64>& ns, bool sum)
{
    if (!ns)
        return QStringLiteral("ERROR");
    return FormatDuration(sum ? sfn::latencySum(*ns) : *ns);
}
} // namespace

int verbSfn(const Context& ctx, const QStringList& args)
{
    std::optional<qint64> newDelay;
    Timings timings;
    QString mac;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        bool ok = false;
        if (a == QLatin1String("--set") && i + 1 < args.size() && !newDelay) {
            const qint64 ns = args.at(++i).toLongLong(&ok);
            if (!ok || !sfn::delayInRange(ns) || ns % sfn::kNsPerPosition != 0) {
                ctx.err << "orvalink-cli: sfn: NS must be a multiple of 100 from 0 to 2500000\n";
                return 2;
            }
            newDelay = ns;
        } else if (a == QLatin1String("--spacing-ms") && i + 1 < args.size()) {
            timings.snmpSetAllowedMs = args.at(++i).toInt(&ok);
            if (!ok || timings.snmpSetAllowedMs < 0 || timings.snmpSetAllowedMs > 600000) {
                ctx.err << "orvalink-cli: sfn: --spacing-ms needs milliseconds from 0 to "
                           "600000\n";
                return 2;
            }
        } else if (!a.startsWith(QLatin1String("--")) && mac.isEmpty()) {
            mac = a;
        } else {
            ctx.err << kUsage;
            return 2;
        }
    }
    if (mac.isEmpty()) {
        ctx.err << kUsage;
        return 2;
    }
    // A failed write is told by the operation itself, with what the element did.
    IniStore store;
    Database database(store, ctx.dbPath);
    if (!databaseUsable(ctx, "sfn", database))
        return 1;
    FoundElement element;
    if (!findElement(ctx, "sfn", database, mac, &element))
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

} // namespace orvalink::cli
