#pragma once
// "SFN Adjustment": the network delay a DECODER measures, its latency sums,
// and the additional delay that compensates it, with a plot of the sums
// over this opening's refreshes against the delay the scroll bar stands
// for. The device work is a SfnAdjustOperation; this window shows it.

#include "core/Timings.h"
#include "devops/ElementView.h"
#include "devops/SfnAdjustOperation.h"

#include <QDialog>
#include <QElapsedTimer>
#include <memory>
#include <optional>

class QLabel;
class QTimer;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace Ui {
class frmAdjust;
}

namespace orvalink {

class frmAdjust final : public QDialog {
    Q_OBJECT
public:
    frmAdjust(SfnAdjustOperation& adjust, const ElementView& view, const Timings& timings,
              QWidget* parent = nullptr);
    ~frmAdjust() override;

protected:
    void reject() override;

private:
    void Form_Load();
    void RefreshMeasurements();
    void ShowAdditionalDelay();
    void scrlAdditionalDelay_Change();
    void chkAutoUpdate_Click();
    void chkAutoServo_Click();
    void cmdSet_Click();
    void Timer1_Timer();
    void stopAutoUpdate();
    // Sets the position from code; `held` is a delay outside the bar's range
    // that the read-out shows instead of the position's.
    void setPosition(int position, std::optional<qint64> held = std::nullopt);
    void measuring(SfnAdjustOperation::Which which);
    void measured(SfnAdjustOperation::Which which, std::optional<qint64> ns);
    void setBusy(bool busy);
    // "&Set" sends the delay of the bar's position, so it is offered only
    // while the read-out shows that delay: not while it shows a delay the
    // bar cannot stand for, nor "ERROR", until the operator moves the bar.
    bool readoutIsPosition() const { return !m_heldDelay && !m_delayUnread; }
    void updateSetButton();
    void buildPlot();
    void plotMeasurements(const SfnAdjustOperation::Measurements& m);
    void plotDelay();
    void finishIfClosing();

    std::unique_ptr<Ui::frmAdjust> ui;
    SfnAdjustOperation& m_adjust;
    ShownElement m_element;
    QTimer* Timer1;
    std::optional<qint64> m_heldDelay;
    bool m_delayUnread = false; // the read-out shows "ERROR"
    bool m_busy = false;
    bool m_settingPosition = false;
    bool m_closeWhenDone = false;

    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QLineSeries* m_min = nullptr;
    QLineSeries* m_avg = nullptr;
    QLineSeries* m_max = nullptr;
    QLineSeries* m_delay = nullptr;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QElapsedTimer m_opened;
};

} // namespace orvalink
