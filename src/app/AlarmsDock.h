#pragma once
// The "Alarms" window of the main window (View > Alarms): the active alarms,
// one row each (element, what, since, severity, acknowledged), worst first,
// and "Acknowledge" for the selected rows. A cleared alarm leaves the list;
// the event log keeps it.

#include <QDockWidget>

class QPushButton;
class QTableWidget;

namespace orvalink {

class AlarmBook;

class AlarmsDock final : public QDockWidget {
    Q_OBJECT
public:
    enum Column { Element, What, Since, Severity, Acknowledged, ColumnCount };

    explicit AlarmsDock(AlarmBook& book, QWidget* parent = nullptr);

    // Acknowledges the alarms of the selected rows.
    void acknowledgeSelected();

private:
    void refill();

    AlarmBook& m_book;
    QTableWidget* m_table = nullptr;
    QPushButton* m_acknowledge = nullptr;
};

} // namespace orvalink
