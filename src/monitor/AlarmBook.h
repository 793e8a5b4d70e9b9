#pragma once
// The active alarms of the station, GUI-free: the one set of rules that the
// main window and `orvalink-cli monitor` both follow.
//
//   unreachable            critical  the status poller found the element down;
//                                    clears when it answers again
//   linkDown               major     a linkDown trap; clears with the linkUp
//                                    of the same interface (ifIndex binding)
//   restarted              warning   a coldStart or warmStart trap; clears
//                                    itself after Timings::alarmRestartedMs
//   authenticationFailure  minor     clears when acknowledged
//   the devices' own traps warning   enterprise 1.3.6.1.4.1.44467: named from
//                                    ORVALINK-MIB where it is known, otherwise
//                                    by number; clears when acknowledged
//
// A sender chooses a trap's number freely, so an element holds at most
// kNumberedAlarmsPerElement alarms of distinct numbers; the traps of any
// further number count in one alarm of instance kFurtherNumbers.
//
// An alarm is one per element, kind and instance (the interface of a link,
// the notification of an enterprise trap); the same trap again counts and
// refreshes it. Acknowledging marks an alarm that has a clearing condition,
// and clears one that has none. With a file (alarms.json beside the
// database), every change is written at once (readable by its owner only,
// under the file's lock) and the alarms are read back at the next start.

#include "core/Timings.h"
#include "snmp/TrapDecoder.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class QTimer;

namespace orvalink {

enum class AlarmSeverity { Warning, Minor, Major, Critical };

QString alarmSeverityName(AlarmSeverity s);

// The kind of a trap from a fixed set: its name ("coldStart" ...
// "egpNeighborLoss", the devices' own names such as "silenceDetected");
// empty for a numbered trap, whose number a sender could vary without end.
QString namedTrapKind(const Trap& trap);

struct Alarm {
    QString section;  // the element's section (12 hex digits)
    QString mac;      // colon form
    QString name;     // stored name, trimmed
    QString host;     // the address it was seen from
    QString kind;     // "unreachable", "linkDown", "restarted", "authenticationFailure",
                      // the name of a device's trap, or "enterpriseSpecific"
    QString instance; // ifIndex of a link, notification OID of a device's trap
    QString text;     // what happened, for the operator
    AlarmSeverity severity = AlarmSeverity::Warning;
    QDateTime since;   // UTC: raised
    QDateTime last;    // UTC: seen last (the same trap again)
    QDateTime expires; // UTC: clears itself then (restarted); null: never
    int count = 1;
    bool acknowledged = false;

    QString id() const { return section + QLatin1Char('/') + kind + QLatin1Char('/') + instance; }
    // Whether something other than an acknowledgement clears it.
    bool clearsItself() const;
    bool operator==(const Alarm&) const = default;
};

class AlarmBook : public QObject {
    Q_OBJECT
public:
    static constexpr int kNumberedAlarmsPerElement = 16;
    static constexpr QLatin1String kFurtherNumbers{"further"};

    explicit AlarmBook(const Timings& timings = {}, QObject* parent = nullptr);
    ~AlarmBook() override;

    // alarms.json beside the database at dbPath.
    static QString pathFor(const QString& dbPath);

    // Reads the alarms of the file at path (a missing file holds none) and
    // writes every later change there; an alarm whose time ran out while
    // the program was not running clears at once. False with error() when
    // the file cannot be read: it is then moved aside (path + ".bad") and
    // the book starts empty.
    bool open(const QString& path);
    QString path() const { return m_path; }
    QString error() const { return m_error; }

    // The poller's finding: unreachable raised (cause: why) or cleared.
    void setReachable(const QString& section, const QString& mac, const QString& name,
                      const QString& host, bool reachable, const QString& cause = {});
    // A trap of an element of the database (an empty section: none, ignored).
    void trapReceived(const Trap& trap, const ElementEntry& element);
    // Marks the alarm acknowledged, or clears it when nothing else would.
    bool acknowledge(const QString& id);
    // Clears the alarms of elements outside `sections` (taken out of the
    // database).
    void retainOnly(const QSet<QString>& sections);

    // Every active alarm, by element section, then kind, then instance.
    QList<Alarm> alarms() const { return m_alarms; }
    int count() const { return int(m_alarms.size()); }
    // The worst severity of an element's alarms; false when it has none.
    bool worst(const QString& section, AlarmSeverity* severity) const;

    // The event of an alarm: operation "alarm", outcome "raised", "cleared"
    // or "acknowledged".
    static Event eventOf(const Alarm& alarm, const QString& outcome);

Q_SIGNALS:
    void raised(const orvalink::Alarm& alarm);
    void cleared(const orvalink::Alarm& alarm);
    void acknowledged(const orvalink::Alarm& alarm);
    // After every change of the list.
    void changed();
    // The file could not be written (the alarms stay in memory).
    void saveFailed(const QString& reason);

private:
    void raise(Alarm alarm);
    void clear(qsizetype index);
    qsizetype indexOf(const QString& id) const;
    // How many alarms of distinct trap numbers the element holds.
    int numberedAlarms(const QString& section) const;
    void expire();
    void armExpiry();
    bool save();

    Timings m_timings;
    QString m_path;
    QString m_error;
    QList<Alarm> m_alarms; // sorted by id
    QTimer* m_expiry = nullptr;
    QTimer* m_saveLater = nullptr; // a repeated alarm's count and time
};

} // namespace orvalink
