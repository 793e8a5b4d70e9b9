#pragma once
// The main window's commands: the toolbar with its seven buttons, the menu
// bar (File, Element, View, Help) and the tree's pop-up menu. This class
// builds them and names every action; frmMain connects them to its parts.

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace orvalink {

class MainMenus : public QObject {
    Q_OBJECT
public:
    // images: the window's image list (1..5 are the toolbar's icons).
    MainMenus(QMainWindow& window, const QList<QIcon>& images);

    // The key of toolbar button 1..7, empty for none (the menu bar's
    // entries carry the same keys).
    static QKeySequence toolbarShortcut(int button);

    // ---- Toolbar ----
    QToolBar* Toolbar1 = nullptr;
    // Button by its number 1..7 (3 and 6 are separators).
    QAction* toolbarButton(int index) const { return m_buttons.value(index - 1, nullptr); }
    // After the seven: the remote protocol's discovery, shown only while
    // View > "Show remote protocol commands" is ticked.
    QAction* cmdAutoDiscovery = nullptr;

    // ---- Pop-up menu of the tree ----
    QMenu* mnuHidden = nullptr;
    QAction* mnuAddNewDevice = nullptr;
    QAction* mnuDeviceSNMPProperties = nullptr;
    QAction* mnuSep1 = nullptr;
    QAction* mnuDeviceDelete = nullptr;
    // After the design's entries: the command on every selected element.
    QAction* mnuApplySelected = nullptr;

    // ---- Menu bar ----
    QMenu* mnuElement = nullptr;
    QMenu* mnuView = nullptr;
    // View > "Show audio &level control" and "Show remote &protocol
    // commands", both kept in the user settings.
    QAction* mnuShowLevelControl = nullptr;
    QAction* mnuShowRemoteCommands = nullptr;
    // View > "Poll element &status", kept in the user settings.
    QAction* mnuPollStatus = nullptr;
    // A menu bar command by its object name ("actRefreshList", ...).
    QAction* command(const QString& name) const;

    // Shows or hides every entry that starts a remote protocol command.
    void setRemoteCommandsShown(bool shown);

private:
    void buildToolbar(const QList<QIcon>& images);
    void buildHiddenMenu();
    void buildMenuBar();
    QAction* addCommand(QMenu* menu, const char* name, const QString& text,
                        const QKeySequence& key = {});

    QMainWindow& m_window;
    QList<QAction*> m_buttons; // index 0 is button 1
    QAction* m_discoverySeparator = nullptr;
};

} // namespace orvalink
