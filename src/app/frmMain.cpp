#include "app/frmMain.h"

#include "app/EventsDock.h"
#include "app/frmDisclaimer.h"
#include "core/InterfaceLister.h"
#include "core/Prompt.h"
#include "core/StartMode.h"
#include "core/UserSettings.h"
#include "devops/ApplyOperation.h"
#include "devops/ProbeOperation.h"
#include "devops/SfnAdjustOperation.h"
#include "devops/SnmpPropertiesOperation.h"
#include "devops/StatisticsOperation.h"
#include "dialogs/frmAddNewSNMP.h"
#include "dialogs/frmAdjust.h"
#include "dialogs/frmPaging.h"
#include "dialogs/frmSNMPProperties.h"
#include "dialogs/frmSendSNMP.h"
#include "dialogs/frmStatistics.h"
#include "dialogs/frmWaiting.h"
#include "netutil/Ping.h"
#include "panel/Fields.h"
#include "remote/DiscoveryOperation.h"
#include "remote/MacWait.h"
#include "remote/RemoteProtocol.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
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

// The keys of the toolbar's commands (the menu bar carries the shortcuts).
QKeySequence toolbarShortcut(int button)
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

QString toolbarShortcutHint(int button)
{
    const QKeySequence key = toolbarShortcut(button);
    return key.isEmpty() ? QString()
                         : QStringLiteral(" (%1)").arg(key.toString(QKeySequence::NativeText));
}

// A reload shows the busy cursor once it has taken this long.
constexpr qint64 kBusyAfterMs = 100;
// While the list is built, pending events run at most this often: letting
// them run (and the tree lay itself out) after every element made a reload
// of a shown window twenty times slower than the same load at start-up.
constexpr qint64 kEventSliceMs = 40;

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
    m_outcomes = new OutcomeChannel(m_eventLog, this);

    buildImageList();
    buildLayout();
    buildToolbar();
    buildHiddenMenu();
    buildMenuBar();
    buildStatusBar();

    m_resolver = m_ctx.macResolver ? m_ctx.macResolver : &m_neighbours;
    m_remote =
        new RemoteProtocol(udpClient, m_database, *m_ctx.prompt, *m_resolver, m_ctx.timings, this);
    m_remote->setPanel(this);
    m_remote->setMacWaiter([this](const QString& address) { return waitForMac(address); });
    timerRemoteSent = m_remote->timerRemoteSent;
    connect(m_remote, &RemoteProtocol::reloadRequested, this, &frmMain::Load_Config);
    connect(m_remote, &RemoteProtocol::fatalEndpointFailure, this, &frmMain::fatalError);
    // Level polling: every tick of tmrVolume asks the shown element.
    connect(panel->tmrVolume, &QTimer::timeout, m_remote, &RemoteProtocol::SendLevelRequest);
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

    frmTreeView = new QGroupBox(QStringLiteral("Elements"), central);
    frmTreeView->setObjectName(QStringLiteral("frmTreeView"));
    TreeView1 = new QTreeWidget(frmTreeView);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setColumnCount(1);
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setIconSize(QSize(24, 24));
    TreeView1->setMinimumWidth(260);
    TreeView1->setMinimumHeight(160);
    // Node texts are never cut: the column is at least as wide as the
    // longest text (fitTreeColumn), and the tree scrolls sideways.
    TreeView1->setTextElideMode(Qt::ElideNone);
    TreeView1->viewport()->installEventFilter(this);
    TreeView1->installEventFilter(this);
    auto* treeLayout = new QVBoxLayout(frmTreeView);
    treeLayout->addWidget(TreeView1);

    lstHidden = new QListWidget(central);
    lstHidden->setObjectName(QStringLiteral("lstHidden"));
    lstHidden->setSortingEnabled(false);
    lstHidden->hide();

    lblNMSInterface = new QLabel(QStringLiteral("NMS interface:"), central);
    cmbNMSIPAddr = new QComboBox(central);
    cmbNMSIPAddr->setObjectName(QStringLiteral("cmbNMSIPAddr"));
    cmbNMSIPAddr->setMinimumContentsLength(15);
    lblNMSInterface->setBuddy(cmbNMSIPAddr);
    auto* ifaceRow = new QHBoxLayout;
    ifaceRow->addWidget(lblNMSInterface);
    ifaceRow->addWidget(cmbNMSIPAddr, 1);

    // Tree and panel share the width through a splitter; the tree takes
    // what the window gains.
    splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    auto* leftSide = new QWidget(splitter);
    auto* left = new QVBoxLayout(leftSide);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(frmTreeView, 1);
    left->addLayout(ifaceRow);

    panel = new ElementPanel(m_store, m_ctx.databasePath, *m_ctx.prompt, flags);
    panel->setObjectName(QStringLiteral("panel"));
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
    splitter->addWidget(leftSide);
    splitter->addWidget(panelScroll);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);

    auto* main = new QHBoxLayout(central);
    main->addWidget(splitter);
    buildFilter();

    connect(panel, &ElementPanel::getStatsClicked, this, &frmMain::showStatistics);
    connect(panel, &ElementPanel::adjustClicked, this, &frmMain::showAdjust);
    connect(TreeView1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item, int) { TreeView1_NodeClick(item); });
    connect(cmbNMSIPAddr, &QComboBox::currentIndexChanged, this,
            [this](int) { cmbNMSIPAddr_Click(); });
}

