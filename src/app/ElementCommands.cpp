#include "app/ElementCommands.h"

#include "app/CommandContext.h"
#include "app/ElementTree.h"
#include "app/MainMenus.h"
#include "core/Prompt.h"
#include "devops/ApplyOperation.h"
#include "devops/OperationEvents.h"
#include "devops/ProbeOperation.h"
#include "dialogs/frmAddNewSNMP.h"
#include "dialogs/frmSendSNMP.h"
#include "panel/ElementPanel.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTreeWidget>

namespace orvalink {

namespace {
const QString kDeleteOneOnly =
    QStringLiteral("Delete acts on one element: select only the element to delete");
} // namespace

ElementCommands::ElementCommands(CommandContext& context, MainMenus& menus, QObject* parent)
    : QObject(parent), m_cx(context), m_menus(menus)
{
    setObjectName(QStringLiteral("elementCommands"));
}

// ------------------------------------------------------------- element list

void ElementCommands::Load_Config()
{
    m_cx.tree().load();
}

void ElementCommands::RefreshElementList()
{
    ElementPanel* panel = &m_cx.panel();
    if (!m_cx.tree().isLoading())
        m_cx.tree().clearNodes();
    Load_Config();
    panel->ClearElementPanel();
}

void ElementCommands::refreshList()
{
    if (!confirmDiscard())
        return;
    RefreshElementList();
    const QString error = m_cx.tree().loadError();
    Event e;
    e.operation = QStringLiteral("refresh");
    e.outcome = error.isEmpty() ? QStringLiteral("ok") : QStringLiteral("failed");
    e.cause = error.isEmpty()
                  ? QStringLiteral("%1 elements").arg(m_cx.tree().tree()->topLevelItemCount())
                  : QStringLiteral("the element database %1 %2")
                        .arg(QDir::toNativeSeparators(m_cx.databasePath()), error);
    m_cx.postOutcome(e);
}

void ElementCommands::DeleteElement()
{
    // Only the element on screen: shown, selected and not hidden by the
    // filter. With none shown the question still comes, and nothing goes.
    ElementTree& tree = m_cx.tree();
    QTreeWidgetItem* target = tree.deletableNode();
    if (tree.tree()->selectedItems().size() > 1) {
        // Several rows selected: which one was meant is not known.
        m_cx.postOutcome(kDeleteOneOnly);
        return;
    }
    if (!target && tree.nodeOfShown()) {
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
    if (m_cx.prompt().ask(question) != PromptAnswer::Yes)
        return;
    const QString section =
        target ? Encode_MAC(target->data(0, ElementTree::kNodeKeyRole).toString()) : QString();
    const QString name = shownElementName();
    // No element shown ("-"): there is no section to remove.
    const bool deleted =
        section.isEmpty() || m_cx.store().deleteSection(section, m_cx.databasePath());
    const QString cause = deleted ? QString() : m_cx.store().lastError();
    RefreshElementList();
    if (!section.isEmpty()) {
        Event e;
        e.operation = QStringLiteral("delete");
        e.outcome = deleted ? QStringLiteral("ok") : QStringLiteral("failed");
        e.mac = Decode_MAC(section);
        e.name = name;
        e.cause = cause;
        m_cx.postOutcome(e);
    }
}

void ElementCommands::ShowSelectedElement()
{
    if (QTreeWidgetItem* selected = m_cx.tree().selectedNode())
        m_cx.tree().showNode(selected, ElementPanel::ShowMode::SelectedElement);
}

void ElementCommands::AddNewElement()
{
    // The list is reloaded afterwards, which clears the panel.
    if (!confirmDiscard())
        return;
    QString probeStatus;
    QString probeSection;
    QString probeHost;
    {
        ProbeOperation probe(m_cx.snmp(), m_cx.database(), m_cx.prompt(), m_cx.timings());
        connect(&probe, &ProbeOperation::statusChanged, this,
                [&probeStatus](const QString& text) { probeStatus = text; });
        frmAddNewSNMP dialog(probe, &m_cx.window());
        const CommandContext::DeviceWindowOpen own(m_cx);
        m_cx.runDialog(dialog);
        probeSection = probe.section();
        probeHost = probe.host();
    }
    RefreshElementList();
    if (probeStatus.isEmpty())
        return;
    static const QString kPrefix = QStringLiteral("Status: ");
    static const QString kFail = QStringLiteral("FAIL - ");
    Event e;
    e.operation = QStringLiteral("probe");
    e.host = probeHost;
    e.cause = probeStatus.startsWith(kPrefix) ? probeStatus.mid(kPrefix.size()) : probeStatus;
    e.outcome = e.cause.startsWith(kFail) ? QStringLiteral("failed")
                : probeStatus == QLatin1String("Status: Finished with SUCCESS!")
                    ? QStringLiteral("ok")
                    : QStringLiteral("ended");
    if (e.cause.startsWith(kFail))
        e.cause = e.cause.mid(kFail.size());
    if (!probeSection.isEmpty()) {
        e.mac = Decode_MAC(probeSection);
        e.name = m_cx.database().read(probeSection, QStringLiteral("name")).trimmed();
    }
    m_cx.postOutcome(e);
}

void ElementCommands::SendConfiguration()
{
    if (m_cx.app().sendConfiguration) {
        m_cx.app().sendConfiguration();
        return;
    }
    ElementPanel* panel = &m_cx.panel();
    const ShownElement shown = shownElement();
    // A decoder has no audio-source choice: the list goes to "Digital".
    if (shown.isShown() && shown.roleCaption == QLatin1String("DECODER"))
        panel->selectDigitalInput();
    EditedValues values = editedValues();
    const QString reason = ApplyOperation::checkEdits(shown, values, m_cx.database());
    if (!reason.isEmpty()) {
        ApplyOperation::refuse(m_cx.prompt(), reason);
        return;
    }
    ApplyOperation apply(m_cx.snmp(), m_cx.database(), m_cx.prompt(), m_cx.timings());
    if (!apply.confirm())
        return;
    const SilenceWatch silence(m_cx.snmp());
    const ApplyEvents events(apply, m_cx.eventsOf(QStringLiteral("apply"), shown.section),
                             apply.pending(shown, values), &silence);
    frmSendSNMP dialog(apply, *this, m_cx.timings(), &m_cx.window());
    const CommandContext::DeviceWindowOpen own(m_cx);
    m_cx.runDialog(dialog);
}

// ------------------------------------------------------------ tree handlers

void ElementCommands::TreeView1_NodeClick(QTreeWidgetItem* node)
{
    if (!node)
        return;
    if (!confirmDiscard()) {
        // The edits stay, and so does the highlight on their element.
        m_cx.tree().selectShown(true);
        return;
    }
    m_cx.tree().showNode(node, ElementPanel::ShowMode::NodeClick);
}

void ElementCommands::prepareHiddenMenu()
{
    const bool selected = !m_cx.tree().tree()->selectedItems().isEmpty();
    m_menus.mnuAddNewDevice->setEnabled(true);
    m_menus.mnuDeviceSNMPProperties->setEnabled(selected);
    m_menus.mnuDeviceDelete->setEnabled(selected);
    m_menus.mnuApplySelected->setEnabled(selected);
}

void ElementCommands::TreeView1_MouseUp(const QPoint& globalPos)
{
    ElementPanel* panel = &m_cx.panel();
    QTreeWidget* TreeView1 = m_cx.tree().tree();
    // The menu acts on the row under the cursor: that row is shown first, as
    // a left click would show it. Over empty space only "&New device..."
    // applies, and the selection stays.
    QTreeWidgetItem* node = TreeView1->itemAt(TreeView1->viewport()->mapFromGlobal(globalPos));
    // Over a row of a selection of several, the selection stays for "Apply
    // to selected..."; the row becomes the current (shown) one.
    const auto makeCurrent = [TreeView1](QTreeWidgetItem* n) {
        if (n->isSelected())
            TreeView1->setCurrentItem(n, 0, QItemSelectionModel::NoUpdate);
        else
            TreeView1->setCurrentItem(n);
    };
    if (node && node->data(0, ElementTree::kNodeKeyRole).toString() == panel->shownMac()) {
        // Already shown: its edits stay as they are.
        makeCurrent(node);
    } else if (node) {
        // Kept edits of another element, or a row the panel refuses to
        // show: no menu, and the highlight stays on what is shown.
        if (!confirmDiscard()) {
            m_cx.tree().selectShown(true);
            return;
        }
        makeCurrent(node);
        if (!m_cx.tree().showNode(node, ElementPanel::ShowMode::NodeClick))
            return;
    }
    prepareHiddenMenu();
    if (!node) {
        m_menus.mnuDeviceSNMPProperties->setEnabled(false);
        m_menus.mnuDeviceDelete->setEnabled(false);
        m_menus.mnuApplySelected->setEnabled(false);
    }
    m_menus.mnuHidden->popup(globalPos);
}

// -------------------------------------------------------- the shown element

bool ElementCommands::checkSelection()
{
    ElementPanel* panel = &m_cx.panel();
    if (!m_cx.tree().tree()->selectedItems().isEmpty() && panel->shownMac().length() >= 6)
        return true;
    tellNoSelection();
    return false;
}

void ElementCommands::tellNoSelection()
{
    m_cx.prompt().tell(PromptIcon::Information,
                       QStringLiteral("No device has been selected / loaded. ") + kCR +
                           QStringLiteral("Please, click on a device from the elements list."));
}

QString ElementCommands::shownElementName() const
{
    ElementPanel* panel = &m_cx.panel();
    const QString mac = panel->shownMac();
    const QString name =
        m_cx.store()
            .read(Encode_MAC(mac), QStringLiteral("name"), m_cx.databasePath(), QString())
            .trimmed();
    return name.isEmpty() ? mac : name;
}

bool ElementCommands::confirmDiscard()
{
    ElementPanel* panel = &m_cx.panel();
    if (!panel->hasPendingEdits())
        return true;
    PromptRequest question;
    question.icon = PromptIcon::Question;
    question.text = QStringLiteral("Discard the changes to %1?").arg(shownElementName());
    question.buttons = PromptButtons::YesNo;
    question.defaultAnswer = PromptAnswer::No;
    if (m_cx.prompt().ask(question) != PromptAnswer::Yes)
        return false;
    panel->forgetEdits();
    return true;
}

ShownElement ElementCommands::shownElement() const
{
    ElementPanel* panel = &m_cx.panel();
    ShownElement e;
    const QString mac = panel->shownMac();
    const QString section = Encode_MAC(mac);
    if (section.isEmpty())
        return e;
    e.mac = mac;
    e.section = section;
    const QTreeWidgetItem* selected = m_cx.tree().selectedNode();
    e.nodeText = selected ? selected->text(0) : QString();
    e.roleCaption = panel->roleCaption();
    return e;
}

EditedValues ElementCommands::editedValues() const
{
    return m_cx.panel().editedValues();
}

void ElementCommands::showAgainFromDatabase()
{
    QTreeWidget* TreeView1 = m_cx.tree().tree();
    QTreeWidgetItem* selected = m_cx.tree().selectedNode();
    const int position = selected ? TreeView1->indexOfTopLevelItem(selected) : -1;
    RefreshElementList();
    if (position < 0 || position >= TreeView1->topLevelItemCount())
        return;
    QTreeWidgetItem* node = TreeView1->topLevelItem(position);
    TreeView1->setCurrentItem(node);
    node->setSelected(true);
    ShowSelectedElement();
}

} // namespace orvalink
