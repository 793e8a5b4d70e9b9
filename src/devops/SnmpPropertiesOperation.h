#pragma once
// Device SNMP properties: the trap destination, the two communities and the
// agent's own address settings of an element, written to the element with
// confirmed SETs and stored in nms.ini only when the element echoed them.
// Behind the "Device SNMP properties" window.

#include "core/Timings.h"

#include <QObject>
#include <QString>

namespace orvalink {

class Database;
class Prompt;
class SnmpClient;

class SnmpPropertiesOperation : public QObject {
    Q_OBJECT
public:
    // The seven fields, as the window shows them and nms.ini keeps them.
    struct Settings {
        QString agentIp;     // snmpip
        QString agentMask;   // snmpnm
        QString agentGw;     // snmpgw
        QString agentDns;    // snmpdn
        QString trapIp;      // snmptr
        QString roCommunity; // snmpro
        QString rwCommunity; // snmprw
    };

    enum class Result {
        Done,           // every change was echoed and stored
        Failed,         // at least one change was not echoed
        NothingChanged, // no field differs from nms.ini: nothing was sent
        Busy,           // a Modify is running
        StoreFailed,    // the database cannot be used (nothing sent), or the element took
                        // a change that could not be stored; failure() says which
    };

    static const QString kSetFailed;   // 48, 46, 47 or 49 not echoed
    static const QString kApplyFailed; // 50 not answered with "1"
    static const QString kRestarting;  // all applied

    SnmpPropertiesOperation(SnmpClient& client, Database& database, Prompt& prompt,
                            const Timings& timings, QObject* parent = nullptr);

    Settings load(const QString& section) const;
    // The Modify of the window: trap destination, read and write community,
    // then the agent settings with their activation when any of them changed.
    Result modify(const QString& section, const Settings& fields);
    bool isRunning() const { return m_running; }
    // Why the last modify() ended with StoreFailed, as one sentence.
    QString failure() const { return m_failure; }

Q_SIGNALS:
    // A trap or community step ended: "SUCCESS!" (ok) or "FAILED..." (not ok).
    void statusChanged(const QString& text, bool ok);
    // The element echoed a setting: its nms.ini key, the stored value before
    // and the new one.
    void settingConfirmed(const QString& key, const QString& oldValue, const QString& newValue);
    // A modify() has ended (Busy included).
    void modified(SnmpPropertiesOperation::Result result);

private:
    Result modifyOnce(const QString& section, const Settings& fields);
    bool setAndStore(const QString& host, const QString& community, quint8 n, quint8 tag,
                     const QString& section, const char* key, const QString& oldValue,
                     const QString& value);

    SnmpClient& m_client;
    Database& m_database;
    Prompt& m_prompt;
    Timings m_timings;
    void storeFailed(const QString& done);

    bool m_running = false;
    QString m_failure;
};

} // namespace orvalink