void frmMain::buildToolbar()
{
    Toolbar1 = new QToolBar(QStringLiteral("Toolbar1"), this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, Toolbar1);

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
            action = Toolbar1->addAction(ImageList1.value(b.image), QString::fromLatin1(b.text));
            action->setToolTip(QString::fromLatin1(b.text) + toolbarShortcutHint(b.index));
            const int index = b.index;
            connect(action, &QAction::triggered, this,
                    [this, index] { Toolbar1_ButtonClick(index); });
        }
        m_toolbarButtons.append(action);
    }
    // Not one of the seven: the older protocol's discovery, after them.
    Toolbar1->addSeparator();
    cmdAutoDiscovery = Toolbar1->addAction(style()->standardIcon(QStyle::SP_DriveNetIcon),
                                           QStringLiteral("Auto Discovery"));
    cmdAutoDiscovery->setObjectName(QStringLiteral("cmdAutoDiscovery"));
    cmdAutoDiscovery->setToolTip(
        QStringLiteral("Auto Discovery: rebuild the element list from the elements that answer"));
    connect(cmdAutoDiscovery, &QAction::triggered, this, &frmMain::AutoDiscover);
}

void frmMain::buildHiddenMenu()
{
    mnuHidden = new QMenu(QStringLiteral("HiddenMenu"), this);
    mnuHidden->setObjectName(QStringLiteral("mnuHidden"));
    mnuAddNewDevice = mnuHidden->addAction(QStringLiteral("&New device..."));
    mnuDeviceSNMPProperties = mnuHidden->addAction(QStringLiteral("Device &properties..."));
    mnuSep1 = mnuHidden->addSeparator();
    mnuDeviceDelete = mnuHidden->addAction(QStringLiteral("&Delete device..."));
    connect(mnuAddNewDevice, &QAction::triggered, this, &frmMain::mnuAddNewDevice_Click);
    connect(mnuDeviceSNMPProperties, &QAction::triggered, this,
            &frmMain::mnuDeviceSNMPProperties_Click);
    connect(mnuDeviceDelete, &QAction::triggered, this, &frmMain::mnuDeviceDelete_Click);
}

QAction* frmMain::toolbarButton(int index) const
{
    return m_toolbarButtons.value(index - 1, nullptr);
}

// ---------------------------------------------------------------- start-up

frmMain::StartResult frmMain::startUp()
{
    const StartMode mode = startModeFor(m_ctx.commandWord);
    flags = mode.flags;

    setLocalAddress(m_ctx.settings->nmsIpAddress());

    if (!acquireInstanceLock()) {
        m_ctx.prompt->tell(PromptIcon::Information,
                           QStringLiteral("Quorvane Orvalink SNMP NMS is already running (check "
                                          "the icon in system tray)!"),
                           QStringLiteral("Quorvane Orvalink NMS"));
        activateRunningInstance();
        return StartResult::AlreadyRunning;
    }
    listenForActivation();

    if (m_ctx.settings->eula() == 0)
        showNotice();

    Load_Config();
    FillNMSInterfaceList();

    udpClient.close();

    setWindowTitle(mode.caption);
    panel->setBufferMaximum(mode.bufferMaximum);
    restoreWindowState();
    updateStatusBar();
    return StartResult::Running;
}

