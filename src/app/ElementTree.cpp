#include "app/ElementTree.h"

#include "core/Prompt.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvalink {

namespace {

// A reload shows the busy cursor once it has taken this long.
constexpr qint64 kBusyAfterMs = 100;
// While the list is built, pending events run at most this often: letting
// them run (and the tree lay itself out) after every element made a reload
// of a shown window twenty times slower than the same load at start-up.
constexpr qint64 kEventSliceMs = 40;

} // namespace

ElementTree::ElementTree(IniStore& store, const QString& dbPath, Prompt& prompt,
                         ElementPanel& panel, const QList<QIcon>& images, QWidget* parent)
    : QGroupBox(QStringLiteral("Elements"), parent), m_store(store), m_dbPath(dbPath),
      m_prompt(prompt), m_panel(panel), m_images(images)
{
    setObjectName(QStringLiteral("frmTreeView"));
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    // Several rows may be selected (Ctrl, Shift) for the commands on many
    // elements; the current row is the one the panel shows.
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setIconSize(QSize(24, 24));
    m_tree->setMinimumWidth(260);
    m_tree->setMinimumHeight(160);
    // Node texts are never cut: the column is at least as wide as the
    // longest text (fitColumn), and the tree scrolls sideways.
    m_tree->setTextElideMode(Qt::ElideNone);
    m_tree->viewport()->installEventFilter(this);
    m_tree->installEventFilter(this);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setPlaceholderText(
        QStringLiteral("Find: name, MAC or address (%1)")
            .arg(QKeySequence(QKeySequence::Find).toString(QKeySequence::NativeText)));
    m_filter->setClearButtonEnabled(true);
    m_filter->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_tree);

    m_hidden = new QListWidget(this);
    m_hidden->setObjectName(QStringLiteral("lstHidden"));
    m_hidden->setSortingEnabled(false);
    m_hidden->hide();

    connect(m_filter, &QLineEdit::textChanged, this, &ElementTree::applyFilter);
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item, int) { Q_EMIT nodeClicked(item); });
}

void ElementTree::setCaption()
{
    const int count = m_tree->topLevelItemCount();
    setTitle(QStringLiteral("Select element: (%1 items)").arg(count));
    Q_EMIT countChanged(count);
}

void ElementTree::clearNodes()
{
    m_tree->clear();
    m_lastShown = nullptr;
}

void ElementTree::clearAll()
{
    clearNodes();
    m_hidden->clear();
    m_panel.clearEncoders();
    m_panel.setVUMeterWidthTwips(0);
    setCaption();
}

void ElementTree::load()
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
        clearAll();

        const ElementList list = loadElementList(m_store, m_dbPath);
        m_loadError = list.error;
        if (!list.error.isEmpty()) {
            // Not an empty database: a file that must not be taken for one.
            m_prompt.tell(PromptIcon::Critical,
                          QStringLiteral("The element database %1 %2.")
                              .arg(QDir::toNativeSeparators(m_dbPath), list.error));
        } else if (list.empty) {
            m_prompt.tell(PromptIcon::Information,
                          QStringLiteral("Local database is empty.\r") +
                              QStringLiteral("Please click the 'Add New Element' button "
                                             "to add one."),
                          QStringLiteral("Information"));
        } else {
            for (const ElementEntry& e : list.entries)
                m_hidden->addItem(e.section);
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
                auto* node = new QTreeWidgetItem(m_tree);
                node->setText(0, e.nodeText);
                node->setData(0, kNodeKeyRole, e.mac);
                const int image = e.isEncoder() ? kEncoderImage : kElementImage;
                node->setData(0, kNodeImageRole, image);
                node->setData(
                    0, kNodeFindRole,
                    QStringList{e.name, e.mac, e.section, e.ip, e.snmpIp}.join(QLatin1Char('\n')));
                node->setIcon(0, m_images.value(image));
                if (e.isEncoder())
                    m_panel.addEncoder(e.nodeText);
            }
            if (busy)
                QApplication::restoreOverrideCursor();
        }
        fitColumn();
        setCaption();
        if (!m_filter->text().isEmpty())
            applyFilter(m_filter->text());
    } while (m_reloadPending);
    m_loading = false;
    Q_EMIT loaded();
}

