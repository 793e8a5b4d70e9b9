#pragma once
// The main window: it wires its parts (ElementTree, MainMenus,
// MainStatusBar, WindowGeometry, InstanceGuard) to the element panel, runs
// start-up, the commands and the device windows, and carries the routines
// that the dialogs call through it (database access, text forms, SNMP; in
// frmMainRoutines.cpp).

#include "app/AppContext.h"
#include "app/ElementTree.h"
#include "core/AppFlags.h"
#include "devops/ElementView.h"
#include "netutil/MacResolver.h"
#include "panel/ElementPanel.h"
#include "remote/RemoteEndpoint.h"
#include "remote/RemotePanel.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvalink {

class AlarmsDock;
class InstanceGuard;
class MainMenus;
class MainStatusBar;
struct Event;
class EventLog;
class EventsDock;
class OperationEvents;
class OutcomeChannel;
class Pinger;
class WindowGeometry;
class RemoteProtocol;
class SnmpTransport;
class StatusView;

class frmMain : public QMainWindow, public ElementView, public RemotePanel {
    Q_OBJECT
public:
    enum class StartResult {
        Running,        // start-up done; show the window
        AlreadyRunning, // another instance holds the lock; the program ends
    };

    // Image list indexes of the tree icons and item data roles of a node.
    static constexpr int kEncoderImage = ElementTree::kEncoderImage;
    static constexpr int kElementImage = ElementTree::kElementImage;
    static constexpr int kNodeKeyRole = ElementTree::kNodeKeyRole;
    static constexpr int kNodeImageRole = ElementTree::kNodeImageRole;
    static constexpr int kNodeFindRole = ElementTree::kNodeFindRole;