bool frmMain::acquireInstanceLock()
{
    if (m_ctx.lockPath.isEmpty())
        return true;
    m_lock = std::make_unique<QLockFile>(m_ctx.lockPath);
    // A lock is stale only when its process is gone, never because of its
    // age: the first instance may run for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    // Only a lock held by a live process means another instance. A lock file
    // that cannot be made at all (folder missing, no permission) says nothing
    // about one, and must not keep the operator from working.
    const bool heldByOther = m_lock->error() == QLockFile::LockFailedError;
    if (!heldByOther)
        qWarning("orvalink-nms: cannot use the instance lock %s; not checking for another instance",
                 qPrintable(QDir::toNativeSeparators(m_ctx.lockPath)));
    m_lock.reset();
    return !heldByOther;
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
    saveWindowState();
    udpClient.close();
    QMainWindow::closeEvent(event);
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

// ------------------------------------------------------------- element list

void frmMain::setTreeCaption()
{
    frmTreeView->setTitle(
        QStringLiteral("Select element: (%1 items)").arg(TreeView1->topLevelItemCount()));
    updateStatusBar();
}

void frmMain::Load_Config()
{
    // Pending events run while the list is built, and one of them may ask
    // for another reload: it runs once this one is done.
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_loading = true;
    do {
        m_reloadPending = false;

        lstHidden->clear();
        TreeView1->clear();
        m_lastShown = nullptr;
        panel->cmbEncoders->clear();
        panel->cmbEncoders->addItem(QStringLiteral("<None>"));
        panel->setVUMeterWidthTwips(0);
        setTreeCaption();

        const ElementList list = loadElementList(m_store, m_ctx.databasePath);
        if (!list.error.isEmpty()) {
            // Not an empty database: a file that must not be taken for one.
            m_ctx.prompt->tell(PromptIcon::Critical,
                               QStringLiteral("The element database %1 %2.")
                                   .arg(QDir::toNativeSeparators(m_ctx.databasePath), list.error));
        } else if (list.empty) {
            m_ctx.prompt->tell(PromptIcon::Information,
                               QStringLiteral("Local database is empty.") + kCR +
                                   QStringLiteral("Please click the 'Add New Element' button "
                                                  "to add one."),
                               QStringLiteral("Information"));
        } else {
            for (const ElementEntry& e : list.entries)
                lstHidden->addItem(e.section);
            QElapsedTimer clock;
            clock.start();
            qint64 lastEvents = -kEventSliceMs;
            bool busy = false;
            for (const ElementEntry& e : list.entries) {
                if (clock.elapsed() - lastEvents >= kEventSliceMs) {
                    QCoreApplication::processEvents();
                    lastEvents = clock.elapsed();
                    if (m_reloadPending)
                        break;
                    if (!busy && clock.elapsed() >= kBusyAfterMs) {
                        QApplication::setOverrideCursor(Qt::WaitCursor);
                        busy = true;
                    }
                }
                auto* node = new QTreeWidgetItem(TreeView1);
                node->setText(0, e.nodeText);
                node->setData(0, kNodeKeyRole, e.mac);
                const int image = e.isEncoder() ? kEncoderImage : kElementImage;
                node->setData(0, kNodeImageRole, image);
                node->setData(
                    0, kNodeFindRole,
                    QStringList{e.name, e.mac, e.section, e.ip, e.snmpIp}.join(QLatin1Char('\n')));
                node->setIcon(0, ImageList1.value(image));
                if (e.isEncoder())
                    panel->cmbEncoders->addItem(e.nodeText);
            }
            if (busy)
                QApplication::restoreOverrideCursor();
        }
        fitTreeColumn();
        setTreeCaption();
        if (txtFilter && !txtFilter->text().isEmpty())
            applyFilter(txtFilter->text());
    } while (m_reloadPending);
    m_loading = false;
}

void frmMain::RefreshElementList()
{
    if (!m_loading) {
        TreeView1->clear();
        m_lastShown = nullptr;
    }
    Load_Config();
    panel->ClearElementPanel();
}

void frmMain::DeleteElement()
{
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.title = QStringLiteral("Delete element");
    question.text = QStringLiteral("The selected element will be permanently deleted.") + kCR +
                    QStringLiteral("There is no way to revert this action. ") + kCR +
                    QStringLiteral("Are you sure?");
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    if (m_ctx.prompt->ask(question) != PromptAnswer::Yes)
        return;
    const QString section = Encode_MAC(panel->lblElementMAC->text());
    const QString name = shownElementName();
    // No element shown ("-"): there is no section to remove.
    const bool deleted = section.isEmpty() || m_store.deleteSection(section, m_ctx.databasePath);
    const QString cause = deleted ? QString() : m_store.lastError();
    RefreshElementList();
    if (!section.isEmpty()) {
        Event e;
        e.operation = QStringLiteral("delete");
        e.outcome = deleted ? QStringLiteral("ok") : QStringLiteral("failed");
        e.mac = Decode_MAC(section);
        e.name = name;
        e.cause = cause;
        postOutcome(e);
    }
}

void frmMain::TreeView1_NodeClick(QTreeWidgetItem* node)
{
    if (!node)
        return;
    if (!confirmDiscard()) {
        // The edits stay, and so does the highlight on their element.
        if (QTreeWidgetItem* shown = nodeOfShown())
            TreeView1->setCurrentItem(shown);
        return;
    }
    m_lastShown = node;
    panel->showElement(node->data(0, kNodeKeyRole).toString(), node->text(0),
                       ElementPanel::ShowMode::NodeClick);
}

void frmMain::ShowSelectedElement()
{
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* node = selected.first();
    m_lastShown = node;
    panel->showElement(node->data(0, kNodeKeyRole).toString(), node->text(0),
                       ElementPanel::ShowMode::SelectedElement);
}

void frmMain::AddNewElement()
{
    // The list is reloaded afterwards, which clears the panel.
    if (!confirmDiscard())
        return;
    QString probeStatus;
    QString probeSection;
    {
        ProbeOperation probe(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
        connect(&probe, &ProbeOperation::statusChanged, this,
                [&probeStatus](const QString& text) { probeStatus = text; });
        frmAddNewSNMP dialog(probe, this);
        const DeviceWindowOpen own(m_deviceWindowsOpen);
        runDialog(dialog);
        probeSection = probe.section();
    }
    RefreshElementList();
    if (!probeStatus.isEmpty()) {
        static const QString kPrefix = QStringLiteral("Status: ");
        static const QString kFail = QStringLiteral("FAIL - ");
        Event e;
        e.operation = QStringLiteral("probe");
        e.cause = probeStatus.startsWith(kPrefix) ? probeStatus.mid(kPrefix.size()) : probeStatus;
        e.outcome = e.cause.startsWith(kFail) ? QStringLiteral("failed")
                    : probeStatus == QLatin1String("Status: Finished with SUCCESS!")
                        ? QStringLiteral("ok")
                        : QStringLiteral("ended");
        if (e.cause.startsWith(kFail))
            e.cause = e.cause.mid(kFail.size());
        if (!probeSection.isEmpty()) {
            e.mac = Decode_MAC(probeSection);
            e.name = m_database.read(probeSection, QStringLiteral("name")).trimmed();
        }
        postOutcome(e);
    }
}

void frmMain::runDialog(QDialog& dialog)
{
    if (m_ctx.runDialog)
        m_ctx.runDialog(dialog);
    else
        dialog.exec();
}

QString frmMain::waitForMac(const QString& address)
{
    MacWait wait(*m_resolver, m_ctx.timings);
    frmWaiting window(wait, address, this);
    runDialog(window);
    return wait.result();
}

void frmMain::AutoDiscover()
{
    if (lstHidden->count() > 0) {
        PromptRequest question;
        question.icon = PromptIcon::Question;
        question.title = QStringLiteral("Auto Discovery");
        question.text =
            QStringLiteral("Performing an 'Auto Discovery' will delete the local "
                           "database in your computer ") +
            QStringLiteral("and create a new one, based on the Network Elements "
                           "found (if any). ") +
            kCR + QStringLiteral("Are you sure?") + kCR + kCR +
            QStringLiteral("The present database is first kept as %1.")
                .arg(QDir::toNativeSeparators(DiscoveryOperation::backupPath(m_database.path())));
        question.buttons = PromptButtons::YesNo;
        question.defaultAnswer = PromptAnswer::No;
        if (m_ctx.prompt->ask(question) != PromptAnswer::Yes)
            return;
    }
    panel->ClearElementPanel();
    TreeView1->clear();
    m_lastShown = nullptr;

    // What the paging window does first: the level display off, the lists
    // emptied, the caption counting no element.
    if (panel->chkGetVolume->isChecked())
        panel->chkGetVolume->click();
    panel->chkGetVolume->setChecked(false);
    panel->tmrVolume->stop();
    lstHidden->clear();
    panel->cmbEncoders->clear();
    panel->cmbEncoders->addItem(QStringLiteral("<None>"));
    panel->setVUMeterWidthTwips(0);
    setTreeCaption();

    {
        DiscoveryOperation discovery(*m_remote, m_ctx.timings);
        frmPaging window(discovery, this);
        runDialog(window);
    }
    Load_Config();
}

RemotePanelState frmMain::remotePanelState() const
{
    RemotePanelState s;
    s.mac = panel->lblElementMAC->text();
    s.roleCaption = panel->lblElementType->text();
    s.name = panel->txtElementName->text();
    s.ip = panel->txtElementIP->text();
    s.mask = panel->txtElementMask->text();
    s.gw = panel->txtElementGW->text();
    s.remote = panel->txtRemoteIP->text();
    s.input = panel->cmbAudioInput->currentIndex();
    s.type = panel->cmbAudioType->currentIndex();
    s.tx = panel->cmbAudioTX->currentIndex();
    s.sfn = panel->chkSFNEnabled->isChecked();
    s.lowLatency = panel->chkLowLatency->isChecked();
    s.buffer = panel->scrlBuffer->value();
    s.silDetMode = panel->cmbSilDetMode->currentIndex();
    s.silDetModeCount = panel->cmbSilDetMode->count();
    s.silDetLevel = panel->scrlSilDetLevel->value();
    s.silDetTime = panel->scrlSilDetTime->value();
    s.attMin = panel->scrlAtten->minimum();
    s.bufferMax = panel->scrlBuffer->maximum();
    s.levelMin = panel->scrlSilDetLevel->minimum();
    s.levelMax = panel->scrlSilDetLevel->maximum();
    s.timeMin = panel->scrlSilDetTime->minimum();
    s.timeMax = panel->scrlSilDetTime->maximum();
    return s;
}

void frmMain::showConfirmed(const RemoteConfirmed& v)
{
    if (panel->lblElementType->text() != v.typeCaption) {
        panel->lblElementType->setText(v.typeCaption);
        panel->lblElementType_Change();
    }
    panel->lblSerialNumber->setText(v.serialNumber);
    panel->lblVersion->setText(v.version);
    panel->scrlAtten->setValue(v.att);
    panel->scrlBuffer->setValue(v.buffer);
    panel->cmbSilDetMode->setCurrentIndex(
        v.silDetMode < panel->cmbSilDetMode->count() ? v.silDetMode : -1);
    panel->scrlSilDetLevel->setValue(v.silDetLevel);
    panel->scrlSilDetTime->setValue(v.silDetTime);
}

ShownElement frmMain::shownElement() const
{
    ShownElement e;
    const QString mac = panel->lblElementMAC->text();
    const QString section = Encode_MAC(mac);
    if (section.isEmpty())
        return e;
    e.mac = mac;
    e.section = section;
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    e.nodeText = selected.isEmpty() ? QString() : selected.first()->text(0);
    e.roleCaption = panel->lblElementType->text();
    return e;
}

EditedValues frmMain::editedValues() const
{
    EditedValues v;
    v.name = panel->txtElementName->text();
    v.ip = panel->txtElementIP->text();
    v.mask = panel->txtElementMask->text();
    v.gw = panel->txtElementGW->text();
    v.remoteIP = panel->txtRemoteIP->text();
    v.input = panel->cmbAudioInput->currentIndex();
    v.type = panel->cmbAudioType->currentIndex();
    v.tx = panel->cmbAudioTX->currentIndex();
    v.sfn = panel->chkSFNEnabled->isChecked() ? 1 : 0;
    v.llo = panel->chkLowLatency->isChecked() ? 1 : 0;
    v.att = panel->scrlAtten->value();
    v.buf = panel->scrlBuffer->value();
    v.sdl = panel->scrlSilDetLevel->value();
    v.sdt = panel->scrlSilDetTime->value();
    v.sdm = panel->cmbSilDetMode->currentIndex();
    return v;
}

void frmMain::showAgainFromDatabase()
{
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    const int position = selected.isEmpty() ? -1 : TreeView1->indexOfTopLevelItem(selected.first());
    RefreshElementList();
    if (position < 0 || position >= TreeView1->topLevelItemCount())
        return;
    QTreeWidgetItem* node = TreeView1->topLevelItem(position);
    TreeView1->setCurrentItem(node);
    node->setSelected(true);
    ShowSelectedElement();
}

void frmMain::SendConfiguration()
{
    const ShownElement shown = shownElement();
    // A decoder has no audio-source choice: the list goes to "Digital".
    if (shown.isShown() && shown.roleCaption == QLatin1String("DECODER"))
        panel->cmbAudioInput->setCurrentIndex(0);
    EditedValues values = editedValues();
    const QString reason = ApplyOperation::checkEdits(shown, values, m_database);
    if (!reason.isEmpty()) {
        ApplyOperation::refuse(*m_ctx.prompt, reason);
        return;
    }
    ApplyOperation apply(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
    if (!apply.confirm())
        return;
    frmSendSNMP dialog(apply, *this, m_ctx.timings, this);
    const DeviceWindowOpen own(m_deviceWindowsOpen);
    runDialog(dialog);
}

bool frmMain::checkSelection()
{
    if (!TreeView1->selectedItems().isEmpty() && panel->lblElementMAC->text().length() >= 6)
        return true;
    m_ctx.prompt->tell(PromptIcon::Information,
                       QStringLiteral("No device has been selected / loaded. ") + kCR +
                           QStringLiteral("Please, click on a device from the elements list."));
    return false;
}

void frmMain::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 1:
        AddNewElement();
        break;
    case 2:
        if (checkSelection())
            showSNMPProperties();
        break;
    case 4:
        if (confirmDiscard())
            RefreshElementList();
        break;
    case 5:
        if (checkSelection()) {
            if (onSendConfiguration)
                onSendConfiguration();
            else
                SendConfiguration();
        }
        break;
    case 7:
        DeleteElement();
        break;
    default:
        break;
    }
}

void frmMain::prepareHiddenMenu()
{
    const bool selected = !TreeView1->selectedItems().isEmpty();
    mnuAddNewDevice->setEnabled(true);
    mnuDeviceSNMPProperties->setEnabled(selected);
    mnuDeviceDelete->setEnabled(selected);
}

void frmMain::TreeView1_MouseUp(const QPoint& globalPos)
{
    // The menu acts on the row under the cursor: that row is shown first, as
    // a left click would show it. Over empty space only "&New device..."
    // applies, and the selection stays.
    QTreeWidgetItem* node = TreeView1->itemAt(TreeView1->viewport()->mapFromGlobal(globalPos));
    if (node && node->data(0, kNodeKeyRole).toString() == panel->lblElementMAC->text()) {
        // Already shown: its edits stay as they are.
        TreeView1->setCurrentItem(node);
    } else if (node) {
        TreeView1->setCurrentItem(node);
        TreeView1_NodeClick(node);
        // The operator kept the edits of another element: no menu for this one.
        if (TreeView1->currentItem() != node)
            return;
    }
    prepareHiddenMenu();
    if (!node) {
        mnuDeviceSNMPProperties->setEnabled(false);
        mnuDeviceDelete->setEnabled(false);
    }
    mnuHidden->popup(globalPos);
}

void frmMain::mnuAddNewDevice_Click()
{
    AddNewElement();
}

void frmMain::mnuDeviceSNMPProperties_Click()
{
    // The entry is enabled for a selected node; the window also needs the
    // element shown in the panel.
    if (checkSelection())
        showSNMPProperties();
}

void frmMain::showSNMPProperties()
{
    if (!shownElement().isShown())
        return;
    SnmpPropertiesOperation properties(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
    frmSNMPProperties dialog(properties, *this, m_ctx.timings, this);
    const DeviceWindowOpen own(m_deviceWindowsOpen);
    runDialog(dialog);
}

void frmMain::showStatistics()
{
    if (!shownElement().isShown())
        return;
    StatisticsOperation statistics(*m_snmp, m_database, m_ctx.timings);
    frmStatistics dialog(statistics, *this, m_ctx.timings, this);
    runDialog(dialog);
}

void frmMain::showAdjust()
{
    if (!shownElement().isShown())
        return;
    SfnAdjustOperation adjust(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
    frmAdjust dialog(adjust, *this, m_ctx.timings, this);
    const DeviceWindowOpen own(m_deviceWindowsOpen);
    runDialog(dialog);
}

void frmMain::cmdPing_Click()
{
    // One ping at a time: the button can be clicked again while the window
    // stays live during the wait.
    if (m_pinging)
        return;
    const QString mac = panel->lblElementMAC->text();
    if (mac.length() <= 6)
        return;
    const QString target = ReadFromINI(Encode_MAC(mac), QStringLiteral("snmpip"),
                                       m_ctx.databasePath, kDefaultAgentAddress);
    panel->cmdPing->setToolTip(QStringLiteral("Ping to ") + target);
    panel->setPingColour(fields::kLightYellow);
    panel->cmdPing->setText(QStringLiteral("Trying..."));

    Pinger* pinger = m_ctx.pinger;
    if (!pinger) {
        if (!m_ownPinger)
            m_ownPinger = std::make_unique<IcmpPinger>(m_ctx.timings.pingTimeoutMs);
        pinger = m_ownPinger.get();
    }
    m_pinging = true;
    QPointer<frmMain> self(this);
    const PingOutcome outcome = PingElement(*pinger, target, *m_ctx.prompt);
    if (!self)
        return;
    m_pinging = false;
    Event e;
    e.operation = QStringLiteral("ping");
    e.outcome = outcome.state == PingOutcome::State::Success ? QStringLiteral("ok")
                                                             : QStringLiteral("failed");
    e.mac = mac;
    e.name = ReadFromINI(Encode_MAC(mac), QStringLiteral("name"), m_ctx.databasePath, QString())
                 .trimmed();
    e.host = target;
    e.cause = outcome.caption;
    postOutcome(e);
    // The operator may have shown another element meanwhile: the outcome
    // belongs to the one pinged.
    if (panel->lblElementMAC->text() != mac)
        return;
    panel->setPingColour(outcome.state == PingOutcome::State::Success ? QColor(0, 255, 0)
                                                                      : fields::kLightRed);
    panel->cmdPing->setText(outcome.caption);
}

void frmMain::mnuDeviceDelete_Click()
{
    DeleteElement();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TreeView1->viewport()) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
            type == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::RightButton) {
                // Released, the right button shows the row under it and opens
                // the menu for it (TreeView1_MouseUp).
                if (type == QEvent::MouseButtonRelease)
                    TreeView1_MouseUp(me->globalPosition().toPoint());
                return true;
            }
        }
    } else if (watched == txtFilter && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        txtFilter->clear();
        return true;
    } else if (watched == TreeView1 && event->type() == QEvent::KeyPress && !m_inTreeKey) {
        // Moving through the tree with the keyboard shows the element reached,
        // as a click would, so the highlighted node and the panel agree.
        m_inTreeKey = true;
        QCoreApplication::sendEvent(TreeView1, event);
        m_inTreeKey = false;
        const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
        if (!selected.isEmpty() && selected.first() != m_lastShown)
            TreeView1_NodeClick(selected.first());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------- menu bar, status bar, filter

void frmMain::buildMenuBar()
{
    auto command = [this](QMenu* menu, const char* name, const QString& text,
                          const QKeySequence& key, auto&& run) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setToolTip(QStringLiteral("%1 (%2)").arg(QString(text).remove(QLatin1Char('&')),
                                                        key.toString(QKeySequence::NativeText)));
        }
        connect(a, &QAction::triggered, this, run);
        return a;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    command(file, "actAddNewElement", QStringLiteral("&Add new element..."), toolbarShortcut(1),
            [this] { Toolbar1_ButtonClick(1); });
    command(file, "actAutoDiscovery", QStringLiteral("Auto &discovery..."), {},
            [this] { AutoDiscover(); });
    file->addSeparator();
    command(file, "actQuit", QStringLiteral("&Quit"), QKeySequence::Quit, [this] { close(); });

    QMenu* element = menuBar()->addMenu(QStringLiteral("&Element"));
    element->setObjectName(QStringLiteral("mnuElement"));
    command(element, "actSaveChanges", QStringLiteral("&Save changes"), toolbarShortcut(5),
            [this] { Toolbar1_ButtonClick(5); });
    command(element, "actDeviceProperties", QStringLiteral("Device &properties..."), {},
            [this] { Toolbar1_ButtonClick(2); });
    QAction* stats = command(element, "actStatistics", QStringLiteral("S&tatistics..."), {},
                             [this] { panel->cmdGetStats->click(); });
    QAction* ping = command(element, "actPing", QStringLiteral("P&ing"), {},
                            [this] { panel->cmdPing->click(); });
    element->addSeparator();
    command(element, "actDeleteElement", QStringLiteral("&Delete device..."), toolbarShortcut(7),
            [this] { Toolbar1_ButtonClick(7); });
    connect(element, &QMenu::aboutToShow, this, [this, stats, ping] {
        stats->setEnabled(panel->cmdGetStats->isEnabled());
        ping->setEnabled(Encode_MAC(panel->lblElementMAC->text()).size() == 12);
    });

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    command(view, "actRefreshList", QStringLiteral("&Refresh list"), toolbarShortcut(4),
            [this] { Toolbar1_ButtonClick(4); });
    command(view, "actFindElement", QStringLiteral("&Find element"), QKeySequence::Find, [this] {
        txtFilter->setFocus(Qt::ShortcutFocusReason);
        txtFilter->selectAll();
    });
    view->addSeparator();
    mnuShowLevelControl = view->addAction(QStringLiteral("Show audio &level control"));
    mnuShowLevelControl->setObjectName(QStringLiteral("mnuShowLevelControl"));
    mnuShowLevelControl->setCheckable(true);
    connect(mnuShowLevelControl, &QAction::toggled, this, &frmMain::setLevelControlShown);
    // The event log's window, docked at the bottom, hidden until asked for.
    m_eventsDock = new EventsDock(*m_eventLog, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_eventsDock);
    m_eventsDock->hide();
    mnuShowEvents = m_eventsDock->toggleViewAction();
    mnuShowEvents->setObjectName(QStringLiteral("mnuShowEvents"));
    mnuShowEvents->setText(QStringLiteral("&Events"));
    view->addAction(mnuShowEvents);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    command(help, "actAbout", QStringLiteral("&About..."), {}, [this] { showAbout(); });
}

