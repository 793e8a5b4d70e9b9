// The one place where the verbs post their outcomes to the event log
// (events.log beside the database), and an event as events and history
// print it.

#include "Cli.h"

#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

namespace orvalink::cli {

bool postEvent(const Context& ctx, const Event& event)
{
    // A database that is no file (a device, a pipe, a folder) was refused and
    // said so; nothing is logged beside it.
    EventLog log(EventLog::pathFor(ctx.dbPath));
    OutcomeChannel channel(log.path().isEmpty() ? nullptr : &log);
    if (channel.post(event))
        return true;
    ctx.err << "orvalink-cli: event log: " << printable(channel.lastError()) << "\n";
    return false;
}

Event elementEvent(const QString& operation, const FoundElement& element, const QString& host)
{
    Event e;
    e.operation = operation;
    e.mac = element.mac;
    e.name = element.name;
    e.host = host.isEmpty() ? element.host : host;
    return e;
}

bool postOutcome(const Context& ctx, Event event, const QString& outcome, const QString& cause)
{
    event.outcome = outcome;
    event.cause = oneLineCause(cause);
    return postEvent(ctx, event);
}

bool postConfirmedSet(const Context& ctx, Event event, const QString& key, const QString& oldValue,
                      const QString& newValue)
{
    event.operation = QStringLiteral("set");
    event.outcome = QStringLiteral("ok");
    event.key = key;
    event.oldValue = oldValue;
    event.newValue = newValue;
    return postEvent(ctx, event);
}

OperationEvents operationEvents(const Context& ctx, const Event& base)
{
    return OperationEvents(base, [&ctx](const Event& e) { postEvent(ctx, e); });
}

QString eventLine(const Event& e)
{
    QString line = e.time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
    line += QLatin1Char(' ') + (e.operation.isEmpty() ? QStringLiteral("-") : e.operation);
    line += QLatin1Char(' ') + (e.outcome.isEmpty() ? QStringLiteral("-") : e.outcome);
    if (!e.name.isEmpty() || !e.mac.isEmpty())
        line += QLatin1Char(' ') + e.name + QStringLiteral(" [") + e.mac + QLatin1Char(']');
    if (!e.host.isEmpty())
        line += QLatin1Char(' ') + e.host;
    QStringList details;
    if (e.isSet())
        details << QStringLiteral("%1 %2 -> %3").arg(e.key, e.oldValue, e.newValue);
    if (!e.cause.isEmpty())
        details << e.cause;
    if (!details.isEmpty())
        line += QStringLiteral(": ") + details.join(QStringLiteral(": "));
    return printable(line);
}

} // namespace orvalink::cli
