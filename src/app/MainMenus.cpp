#include "app/MainMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

namespace orvalink {

MainMenus::MainMenus(QMainWindow& window, const QList<QIcon>& images)
    : QObject(&window), m_window(window)
{
    buildToolbar(images);
    buildHiddenMenu();
    buildMenuBar();
    setRemoteCommandsShown(false);
}

QKeySequence MainMenus::toolbarShortcut(int button)
{
    switch (button) {
    case 1:
        return QKeySequence::New;
    case 4:
        return QKeySequence(Qt::Key_F5);
    case 5:
        return QKeySequence::Save;
    case 7:
        return QKeySequence(Qt::Key_Delete);
    default:
        return {};
    }
}

void MainMenus::buildToolbar(const QList<QIcon>& images)
{
    Toolbar1 = new QToolBar(QStringLiteral("Toolbar1"), &m_window);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setIconSize(QSize(24, 24));
    m_window.addToolBar(Qt::TopToolBarArea, Toolbar1);

    struct Button {
        int index;
        int image;
        const char* text;
    };
    const Button buttons[] = {
        {1, 1, "Add new element"}, {2, 2, "Element properties"}, {3, 0, nullptr},
        {4, 3, "Refresh list"},    {5, 4, "Save changes"},       {6, 0, nullptr},
        {7, 5, "Delete device"},
    };
    for (const Button& b : buttons) {
        QAction* action = nullptr;
        if (!b.text) {
            action = Toolbar1->addSeparator();
        } else {
            action = Toolbar1->addAction(images.value(b.image), QString::fromLatin1(b.text));
            const QKeySequence key = toolbarShortcut(b.index);
            action->setToolTip(QString::fromLatin1(b.text) +
                               (key.isEmpty() ? QString()
                                              : QStringLiteral(" (%1)").arg(
                                                    key.toString(QKeySequence::NativeText))));
        }
        m_buttons.append(action);
    }
    // Not one of the seven: the older protocol's discovery, after them.
    m_discoverySeparator = Toolbar1->addSeparator();
    cmdAutoDiscovery = Toolbar1->addAction(m_window.style()->standardIcon(QStyle::SP_DriveNetIcon),
                                           QStringLiteral("Auto Discovery"));
    cmdAutoDiscovery->setObjectName(QStringLiteral("cmdAutoDiscovery"));
    cmdAutoDiscovery->setToolTip(
        QStringLiteral("Auto Discovery: rebuild the element list from the elements that answer"));
}

void MainMenus::buildHiddenMenu()
{
    mnuHidden = new QMenu(QStringLiteral("HiddenMenu"), &m_window);
    mnuHidden->setObjectName(QStringLiteral("mnuHidden"));
    mnuAddNewDevice = mnuHidden->addAction(QStringLiteral("&New device..."));
    mnuDeviceSNMPProperties = mnuHidden->addAction(QStringLiteral("Device &properties..."));
    mnuSep1 = mnuHidden->addSeparator();
    mnuDeviceDelete = mnuHidden->addAction(QStringLiteral("&Delete device..."));
    mnuAddNewDevice->setObjectName(QStringLiteral("mnuAddNewDevice"));
    mnuDeviceSNMPProperties->setObjectName(QStringLiteral("mnuDeviceSNMPProperties"));
    mnuSep1->setObjectName(QStringLiteral("mnuSep1"));
    mnuDeviceDelete->setObjectName(QStringLiteral("mnuDeviceDelete"));
    mnuApplySelected = mnuHidden->addAction(QStringLiteral("&Apply to selected..."));
    mnuApplySelected->setObjectName(QStringLiteral("mnuApplySelected"));
}

QAction* MainMenus::addCommand(QMenu* menu, const char* name, const QString& text,
                               const QKeySequence& key)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setToolTip(QStringLiteral("%1 (%2)").arg(QString(text).remove(QLatin1Char('&')),
                                                    key.toString(QKeySequence::NativeText)));
    }
    return a;
}

void MainMenus::buildMenuBar()
{
    QMenuBar* bar = m_window.menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    addCommand(file, "actAddNewElement", QStringLiteral("&Add new element..."), toolbarShortcut(1));
    addCommand(file, "actAutoDiscovery", QStringLiteral("Auto &discovery..."));
    file->addSeparator();
    addCommand(file, "actQuit", QStringLiteral("&Quit"), QKeySequence::Quit);

    mnuElement = bar->addMenu(QStringLiteral("&Element"));
    mnuElement->setObjectName(QStringLiteral("mnuElement"));
    addCommand(mnuElement, "actSaveChanges", QStringLiteral("&Save changes"), toolbarShortcut(5));
    addCommand(mnuElement, "actDeviceProperties", QStringLiteral("Device &properties..."));
    addCommand(mnuElement, "actStatistics", QStringLiteral("S&tatistics..."));
    addCommand(mnuElement, "actSfnAdjustment", QStringLiteral("SFN &Adjustment..."));
    addCommand(mnuElement, "actPing", QStringLiteral("P&ing"));
    mnuElement->addSeparator();
    addCommand(mnuElement, "actExportConfiguration", QStringLiteral("&Export configuration..."));
    addCommand(mnuElement, "actExportAll", QStringLiteral("Export a&ll..."));
    addCommand(mnuElement, "actImportConfiguration", QStringLiteral("I&mport configuration..."));
    addCommand(mnuElement, "actApplyToSelected", QStringLiteral("Apply to se&lected..."));
    mnuElement->addSeparator();
    QAction* remove = addCommand(mnuElement, "actDeleteElement",
                                 QStringLiteral("&Delete device..."), toolbarShortcut(7));
    // Delete deletes only from the tree (frmMain adds this action to it):
    // in a drop-down, a scroll bar or a field of the panel the key is theirs.
    remove->setShortcutContext(Qt::WidgetShortcut);

    mnuView = bar->addMenu(QStringLiteral("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    addCommand(mnuView, "actRefreshList", QStringLiteral("&Refresh list"), toolbarShortcut(4));
    addCommand(mnuView, "actFindElement", QStringLiteral("&Find element"), QKeySequence::Find);
    mnuView->addSeparator();
    mnuShowLevelControl = mnuView->addAction(QStringLiteral("Show audio &level control"));
    mnuShowLevelControl->setObjectName(QStringLiteral("mnuShowLevelControl"));
    mnuShowLevelControl->setCheckable(true);
    mnuShowRemoteCommands = mnuView->addAction(QStringLiteral("Show remote &protocol commands"));
    mnuShowRemoteCommands->setObjectName(QStringLiteral("mnuShowRemoteCommands"));
    mnuShowRemoteCommands->setCheckable(true);
    mnuView->addSeparator();
    mnuPollStatus = mnuView->addAction(QStringLiteral("Poll element &status"));
    mnuPollStatus->setObjectName(QStringLiteral("mnuPollStatus"));
    mnuPollStatus->setCheckable(true);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addCommand(help, "actAbout", QStringLiteral("&About..."));
}

QAction* MainMenus::command(const QString& name) const
{
    return m_window.menuBar()->findChild<QAction*>(name);
}

void MainMenus::setRemoteCommandsShown(bool shown)
{
    m_discoverySeparator->setVisible(shown);
    cmdAutoDiscovery->setVisible(shown);
    command(QStringLiteral("actAutoDiscovery"))->setVisible(shown);
    if (mnuShowRemoteCommands->isChecked() != shown)
        mnuShowRemoteCommands->setChecked(shown);
}

} // namespace orvalink