QAction* frmMain::menuCommand(const QString& name) const
{
    return menuBar()->findChild<QAction*>(name);
}

void frmMain::setLevelControlShown(bool shown)
{
    panel->setLevelControlOffered(shown);
    if (m_ctx.settings->levelControlShown() != shown)
        m_ctx.settings->setLevelControlShown(shown);
}

void frmMain::showAbout()
{
    const QString readme =
        QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../share/doc/orvalink-nms/README.md"));
    const QString text =
        QStringLiteral("<b>Orvalink SNMP NMS</b> %1<br>Qt %2<br><br>Element database:<br>%3"
                       "<br><br>The README is installed as<br>%4")
            .arg(QStringLiteral("%1.%2.%3")
                     .arg(ORVALINK_VERSION_MAJOR)
                     .arg(ORVALINK_VERSION_MINOR)
                     .arg(ORVALINK_VERSION_PATCH),
                 QString::fromLatin1(qVersion()),
                 QDir::toNativeSeparators(m_ctx.databasePath).toHtmlEscaped(),
                 QDir::toNativeSeparators(QDir::cleanPath(readme)).toHtmlEscaped());
    QMessageBox box(QMessageBox::Information, QStringLiteral("About Orvalink SNMP NMS"), text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setIconPixmap(windowIcon().pixmap(64, 64));
    runDialog(box);
}

void frmMain::buildStatusBar()
{
    auto* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(true);
    lblStatusOutcome = new QLabel(bar);
    lblStatusOutcome->setObjectName(QStringLiteral("lblStatusOutcome"));
    lblStatusInterface = new QLabel(bar);
    lblStatusInterface->setObjectName(QStringLiteral("lblStatusInterface"));
    lblStatusDatabase = new QLabel(bar);
    lblStatusDatabase->setObjectName(QStringLiteral("lblStatusDatabase"));
    lblStatusCount = new QLabel(bar);
    lblStatusCount->setObjectName(QStringLiteral("lblStatusCount"));
    bar->addWidget(lblStatusOutcome, 1);
    bar->addPermanentWidget(lblStatusInterface);
    bar->addPermanentWidget(lblStatusDatabase);
    bar->addPermanentWidget(lblStatusCount);
    connect(m_outcomes, &OutcomeChannel::posted, lblStatusOutcome, &QLabel::setText);
    connect(cmbNMSIPAddr, &QComboBox::currentIndexChanged, this, [this] { updateStatusBar(); });
    updateStatusBar();
}

void frmMain::updateStatusBar()
{
    if (!lblStatusCount)
        return;
    lblStatusInterface->setText(QStringLiteral("Interface: ") + strLocalNMSIPAddress);
    lblStatusDatabase->setText(QFileInfo(m_ctx.databasePath).fileName());
    lblStatusDatabase->setToolTip(QDir::toNativeSeparators(m_ctx.databasePath));
    const int count = TreeView1->topLevelItemCount();
    lblStatusCount->setText(count == 1 ? QStringLiteral("1 element")
                                       : QStringLiteral("%1 elements").arg(count));
}

void frmMain::postOutcome(const Event& event)
{
    // The status bar follows the channel (see buildStatusBar); a log that
    // cannot be written says so in the tip.
    const bool written = m_outcomes->post(event);
    lblStatusOutcome->setToolTip(written ? QString()
                                         : QStringLiteral("Not written to the event log: ") +
                                               m_outcomes->lastError());
}

void frmMain::postOutcome(const QString& text)
{
    Event e;
    e.operation = QStringLiteral("status");
    e.cause = text;
    postOutcome(e);
}

QString frmMain::lastOutcome() const
{
    return lblStatusOutcome->text();
}

void frmMain::buildFilter()
{
    txtFilter = new QLineEdit(frmTreeView);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setPlaceholderText(
        QStringLiteral("Find: name, MAC or address (%1)")
            .arg(QKeySequence(QKeySequence::Find).toString(QKeySequence::NativeText)));
    txtFilter->setClearButtonEnabled(true);
    txtFilter->installEventFilter(this);
    static_cast<QVBoxLayout*>(frmTreeView->layout())->insertWidget(0, txtFilter);
    connect(txtFilter, &QLineEdit::textChanged, this, &frmMain::applyFilter);
}

void frmMain::fitTreeColumn()
{
    // Measured here once per load: a column sized to its contents by the
    // view measures every row again at each layout.
    const QFontMetrics metrics(TreeView1->font());
    int widest = 0;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
        widest = qMax(widest, metrics.horizontalAdvance(TreeView1->topLevelItem(i)->text(0)));
    const int margin = TreeView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) * 2 + 12;
    TreeView1->header()->setMinimumSectionSize(widest + TreeView1->iconSize().width() + margin);
}

