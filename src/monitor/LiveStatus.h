#pragma once
// Live status and alarms, the same for the window and `orvalink-cli
// monitor`: a status poller fed from the element database, a trap receiver
// on the NMS interface and the alarm book (alarms.json beside the
// database), wired once: a state change of the poller sets the element's
// reachability in the book, a trap goes to the book, and every state change
// and alarm comes out as one Event, in the same words from both sides.
// What each side shows of it (the tree's dots, /metrics) is its own.

#include "core/Timings.h"
#include "monitor/AlarmBook.h"
#include "monitor/StatusPoller.h"
#include "store/EventLog.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

namespace orvalink {

class IniStore;
class TrapReceiver;
struct Trap;
struct TrapRejection;
struct ElementEntry;

class LiveStatus : public QObject {
    Q_OBJECT
public:
    LiveStatus(IniStore& store, const QString& dbPath, const Timings& timings,
               QObject* parent = nullptr);
    ~LiveStatus() override;

    // Reads alarms.json beside the database; false with *error when it
    // cannot be read (the book then starts empty and says so).
    bool openAlarms(QString* error);
    // Binds the poller's socket on the NMS interface; false with *error.
    bool openPoller(const QString& nmsAddress, quint16 agentPort, QString* error);
    // A receiver binds once: another address or port takes a new one.
    // False with *error ("Traps are not received on ADDRESS:PORT: WHY").
    bool bindTraps(const QString& nmsAddress, quint16 port, QString* error);
    quint16 trapPort() const;

    // The element list of the database, again. A file that cannot be read
    // is no empty database: the elements and their alarms stay as they were
    // and the reason is returned (empty when the list was read).
    QString reload();

    StatusPoller& poller() { return *m_poller; }
    const StatusPoller& poller() const { return *m_poller; }
    AlarmBook& alarms() { return *m_alarms; }
    const AlarmBook& alarms() const { return *m_alarms; }

    // "40 s", "5 min", "2 h 5 min".
    static QString duration(qint64 seconds);

Q_SIGNALS:
    // A state change ("status" down/up) or an alarm raised, cleared or
    // acknowledged, for the log and the status bar.
    void eventOccurred(const orvalink::Event& event);
    // The poller's state of one element changed, its reachability is in
    // the book already.
    void elementStateChanged(const QString& section);
    void trapReceived(const orvalink::Trap& trap, const orvalink::ElementEntry& element);
    void trapRejected(const orvalink::TrapRejection& rejection);

private:
    void onStateChanged(const QString& section, ElementState was, ElementState now);

    IniStore& m_store;
    const QString m_dbPath;
    StatusPoller* m_poller = nullptr;
    AlarmBook* m_alarms = nullptr;
    TrapReceiver* m_traps = nullptr;
    QHash<QString, QDateTime> m_downSince; // by section, while down
};

} // namespace orvalink
