#pragma once
// "Statistics": the traffic and PTP counters of the shown element, read one
// second after the window opens and again on Refresh, each with its unit,
// and each event count with how fast it moved since the previous refresh.
// The reading itself is a StatisticsOperation; this window only shows it.

#include "core/Timings.h"
#include "devops/ElementView.h"

#include <QDialog>
#include <QHash>
#include <memory>

class QLabel;
class QTimer;

namespace Ui {
class frmStatistics;
}

namespace orvalink {

class StatisticsOperation;
struct StatisticsReading;

class frmStatistics final : public QDialog {
    Q_OBJECT
public:
    frmStatistics(StatisticsOperation& statistics, const ElementView& view, const Timings& timings,
                  QWidget* parent = nullptr);
    ~frmStatistics() override;

protected:
    void reject() override;

private:
    void Form_Load();
    void Timer1_Timer();
    void cmdRefreshStats_Click();
    void Refresh();
    void readingStarted(const QString& key);
    void readingDone(const StatisticsReading& reading);

    std::unique_ptr<Ui::frmStatistics> ui;
    StatisticsOperation& m_statistics;
    ShownElement m_element;
    QTimer* Timer1;
    QHash<QString, QLabel*> m_values; // by counter key
    QHash<QString, QLabel*> m_rates;
    bool m_closeWhenDone = false;
};

} // namespace orvalink