void frmMain::applyFilter(const QString& text)
{
    const QString wanted = text.trimmed();
    TreeView1->setUpdatesEnabled(false);
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = TreeView1->topLevelItem(i);
        node->setHidden(
            !wanted.isEmpty() &&
            !node->data(0, kNodeFindRole).toString().contains(wanted, Qt::CaseInsensitive));
    }
    TreeView1->setUpdatesEnabled(true);
}

// ------------------------------------------------------- edits not applied

QString frmMain::shownElementName() const
{
    const QString mac = panel->lblElementMAC->text();
    const QString name =
        ReadFromINI(Encode_MAC(mac), QStringLiteral("name"), m_ctx.databasePath, QString())
            .trimmed();
    return name.isEmpty() ? mac : name;
}

QTreeWidgetItem* frmMain::nodeOfShown() const
{
    const QString mac = panel->lblElementMAC->text();
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = TreeView1->topLevelItem(i);
        if (node->data(0, kNodeKeyRole).toString() == mac)
            return node;
    }
    return nullptr;
}

bool frmMain::confirmDiscard()
{
    if (!panel->hasPendingEdits())
        return true;
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.text = QStringLiteral("Discard the changes to %1?").arg(shownElementName());
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    if (m_ctx.prompt->ask(question) != PromptAnswer::Yes)
        return false;
    panel->forgetEdits();
    return true;
}

