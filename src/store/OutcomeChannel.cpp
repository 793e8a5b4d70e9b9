#include "store/OutcomeChannel.h"

namespace orvalink {

namespace {

struct OperationWords {
    const char* operation;
    const char* caption;
    const char* preposition; // before the element or address
    bool byAddress = false;  // named by the address it talked to, not the element's name
};

// How the status bar names each operation; an operation not listed is
// named by its word.
constexpr OperationWords kOperations[] = {
    {"probe", "Probe", "of"},
    {"apply", "Save changes", "to"},
    {"set", "Set", "on"},
    {"snmp-properties", "SNMP properties", "of"},
    {"sfn", "SFN adjustment", "of"},
    {"delete", "Delete", "of"},
    {"refresh", "Refresh", "of"},
    {"discover", "Auto Discovery", "from"},
    {"ping", "Ping", "to", true},
    {"remote-save", "Remote save", "to"},
    {"alarm", "Alarm", "on"},
    {"backup", "Backup", "of"},
    {"restore", "Restore", "to"},
};

} // namespace

OutcomeChannel::OutcomeChannel(EventLog* log, QObject* parent) : QObject(parent), m_log(log) {}

bool OutcomeChannel::post(Event event)
{
    if (!event.time.isValid())
        event.time = QDateTime::currentDateTimeUtc();
    bool written = true;
    if (m_log) {
        written = m_log->append(event);
        m_error = written ? QString() : m_log->lastError();
    }
    Q_EMIT posted(statusText(event), event);
    return written;
}

QString OutcomeChannel::statusText(const Event& e)
{
    QString who = !e.name.isEmpty() ? e.name : !e.host.isEmpty() ? e.host : e.mac;
    const bool ok = e.outcome == QLatin1String("ok");
    // Free text of the window ("No reply from 127.0.0.1"): shown as it is;
    // an element's state change after its name ("ENC 1: down: no reply ...").
    if (e.operation == QLatin1String("status"))
        return e.name.isEmpty() ? e.cause : e.name + QStringLiteral(": ") + e.cause;
    if (e.isSet()) {
        QString text = QStringLiteral("%1 %2 %3 -> %4").arg(who, e.key, e.oldValue, e.newValue);
        text = text.trimmed();
        if (!ok)
            text += QLatin1Char(' ') + e.outcome + (e.cause.isEmpty() ? QString() : ": " + e.cause);
        return text;
    }
    if (e.operation == QLatin1String("delete") && ok)
        return QStringLiteral("Deleted ") + who;
    if (e.operation == QLatin1String("refresh") && ok)
        return QStringLiteral("Refreshed: ") + e.cause;

    QString caption = e.operation;
    QString preposition = QStringLiteral("of");
    for (const OperationWords& w : kOperations) {
        if (e.operation == QLatin1String(w.operation)) {
            caption = QString::fromLatin1(w.caption);
            preposition = QString::fromLatin1(w.preposition);
            if (w.byAddress && !e.host.isEmpty())
                who = e.host;
        }
    }
    QString text = who.isEmpty() ? caption : caption + ' ' + preposition + ' ' + who;
    if (ok)
        return e.cause.isEmpty() ? text + QStringLiteral(" succeeded") : text + ": " + e.cause;
    if (!e.outcome.isEmpty())
        text += ' ' + e.outcome;
    return e.cause.isEmpty() ? text : text + ": " + e.cause;
}

} // namespace orvalink
