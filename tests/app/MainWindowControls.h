#pragma once
// Tests reach the main window as the operator knows it: each control, menu
// entry and part by its object name (the design's names where it gives
// them), never through members of frmMain.

#include "app/AlarmsDock.h"
#include "app/ConfigCommands.h"
#include "app/DeviceWindows.h"
#include "app/ElementCommands.h"
#include "app/ElementTree.h"
#include "app/RemoteCommands.h"
#include "app/StatusView.h"
#include "panel/ElementPanel.h"
#include "panel/PanelControls.h"
#include "remote/RemoteEndpoint.h"
#include "remote/RemoteProtocol.h"
#include "snmp/SnmpTransport.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

#include <memory>

namespace orvalink::testing {

// The child of `window` named `name` (any name when empty); a missing one
// ends the test run with its name, instead of a crash on a null pointer.
template <class T> T* control(const QObject& window, const QString& name = {})
{
    T* found = window.findChild<T*>(name);
    if (!found)
        qFatal("no control '%s' of type %s in %s", qPrintable(name),
               T::staticMetaObject.className(), qPrintable(window.objectName()));
    return found;
}

inline QTreeWidget* TreeView1(const QWidget& w)
{
    return control<QTreeWidget>(w, QStringLiteral("TreeView1"));
}
inline ElementTree* frmTreeView(const QWidget& w)
{
    return control<ElementTree>(w, QStringLiteral("frmTreeView"));
}
inline QListWidget* lstHidden(const QWidget& w)
{
    return control<QListWidget>(w, QStringLiteral("lstHidden"));
}
inline QLineEdit* txtFilter(const QWidget& w)
{
    return control<QLineEdit>(w, QStringLiteral("txtFilter"));
}
inline QComboBox* cmbNMSIPAddr(const QWidget& w)
{
    return control<QComboBox>(w, QStringLiteral("cmbNMSIPAddr"));
}
inline QSplitter* splitter(const QWidget& w)
{
    return control<QSplitter>(w, QStringLiteral("splitter"));
}
// The window's element panel: its controls found by their names, and what
// the panel itself offers the window.
struct PanelOfWindow : PanelControls {
    explicit PanelOfWindow(ElementPanel* p) : PanelControls(*p), self(p) {}
    ElementPanel* self;
    bool hasPendingEdits() const { return self->hasPendingEdits(); }
    bool levelControlOffered() const { return self->levelControlOffered(); }
    int vuMeterWidthTwips() const { return self->vuMeterWidthTwips(); }
    QColor pingColour() const { return self->pingColour(); }
    void adjustClicked() const { Q_EMIT self->adjustClicked(); }
    void getStatsClicked() const { Q_EMIT self->getStatsClicked(); }
};
inline std::unique_ptr<PanelOfWindow> panel(const QWidget& w)
{
    return std::make_unique<PanelOfWindow>(control<ElementPanel>(w, QStringLiteral("panel")));
}
inline QToolBar* Toolbar1(const QWidget& w)
{
    return control<QToolBar>(w, QStringLiteral("Toolbar1"));
}
// Toolbar button 1..7 (3 and 6 are separators).
inline QAction* toolbarButton(const QWidget& w, int index)
{
    return Toolbar1(w)->actions().value(index - 1, nullptr);
}
// A menu entry or other action by its object name ("actRefreshList",
// "mnuDeviceDelete", "mnuShowLevelControl", ...).
inline QAction* action(const QWidget& w, const char* name)
{
    return control<QAction>(w, QString::fromLatin1(name));
}
inline QAction* menuCommand(const QWidget& w, const QString& name)
{
    return control<QAction>(w, name);
}
inline QMenu* mnuHidden(const QWidget& w)
{
    return control<QMenu>(w, QStringLiteral("mnuHidden"));
}
inline QLabel* statusLabel(const QWidget& w, const char* name)
{
    return control<QLabel>(w, QString::fromLatin1(name));
}
// The status bar's outcome of the last operation.
inline QString lastOutcome(const QWidget& w)
{
    return statusLabel(w, "lblStatusOutcome")->text();
}

// The window's parts.
inline ElementCommands& elements(const QWidget& w)
{
    return *control<ElementCommands>(w, QStringLiteral("elementCommands"));
}
inline RemoteCommands& remoteCommands(const QWidget& w)
{
    return *control<RemoteCommands>(w, QStringLiteral("remoteCommands"));
}
inline StatusView& statusView(const QWidget& w)
{
    return *control<StatusView>(w);
}

// Shows the window and lets what starts after the first show (the event
// history, live status) start.
inline bool showAndStart(QWidget& w)
{
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    QCoreApplication::processEvents();
    return true;
}

} // namespace orvalink::testing
