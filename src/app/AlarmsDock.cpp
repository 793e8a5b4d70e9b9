#include "app/AlarmsDock.h"

#include "monitor/AlarmBook.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace orvalink {

namespace {
constexpr int kIdRole = Qt::UserRole;
}

AlarmsDock::AlarmsDock(AlarmBook& book, QWidget* parent)
    : QDockWidget(QStringLiteral("Alarms"), parent), m_book(book)
{
    setObjectName(QStringLiteral("alarmsDock"));
    auto* body = new QWidget(this);
    m_table = new QTableWidget(0, ColumnCount, body);
    m_table->setObjectName(QStringLiteral("tblAlarms"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Element"), QStringLiteral("What"),
                                        QStringLiteral("Since"), QStringLiteral("Severity"),
                                        QStringLiteral("Acknowledged")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(What, QHeaderView::Stretch);
    m_table->setWordWrap(false);
    m_acknowledge = new QPushButton(QStringLiteral("&Acknowledge"), body);
    m_acknowledge->setObjectName(QStringLiteral("cmdAcknowledge"));
    m_acknowledge->setEnabled(false);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_acknowledge, 0, Qt::AlignRight);
    setWidget(body);

    // Refilled a few times a second at most under a flood of traps.
    auto* later = new QTimer(this);
    later->setSingleShot(true);
    later->setInterval(100);
    connect(later, &QTimer::timeout, this, &AlarmsDock::refill);
    connect(&m_book, &AlarmBook::changed, later, [later] {
        if (!later->isActive())
            later->start();
    });
    connect(m_acknowledge, &QPushButton::clicked, this, &AlarmsDock::acknowledgeSelected);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_acknowledge->setEnabled(m_table->selectionModel()->hasSelection()); });
    refill();
}

void AlarmsDock::refill()
{
    QStringList selected;
    for (const QModelIndex& row : m_table->selectionModel()->selectedRows())
        selected << row.data(kIdRole).toString();
    QList<Alarm> alarms = m_book.alarms();
    // Worst first, then the oldest.
    std::stable_sort(alarms.begin(), alarms.end(), [](const Alarm& a, const Alarm& b) {
        return a.severity != b.severity ? a.severity > b.severity : a.since < b.since;
    });
    m_table->setRowCount(int(alarms.size()));
    for (int r = 0; r < alarms.size(); ++r) {
        const Alarm& a = alarms.at(r);
        const QString cells[ColumnCount] = {
            a.name.isEmpty() ? a.mac : QStringLiteral("%1 [%2]").arg(a.name, a.mac),
            a.count > 1 ? QStringLiteral("%1 (%2 times, last %3)")
                              .arg(a.text)
                              .arg(a.count)
                              .arg(a.last.toLocalTime().toString(QStringLiteral("HH:mm:ss")))
                        : a.text,
            a.since.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            alarmSeverityName(a.severity), a.acknowledged ? QStringLiteral("yes") : QString()};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setData(kIdRole, a.id());
            item->setToolTip(c == What ? a.text : QString());
            m_table->setItem(r, c, item);
        }
        if (selected.contains(a.id()))
            m_table->selectRow(r);
    }
    m_table->resizeColumnToContents(Element);
    m_table->resizeColumnToContents(Since);
    m_table->resizeColumnToContents(Severity);
    m_acknowledge->setEnabled(m_table->selectionModel()->hasSelection());
}

void AlarmsDock::acknowledgeSelected()
{
    QStringList ids;
    for (const QModelIndex& row : m_table->selectionModel()->selectedRows())
        ids << row.data(kIdRole).toString();
    for (const QString& id : std::as_const(ids))
        m_book.acknowledge(id);
}

} // namespace orvalink
