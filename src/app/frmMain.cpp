#include "app/frmMain.h"

#include "app/AlarmsDock.h"
#include "app/EventsDock.h"
#include "app/StatusView.h"
#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include "app/InstanceGuard.h"
#include "app/MainMenus.h"
#include "app/MainStatusBar.h"
#include "app/WindowGeometry.h"
#include "app/frmDisclaimer.h"
#include "core/InterfaceLister.h"
#include "core/Prompt.h"
#include "core/StartMode.h"
#include "core/UserSettings.h"
#include "netutil/Ping.h"
#include "remote/RemoteProtocol.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

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

const QString kCR = QStringLiteral("\r");

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
    : QMainWindow(parent), m_ctx(context), m_database(m_store, context.databasePath)
{
    Q_ASSERT(m_ctx.prompt && m_ctx.settings && m_ctx.interfaces);
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(windowCaption(flags));
    initIconResources();
    setWindowIcon(applicationIcon());

    // The event log beside the database, its window and the one channel
    // that outcomes take to the status bar, the window and the file.
    m_eventLog = new EventLog(EventLog::pathFor(context.databasePath), this);
    m_eventLog->loadHistory();
    m_eventLog->followFile(context.timings.eventsFollowMs);
    m_outcomes = new OutcomeChannel(m_eventLog, this);

    buildImageList();
    buildLayout();
    m_menus = new MainMenus(*this, ImageList1);
    m_status = new MainStatusBar(*statusBar());
    connect(m_outcomes, &OutcomeChannel::posted, m_status, &MainStatusBar::showOutcome);
    // The event log's window, docked at the bottom, hidden until asked for.
    m_eventsDock = new EventsDock(*m_eventLog, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_eventsDock);
    m_eventsDock->hide();
    mnuShowEvents = m_eventsDock->toggleViewAction();
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
    wireCommands();
    updateStatusBar();

    m_resolver = m_ctx.macResolver ? m_ctx.macResolver : &m_neighbours;
    m_remote =
        new RemoteProtocol(udpClient, m_database, *m_ctx.prompt, *m_resolver, m_ctx.timings, this);
    m_remote->setPanel(this);
    m_remote->setMacWaiter([this](const QString& address) { return waitForMac(address); });
    timerRemoteSent = m_remote->timerRemoteSent;
    connect(m_remote, &RemoteProtocol::reloadRequested, this, &frmMain::Load_Config);
    connect(m_remote, &RemoteProtocol::fatalEndpointFailure, this, &frmMain::fatalError);
    // Level polling: every tick of tmrVolume asks the shown element.
    connect(panel, &ElementPanel::levelRequested, m_remote, &RemoteProtocol::SendLevelRequest);
    // ...and every level datagram on the endpoint reaches the meter, which
    // only blanks itself once polling has stopped.
    connect(m_remote, &RemoteProtocol::levelData, panel, &ElementPanel::ShowAudioLevel);
    // Has no handler and is never started.
    tmrSpectrum = new QTimer(this);
    tmrSpectrum->setObjectName(QStringLiteral("tmrSpectrum"));
    tmrSpectrum->setInterval(m_ctx.timings.spectrumMs);

    m_snmp = new SnmpTransport(m_ctx.timings, this);
    m_snmp->setPorts(m_ctx.snmpLocalPort, m_ctx.snmpAgentPort);
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
    connect(panel, &ElementPanel::pingClicked, this, &frmMain::cmdPing_Click);
}

frmMain::~frmMain()
{
    // Before the endpoint, the database and the resolver it works on.
    delete m_remote;
    m_remote = nullptr;
    timerRemoteSent = nullptr;
}

