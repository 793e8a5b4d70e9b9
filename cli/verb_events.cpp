// events: the event log (events.log beside the database) from a shell.

#include "Cli.h"

#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace orvalink::cli {

namespace {

constexpr VerbOption kOptions[] = {
    {"since", "TIME",
     "the events from TIME on: a date (midnight UTC), a date and time (UTC unless it ends in Z "
     "or an offset like +01:00) or an age (90s, 30m, 1h, 2d)"},
};

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

int run(const Context& ctx, const VerbArgs& args)
{
    QDateTime since;
    if (args.isSet("since")) {
        since = parseSince(args.value("since"), QDateTime::currentDateTimeUtc());
        if (!since.isValid())
            return usageError(ctx, QStringLiteral("--since \"%1\" is neither a date, a date and "
                                                  "time (ISO 8601) nor an age like 30m, 1h, 2d")
                                       .arg(printable(args.value("since"))));
    }
    const QString mac = args.arguments().value(0);
    if (!mac.isEmpty() && EventLog::macDigits(mac).isEmpty())
        return usageError(ctx, QStringLiteral("\"%1\" is not a MAC address like 2E:8B:F2:00:0A:1B")
                                   .arg(printable(mac)));
    const EventLog log(EventLog::pathFor(ctx.dbPath));
    QString error;
    QString note;
    for (const Event& e : log.read(since, mac, &error, &note))
        ctx.out << eventLine(e) << "\n";
    if (!note.isEmpty())
        ctx.err << "orvalink-cli: events: " << printable(note) << "\n";
    if (!error.isEmpty()) {
        ctx.err << "orvalink-cli: events: " << printable(error) << "\n";
        return 1;
    }
    return 0;
}

} // namespace

const Verb kEventsVerb{
    "events",
    "[--since TIME] [MAC]",
    "Prints the event log (events.log beside the database): what the desktop program and the "
    "verbs did to the elements and how it ended, oldest first, one line per event: the time "
    "(UTC), the operation, the outcome (ok, failed, ...), the element \"NAME [MAC]\" and the "
    "address it talked to, then the cause of a failure or, for a confirmed SET, \"KEY OLD -> "
    "NEW\". --since TIME keeps the events from TIME on: a date (2026-12-08, midnight UTC), a "
    "date and time (2026-12-08T14:30, UTC unless it ends in Z or an offset like +01:00) or an "
    "age (90s, 30m, 1h, 2d). MAC keeps those of one element. Exit 0, or 1 when a file of the log "
    "is there but cannot be read (a pipe, a folder).",
    kOptions,
    0,
    1,
    run};

} // namespace orvalink::cli
