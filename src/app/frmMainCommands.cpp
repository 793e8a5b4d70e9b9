// The main window's commands: the element list (load, refresh, delete,
// show), the toolbar's and menus' handlers and the remote protocol's
// discovery. The device windows are in frmMainDevices.cpp.

#include "app/MainMenus.h"
#include "app/MainStatusBar.h"
#include "app/frmMain.h"
#include "core/Prompt.h"
#include "core/Text.h"
#include "core/UserSettings.h"
#include "devops/OperationEvents.h"
#include "dialogs/frmPaging.h"
#include "dialogs/frmWaiting.h"
#include "remote/DiscoveryOperation.h"
#include "remote/MacWait.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace orvalink {

namespace {
const QString kCR = QStringLiteral("\r");
const QString kDeleteOneOnly =
    QStringLiteral("Delete acts on one element: select only the element to delete");
} // namespace

// ------------------------------------------------------------- element list

void frmMain::Load_Config()
{
    m_tree->load();
}

void frmMain::RefreshElementList()
{
    if (!m_tree->isLoading())
        m_tree->clearNodes();
    Load_Config();
    panel->ClearElementPanel();
}

void frmMain::applyFilter(const QString& text)
{
    m_tree->applyFilter(text);
}

void frmMain::DeleteElement()
{
    // Only the element on screen: shown, selected and not hidden by the
    // filter. With none shown the question still comes, and nothing goes.
    QTreeWidgetItem* target = m_tree->deletableNode();
    if (TreeView1->selectedItems().size() > 1) {
        // Several rows selected: which one was meant is not known.
        postOutcome(kDeleteOneOnly);
        return;
    }
    if (!target && m_tree->nodeOfShown()) {
        tellNoSelection();
        return;
    }
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
    const QString section =
        target ? Encode_MAC(target->data(0, kNodeKeyRole).toString()) : QString();
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
        m_tree->selectShown(true);
        return;
    }
    m_tree->showNode(node, ElementPanel::ShowMode::NodeClick);
}

void frmMain::ShowSelectedElement()
{
    if (QTreeWidgetItem* selected = m_tree->selectedNode())
        m_tree->showNode(selected, ElementPanel::ShowMode::SelectedElement);
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
    quint32 local = 0;
    if (parseIPv4(strLocalNMSIPAddress, &local) && (local >> 24) == 127) {
        m_ctx.prompt->tell(
            PromptIcon::Information,
            QStringLiteral("Auto Discovery cannot run on the NMS interface %1: it is a loopback "
                           "address, and no element answers there.")
                    .arg(strLocalNMSIPAddress) +
                kCR +
                QStringLiteral("Choose the interface of the elements' network under "
                               "'NMS interface:' first. The local database was not changed."),
            QStringLiteral("Auto Discovery"));
        return;
    }
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

    // What the paging window does first: the level display off (cleared
    // with the panel), the lists emptied, the caption counting no element.
    m_tree->clearAll();

    Event e;
    e.operation = QStringLiteral("discover");
    e.host = strLocalNMSIPAddress;
    {
        DiscoveryOperation discovery(*m_remote, m_ctx.timings);
        frmPaging window(discovery, this);
        runDialog(window);
        const DiscoveryOperation::Result result = discovery.result();
        e.outcome = result == DiscoveryOperation::Result::Found       ? QStringLiteral("ok")
                    : result == DiscoveryOperation::Result::Cancelled ? QStringLiteral("cancelled")
                                                                      : QStringLiteral("failed");
        e.cause = result == DiscoveryOperation::Result::Found
                      ? QStringLiteral("%1 element(s) found").arg(discovery.found())
                      : oneLineCause(discovery.cause());
    }
    Load_Config();
    // A window closed before the broadcast left has nothing to tell.
    if (!e.cause.isEmpty())
        postOutcome(e);
}

