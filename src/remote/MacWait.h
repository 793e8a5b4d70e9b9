#pragma once
// The waiting window's work: one MAC look-up of the reply's sender per tick
// of timerGetMAC, until one succeeds or more than getMACTimeout ticks have
// passed. frmWaiting shows it; without a window runBlocking() waits for it.

#include "core/Timings.h"

#include <QObject>
#include <QString>

class QTimer;

namespace orvalink {

class MacResolver;

class MacWait : public QObject {
    Q_OBJECT
public:
    MacWait(MacResolver& resolver, const Timings& timings, QObject* parent = nullptr);

    // Starts the ticks for UDP_Response_IP; the result starts empty.
    void start(const QString& UDP_Response_IP, quint8 limit = 20);
    // start() and a wait with the event loop running until finished().
    QString runBlocking(const QString& UDP_Response_IP, quint8 limit = 20);
    bool isRunning() const { return m_running; }
    // sRemoteMacAddress2 after the wait: "" when nothing was found.
    QString result() const;

    quint8 getMACTimeout = 20;
    quint8 getMACTimeoutCount = 0;
    QTimer* timerGetMAC = nullptr;

Q_SIGNALS:
    void finished();

private:
    void timerGetMAC_Timer();
    void finish();

    MacResolver& m_resolver;
    QString m_address;
    bool m_running = false;
};

} // namespace orvalink