void ElementTree::fitColumn()
{
    // Measured here once per load: a column sized to its contents by the
    // view measures every row again at each layout.
    const QFontMetrics metrics(m_tree->font());
    int widest = 0;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        widest = qMax(widest, metrics.horizontalAdvance(m_tree->topLevelItem(i)->text(0)));
    const int margin = m_tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) * 2 + 12;
    m_tree->header()->setMinimumSectionSize(widest + m_tree->iconSize().width() + margin);
}

void ElementTree::applyFilter(const QString& text)
{
    const QString wanted = text.trimmed();
    m_tree->setUpdatesEnabled(false);
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = m_tree->topLevelItem(i);
        node->setHidden(
            !wanted.isEmpty() &&
            !node->data(0, kNodeFindRole).toString().contains(wanted, Qt::CaseInsensitive));
    }
    m_tree->setUpdatesEnabled(true);
}

// ------------------------------------------------------------- selection

QString ElementTree::shownMac() const
{
    return m_panel.shownMac();
}

bool ElementTree::showNode(QTreeWidgetItem* node, ElementPanel::ShowMode mode)
{
    const QString key = node->data(0, kNodeKeyRole).toString();
    m_panel.showElement(key, node->text(0), mode);
    if (shownMac() != key) {
        // Refused: the panel still shows what it showed, and the highlight
        // must say so, or a command would act on an element not on screen.
        selectShown(false);
        return false;
    }
    m_lastShown = node;
    return true;
}

void ElementTree::selectShown(bool moveCursor)
{
    QTreeWidgetItem* shown = nodeOfShown();
    if (moveCursor && shown) {
        m_tree->setCurrentItem(shown);
        return;
    }
    QItemSelectionModel* selection = m_tree->selectionModel();
    if (shown)
        selection->select(m_tree->indexFromItem(shown), QItemSelectionModel::ClearAndSelect);
    else
        selection->clearSelection();
}

QTreeWidgetItem* ElementTree::nodeOfShown() const
{
    const QString mac = shownMac();
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = m_tree->topLevelItem(i);
        if (node->data(0, kNodeKeyRole).toString() == mac)
            return node;
    }
    return nullptr;
}

QTreeWidgetItem* ElementTree::deletableNode() const
{
    QTreeWidgetItem* node = nodeOfShown();
    return node && !node->isHidden() && node->isSelected() && m_tree->selectedItems().size() == 1
               ? node
               : nullptr;
}

QTreeWidgetItem* ElementTree::selectedNode() const
{
    QTreeWidgetItem* current = m_tree->currentItem();
    if (current && current->isSelected())
        return current;
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QStringList ElementTree::selectedSections() const
{
    QStringList out;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* node = m_tree->topLevelItem(i);
        if (node->isSelected() && !node->isHidden())
            out << Encode_MAC(node->data(0, kNodeKeyRole).toString());
    }
    return out;
}

bool ElementTree::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tree->viewport()) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
            type == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::RightButton) {
                // Released, the right button shows the row under it and opens
                // the menu for it (ElementCommands::TreeView1_MouseUp).
                if (type == QEvent::MouseButtonRelease)
                    Q_EMIT contextMenuRequested(me->globalPosition().toPoint());
                return true;
            }
        }
    } else if (watched == m_filter && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_filter->clear();
        return true;
    } else if (watched == m_tree && event->type() == QEvent::KeyPress && !m_inTreeKey) {
        // Moving through the tree with the keyboard shows the element reached,
        // as a click would, so the highlighted node and the panel agree.
        m_inTreeKey = true;
        QCoreApplication::sendEvent(m_tree, event);
        m_inTreeKey = false;
        QTreeWidgetItem* current = m_tree->currentItem();
        if (current && current->isSelected() && current != m_lastShown)
            Q_EMIT nodeClicked(current);
        return true;
    }
    return QGroupBox::eventFilter(watched, event);
}

} // namespace orvalink