// --------------------------------------------------- window size, instances

void frmMain::restoreWindowState()
{
    // restoreGeometry() brings a window back onto the screens there are now.
    const QByteArray geometry = m_ctx.settings->windowGeometry();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        // First start: roomy, but within the screen.
        QSize size = sizeHint().expandedTo(QSize(1000, 680));
        if (const QScreen* where = screen())
            size = size.boundedTo(where->availableGeometry().size() * 9 / 10);
        resize(size.expandedTo(minimumSizeHint()));
    }
    // The splitter is restored once the window has its size (showEvent).
    m_pendingSplitterState = m_ctx.settings->splitterState();
    mnuShowLevelControl->setChecked(m_ctx.settings->levelControlShown());
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_pendingSplitterState.isEmpty()) {
        splitter->restoreState(m_pendingSplitterState);
        m_pendingSplitterState.clear();
    }
}

void frmMain::saveWindowState()
{
    m_ctx.settings->setWindowGeometry(saveGeometry());
    m_ctx.settings->setSplitterState(splitter->saveState());
}

namespace {

// The running instance listens on a local socket named after its lock file.
QString activationName(const QString& lockPath)
{
    return QStringLiteral("orvalink-nms-") +
           QString::fromLatin1(QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1)
                                   .toHex()
                                   .left(16));
}

} // namespace