// The status poller, the trap receiver and the alarm book with what the
// window shows of them; they run once startUp() starts them (AppContext).
void frmMain::buildLiveStatus()
{
    m_statusView = new StatusView(*TreeView1, ImageList1, m_store, m_ctx.databasePath,
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
    mnuShowAlarms = m_alarmsDock->toggleViewAction();
    mnuShowAlarms->setObjectName(QStringLiteral("mnuShowAlarms"));
    mnuShowAlarms->setText(QStringLiteral("&Alarms"));
    m_menus->mnuView->addAction(mnuShowAlarms);
    // Shown in front of the "Events" window it shares its place with.
    connect(mnuShowAlarms, &QAction::triggered, m_alarmsDock, [this](bool shown) {
        if (shown)
            m_alarmsDock->raise();
    });

    mnuPollStatus = m_menus->mnuPollStatus;
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

    panel = new ElementPanel(m_store, m_ctx.databasePath, *m_ctx.prompt, flags);
    panel->setObjectName(QStringLiteral("panel"));

    // Tree and panel share the width through a splitter; the tree takes
    // what the window gains.
    splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    auto* leftSide = new QWidget(splitter);

    m_tree =
        new ElementTree(m_store, m_ctx.databasePath, *m_ctx.prompt, *panel, ImageList1, leftSide);
    frmTreeView = m_tree;
    TreeView1 = m_tree->tree();
    txtFilter = m_tree->filter();
    lstHidden = m_tree->hiddenList();

    lblNMSInterface = new QLabel(QStringLiteral("NMS interface:"), leftSide);
    cmbNMSIPAddr = new QComboBox(leftSide);
    cmbNMSIPAddr->setObjectName(QStringLiteral("cmbNMSIPAddr"));
    cmbNMSIPAddr->setMinimumContentsLength(15);
    lblNMSInterface->setBuddy(cmbNMSIPAddr);
    auto* ifaceRow = new QHBoxLayout;
    ifaceRow->addWidget(lblNMSInterface);
    ifaceRow->addWidget(cmbNMSIPAddr, 1);

    auto* left = new QVBoxLayout(leftSide);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(frmTreeView, 1);
    left->addLayout(ifaceRow);

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

    connect(panel, &ElementPanel::getStatsClicked, this, &frmMain::showStatistics);
    connect(panel, &ElementPanel::adjustClicked, this, &frmMain::showAdjust);
    connect(m_tree, &ElementTree::nodeClicked, this, &frmMain::TreeView1_NodeClick);
    connect(m_tree, &ElementTree::contextMenuRequested, this, &frmMain::TreeView1_MouseUp);
    connect(m_tree, &ElementTree::countChanged, this, [this] { updateStatusBar(); });
    connect(cmbNMSIPAddr, &QComboBox::currentIndexChanged, this,
            [this](int) { cmbNMSIPAddr_Click(); });
}

// The parts' commands reach the design's handlers here, and nowhere else.
void frmMain::wireCommands()
{
    Toolbar1 = m_menus->Toolbar1;
    cmdAutoDiscovery = m_menus->cmdAutoDiscovery;
    mnuHidden = m_menus->mnuHidden;
    mnuAddNewDevice = m_menus->mnuAddNewDevice;
    mnuDeviceSNMPProperties = m_menus->mnuDeviceSNMPProperties;
    mnuSep1 = m_menus->mnuSep1;
    mnuDeviceDelete = m_menus->mnuDeviceDelete;
    mnuShowLevelControl = m_menus->mnuShowLevelControl;
    mnuShowRemoteCommands = m_menus->mnuShowRemoteCommands;
    lblStatusInterface = m_status->lblStatusInterface;
    lblStatusDatabase = m_status->lblStatusDatabase;
    lblStatusCount = m_status->lblStatusCount;
    lblStatusOutcome = m_status->lblStatusOutcome;

    for (int button : {1, 2, 4, 5, 7})
        connect(toolbarButton(button), &QAction::triggered, this,
                [this, button] { Toolbar1_ButtonClick(button); });
    connect(cmdAutoDiscovery, &QAction::triggered, this, &frmMain::AutoDiscover);

    connect(mnuAddNewDevice, &QAction::triggered, this, &frmMain::mnuAddNewDevice_Click);
    connect(mnuDeviceSNMPProperties, &QAction::triggered, this,
            &frmMain::mnuDeviceSNMPProperties_Click);
    connect(mnuDeviceDelete, &QAction::triggered, this, &frmMain::mnuDeviceDelete_Click);

    const auto on = [this](const char* name, auto&& run) {
        connect(menuCommand(QString::fromLatin1(name)), &QAction::triggered, this, run);
    };
    // File
    on("actAddNewElement", [this] { Toolbar1_ButtonClick(1); });
    on("actAutoDiscovery", [this] { AutoDiscover(); });
    on("actQuit", [this] { close(); });
    // Element
    on("actSaveChanges", [this] { Toolbar1_ButtonClick(5); });
    on("actDeviceProperties", [this] { Toolbar1_ButtonClick(2); });
    on("actStatistics", [this] { panel->clickGetStats(); });
    on("actSfnAdjustment", [this] { panel->clickAdjust(); });
    on("actPing", [this] { panel->clickPing(); });
    on("actDeleteElement", [this] { Toolbar1_ButtonClick(7); });
    on("actExportConfiguration", [this] { exportConfiguration(); });
    on("actExportAll", [this] { exportAll(); });
    on("actImportConfiguration", [this] { importConfiguration(); });
    on("actApplyToSelected", [this] { applyToSelected(); });
    connect(m_menus->mnuApplySelected, &QAction::triggered, this, &frmMain::applyToSelected);
    TreeView1->addAction(menuCommand(QStringLiteral("actDeleteElement")));
    connect(m_menus->mnuElement, &QMenu::aboutToShow, this, [this] {
        menuCommand(QStringLiteral("actStatistics"))->setEnabled(panel->statisticsOffered());
        menuCommand(QStringLiteral("actSfnAdjustment"))->setEnabled(panel->adjustOffered());
        menuCommand(QStringLiteral("actPing"))
            ->setEnabled(Encode_MAC(panel->shownMac()).size() == 12);
    });
    // View
    on("actRefreshList", [this] { Toolbar1_ButtonClick(4); });
    on("actFindElement", [this] {
        txtFilter->setFocus(Qt::ShortcutFocusReason);
        txtFilter->selectAll();
    });
    connect(mnuShowLevelControl, &QAction::toggled, this, &frmMain::setLevelControlShown);
    connect(mnuShowRemoteCommands, &QAction::toggled, this, &frmMain::setRemoteCommandsShown);
    // Help
    on("actAbout", [this] { showAbout(); });
}

QAction* frmMain::toolbarButton(int index) const
{
    return m_menus->toolbarButton(index);
}

QAction* frmMain::menuCommand(const QString& name) const
{
    return m_menus->command(name);
}

// ---------------------------------------------------------------- start-up

frmMain::StartResult frmMain::startUp()
{
    const StartMode mode = startModeFor(m_ctx.commandWord);
    flags = mode.flags;

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

    Load_Config();
    FillNMSInterfaceList();
    if (m_ctx.liveStatus)
        m_statusView->start(strLocalNMSIPAddress);

    udpClient.close();

    setWindowTitle(mode.caption);
    panel->setBufferMaximum(mode.bufferMaximum);
    m_geometry->restore(firstWindowSize());
    mnuShowLevelControl->setChecked(m_ctx.settings->levelControlShown());
    m_menus->setRemoteCommandsShown(m_ctx.settings->remoteCommandsShown());
    updateStatusBar();
    return StartResult::Running;
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
    if (!confirmDiscard()) {
        event->ignore();
        return;
    }
    m_geometry->save();
    udpClient.close();
    QMainWindow::closeEvent(event);
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_geometry->applySplitter();
}

void frmMain::reportWriteFailure(const QString& path, const QString& reason)
{
    // A device window's operation tells it itself, with what the element did.
    if (m_deviceWindowsOpen > 0)
        return;
    m_ctx.prompt->tell(PromptIcon::Critical,
                       QStringLiteral("Could not save the element database %1.")
                               .arg(QDir::toNativeSeparators(path)) +
                           kCR + reason + kCR + QStringLiteral("The change was not stored."));
}

// ------------------------------------------------------------ NMS interface

void frmMain::setLocalAddress(const QString& address)
{
    strLocalNMSIPAddress = address;
    m_snmp->setLocalAddress(address);
    udpClient.setLocalAddress(address);
    m_neighbours.setLocalAddress(address);
    if (m_statusView)
        m_statusView->setLocalAddress(address);
    updateStatusBar();
}

QStringList frmMain::GetLocalIPv4Addresses()
{
    return m_ctx.interfaces->addresses();
}

void frmMain::FillNMSInterfaceList()
{
    const QStringList addresses = GetLocalIPv4Addresses();
    int position = 0;
    {
        // Filling must not run the choice for each entry on its way.
        const QSignalBlocker blocker(cmbNMSIPAddr);
        const int base = cmbNMSIPAddr->count();
        for (int i = 0; i < addresses.size(); ++i) {
            cmbNMSIPAddr->addItem(addresses.at(i));
            if (addresses.at(i) == strLocalNMSIPAddress)
                position = base + i;
        }
        if (cmbNMSIPAddr->count() == 0)
            return;
        cmbNMSIPAddr->setCurrentIndex(position);
    }
    cmbNMSIPAddr_Click();
}

void frmMain::cmbNMSIPAddr_Click()
{
    if (cmbNMSIPAddr->currentIndex() < 0)
        return;
    const QString chosen = cmbNMSIPAddr->currentText();
    if (chosen == m_ctx.settings->nmsIpAddress())
        return;
    setLocalAddress(chosen);
    m_ctx.settings->setNmsIpAddress(chosen);
    // The older protocol binds anew to the new address at its next use.
    udpClient.close();
}

} // namespace orvalink