    explicit frmMain(const AppContext& context, QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the start-up sequence: start word, stored interface, single
    // instance, notice, element list, interface list, caption and buffer range.
    StartResult startUp();

    // ---- State ----
    QString strLocalNMSIPAddress;
    AppFlags flags;

    // ---- Controls (owned by the parts; the design's names) ----
    QToolBar* Toolbar1 = nullptr;
    ElementTree* frmTreeView = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QListWidget* lstHidden = nullptr;
    QList<QIcon> ImageList1; // index 0 unused; 1..5 toolbar, 6 encoder, 7 other node
    QMenu* mnuHidden = nullptr;
    QAction* mnuAddNewDevice = nullptr;
    QAction* mnuDeviceSNMPProperties = nullptr;
    QAction* mnuSep1 = nullptr;
    QAction* mnuDeviceDelete = nullptr;
    QLabel* lblNMSInterface = nullptr;
    QComboBox* cmbNMSIPAddr = nullptr;
    ElementPanel* panel = nullptr;
    // The remote protocol's endpoint (port 2976 on the NMS interface).
    RemoteEndpoint udpClient;
    QTimer* timerRemoteSent = nullptr; // the remote protocol's reply timeout
    // Toolbar, after the seven buttons; shown only with View > "Show remote
    // protocol commands".
    QAction* cmdAutoDiscovery = nullptr;
    QTimer* tmrSpectrum = nullptr;

    // Toolbar button by its number 1..7 (3 and 6 are separators).
    QAction* toolbarButton(int index) const;

    // ---- Window: splitter, filter, menu bar, status bar ----
    // Tree (left, takes the extra width) and panel (right).
    QSplitter* splitter = nullptr;
    // Above the tree: shows only the elements whose name, MAC or address
    // holds the text (Ctrl+F; Escape clears it).
    QLineEdit* txtFilter = nullptr;
    // View > "Show audio &level control" and "Show remote &protocol
    // commands", kept in the user settings.
    QAction* mnuShowLevelControl = nullptr;
    QAction* mnuShowRemoteCommands = nullptr;
    // Status bar: the NMS interface, the database (full path in its tip),
    // the element count, the outcome of the last operation.
    QLabel* lblStatusInterface = nullptr;
    QLabel* lblStatusDatabase = nullptr;
    QLabel* lblStatusCount = nullptr;
    QLabel* lblStatusOutcome = nullptr;
    // A menu bar command by its object name ("actRefreshList", ...).
    QAction* menuCommand(const QString& name) const;
    // The one way an outcome of an operation ("Deleted TX SITE SOUTH")
    // reaches the operator: device windows and operations report through it;
    // the status bar shows the last one, the "Events" window lists it and
    // events.log beside the database keeps it.
    void postOutcome(const Event& event);
    // A free text of the window ("No reply from 127.0.0.1").
    void postOutcome(const QString& text);
    QString lastOutcome() const;
    // View > "Events" and its window.
    QAction* mnuShowEvents = nullptr;
    EventsDock* eventsDock() const { return m_eventsDock; }
    EventLog& eventLog() { return *m_eventLog; }
    // Live status and alarms: View > "Poll element status" (kept per user),
    // View > "Alarms" and its window, the poller, receiver and alarm book.
    QAction* mnuPollStatus = nullptr;
    QAction* mnuShowAlarms = nullptr;
    AlarmsDock* alarmsDock() const { return m_alarmsDock; }
    StatusView& statusView() { return *m_statusView; }
    // Shows only the nodes matching text (all when it is empty).
    void applyFilter(const QString& text);
    // True when the panel holds no edits, or the operator lets them go.
    bool confirmDiscard();

    // ---- Operations that other windows hook in ----
    // Until its dialog exists this runs nothing; the main window still does
    // its own part (the selection check). onSendConfiguration, when set,
    // runs instead of SendConfiguration().
    std::function<void()> onSendConfiguration;

    // ---- Device windows, each only for a shown element ----
    void showSNMPProperties();
    void showStatistics();
    void showAdjust();

    // ---- Configurations (frmMainConfig.cpp) ----
    // Element > "Export configuration...": reads the shown element and
    // writes its backup file where the operator says.
    void exportConfiguration();
    // Element > "Export all...": every element's backup into one folder.
    void exportAll();
    // Element > "Import configuration...": a backup file of the shown
    // element, its differences with the element shown first, then sent.
    void importConfiguration();
    // Element > "Apply to selected...": KEY=VALUE pairs on every selected
    // element at once.
    void applyToSelected();

    // ---- Handlers ----
    void Toolbar1_ButtonClick(int index);
    void TreeView1_NodeClick(QTreeWidgetItem* node);
    void TreeView1_MouseUp(const QPoint& globalPos);
    void cmbNMSIPAddr_Click();
    void mnuAddNewDevice_Click();
    void mnuDeviceSNMPProperties_Click();
    void mnuDeviceDelete_Click();
    // The panel's ping button: one ICMP echo to the shown element's agent
    // address, the outcome on the button.
    void cmdPing_Click();
    // Enables the pop-up menu's entries for the tree's selection.
    void prepareHiddenMenu();

    // ---- Element list ----
    void Load_Config();
    void RefreshElementList();
    void DeleteElement();
    void ShowSelectedElement();
    void AddNewElement();
    // True when an element is selected and shown; otherwise tells the operator.
    bool checkSelection();
    // The element the panel shows, for the device windows.
    ShownElement shownElement() const override;
    // The panel's editors, for an apply.
    EditedValues editedValues() const override;
    // Reloads the tree, selects the same position again and shows it.
    void showAgainFromDatabase() override;
    // "Save changes": checks the panel, asks, and runs frmSendSNMP.
    void SendConfiguration();

    // ---- Remote protocol ----
    // Asks, then rebuilds the database from the elements that answer.
    // Refused before anything is touched while the NMS interface is a
    // loopback address (a discovery there finds no element).
    void AutoDiscover();
    RemoteProtocol& remote() { return *m_remote; }
    RemotePanelState remotePanelState() const override;
    void showConfirmed(const RemoteConfirmed& values) override;

    // ---- NMS interface ----
    QStringList GetLocalIPv4Addresses();
    void FillNMSInterfaceList();

    // ---- Database routines ----
    QString ReadFromINI(const QString& strSection, const QString& strkey,
                        const QString& strfullpath, const QString& strDefault) const;
    // True when the file now holds the change; a failure is told in a box.
    bool WriteToINI(const QString& strSection, const QString& strkey, const QString& strkeyvalue,
                    const QString& strfullpath);
    bool DeleteIniSection(const QString& strSection, const QString& strfullpath);
    bool DeleteIniKey(const QString& strSection, const QString& strKeyname,
                      const QString& strfullpath);
    bool CheckIfIniKeyExists(const QString& strSection, const QString& strKeyname,
                             const QString& strfullpath) const;
    bool CheckIfIniSectionExists(const QString& strSection, const QString& strfullpath) const;
    long GetLongFromINI(const QString& strSection, const QString& strKeyname,
                        const QString& strfullpath, long lngDefault) const;
    void RenameIniKey(const QString& strSection, const QString& strKeyname,
                      const QString& strNewKeyname, const QString& strfullpath);
    void RenameIniSection(const QString& strSection, const QString& strNewSection,
                          const QString& strfullpath);
    void LoadIniSectionsLB(QListWidget* lstB, const QString& strfullpath) const;
    QStringList LoadIniSectionsArray(const QString& strfullpath) const;
    void LoadIniSectionKeysLB(const QString& strSection, QListWidget* lstB,
                              const QString& strfullpath) const;
    int GetSectionKeyCount(const QString& strSection, const QString& strfullpath) const;

    // ---- SNMP (one request at a time, through the one SNMP socket) ----
    QString GetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID);
    QString SetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID,
                    quint8 byteValueType, const QString& varValue);
    SnmpTransport& snmp() { return *m_snmp; }

    // ---- Text forms ----
    static bool IsValidIPAddress(const QString& strIPAddress);
    static QString Encode_MAC(const QString& srcMAC);
    static QString Decode_MAC(const QString& srcSection);
    static QString Encode_Name(const QString& srcName);

    // ---- Accessors ----
    IniStore& store() { return m_store; }
    Prompt& prompt() { return *m_ctx.prompt; }
    UserSettings& settings() { return *m_ctx.settings; }
    const QString& databasePath() const { return m_ctx.databasePath; }
    const Timings& timings() const { return m_ctx.timings; }

