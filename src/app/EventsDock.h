#pragma once
// The "Events" window of the main window (View > Events): the event log's
// newest events, one row each, newest at the bottom.

#include "store/EventLog.h"

#include <QAbstractTableModel>
#include <QDockWidget>

class QTableView;

namespace orvalink {

// The rows of the window: a bounded list of events.
class EventTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Element, Operation, Outcome, Cause, ColumnCount };

    explicit EventTableModel(int maxRows, QObject* parent = nullptr);

    void setEvents(const QList<Event>& events);
    // Adds a row at the bottom, dropping the oldest beyond maxRows.
    void add(const Event& event);
    const Event& event(int row) const { return m_events.at(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int m_maxRows;
    QList<Event> m_events;
};

class EventsDock final : public QDockWidget {
    Q_OBJECT
public:
    // Shows the log's history and every event appended to it from now on.
    explicit EventsDock(EventLog& log, QWidget* parent = nullptr);

    EventTableModel& model() { return *m_model; }
    // The log's history again, once it has been read (loadHistory()).
    void showHistory();

private:
    void add(const Event& event);

    EventTableModel* m_model = nullptr;
    EventLog& m_log;
    QTableView* m_table = nullptr;
};

} // namespace orvalink
