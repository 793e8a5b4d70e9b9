#pragma once
// The main window's status bar: the outcome of the last operation on the
// left; the active alarms, the NMS interface, the database (full path in
// its tip) and the element count on the right.

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;

namespace orvalink {

class MainStatusBar : public QObject {
    Q_OBJECT
public:
    explicit MainStatusBar(QStatusBar& bar);

    QLabel* lblStatusInterface = nullptr;
    QLabel* lblStatusDatabase = nullptr;
    QLabel* lblStatusCount = nullptr;
    QLabel* lblStatusOutcome = nullptr;
    QLabel* lblStatusAlarms = nullptr;

    void setInterface(const QString& address);
    void setDatabase(const QString& path);
    void setCount(int elements);
    // "No active alarm", "1 active alarm", "3 active alarms".
    void setAlarmCount(int alarms);
    void showOutcome(const QString& text);
    QString outcome() const;
};

} // namespace orvalink
