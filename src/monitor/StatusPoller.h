#pragma once
// Live status of every element: one GET of a cheap parameter (the MAC) on
// the element's read community every interval, all elements on an SNMP
// endpoint of the poller's own (a free port, so that no reply of a poll is
// ever taken for one of an operation's and the other way round), a bounded
// number in flight, never a nested event loop.

#include "core/Timings.h"
#include "snmp/SnmpEndpoint.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;

namespace orvalink {

enum class ElementState { NotPolled, Up, Down, NoAddress };

struct PolledElement {
    QString section;
    QString mac;
    QString name;      // stored name, trimmed (for the events it causes)
    QString ip;        // the section's snmpip; empty: no SNMP address
    QString community; // the section's snmpro
    ElementState state = ElementState::NotPolled;
    QDateTime lastAnswer; // Up: when the last answer came
    int roundTripMs = -1; // Up: round-trip time of the last answer
    QDateTime downSince;  // Down: since when no answer comes
    QString cause;        // Down: why, in words
};

struct PollRoundStats {
    int polled = 0;
    int up = 0;
    int down = 0;
    int noAddress = 0;
    qint64 elapsedMs = 0;
};

class StatusPoller : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultInFlight = 64;
    static constexpr int kPolledParameter = 15; // the MAC

    explicit StatusPoller(const Timings& timings = {}, QObject* parent = nullptr);
    ~StatusPoller() override;

    // Where the socket is bound (empty or 0.0.0.0: any) and which port the
    // agents listen on; another address than the bound one binds anew (a
    // round running is abandoned). False with error() when the address is
    // not IPv4 or the socket cannot be opened.
    bool open(const QString& localAddress = {}, quint16 agentPort = 161);
    QString error() const { return m_error; }

    // Replaces the list; states of sections still present are kept. The
    // same list again (sections, addresses and communities in the same
    // order) changes nothing, so a round running goes on.
    void setElements(const QList<PolledElement>& elements);
    QList<PolledElement> elements() const { return m_elements; }

    void setInterval(int ms);
    int interval() const { return m_intervalMs; }
    void setMaxInFlight(int n) { m_maxInFlight = qMax(1, n); }

    void start();   // a round now, then one every interval
    void stop();    // no further round; the one running is abandoned
    void pollNow(); // a round now unless one is running
    bool roundRunning() const { return m_running; }

Q_SIGNALS:
    void stateChanged(const QString& section, const QString& mac, orvalink::ElementState oldState,
                      orvalink::ElementState newState);
    void roundFinished(const orvalink::PollRoundStats& stats);

private:
    struct InFlight {
        int element = -1;
        qint64 sentAtMs = 0;
        int attempt = 0;
        int token = 0; // the endpoint's
    };

    void fill();
    void stopRound();
    bool send(int element, int attempt);
    void finish(int slot, bool answered, qint64 rttMs);
    void setState(int element, ElementState s, const QString& cause = {});
    void onReplied(int token);
    void onTimedOut(int token);
    void endRoundIfDone();

    Timings m_timings;
    SnmpEndpoint* m_endpoint = nullptr;
    QTimer* m_intervalTimer = nullptr;
    QString m_error;
    int m_intervalMs = 30000;
    int m_maxInFlight = kDefaultInFlight;

    QList<PolledElement> m_elements;
    QList<quint32> m_hosts; // parsed addresses, 0 for none
    bool m_running = false;
    int m_next = 0;
    QList<InFlight> m_inFlight; // at most m_maxInFlight
    QHash<int, int> m_byToken;  // the endpoint's token -> index in m_inFlight
    QElapsedTimer m_clock;
    QElapsedTimer m_roundClock;
    PollRoundStats m_stats;
};

QString elementStateName(ElementState s);

} // namespace orvalink

Q_DECLARE_METATYPE(orvalink::ElementState)
Q_DECLARE_METATYPE(orvalink::PollRoundStats)
