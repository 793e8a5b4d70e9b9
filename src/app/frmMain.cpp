#include "app/frmMain.h"

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
#include "remote/DiscoveryOperation.h"
#include "remote/MacWait.h"
#include "remote/RemoteProtocol.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLockFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvalink {

namespace {

const QString kCR = QStringLiteral("\r");

// A small device symbol: a rounded box with an arrow leaving it (encoder) or
// entering it (decoder and every other element).
QIcon deviceIcon(bool encoder)
{
    const int size = 32;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = encoder ? QColor(40, 100, 190) : QColor(30, 140, 70);
    p.setPen(QPen(body.darker(140), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2.5, 7.5, 27, 17), 3, 3);
    // Two level bars: the audio side of the box.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal barsX = encoder ? 6 : 21;
    p.drawRect(QRectF(barsX, 15, 2, 6));
    p.drawRect(QRectF(barsX + 3, 11, 2, 10));
    // The arrow: the network side.
    QPainterPath arrow;
    if (encoder) {
        arrow.moveTo(14, 13);
        arrow.lineTo(20, 13);
        arrow.lineTo(20, 10);
        arrow.lineTo(27, 16);
        arrow.lineTo(20, 22);
        arrow.lineTo(20, 19);
        arrow.lineTo(14, 19);
    } else {
        arrow.moveTo(18, 13);
        arrow.lineTo(12, 13);
        arrow.lineTo(12, 10);
        arrow.lineTo(5, 16);
        arrow.lineTo(12, 22);
        arrow.lineTo(12, 19);
        arrow.lineTo(18, 19);
    }
    arrow.closeSubpath();
    p.drawPath(arrow);
    return QIcon(pm);
}

} // namespace

frmMain::frmMain(const AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_ctx(context), m_database(m_store, context.databasePath)
{
    Q_ASSERT(m_ctx.prompt && m_ctx.settings && m_ctx.interfaces);
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(windowCaption(flags));

    buildImageList();
    buildLayout();
    buildToolbar();
    buildHiddenMenu();

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
    // Has no handler and is never started.
    tmrSpectrum = new QTimer(this);
    tmrSpectrum->setObjectName(QStringLiteral("tmrSpectrum"));
    tmrSpectrum->setInterval(m_ctx.timings.spectrumMs);

    m_snmp = new SnmpTransport(m_ctx.timings, this);
    m_snmp->setPorts(m_ctx.snmpLocalPort, m_ctx.snmpAgentPort);
    connect(m_snmp, &SnmpTransport::transportFailure, this,
            [this](const QString& message) { m_ctx.prompt->tell(PromptIcon::Critical, message); });

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
        deviceIcon(true),                                    // 6 encoder node
        deviceIcon(false),                                   // 7 any other node
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

    auto* left = new QVBoxLayout;
    left->addWidget(frmTreeView, 1);
    left->addLayout(ifaceRow);

    panel = new ElementPanel(m_store, m_ctx.databasePath, *m_ctx.prompt, flags, central);
    panel->setObjectName(QStringLiteral("panel"));

    auto* main = new QHBoxLayout(central);
    main->addLayout(left, 0);
    main->addWidget(panel, 1);

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
            action->setToolTip(QString::fromLatin1(b.text));
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
        return StartResult::AlreadyRunning;
    }

    if (m_ctx.settings->eula() == 0)
        showNotice();

    Load_Config();
    FillNMSInterfaceList();

    udpClient.close();

    setWindowTitle(mode.caption);
    panel->setBufferMaximum(mode.bufferMaximum);
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
    udpClient.close();
    QMainWindow::closeEvent(event);
}

void frmMain::reportWriteFailure(const QString& path, const QString& reason)
{
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
            for (const ElementEntry& e : list.entries) {
                QCoreApplication::processEvents();
                if (m_reloadPending)
                    break;
                auto* node = new QTreeWidgetItem(TreeView1);
                node->setText(0, e.nodeText);
                node->setData(0, kNodeKeyRole, e.mac);
                const int image = e.isEncoder() ? kEncoderImage : kElementImage;
                node->setData(0, kNodeImageRole, image);
                node->setIcon(0, ImageList1.value(image));
                if (e.isEncoder())
                    panel->cmbEncoders->addItem(e.nodeText);
            }
        }
        setTreeCaption();
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
    // No element shown ("-"): there is no section to remove.
    if (!section.isEmpty())
        DeleteIniSection(section, m_ctx.databasePath);
    RefreshElementList();
}