void frmMain::listenForActivation()
{
    if (m_ctx.lockPath.isEmpty() || !m_lock)
        return;
    const QString name = activationName(m_ctx.lockPath);
    // This instance holds the lock: a socket of that name is left over.
    QLocalServer::removeServer(name);
    m_activation = new QLocalServer(this);
    m_activation->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_activation->listen(name)) {
        qWarning("orvalink-nms: a second start cannot bring this window to the front: %s",
                 qPrintable(m_activation->errorString()));
        return;
    }
    connect(m_activation, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_activation->nextPendingConnection()) {
            peer->deleteLater();
            if (isMinimized())
                showNormal();
            show();
            raise();
            activateWindow();
        }
    });
}

void frmMain::activateRunningInstance()
{
    if (m_ctx.lockPath.isEmpty())
        return;
    QLocalSocket socket;
    socket.connectToServer(activationName(m_ctx.lockPath));
    // Connecting is the whole message.
    if (socket.waitForConnected(500))
        socket.disconnectFromServer();
}

// -------------------------------------------------------- database routines

QString frmMain::ReadFromINI(const QString& strSection, const QString& strkey,
                             const QString& strfullpath, const QString& strDefault) const
{
    return m_store.read(strSection, strkey, strfullpath, strDefault);
}

bool frmMain::WriteToINI(const QString& strSection, const QString& strkey,
                         const QString& strkeyvalue, const QString& strfullpath)
{
    return m_store.write(strSection, strkey, strkeyvalue, strfullpath);
}

