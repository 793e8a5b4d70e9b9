#include "app/frmMain.h"

#include "app/AlarmsDock.h"
#include "app/ConfigCommands.h"
#include "app/DeviceWindows.h"
#include "app/ElementCommands.h"
#include "app/ElementTree.h"
#include "app/EventsDock.h"
#include "app/InstanceGuard.h"
#include "app/MainMenus.h"
#include "app/MainStatusBar.h"
#include "app/NmsInterface.h"
#include "app/RemoteCommands.h"
#include "app/StatusView.h"
#include "app/WindowGeometry.h"
#include "app/frmDisclaimer.h"
#include "core/Prompt.h"
#include "core/StartMode.h"
#include "core/UserSettings.h"
#include "panel/ElementPanel.h"
#include "snmp/SnmpTransport.h"
#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

// The icons are compiled into this static library: register them once.
static void initIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(done);
}

namespace orvalink {

namespace {

// What waits for the window starts at the latest this long after the first
// show, exposed or not.
constexpr int kStartUnexposedMs = 1000;

// The program's icon, in the sizes drawn for it.
QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/orvalink-nms-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

frmMain::frmMain(const AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_ctx(context), m_database(m_store, context.databasePath),
      m_cx(*this, m_ctx, m_store, m_database)
{
    Q_ASSERT(m_ctx.prompt && m_ctx.settings && m_ctx.interfaces);
    setObjectName(QStringLiteral("frmMain"));
    // Found by its name like every part (it goes with the window: a member
    // leaves its parent when it is destroyed).
    m_store.setObjectName(QStringLiteral("store"));
    m_store.setParent(this);
    setWindowTitle(windowCaption(m_cx.flags()));
    initIconResources();
    setWindowIcon(applicationIcon());

    // The event log beside the database, its window and the one channel
    // that outcomes take to the status bar, the window and the file. Its
    // history is read once the window is shown.
    m_eventLog = new EventLog(EventLog::pathFor(context.databasePath), this);
    m_outcomes = new OutcomeChannel(m_eventLog, this);
    m_cx.setOutcomeSink([this](const Event& e) { postOutcome(e); });

    m_snmp = new SnmpTransport(m_ctx.timings, this);
    m_snmp->setPorts(m_ctx.snmpLocalPort, m_ctx.snmpAgentPort);

    buildImageList();
    buildLayout();
    m_menus = new MainMenus(*this, ImageList1);
    m_status = new MainStatusBar(*statusBar());
    connect(m_outcomes, &OutcomeChannel::posted, m_status, &MainStatusBar::showOutcome);
    // The event log's window, docked at the bottom, hidden until asked for.
    m_eventsDock = new EventsDock(*m_eventLog, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_eventsDock);
    m_eventsDock->hide();
    QAction* mnuShowEvents = m_eventsDock->toggleViewAction();
    mnuShowEvents->setObjectName(QStringLiteral("mnuShowEvents"));
    mnuShowEvents->setText(QStringLiteral("&Events"));
    m_menus->mnuView->addAction(mnuShowEvents);
    m_geometry = std::make_unique<WindowGeometry>(*this, *splitter, *m_ctx.settings);
    m_instance = new InstanceGuard(m_ctx.lockPath, this);
    connect(m_instance, &InstanceGuard::activationRequested, this, [this] {
        if (isMinimized())
            showNormal();
        show();
        raise();
        activateWindow();
    });
    buildParts();
    wireCommands();
    updateStatusBar();

    connect(m_snmp, &SnmpTransport::transportFailure, this,
            [this](const QString& message) { m_ctx.prompt->tell(PromptIcon::Critical, message); });
    connect(m_snmp, &SnmpTransport::noAnswer, this, [this](const QString& host) {
        Event e;
        e.operation = QStringLiteral("status");
        e.outcome = QStringLiteral("failed");
        e.host = host;
        e.cause = QStringLiteral("No reply from ") + host;
        postOutcome(e);
    });

    buildLiveStatus();

    connect(&m_store, &IniStore::writeFailed, this, &frmMain::reportWriteFailure);
}

frmMain::~frmMain()
{
    // The parts work on the store, the database and the context: they go
    // before them (children would go only after the members). The remote
    // protocol first: it works on the endpoint and the resolver it owns.
    delete m_remote;
    delete m_config;
    delete m_devices;
    delete m_elements;
}

void frmMain::buildParts()
{
    m_elements = new ElementCommands(m_cx, *m_menus, this);
    m_devices = new DeviceWindows(m_cx, *m_elements, this);
    m_config = new ConfigCommands(m_cx, *m_elements, this);
    m_remote = new RemoteCommands(m_cx, this);
    connect(m_remote, &RemoteCommands::reloadRequested, m_elements, &ElementCommands::Load_Config);
    connect(m_remote, &RemoteCommands::fatalError, this, &frmMain::fatalError);

    connect(panel, &ElementPanel::getStatsClicked, m_devices, &DeviceWindows::showStatistics);
    connect(panel, &ElementPanel::adjustClicked, m_devices, &DeviceWindows::showAdjust);
    connect(panel, &ElementPanel::pingClicked, m_devices, &DeviceWindows::cmdPing_Click);
    connect(m_tree, &ElementTree::nodeClicked, m_elements, &ElementCommands::TreeView1_NodeClick);
    connect(m_tree, &ElementTree::contextMenuRequested, m_elements,
            &ElementCommands::TreeView1_MouseUp);
}

// The status poller, the trap receiver and the alarm book with what the
// window shows of them; they run once the window is shown (AppContext).
void frmMain::buildLiveStatus()
{
    m_statusView = new StatusView(*m_tree->tree(), ImageList1, m_store, m_ctx.databasePath,
                                  *m_ctx.settings, m_ctx.timings, m_ctx.snmpAgentPort, this);
    connect(m_statusView, &StatusView::eventOccurred, this,
            [this](const Event& e) { postOutcome(e); });
    connect(m_statusView, &StatusView::noteRaised, this,
            [this](const QString& text) { postOutcome(text); });
    connect(m_statusView, &StatusView::alarmCountChanged, m_status, &MainStatusBar::setAlarmCount);
    connect(m_tree, &ElementTree::loaded, m_statusView, &StatusView::reload);

    m_alarmsDock = new AlarmsDock(m_statusView->alarms(), this);
    addDockWidget(Qt::BottomDockWidgetArea, m_alarmsDock);
    tabifyDockWidget(m_eventsDock, m_alarmsDock);
    m_alarmsDock->hide();
    QAction* mnuShowAlarms = m_alarmsDock->toggleViewAction();
    mnuShowAlarms->setObjectName(QStringLiteral("mnuShowAlarms"));
    mnuShowAlarms->setText(QStringLiteral("&Alarms"));
    m_menus->mnuView->addAction(mnuShowAlarms);
    // Shown in front of the "Events" window it shares its place with.
    connect(mnuShowAlarms, &QAction::triggered, m_alarmsDock, [this](bool shown) {
        if (shown)
            m_alarmsDock->raise();
    });

    QAction* mnuPollStatus = m_menus->mnuPollStatus;
    mnuPollStatus->setChecked(m_ctx.settings->statusPolling());
    connect(mnuPollStatus, &QAction::toggled, m_statusView, &StatusView::setPolling);
}

void frmMain::buildImageList()
{
    QStyle* st = style();
    ImageList1 = {
        QIcon(),                                             // 0 unused
        st->standardIcon(QStyle::SP_FileDialogNewFolder),    // 1 add new element
        st->standardIcon(QStyle::SP_FileDialogDetailedView), // 2 element properties
        st->standardIcon(QStyle::SP_BrowserReload),          // 3 refresh list
        st->standardIcon(QStyle::SP_DialogSaveButton),       // 4 save changes
        st->standardIcon(QStyle::SP_TrashIcon),              // 5 delete device
        QIcon(QStringLiteral(":/icons/encoder.png")),        // 6 encoder node
        QIcon(QStringLiteral(":/icons/element.png")),        // 7 any other node
    };
}

void frmMain::buildLayout()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    panel = new ElementPanel(m_store, m_ctx.databasePath, *m_ctx.prompt, m_cx.flags());
    panel->setObjectName(QStringLiteral("panel"));

    // Tree and panel share the width through a splitter; the tree takes
    // what the window gains.
    splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    auto* leftSide = new QWidget(splitter);

    m_tree =
        new ElementTree(m_store, m_ctx.databasePath, *m_ctx.prompt, *panel, ImageList1, leftSide);
    m_cx.setParts(*panel, *m_tree, *m_snmp);

    m_interface = new NmsInterface(*m_ctx.interfaces, *m_ctx.settings, leftSide);

    auto* left = new QVBoxLayout(leftSide);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(m_tree, 1);
    left->addLayout(m_interface->row());

    // On a short screen the panel scrolls instead of holding the window tall.
    auto* panelScroll = new QScrollArea(splitter);
    panelScroll->setObjectName(QStringLiteral("panelScroll"));
    panelScroll->setFrameShape(QFrame::NoFrame);
    panelScroll->setWidgetResizable(true);
    panelScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panelScroll->setWidget(panel);
    panelScroll->setMinimumHeight(240);
    panelScroll->setMinimumWidth(panel->minimumSizeHint().width() +
                                 panelScroll->verticalScrollBar()->sizeHint().width());
    m_panelScroll = panelScroll;
    splitter->addWidget(leftSide);
    splitter->addWidget(panelScroll);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);