void frmMain::TreeView1_NodeClick(QTreeWidgetItem* node)
{
    if (!node)
        return;
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
    {
        Database database(m_store, m_ctx.databasePath);
        ProbeOperation probe(*m_snmp, database, *m_ctx.prompt, m_ctx.timings);
        frmAddNewSNMP dialog(probe, this);
        runDialog(dialog);
    }
    RefreshElementList();
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
        question.text = QStringLiteral("Performing an 'Auto Discovery' will delete the local "
                                       "database in your computer ") +
                        QStringLiteral("and create a new one, based on the Network Elements "
                                       "found (if any). ") +
                        kCR + QStringLiteral("Are you sure?");
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
    Database database(m_store, m_ctx.databasePath);
    const ShownElement shown = shownElement();
    // A decoder has no audio-source choice: the list goes to "Digital".
    if (shown.isShown() && shown.roleCaption == QLatin1String("DECODER"))
        panel->cmbAudioInput->setCurrentIndex(0);
    EditedValues values = editedValues();
    const QString reason = ApplyOperation::checkEdits(shown, values, database);
    if (!reason.isEmpty()) {
        ApplyOperation::refuse(*m_ctx.prompt, reason);
        return;
    }
    ApplyOperation apply(*m_snmp, database, *m_ctx.prompt, m_ctx.timings);
    if (!apply.confirm())
        return;
    frmSendSNMP dialog(apply, *this, m_ctx.timings, this);
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
    prepareHiddenMenu();
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
    Database database(m_store, m_ctx.databasePath);
    SnmpPropertiesOperation properties(*m_snmp, database, *m_ctx.prompt, m_ctx.timings);
    frmSNMPProperties dialog(properties, *this, m_ctx.timings, this);
    runDialog(dialog);
}

void frmMain::showStatistics()
{
    if (!shownElement().isShown())
        return;
    Database database(m_store, m_ctx.databasePath);
    StatisticsOperation statistics(*m_snmp, database, m_ctx.timings);
    frmStatistics dialog(statistics, *this, m_ctx.timings, this);
    runDialog(dialog);
}

void frmMain::showAdjust()
{
    if (!shownElement().isShown())
        return;
    Database database(m_store, m_ctx.databasePath);
    SfnAdjustOperation adjust(*m_snmp, database, *m_ctx.prompt, m_ctx.timings);
    frmAdjust dialog(adjust, *this, m_ctx.timings, this);
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
                                       m_ctx.databasePath, QStringLiteral("192.168.1.15"));
    panel->cmdPing->setToolTip(QStringLiteral("Ping to ") + target);
    panel->setPingColour(QColor(255, 255, 192));
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
    // The operator may have shown another element meanwhile: the outcome
    // belongs to the one pinged.
    if (panel->lblElementMAC->text() != mac)
        return;
    panel->setPingColour(outcome.state == PingOutcome::State::Success ? QColor(0, 255, 0)
                                                                      : QColor(255, 128, 128));
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
                // The right button opens the menu and never moves the
                // selection: the commands act on the element shown.
                if (type == QEvent::MouseButtonRelease)
                    TreeView1_MouseUp(me->globalPosition().toPoint());
                return true;
            }
        }
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

// -------------------------------------------------------- database routines

QString frmMain::ReadFromINI(const QString& strSection, const QString& strkey,
                             const QString& strfullpath, const QString& strDefault) const
{
    return m_store.read(strSection, strkey, strfullpath, strDefault);
}

void frmMain::WriteToINI(const QString& strSection, const QString& strkey,
                         const QString& strkeyvalue, const QString& strfullpath)
{
    m_store.write(strSection, strkey, strkeyvalue, strfullpath);
}

void frmMain::DeleteIniSection(const QString& strSection, const QString& strfullpath)
{
    m_store.deleteSection(strSection, strfullpath);
}

void frmMain::DeleteIniKey(const QString& strSection, const QString& strKeyname,
                           const QString& strfullpath)
{
    m_store.deleteKey(strSection, strKeyname, strfullpath);
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
