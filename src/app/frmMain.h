#pragma once
// The main window: it builds the window (tree, panel, NMS interface, menus,
// status bar, docks) and wires its parts, each a class of its own: the
// element commands, the device windows, the configuration commands, the
// remote protocol and live status. Its controls are private; tests find
// them by their object names.

#include "app/AppContext.h"
#include "app/CommandContext.h"
#include "core/AppFlags.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <memory>

class QLabel;
class QSplitter;

namespace orvalink {

class AlarmsDock;
class ConfigCommands;
class DeviceWindows;
class ElementCommands;
class ElementPanel;
class ElementTree;
class EventLog;
class EventsDock;
class InstanceGuard;
class MainMenus;
class MainStatusBar;
class NmsInterface;
class OutcomeChannel;
class RemoteCommands;
class SnmpTransport;
class StatusView;
class WindowGeometry;
struct Event;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    enum class StartResult {
        Running,        // start-up done; show the window
        AlreadyRunning, // another instance holds the lock; the program ends
    };

    explicit frmMain(const AppContext& context, QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the start-up sequence: start word, stored interface, single
    // instance, notice, element list, interface list, caption and buffer
    // range. The event history, its follower and live status start once the
    // window has first been shown.
    StartResult startUp();
    // The start mode startUp() found (GPS, low latency).
    const AppFlags& flags() const;
    // The NMS interface in use (strLocalNMSIPAddress).
    QString localNmsAddress() const;

    // The one way an outcome of an operation ("Deleted TX SITE SOUTH")
    // reaches the operator: the status bar shows the last one, the "Events"
    // window lists it and events.log beside the database keeps it.
    void postOutcome(const Event& event);
    // A free text of the window ("No reply from 127.0.0.1").
    void postOutcome(const QString& text);

Q_SIGNALS:
    // The program cannot go on (the remote protocol's port is taken): the
    // message has been shown, and the program ends.
    void fatalError();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildImageList();
    void buildLayout();
    void buildParts();
    void wireCommands();
    void buildLiveStatus();
    void startOnceExposed();
    void startAfterShown();
    void updateStatusBar();
    void Toolbar1_ButtonClick(int index);
    void setLevelControlShown(bool shown);
    void setRemoteCommandsShown(bool shown);
    void showAbout();
    QSize firstWindowSize() const;
    void showNotice();
    void reportWriteFailure(const QString& path, const QString& reason);
    void setLocalAddress(const QString& address);

    AppContext m_ctx;
    IniStore m_store;
    Database m_database;
    CommandContext m_cx;
    QList<QIcon> ImageList1; // index 0 unused; 1..5 toolbar, 6 encoder, 7 other node
    SnmpTransport* m_snmp = nullptr;
    ElementPanel* panel = nullptr;
    ElementTree* m_tree = nullptr;
    QSplitter* splitter = nullptr;
    QWidget* m_panelScroll = nullptr;
    NmsInterface* m_interface = nullptr;
    MainMenus* m_menus = nullptr;
    MainStatusBar* m_status = nullptr;
    std::unique_ptr<WindowGeometry> m_geometry;
    InstanceGuard* m_instance = nullptr;
    // The commands.
    ElementCommands* m_elements = nullptr;
    DeviceWindows* m_devices = nullptr;
    ConfigCommands* m_config = nullptr;
    RemoteCommands* m_remote = nullptr;
    // Outcomes, the event log and live status.
    EventLog* m_eventLog = nullptr;
    OutcomeChannel* m_outcomes = nullptr;
    EventsDock* m_eventsDock = nullptr;
    StatusView* m_statusView = nullptr;
    AlarmsDock* m_alarmsDock = nullptr;
    bool m_running = false;         // startUp() finished
    bool m_startedAfter = false;    // startAfterShown() is on its way
    bool m_servicesStarted = false; // startAfterShown() has run
};

} // namespace orvalink
