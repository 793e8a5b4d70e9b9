#include "app/EventsDock.h"

#include <QBrush>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

namespace orvalink {

namespace {

// What the element column shows: "NAME [MAC]", else the address.
QString elementText(const Event& e)
{
    if (e.name.isEmpty() && e.mac.isEmpty())
        return e.host;
    return e.mac.isEmpty() ? e.name : e.name + QStringLiteral(" [") + e.mac + QLatin1Char(']');
}

// A text from a file or a device as one line of a cell.
QString oneLine(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            c = QChar(0xFFFD);
    }
    return text;
}

} // namespace

EventTableModel::EventTableModel(int maxRows, QObject* parent)
    : QAbstractTableModel(parent), m_maxRows(qMax(1, maxRows))
{
}

void EventTableModel::setEvents(const QList<Event>& events)
{
    beginResetModel();
    m_events = events.mid(qMax<qsizetype>(0, events.size() - m_maxRows));
    endResetModel();
}

void EventTableModel::add(const Event& event)
{
    if (m_events.size() >= m_maxRows) {
        beginRemoveRows({}, 0, 0);
        m_events.removeFirst();
        endRemoveRows();
    }
    const int row = int(m_events.size());
    beginInsertRows({}, row, row);
    m_events.append(event);
    endInsertRows();
}

int EventTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_events.size());
}

int EventTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EventTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_events.size())
        return {};
    const Event& e = m_events.at(index.row());
    const bool failed = e.outcome == QLatin1String("failed");
    if (role == Qt::ForegroundRole && failed && index.column() == Outcome)
        return QBrush(Qt::darkRed);
    if (role == Qt::ToolTipRole && index.column() == Time)
        return e.time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz 'UTC'"));
    if (role == Qt::ToolTipRole && index.column() == Cause)
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Time:
        return e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Element:
        return oneLine(elementText(e));
    case Operation:
        return oneLine(e.operation);
    case Outcome:
        return oneLine(e.outcome);
    case Cause: {
        QString text = e.isSet() ? QStringLiteral("%1 %2 -> %3").arg(e.key, e.oldValue, e.newValue)
                                 : QString();
        if (!e.cause.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral(": ")) + e.cause;
        return oneLine(text);
    }
    default:
        return {};
    }
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time:
        return QStringLiteral("Time");
    case Element:
        return QStringLiteral("Element");
    case Operation:
        return QStringLiteral("Operation");
    case Outcome:
        return QStringLiteral("Outcome");
    case Cause:
        return QStringLiteral("Cause");
    default:
        return {};
    }
}

EventsDock::EventsDock(EventLog& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Events"), parent), m_log(log)
{
    setObjectName(QStringLiteral("dockEvents"));
    m_model = new EventTableModel(log.limits().historySize, this);
    m_model->setEvents(log.history());
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblEvents"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    // Widths from the font, not from the rows: measuring a thousand rows at
    // every layout would make each new event slow.
    QHeaderView* header = m_table->horizontalHeader();
    header->setStretchLastSection(true);
    const QFontMetrics metrics = m_table->fontMetrics();
    const auto fit = [&](int column, const char* sample) {
        header->resizeSection(column, metrics.horizontalAdvance(QLatin1String(sample)) + 16);
    };
    fit(EventTableModel::Time, "0000-00-00 00:00:00");
    fit(EventTableModel::Element, "STUDIO A ENCODER [2E:8B:F2:00:0A:1B]");
    fit(EventTableModel::Operation, "snmp-properties");
    fit(EventTableModel::Outcome, "cancelled");
    setWidget(m_table);
    m_table->scrollToBottom();
    connect(&log, &EventLog::appended, this, &EventsDock::add);
}

void EventsDock::showHistory()
{
    m_model->setEvents(m_log.history());
    m_table->scrollToBottom();
}

void EventsDock::add(const Event& event)
{
    // Follows the newest row unless the operator scrolled up to read.
    QScrollBar* bar = m_table->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    m_model->add(event);
    if (atBottom)
        m_table->scrollToBottom();
}

} // namespace orvalink
