#include "devops/OperationEvents.h"

#include "snmp/SnmpTransport.h"

namespace orvalink {

const QString kRefusedByAgent = QStringLiteral("refused by the agent");

QString noReplyFrom(const QString& host)
{
    return QStringLiteral("no reply from ") + host;
}

QString oneLineCause(const QString& text)
{
    QStringList lines;
    for (const QString& line : QString(text)
                                   .replace(QLatin1Char('\r'), QLatin1Char('\n'))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines.join(QLatin1Char(' '));
}

void OperationEvents::confirmedSet(const QString& key, const QString& oldValue,
                                   const QString& newValue) const
{
    Event e = m_base;
    e.operation = QStringLiteral("set");
    e.outcome = QStringLiteral("ok");
    e.key = key;
    e.oldValue = oldValue;
    e.newValue = newValue;
    m_post(e);
}

void OperationEvents::outcome(const QString& outcome, const QString& cause) const
{
    Event e = m_base;
    e.outcome = outcome;
    e.cause = oneLineCause(cause);
    m_post(e);
}

ApplyEvents::ApplyEvents(ApplyOperation& apply, const OperationEvents& events,
                         const QList<ApplyOperation::Difference>& pending,
                         const SilenceWatch* silence)
    : m_events(events), m_silence(silence)
{
    for (const ApplyOperation::Difference& d : pending)
        m_before.insert(d.key, d.stored);
    m_connections << QObject::connect(&apply, &ApplyOperation::stepConfirmed, &apply,
                                      [this](const QString& key, const QString& value) {
                                          m_events.confirmedSet(key, m_before.value(key), value);
                                      });
    m_connections << QObject::connect(&apply, &ApplyOperation::stepFailed, &apply,
                                      [this](const QString& key, const QString& message) {
                                          m_failures << key + QStringLiteral(" not confirmed (") +
                                                            message + QLatin1Char(')');
                                      });
    m_connections << QObject::connect(
        &apply, &ApplyOperation::finished, &apply,
        [this, &apply](ApplyOperation::Result result) { finish(apply, result); });
}

ApplyEvents::~ApplyEvents()
{
    for (const QMetaObject::Connection& c : m_connections)
        QObject::disconnect(c);
}

void ApplyEvents::finish(ApplyOperation& apply, ApplyOperation::Result result)
{
    // A second Save while one runs changed nothing.
    if (result == ApplyOperation::Result::Busy)
        return;
    if (!apply.failure().isEmpty())
        m_failures << apply.failure();
    if (result == ApplyOperation::Result::SomeFailed && m_silence && m_silence->silent())
        m_failures.prepend(m_silence->cause());
    const bool ok = result == ApplyOperation::Result::AllApplied ||
                    result == ApplyOperation::Result::NothingToApply;
    m_events.outcome(ok ? QStringLiteral("ok") : QStringLiteral("failed"),
                     result == ApplyOperation::Result::NothingToApply
                         ? QStringLiteral("nothing to apply")
                     : ok ? QStringLiteral("%1 value(s) confirmed").arg(m_before.size())
                          : m_failures.join(QStringLiteral("; ")));
    m_failures.clear();
}

SilenceWatch::SilenceWatch(SnmpTransport& transport)
{
    m_connection = QObject::connect(&transport, &SnmpTransport::noAnswer, &transport,
                                    [this](const QString& host) { m_host = host; });
}

SilenceWatch::~SilenceWatch()
{
    QObject::disconnect(m_connection);
}

QString SilenceWatch::cause() const
{
    return silent() ? noReplyFrom(m_host) : kRefusedByAgent;
}

} // namespace orvalink
