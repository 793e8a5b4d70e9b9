#pragma once
// The event log's part of the device operations, the same for the window and
// the CLI: every SET an element confirmed as an event of its own with the
// value before and after it, and one outcome per run with the cause of a
// failure in the log's words. How an event is posted (the window's status bar
// and log, or the CLI's log) is the caller's.

#include "devops/ApplyOperation.h"
#include "store/EventLog.h"

#include <QHash>
#include <QMetaObject>
#include <QStringList>

#include <functional>

namespace orvalink {

class SnmpTransport;

using PostEvent = std::function<void(const Event&)>;

// The cause of a failure when the element stayed silent.
QString noReplyFrom(const QString& host);
// The cause of a failure when the element answered but did not take a value.
extern const QString kRefusedByAgent;
// A box's lines (joined by carriage returns or line feeds) as one cause.
QString oneLineCause(const QString& text);

// The events of one run on one element: `base` names the operation, the
// element and the address; each call posts a copy.
class OperationEvents {
public:
    OperationEvents(Event base, PostEvent post) : m_base(std::move(base)), m_post(std::move(post))
    {
    }
    // A SET the element confirmed: operation "set", outcome "ok".
    void confirmedSet(const QString& key, const QString& oldValue, const QString& newValue) const;
    // How the run ended.
    void outcome(const QString& outcome, const QString& cause) const;
    const Event& base() const { return m_base; }

private:
    Event m_base;
    PostEvent m_post;
};

// An apply ("Save changes", `orvalink-cli apply`): every SET the element
// confirmed, with the stored value before it, as it is confirmed, and the
// outcome of each run once it has ended, for as long as this object lives.
class ApplyEvents {
public:
    // With a silence watch, a failed run whose element stayed silent says
    // "no reply from HOST" first.
    ApplyEvents(ApplyOperation& apply, const OperationEvents& events,
                const QList<ApplyOperation::Difference>& pending,
                const class SilenceWatch* silence = nullptr);
    ~ApplyEvents();
    ApplyEvents(const ApplyEvents&) = delete;
    ApplyEvents& operator=(const ApplyEvents&) = delete;

private:
    void finish(ApplyOperation& apply, ApplyOperation::Result result);

    OperationEvents m_events;
    const SilenceWatch* m_silence = nullptr;
    QHash<QString, QString> m_before;
    QStringList m_failures;
    QList<QMetaObject::Connection> m_connections;
};

// Whether an element stayed silent while an operation ran: the transport's
// "no answer" is watched for the watch's lifetime.
class SilenceWatch {
public:
    explicit SilenceWatch(SnmpTransport& transport);
    ~SilenceWatch();
    SilenceWatch(const SilenceWatch&) = delete;
    SilenceWatch& operator=(const SilenceWatch&) = delete;

    bool silent() const { return !m_host.isEmpty(); }
    // "no reply from HOST" when an element stayed silent, else "refused by
    // the agent".
    QString cause() const;

private:
    QString m_host;
    QMetaObject::Connection m_connection;
};

} // namespace orvalink