Q_SIGNALS:
    // The program cannot go on (the remote protocol's port is taken): the
    // message has been shown, and the program ends.
    void fatalError();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildImageList();
    void buildLayout();
    void wireCommands();
    void buildLiveStatus();
    void updateStatusBar();
    void setLevelControlShown(bool shown);
    void setRemoteCommandsShown(bool shown);
    void showAbout();
    QSize firstWindowSize() const;
    QString shownElementName() const;
    void tellNoSelection();
    void showNotice();
    void reportWriteFailure(const QString& path, const QString& reason);
    void setLocalAddress(const QString& address);
    void runDialog(QDialog& dialog);
    QString waitForMac(const QString& address);
    // The events of an operation on the element in `section`, posted here.
    OperationEvents eventsOf(const QString& operation, const QString& section);
    // The context's file question, or the toolkit's file windows.
    QString chooseFile(const AppContext::FileQuestion& question);
    // "GPS", "LL" or empty: the edition this window runs (a backup's header).
    QString editionWord() const;
    // A sweep on a socket of its own (an ephemeral port on the NMS interface).
    void prepareSweep(class ConfigSweep& sweep) const;

    AppContext m_ctx;
    IniStore m_store;
    SnmpTransport* m_snmp = nullptr;
    Database m_database;
    NeighbourTableResolver m_neighbours;
    MacResolver* m_resolver = nullptr; // the context's, or m_neighbours
    RemoteProtocol* m_remote = nullptr;
    std::unique_ptr<Pinger> m_ownPinger;
    bool m_pinging = false;
    // The parts.
    ElementTree* m_tree = nullptr;
    MainMenus* m_menus = nullptr;
    MainStatusBar* m_status = nullptr;
    std::unique_ptr<WindowGeometry> m_geometry;
    InstanceGuard* m_instance = nullptr;
    QWidget* m_panelScroll = nullptr;
    // Device windows running (probe, apply, SNMP properties, SFN): their
    // operations tell a failed database write themselves.
    int m_deviceWindowsOpen = 0;
    struct DeviceWindowOpen {
        explicit DeviceWindowOpen(int& count) : m_count(count) { ++m_count; }
        ~DeviceWindowOpen() { --m_count; }
        DeviceWindowOpen(const DeviceWindowOpen&) = delete;
        DeviceWindowOpen& operator=(const DeviceWindowOpen&) = delete;
        int& m_count;
    };
    EventLog* m_eventLog = nullptr;
    OutcomeChannel* m_outcomes = nullptr;
    EventsDock* m_eventsDock = nullptr;
    StatusView* m_statusView = nullptr;
    AlarmsDock* m_alarmsDock = nullptr;
};

} // namespace orvalink
