// events: the event log (events.log beside the database) from a shell, and
// the one place where the verbs post their outcomes to it.

#include "Cli.h"

#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include <QRegularExpression>
#include <QTimeZone>

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

QDateTime parseSince(const QString& text, const QDateTime& now)
{
    // 30s, 30m, 1h, 2d: that long before now.
    static const QRegularExpression relative(QStringLiteral("^(\\d{1,6})([smhd])$"));
    const QRegularExpressionMatch m = relative.match(text);
    if (m.hasMatch()) {
        const qint64 count = m.captured(1).toLongLong();
        const QChar unit = m.captured(2).at(0);
        const qint64 seconds = unit == QLatin1Char('s')   ? 1
                               : unit == QLatin1Char('m') ? 60
                               : unit == QLatin1Char('h') ? 3600
                                                          : 86400;
        return now.toUTC().addSecs(-count * seconds);
    }
    // A date alone is its midnight, UTC.
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10)
        return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    // A date and time: UTC unless it names its offset ("Z", "+02:00").
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return {};
    if (time.timeSpec() == Qt::LocalTime)
        time = QDateTime(time.date(), time.time(), QTimeZone::utc());
    return time.toUTC();
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

int verbEvents(const Context& ctx, const QStringList& args)
{
    QDateTime since;
    QString mac;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--since") && i + 1 < args.size()) {
            since = parseSince(args.at(++i), QDateTime::currentDateTimeUtc());
            if (!since.isValid()) {
                ctx.err << "orvalink-cli: events: --since \"" << printable(args.at(i))
                        << "\" is neither a date, a date and time (ISO 8601) nor an age "
                           "like 30m, 1h, 2d\n";
                return 2;
            }
        } else if (!a.startsWith(QLatin1Char('-')) && mac.isEmpty()) {
            mac = a;
            if (EventLog::macDigits(mac).isEmpty()) {
                ctx.err << "orvalink-cli: events: \"" << printable(mac)
                        << "\" is not a MAC address like 2E:8B:F2:00:0A:1B\n";
                return 2;
            }
        } else {
            ctx.err << "orvalink-cli: usage: events [--since TIME] [MAC]\n";
            return 2;
        }
    }
    const EventLog log(EventLog::pathFor(ctx.dbPath));
    QString error;
    for (const Event& e : log.read(since, mac, &error))
        ctx.out << eventLine(e) << "\n";
    if (!error.isEmpty()) {
        ctx.err << "orvalink-cli: events: " << printable(error) << "\n";
        return 1;
    }
    return 0;
}

} // namespace orvalink::cli