    auto* main = new QHBoxLayout(central);
    main->addWidget(splitter);

    connect(m_tree, &ElementTree::countChanged, this, [this] { updateStatusBar(); });
    connect(m_interface, &NmsInterface::chosen, this, [this](const QString& address) {
        setLocalAddress(address);
        // The older protocol binds anew to the new address at its next use.
        m_remote->close();
    });
}

// The parts' commands reach their handlers here, and nowhere else.
void frmMain::wireCommands()
{
    for (int button : {1, 2, 4, 5, 7})
        connect(m_menus->toolbarButton(button), &QAction::triggered, this,
                [this, button] { Toolbar1_ButtonClick(button); });
    connect(m_menus->cmdAutoDiscovery, &QAction::triggered, m_remote,
            &RemoteCommands::AutoDiscover);

    connect(m_menus->mnuAddNewDevice, &QAction::triggered, m_elements,
            &ElementCommands::AddNewElement);
    // The entry is enabled for a selected node; the window also needs the
    // element shown in the panel.
    connect(m_menus->mnuDeviceSNMPProperties, &QAction::triggered, this, [this] {
        if (m_elements->checkSelection())
            m_devices->showSNMPProperties();
    });
    connect(m_menus->mnuDeviceDelete, &QAction::triggered, m_elements,
            &ElementCommands::DeleteElement);

    const auto on = [this](const char* name, auto&& run) {
        connect(m_menus->command(QString::fromLatin1(name)), &QAction::triggered, this, run);
    };
    // File
    on("actAddNewElement", [this] { Toolbar1_ButtonClick(1); });
    on("actAutoDiscovery", [this] { m_remote->AutoDiscover(); });
    on("actQuit", [this] { close(); });
    // Element
    on("actSaveChanges", [this] { Toolbar1_ButtonClick(5); });
    on("actDeviceProperties", [this] { Toolbar1_ButtonClick(2); });
    on("actStatistics", [this] { panel->clickGetStats(); });
    on("actSfnAdjustment", [this] { panel->clickAdjust(); });
    on("actPing", [this] { panel->clickPing(); });
    on("actDeleteElement", [this] { Toolbar1_ButtonClick(7); });
    on("actExportConfiguration", [this] { m_config->exportConfiguration(); });
    on("actExportAll", [this] { m_config->exportAll(); });
    on("actImportConfiguration", [this] { m_config->importConfiguration(); });
    on("actApplyToSelected", [this] { m_config->applyToSelected(); });
    connect(m_menus->mnuApplySelected, &QAction::triggered, m_config,
            &ConfigCommands::applyToSelected);
    m_tree->tree()->addAction(m_menus->command(QStringLiteral("actDeleteElement")));
    connect(m_menus->mnuElement, &QMenu::aboutToShow, this, [this] {
        m_menus->command(QStringLiteral("actStatistics"))->setEnabled(panel->statisticsOffered());
        m_menus->command(QStringLiteral("actSfnAdjustment"))->setEnabled(panel->adjustOffered());
        m_menus->command(QStringLiteral("actPing"))
            ->setEnabled(Encode_MAC(panel->shownMac()).size() == 12);
    });
    // View
    on("actRefreshList", [this] { Toolbar1_ButtonClick(4); });
    on("actFindElement", [this] {
        m_tree->filter()->setFocus(Qt::ShortcutFocusReason);
        m_tree->filter()->selectAll();
    });
    connect(m_menus->mnuShowLevelControl, &QAction::toggled, this, &frmMain::setLevelControlShown);
    connect(m_menus->mnuShowRemoteCommands, &QAction::toggled, this,
            &frmMain::setRemoteCommandsShown);
    // Help
    on("actAbout", [this] { showAbout(); });
}

void frmMain::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 1:
        m_elements->AddNewElement();
        break;
    case 2:
        if (m_elements->checkSelection())
            m_devices->showSNMPProperties();
        break;
    case 4:
        m_elements->refreshList();
        break;
    case 5:
        if (m_elements->checkSelection())
            m_elements->SendConfiguration();
        break;
    case 7:
        m_elements->DeleteElement();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- start-up

frmMain::StartResult frmMain::startUp()
{
    const StartMode mode = startModeFor(m_ctx.commandWord);
    m_cx.flags() = mode.flags;

    setLocalAddress(m_ctx.settings->nmsIpAddress());

    if (!m_instance->acquire()) {
        m_ctx.prompt->tell(PromptIcon::Information,
                           QStringLiteral("Quorvane Orvalink SNMP NMS is already running (check "
                                          "the icon in system tray)!"),
                           QStringLiteral("Quorvane Orvalink NMS"));
        m_instance->activateRunning();
        return StartResult::AlreadyRunning;
    }
    m_instance->listen();

    if (m_ctx.settings->eula() == 0)
        showNotice();

    m_elements->Load_Config();
    m_interface->FillNMSInterfaceList(m_cx.localAddress());

    m_remote->close();

    setWindowTitle(mode.caption);
    panel->setBufferMaximum(mode.bufferMaximum);
    m_geometry->restore(firstWindowSize());
    m_menus->mnuShowLevelControl->setChecked(m_ctx.settings->levelControlShown());
    m_menus->setRemoteCommandsShown(m_ctx.settings->remoteCommandsShown());
    updateStatusBar();
    m_running = true;
    // Shown already: what waits for the window starts once it is seen.
    if (isVisible())
        startOnceExposed();
    return StartResult::Running;
}

// The window is up: the event history and its follower, and live status
// (the poll socket and the trap port: no port is bound before the window
// shows).
void frmMain::startAfterShown()
{
    if (m_servicesStarted)
        return;
    m_servicesStarted = true;
    if (QWindow* handle = windowHandle())
        handle->removeEventFilter(this);
    m_eventLog->loadHistory();
    m_eventsDock->showHistory();
    m_eventLog->followFile(m_ctx.timings.eventsFollowMs);
    if (m_ctx.liveStatus)
        m_statusView->start(m_cx.localAddress());
}

const AppFlags& frmMain::flags() const
{
    return m_cx.flags();
}

QString frmMain::localNmsAddress() const
{
    return m_cx.localAddress();
}

QSize frmMain::firstWindowSize() const
{
    // Roomy, and tall enough for the whole panel: the scroll area offers
    // only part of the panel's height in its own size hint.
    const int hidden = qMax(0, panel->sizeHint().height() - m_panelScroll->sizeHint().height());
    return sizeHint().expandedTo(QSize(1000, 680)) + QSize(0, hidden);
}

void frmMain::showNotice()
{
    if (m_ctx.showNotice) {
        m_ctx.showNotice(*m_ctx.settings, this);
        return;
    }
    frmDisclaimer notice(*m_ctx.settings, this);
    notice.exec();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!m_elements->confirmDiscard()) {
        event->ignore();
        return;
    }
    m_geometry->save();
    m_remote->close();
    QMainWindow::closeEvent(event);
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_geometry->applySplitter();
    startOnceExposed();
}

