#pragma once
// Live status and alarms in the main window: LiveStatus (the poller, the
// trap receiver and the alarm book, wired as the monitor wires them) fed
// with the element list at every load of the tree, and what the tree shows
// of them: a dot for the state (up, down, not polled yet; no
// dot without SNMP address), a badge for the worst active alarm, and a
// tooltip with the last answer, the round trip and the alarms. State
// changes and alarms go out as events.

#include "core/Timings.h"
#include "monitor/AlarmBook.h"
#include "monitor/LiveStatus.h"
#include "monitor/StatusPoller.h"
#include "store/EventLog.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QIcon>
#include <QList>
#include <QObject>

class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvalink {

class IniStore;
class TrapReceiver;
class UserSettings;

class StatusView : public QObject {
    Q_OBJECT
public:
    // Item data roles of a tree node: its state ("up", "down", "not polled
    // yet", "no SNMP address", "off") and its worst alarm's severity ("").
    static constexpr int kNodeStateRole = Qt::UserRole + 3;
    static constexpr int kNodeAlarmRole = Qt::UserRole + 4;

    // images: the window's image list, indexed by the node's image role.
    StatusView(QTreeWidget& tree, const QList<QIcon>& images, IniStore& store,
               const QString& dbPath, UserSettings& settings, const Timings& timings,
               quint16 agentPort, QObject* parent = nullptr);
    ~StatusView() override;

    // Reads the alarms, binds the poller and the trap receiver on the NMS
    // interface and starts polling unless the operator turned it off.
    void start(const QString& nmsAddress);
    bool isStarted() const { return m_started; }
    // Another NMS interface: the poller and the receiver bind anew.
    void setLocalAddress(const QString& nmsAddress);
    // The element list of the database, again (after each load of the tree).
    void reload();
    // View > "Poll element status"; kept in the user settings.
    void setPolling(bool on);
    bool polling() const;

    StatusPoller& poller() { return m_live->poller(); }
    AlarmBook& alarms() { return m_live->alarms(); }

    // Tooltip of one element.
    QString toolTip(const PolledElement& e) const;

Q_SIGNALS:
    // A state change or an alarm, as an event for the log and status bar.
    void eventOccurred(const orvalink::Event& event);
    // A fault of the station's own (trap port taken, alarms not written):
    // one line for the status bar.
    void noteRaised(const QString& text);
    void alarmCountChanged(int count);

private:
    void redrawElement(const QString& section);
    void bindEndpoints();
    void decorateAll();
    void decorate(QTreeWidgetItem* node);
    QIcon iconFor(int image, const QString& state, const QString& severity);

    QTreeWidget& m_tree;
    const QList<QIcon> m_images;
    UserSettings& m_settings;
    quint16 m_agentPort;
    LiveStatus* m_live = nullptr;
    bool m_started = false;
    QString m_nmsAddress;
    QHash<QString, qsizetype> m_bySection; // index in the poller's list
    QTimer* m_decorateLater = nullptr;
    QHash<QString, QList<Alarm>> m_alarmsBySection; // as of the last decorateAll()
    QHash<QString, QIcon> m_iconCache;
};

} // namespace orvalink
