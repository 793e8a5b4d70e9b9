#pragma once
// Add new element: asks an element's SNMP agent for every parameter, decides
// from which parameters answered whether it is an ENCODER or a DECODER, and
// writes what it answered into the element's section of nms.ini in one
// rewrite at the end.
//
// The same class runs behind the "Add new element" dialog and behind
// `orvalink-cli probe`; both only show its progress and status texts.

#include "core/Timings.h"
#include "store/ElementDatabase.h"

#include <QHash>
#include <QList>
#include <QPair>

#include <QObject>
#include <QString>

namespace orvalink {

class Database;
class Prompt;
class SnmpClient;

class ProbeOperation : public QObject {
    Q_OBJECT
public:
    enum class Result {
        Success,          // "Status: Finished with SUCCESS!"
        NoResponse,       // parameter 15 gave no value, or the element stopped
                          // answering before the last parameter; nothing written
        NotOurDevice,     // the MAC is outside the family; nothing written
        RoleUndetermined, // every key read is written, without a role
        NotSent,          // no address, or the request could not leave this machine
        Cancelled,        // cancel() during the run; nothing written
        StoreFailed,      // the database cannot be used (refused before any exchange)
                          // or the write of the values read failed; nothing written
    };

    // Unanswered parameters at the end of a probe from which on the element
    // is taken to have stopped answering (nothing is then stored).
    static constexpr int kSilentAtEndMeansStopped = 3;

    // Progress values run from 1 to this.
    static constexpr int kProgressMaximum = 27;
    // The default read-only community of the devices.
    static const QString kDefaultCommunity;

    ProbeOperation(SnmpClient& client, Database& database, Prompt& prompt, const Timings& timings,
                   QObject* parent = nullptr);

    // Runs the whole probe and returns when it has ended; the event loop
    // runs during every exchange. A call while a probe runs returns NotSent.
    Result run(const QString& host, const QString& community);
    // Ends a running probe after its current exchange.
    void cancel();
    bool isRunning() const { return m_running; }

    // What a probe stores for the values an element gave (parameter n to its
    // value text; a parameter without a value is absent), read from host
    // with the read community; *role is the role they show.
    static QList<QPair<QString, QString>> storedKeys(const QHash<quint8, QString>& values,
                                                     const QString& host, const QString& community,
                                                     ElementRole* role);

    // The section of the element the last probe read (empty before its MAC
    // was known).
    QString section() const { return m_section; }
    // The address the last probe asked.
    QString host() const { return m_host; }
    QString statusText() const { return m_status; }

Q_SIGNALS:
    void progressChanged(int value);
    void statusChanged(const QString& text);

private:
    Result probe(const QString& host, const QString& community);
    void setProgress(int value);
    void setStatus(const QString& text);
    Result fail(Result result, const QString& text);

    QString m_host;
    SnmpClient& m_client;
    Database& m_database;
    Prompt& m_prompt;
    Timings m_timings;
    bool m_running = false;
    bool m_cancelled = false;
    QString m_section;
    QString m_status;
};

} // namespace orvalink
