#pragma once
// The element tree with its filter: the frame "Select element: (n items)",
// the filter field above the tree, the hidden section list, the loading of
// the element database into them, and the rules that keep the tree's
// selection equal to the element the panel shows.

#include "panel/ElementPanel.h"

#include <QGroupBox>
#include <QIcon>
#include <QList>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvalink {

class IniStore;
class Prompt;

class ElementTree : public QGroupBox {
    Q_OBJECT
public:
    // Image list indexes of the tree icons.
    static constexpr int kEncoderImage = 6;
    static constexpr int kElementImage = 7;
    // Item data roles of a tree node.
    static constexpr int kNodeKeyRole = Qt::UserRole;
    static constexpr int kNodeImageRole = Qt::UserRole + 1;
    // What the filter searches: name, MAC (both forms) and addresses.
    static constexpr int kNodeFindRole = Qt::UserRole + 2;

    ElementTree(IniStore& store, const QString& dbPath, Prompt& prompt, ElementPanel& panel,
                const QList<QIcon>& images, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return m_tree; }
    QLineEdit* filter() const { return m_filter; }
    QListWidget* hiddenList() const { return m_hidden; }

    // Rebuilds the hidden list, the tree, the panel's encoder list and the
    // caption from the file (Load_Config). A reload asked for while one runs
    // is done once it has ended.
    void load();
    bool isLoading() const { return m_loading; }
    // Why the last load found no list ("is a folder"); empty when it read one.
    QString loadError() const { return m_loadError; }
    // Empties the tree (the lists stay until the next load).
    void clearNodes();
    // Empties everything load() fills, and counts no element.
    void clearAll();
    // Shows only the nodes matching text (all when it is empty).
    void applyFilter(const QString& text);

    // ---- Selection and the shown element ----
    // Shows node in the panel. False when the panel refused it (a damaged
    // section): the selection then goes back to the element still shown,
    // or is cleared when none is; the keyboard cursor stays on the row.
    bool showNode(QTreeWidgetItem* node, ElementPanel::ShowMode mode);
    // Selects the node of the shown element (none when nothing is shown).
    // moveCursor: the current row follows the selection.
    void selectShown(bool moveCursor);
    // The node of the element the panel shows, or null.
    QTreeWidgetItem* nodeOfShown() const;
    // The node a delete may act on: the shown element's, when it is visible
    // (not hidden by the filter) and the only one selected; otherwise null.
    QTreeWidgetItem* deletableNode() const;
    // The current node when it is selected, else the first selected, or null.
    QTreeWidgetItem* selectedNode() const;
    // The sections of the selected nodes the filter does not hide, in tree
    // order (the elements a command on many elements acts on).
    QStringList selectedSections() const;
    // The node last shown; only compared, never followed.
    const QTreeWidgetItem* lastShown() const { return m_lastShown; }

Q_SIGNALS:
    // The operator reached a node with a left click or the keyboard.
    void nodeClicked(QTreeWidgetItem* node);
    // The right button was released over the tree at globalPos.
    void contextMenuRequested(const QPoint& globalPos);
    // The number of elements listed changed.
    void countChanged(int count);
    // A load has ended (the nodes are those of the file now).
    void loaded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setCaption();
    void fitColumn();
    QString shownMac() const;

    IniStore& m_store;
    const QString m_dbPath;
    Prompt& m_prompt;
    ElementPanel& m_panel;
    const QList<QIcon> m_images;
    QTreeWidget* m_tree = nullptr;
    QLineEdit* m_filter = nullptr;
    QListWidget* m_hidden = nullptr;
    bool m_loading = false;
    bool m_reloadPending = false;
    QString m_loadError;
    bool m_inTreeKey = false;
    const QTreeWidgetItem* m_lastShown = nullptr;
};

} // namespace orvalink