bool frmMain::DeleteIniSection(const QString& strSection, const QString& strfullpath)
{
    return m_store.deleteSection(strSection, strfullpath);
}

bool frmMain::DeleteIniKey(const QString& strSection, const QString& strKeyname,
                           const QString& strfullpath)
{
    return m_store.deleteKey(strSection, strKeyname, strfullpath);
}

bool frmMain::CheckIfIniKeyExists(const QString& strSection, const QString& strKeyname,
                                  const QString& strfullpath) const
{
    return m_store.keyExists(strSection, strKeyname, strfullpath);
}

bool frmMain::CheckIfIniSectionExists(const QString& strSection, const QString& strfullpath) const
{
    return m_store.sectionExists(strSection, strfullpath);
}

long frmMain::GetLongFromINI(const QString& strSection, const QString& strKeyname,
                             const QString& strfullpath, long lngDefault) const
{
    return m_store.readLong(strSection, strKeyname, strfullpath, lngDefault);
}

void frmMain::RenameIniKey(const QString& strSection, const QString& strKeyname,
                           const QString& strNewKeyname, const QString& strfullpath)
{
    m_store.renameKey(strSection, strKeyname, strNewKeyname, strfullpath);
}

void frmMain::RenameIniSection(const QString& strSection, const QString& strNewSection,
                               const QString& strfullpath)
{
    m_store.renameSection(strSection, strNewSection, strfullpath);
}

void frmMain::LoadIniSectionsLB(QListWidget* lstB, const QString& strfullpath) const
{
    lstB->addItems(m_store.sectionNames(strfullpath));
}

QStringList frmMain::LoadIniSectionsArray(const QString& strfullpath) const
{
    return m_store.sectionNames(strfullpath);
}

void frmMain::LoadIniSectionKeysLB(const QString& strSection, QListWidget* lstB,
                                   const QString& strfullpath) const
{
    lstB->addItems(m_store.sectionKeys(strSection, strfullpath));
}

int frmMain::GetSectionKeyCount(const QString& strSection, const QString& strfullpath) const
{
    return m_store.sectionKeyCount(strSection, strfullpath);
}

QString frmMain::GetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID)
{
    return m_snmp->GetSNMP(strHostIP, strCommunity, byteOID).value;
}

QString frmMain::SetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID,
                         quint8 byteValueType, const QString& varValue)
{
    return m_snmp->SetSNMP(strHostIP, strCommunity, byteOID, byteValueType, varValue).value;
}

bool frmMain::IsValidIPAddress(const QString& strIPAddress)
{
    return isValidIPAddress(strIPAddress);
}

QString frmMain::Encode_MAC(const QString& srcMAC)
{
    return encodeMac(srcMAC);
}

QString frmMain::Decode_MAC(const QString& srcSection)
{
    return decodeMac(srcSection);
}

QString frmMain::Encode_Name(const QString& srcName)
{
    return encodeName(srcName);
}

} // namespace orvalink
