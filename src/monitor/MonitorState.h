#pragma once
// What `orvalink-cli monitor` serves at /metrics, GUI-free: the last
// completed statistics round (the same metric families as the textfile of
// `stats --all --prometheus`), the traps taken by element and kind, the
// datagrams refused by reason, and the active alarms.

#include "devops/StatisticsOperation.h"
#include "monitor/AlarmBook.h"
#include "monitor/StatusPoller.h"
#include "snmp/TrapReceiver.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

namespace orvalink {

// Decides each element's orvalink_up after a round. The monitor asks it
// once per completed round; a status poller can take its place.
class ReachabilitySource {
public:
    virtual ~ReachabilitySource() = default;
    // Sets `up` of every element of the round.
    virtual void decide(QList<ElementStatistics>& elements) = 0;
};

// Up when the element answered any counter of the round, as the statistics
// sweep found it (the monitor itself asks its status poller).
class SweepReachability final : public ReachabilitySource {
public:
    void decide(QList<ElementStatistics>&) override {}
};

// Up as the status poller found the element at its last poll; an element
// the poller has not answered for yet (not polled) keeps the sweep's finding.
class PollerReachability final : public ReachabilitySource {
public:
    explicit PollerReachability(const StatusPoller& poller) : m_poller(poller) {}
    void decide(QList<ElementStatistics>& elements) override;

private:
    const StatusPoller& m_poller;
};

class MonitorState {
public:
    // The alarms are the book's, which the status poller and the traps feed;
    // a round drops the alarms of elements gone from the database.
    MonitorState(ReachabilitySource& reachability, AlarmBook& alarms)
        : m_reachability(reachability), m_alarms(alarms)
    {
    }

    // A round has ended after `seconds`, at `endedAtMs` (Unix time, ms).
    void roundDone(QList<ElementStatistics> elements, double seconds, qint64 endedAtMs);
    bool hasRound() const { return m_hasRound; }

    // Counts a trap by element and kind (the alarm book has it from LiveStatus).
    void trapReceived(const Trap& trap, const ElementEntry& element);
    void trapRejected(TrapRejection::Kind kind);

    // The elements' configuration drift of the latest check: (mac, name) ->
    // true when the element holds something else than nms.ini. Elements
    // that did not answer are left out.
    void driftChecked(QMap<QPair<QString, QString>, bool> drift) { m_drift = std::move(drift); }

    // Why the element database could not be read at the latest round (the
    // round then read the elements of the last list read); empty when it
    // was read. orvalink_database_ok says which.
    void setDatabaseProblem(const QString& why) { m_databaseProblem = why; }

    const AlarmBook& alarms() const { return m_alarms; }
    // The exposition text (format 0.0.4) of the last round and of the traps.
    QString metricsText() const;

    // A trap's kind as a label: its name, or "other" for the numbered
    // traps, whose names a sender could vary without end.
    static QString trapKind(const Trap& trap);

private:
    ReachabilitySource& m_reachability;
    bool m_hasRound = false;
    QList<ElementStatistics> m_elements;
    double m_roundSeconds = 0;
    qint64 m_roundEndedAtMs = 0;
    AlarmBook& m_alarms;
    struct Identity {
        QString mac;
        QString name;
    };
    QHash<QString, Identity> m_identities;          // by section, the latest seen
    QMap<QPair<QString, QString>, quint64> m_traps; // (section, kind) -> count
    quint64 m_rejected[3] = {0, 0, 0};              // by TrapRejection::Kind
    QMap<QPair<QString, QString>, bool> m_drift;    // (mac, name) -> drifts
    QString m_databaseProblem;
};

} // namespace orvalink