void frmMain::showAgainFromDatabase()
{
    QTreeWidgetItem* selected = m_tree->selectedNode();
    const int position = selected ? TreeView1->indexOfTopLevelItem(selected) : -1;
    RefreshElementList();
    if (position < 0 || position >= TreeView1->topLevelItemCount())
        return;
    QTreeWidgetItem* node = TreeView1->topLevelItem(position);
    TreeView1->setCurrentItem(node);
    node->setSelected(true);
    ShowSelectedElement();
}

bool frmMain::checkSelection()
{
    if (!TreeView1->selectedItems().isEmpty() && panel->shownMac().length() >= 6)
        return true;
    tellNoSelection();
    return false;
}

void frmMain::tellNoSelection()
{
    m_ctx.prompt->tell(PromptIcon::Information,
                       QStringLiteral("No device has been selected / loaded. ") + kCR +
                           QStringLiteral("Please, click on a device from the elements list."));
}

// ------------------------------------------------------ toolbar and menus

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
        if (confirmDiscard()) {
            RefreshElementList();
            Event e;
            e.operation = QStringLiteral("refresh");
            e.outcome =
                m_tree->loadError().isEmpty() ? QStringLiteral("ok") : QStringLiteral("failed");
            e.cause =
                m_tree->loadError().isEmpty()
                    ? QStringLiteral("%1 elements").arg(TreeView1->topLevelItemCount())
                    : QStringLiteral("the element database %1 %2")
                          .arg(QDir::toNativeSeparators(m_ctx.databasePath), m_tree->loadError());
            postOutcome(e);
        }
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
    m_menus->mnuApplySelected->setEnabled(selected);
}

void frmMain::TreeView1_MouseUp(const QPoint& globalPos)
{
    // The menu acts on the row under the cursor: that row is shown first, as
    // a left click would show it. Over empty space only "&New device..."
    // applies, and the selection stays.
    QTreeWidgetItem* node = TreeView1->itemAt(TreeView1->viewport()->mapFromGlobal(globalPos));
    // Over a row of a selection of several, the selection stays for "Apply
    // to selected..."; the row becomes the current (shown) one.
    const auto makeCurrent = [this](QTreeWidgetItem* n) {
        if (n->isSelected())
            TreeView1->setCurrentItem(n, 0, QItemSelectionModel::NoUpdate);
        else
            TreeView1->setCurrentItem(n);
    };
    if (node && node->data(0, kNodeKeyRole).toString() == panel->shownMac()) {
        // Already shown: its edits stay as they are.
        makeCurrent(node);
    } else if (node) {
        // Kept edits of another element, or a row the panel refuses to
        // show: no menu, and the highlight stays on what is shown.
        if (!confirmDiscard()) {
            m_tree->selectShown(true);
            return;
        }
        makeCurrent(node);
        if (!m_tree->showNode(node, ElementPanel::ShowMode::NodeClick))
            return;
    }
    prepareHiddenMenu();
    if (!node) {
        mnuDeviceSNMPProperties->setEnabled(false);
        mnuDeviceDelete->setEnabled(false);
        m_menus->mnuApplySelected->setEnabled(false);
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

void frmMain::mnuDeviceDelete_Click()
{
    DeleteElement();
}

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
    runDialog(box);
}

// ------------------------------------------------------------- status bar

void frmMain::updateStatusBar()
{
    if (!m_status)
        return;
    m_status->setInterface(strLocalNMSIPAddress);
    m_status->setDatabase(m_ctx.databasePath);
    m_status->setCount(TreeView1->topLevelItemCount());
}

void frmMain::postOutcome(const Event& event)
{
    // The status bar follows the channel; a log that cannot be written says
    // so in the tip.
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
    return m_status->outcome();
}

// ------------------------------------------------------- edits not applied

QString frmMain::shownElementName() const
{
    const QString mac = panel->shownMac();
    const QString name =
        ReadFromINI(Encode_MAC(mac), QStringLiteral("name"), m_ctx.databasePath, QString())
            .trimmed();
    return name.isEmpty() ? mac : name;
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

} // namespace orvalink