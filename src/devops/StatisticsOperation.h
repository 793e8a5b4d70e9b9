#pragma once
// Statistics: reads an element's traffic and PTP counters one by one, as the
// "Statistics" window and `orvalink-cli stats` show them, and works out how
// fast each moved since the previous read.

#include "core/Timings.h"
#include "snmp/ParameterTable.h"
#include "store/ElementDatabase.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <span>

namespace orvalink {

class Database;
class SnmpClient;

// One counter the window shows: its key (the parameter table's short name),
// its caption, and its metric for monitoring systems.
struct StatisticsCounter {
    const char* key;     // "mac_tx_frames_ok"
    const char* caption; // "Good TX Frames:"
    const char* metric;  // "orvalink_mac_tx_frames_total"
    const char* help;    // one line for the metric's HELP
    bool monotonic;      // an event count (true) or a reading that goes up and down
    const char* unit;    // what the window writes after the value (UTF-8)
};

// One counter as read.
struct StatisticsReading {
    QString key;           // counter key
    quint8 n = 0;          // the parameter read
    QString value;         // the value text; empty for no value
    QString rate;          // change of an event count since the previous read, "" for none
    bool answered = false; // the element replied (with a value or an error)
    QString display() const { return value.isEmpty() ? QStringLiteral("ERROR") : value; }
};

// The ten counters in the order the window lays them out.
std::span<const StatisticsCounter> statisticsCounters();
const StatisticsCounter* findStatisticsCounter(const QString& key);

// A reading as the window shows it: an event count with thousands separators
// and what it counts ("1,204,331 frames"), the clock difference in
// nanoseconds ("-312 ns"), the measured delay in microseconds
// ("150.123 µs"); "ERROR" for no value, a value that is no number as it is.
QString statisticsValueText(const StatisticsReading& reading);

// The change of a counter between two reads as a rate per second:
// "+1,204/s", "+0.4/s", "-12/s". An event count that went down was reset or
// wrapped: "reset". Empty when either value is no number or no time passed.
QString counterRateText(const QString& before, qint64 beforeMs, const QString& after,
                        qint64 afterMs, bool monotonic);

// The parameters the statistics read for an element of this stored role and
// sfn, in reading order (a role other than 2 reads like an ENCODER).
QList<OperationStep> statisticsStepsFor(const QString& storedRole, const QString& storedSfn);

// What one element gave: for `stats`, the bulk reader and the metrics.
struct ElementStatistics {
    QString section;
    QString mac;  // colon form
    QString name; // stored name, trimmed
    QString ip;   // stored snmpip
    ElementRole role = ElementRole::Unknown;
    bool sfn = false;  // stored sfn is 1
    QString community; // stored snmpro
    bool up = false;   // the element answered at least one request
    QList<StatisticsReading> readings;
};

class StatisticsOperation : public QObject {
    Q_OBJECT
public:
    enum class Result {
        Done,      // every counter of this element was asked for
        NoElement, // no section to read from
        Cancelled, // cancel() during the run
        Busy,      // a refresh is already running
    };

    using Reading = StatisticsReading;

    StatisticsOperation(SnmpClient& client, Database& database, const Timings& timings,
                        QObject* parent = nullptr);

    // The caption of the window's frame: the stored name (as stored, padded
    // to 16 characters) followed by ":".
    QString frameCaption(const QString& section) const;

    // Reads the counters of the element in `section` by its stored role and
    // sfn; returns when all were read. The event loop runs during each read.
    Result refresh(const QString& section);
    void cancel();
    bool isRunning() const { return m_running; }

    // The readings of the last refresh, in reading order.
    const QList<Reading>& readings() const { return m_readings; }
    // True when every counter of the last refresh gave a value.
    bool allRead() const;

    // Milliseconds for the rates; tests replace the clock.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

Q_SIGNALS:
    // A counter is about to be read (the window colours its label red).
    void readingStarted(const QString& key);
    // A counter was read (or gave no value).
    void readingDone(const orvalink::StatisticsReading& reading);

private:
    SnmpClient& m_client;
    Database& m_database;
    Timings m_timings;
    bool m_running = false;
    bool m_cancelled = false;
    QList<Reading> m_readings;
    struct Previous {
        QString value;
        qint64 ms = 0;
    };
    QHash<QString, Previous> m_previous; // by counter key
    std::function<qint64()> m_clock;
};

} // namespace orvalink
