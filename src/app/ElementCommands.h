#pragma once
// The element commands of the main window: the element list (Load_Config,
// RefreshElementList, the refresh command), adding an element (the probe
// window), deleting the shown one, "Save changes", and the tree's handlers
// (a click shows a node, the right button opens the pop-up menu). It is
// also what the device windows know of the shown element (ElementView):
// the panel's element, its edits, and showing it again from the database.

#include "devops/ElementView.h"

#include <QObject>

class QPoint;
class QTreeWidgetItem;

namespace orvalink {

class CommandContext;
class MainMenus;

class ElementCommands final : public QObject, public ElementView {
    Q_OBJECT
public:
    ElementCommands(CommandContext& context, MainMenus& menus, QObject* parent = nullptr);

    // ---- Element list ----
    void Load_Config();
    void RefreshElementList();
    // Toolbar button 4, "Refresh list": asks for kept edits, reloads and
    // posts what it found.
    void refreshList();
    void DeleteElement();
    void ShowSelectedElement();
    // Toolbar button 1: the probe window, then the list again.
    void AddNewElement();
    // Toolbar button 5, after the selection check: checks the panel, asks,
    // and runs frmSendSNMP (or the context's sendConfiguration).
    void SendConfiguration();

    // ---- The tree's handlers ----
    void TreeView1_NodeClick(QTreeWidgetItem* node);
    void TreeView1_MouseUp(const QPoint& globalPos);
    // Enables the pop-up menu's entries for the tree's selection.
    void prepareHiddenMenu();

    // ---- The shown element ----
    // True when an element is selected and shown; otherwise tells the operator.
    bool checkSelection();
    void tellNoSelection();
    // True when the panel holds no edits, or the operator lets them go.
    bool confirmDiscard();
    ShownElement shownElement() const override;
    EditedValues editedValues() const override;
    // Reloads the tree, selects the same position again and shows it.
    void showAgainFromDatabase() override;

private:
    QString shownElementName() const;

    CommandContext& m_cx;
    MainMenus& m_menus;
};

} // namespace orvalink
