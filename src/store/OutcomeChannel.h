#pragma once
// Where the window and the CLI tell how an operation ended: post() writes the
// event to the event log and hands the status bar its one line of text, so
// the status bar and the "Events" window always say the same thing.

#include "store/EventLog.h"

#include <QObject>
#include <QString>

namespace orvalink {

class OutcomeChannel : public QObject {
    Q_OBJECT
public:
    // log may be null: then outcomes are only shown, never written.
    explicit OutcomeChannel(EventLog* log, QObject* parent = nullptr);

    // Stamps the event with the time when it has none, appends it to the log
    // and emits posted(). False when the log could not take it (lastError()).
    bool post(Event event);
    QString lastError() const { return m_error; }

    // The status bar's line for an event:
    //   "Probe of 127.0.0.21 failed: no reply from 127.0.0.21"
    //   "Ping to 127.0.0.21: 12 ms", "Deleted STUDIO A ENC", "Refreshed: 12 elements"
    //   "STUDIO A ENC att 255 -> 200"    (a confirmed SET)
    static QString statusText(const Event& event);

Q_SIGNALS:
    void posted(const QString& statusText, const orvalink::Event& event);

private:
    EventLog* m_log = nullptr;
    QString m_error;
};

} // namespace orvalink