// After the first show, once the window is on the screen (its first
// expose, and the paint that follows it).
void frmMain::startOnceExposed()
{
    if (!m_running || m_startedAfter)
        return;
    m_startedAfter = true;
    QWindow* handle = windowHandle();
    if (!handle || handle->isExposed()) {
        QTimer::singleShot(0, this, &frmMain::startAfterShown);
        return;
    }
    handle->installEventFilter(this);
    // A window the screen never exposes (another desktop): live status
    // still starts, a moment later.
    QTimer::singleShot(kStartUnexposedMs, this, &frmMain::startAfterShown);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    QWindow* handle = windowHandle();
    if (handle && watched == handle && event->type() == QEvent::Expose && handle->isExposed()) {
        handle->removeEventFilter(this);
        QTimer::singleShot(0, this, &frmMain::startAfterShown);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::reportWriteFailure(const QString& path, const QString& reason)
{
    // A device window's operation tells it itself, with what the element did.
    if (m_cx.deviceWindowOpen())
        return;
    m_ctx.prompt->tell(PromptIcon::Critical,
                       QStringLiteral("Could not save the element database %1.")
                               .arg(QDir::toNativeSeparators(path)) +
                           kCR + reason + kCR + QStringLiteral("The change was not stored."));
}

// ------------------------------------------------------------- menus' view

void frmMain::setLevelControlShown(bool shown)
{
    panel->setLevelControlOffered(shown);
    if (m_ctx.settings->levelControlShown() != shown)
        m_ctx.settings->setLevelControlShown(shown);
}

void frmMain::setRemoteCommandsShown(bool shown)
{
    m_menus->setRemoteCommandsShown(shown);
    if (m_ctx.settings->remoteCommandsShown() != shown)
        m_ctx.settings->setRemoteCommandsShown(shown);
}

void frmMain::showAbout()
{
    QString text =
        QStringLiteral("<b>Orvalink SNMP NMS</b> %1<br>Qt %2<br><br>Element database:<br>%3")
            .arg(QStringLiteral("%1.%2.%3")
                     .arg(ORVALINK_VERSION_MAJOR)
                     .arg(ORVALINK_VERSION_MINOR)
                     .arg(ORVALINK_VERSION_PATCH),
                 QString::fromLatin1(qVersion()),
                 QDir::toNativeSeparators(QFileInfo(m_ctx.databasePath).absoluteFilePath())
                     .toHtmlEscaped());
    // The README where it is: installed beside the program's share folder.
    const QString readme = QDir::cleanPath(
        QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../share/doc/orvalink-nms/README.md")));
    if (QFileInfo::exists(readme))
        text += QStringLiteral("<br><br>The README is installed as<br>%1")
                    .arg(QDir::toNativeSeparators(readme).toHtmlEscaped());
    QMessageBox box(QMessageBox::Information, QStringLiteral("About Orvalink SNMP NMS"), text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setIconPixmap(windowIcon().pixmap(64, 64));
    m_cx.runDialog(box);
}

// ------------------------------------------------------------- status bar

void frmMain::updateStatusBar()
{
    if (!m_status)
        return;
    m_status->setInterface(m_cx.localAddress());
    m_status->setDatabase(m_ctx.databasePath);
    m_status->setCount(m_tree->tree()->topLevelItemCount());
}

void frmMain::postOutcome(const Event& event)
{
    // The status bar follows the channel; a log that cannot be written says
    // so in the tip.
    const bool written = m_outcomes->post(event);
    m_status->lblStatusOutcome->setToolTip(
        written ? QString()
                : QStringLiteral("Not written to the event log: ") + m_outcomes->lastError());
}

void frmMain::postOutcome(const QString& text)
{
    m_cx.postOutcome(text);
}

// ------------------------------------------------------------ NMS interface

void frmMain::setLocalAddress(const QString& address)
{
    m_cx.setLocalAddress(address);
    m_snmp->setLocalAddress(address);
    m_remote->setLocalAddress(address);
    m_statusView->setLocalAddress(address);
    updateStatusBar();
}

} // namespace orvalink
