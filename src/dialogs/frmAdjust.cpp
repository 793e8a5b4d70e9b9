#include "dialogs/frmAdjust.h"

#include "ui_frmAdjust.h"

#include "panel/Fields.h"

#include <QPointer>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <limits>

namespace orvalink {

namespace {
const QColor kFetching(255, 0, 0);
const QString kError = QStringLiteral("ERROR");
const QString kNone = QStringLiteral("-");

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

double us(qint64 ns)
{
    return double(ns) / 1000.0;
}
} // namespace

frmAdjust::frmAdjust(SfnAdjustOperation& adjust, const ElementView& view, const Timings& timings,
                     QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmAdjust>()), m_adjust(adjust),
      m_element(view.shownElement()), Timer1(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->txtHiddenDelay->hide();
    fields::wheelOnlyWhenFocused(ui->scrlAdditionalDelay);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(timings.sfnAutoRefreshMs);
    m_opened.start();
    buildPlot();

    connect(Timer1, &QTimer::timeout, this, &frmAdjust::Timer1_Timer);
    connect(ui->cmdRefresh, &QPushButton::clicked, this, &frmAdjust::RefreshMeasurements);
    connect(ui->cmdSet, &QPushButton::clicked, this, &frmAdjust::cmdSet_Click);
    connect(ui->chkAutoUpdate, &QCheckBox::clicked, this, &frmAdjust::chkAutoUpdate_Click);
    connect(ui->chkAutoServo, &QCheckBox::clicked, this, &frmAdjust::chkAutoServo_Click);
    connect(ui->scrlAdditionalDelay, &QScrollBar::valueChanged, this,
            &frmAdjust::scrlAdditionalDelay_Change);
    connect(&m_adjust, &SfnAdjustOperation::measuring, this, &frmAdjust::measuring);
    connect(&m_adjust, &SfnAdjustOperation::measured, this, &frmAdjust::measured);

    Form_Load();
}

frmAdjust::~frmAdjust() = default;

void frmAdjust::Form_Load()
{
    for (QLabel* l : {ui->lblCurrentDelayMIN, ui->lblCurrentDelayMAX, ui->lblCurrentDelayAVG,
                      ui->lblFixedLatencyMAC, ui->lblFixedLatencyAUDIO, ui->lblDelaySumMIN,
                      ui->lblDelaySumMAX, ui->lblDelaySumAVG, ui->lblAdditionalDelay})
        l->setText(kNone);
    ui->chkAutoUpdate->setChecked(false);
    Timer1->stop();
    const qint64 stored = m_adjust.storedDelay(m_element.section);
    setPosition(sfn::positionForDelay(stored),
                sfn::delayInRange(stored) ? std::nullopt : std::optional<qint64>(stored));
    ui->chkAutoServo->setChecked(m_adjust.storedServo(m_element.section));
    ShowAdditionalDelay();
}

void frmAdjust::setPosition(int position, std::optional<qint64> held)
{
    m_heldDelay = held;
    m_delayUnread = false;
    if (ui->scrlAdditionalDelay->value() == position) {
        ShowAdditionalDelay();
    } else {
        m_settingPosition = true;
        ui->scrlAdditionalDelay->setValue(position); // runs the change handler
        m_settingPosition = false;
    }
    updateSetButton();
}

void frmAdjust::updateSetButton()
{
    ui->cmdSet->setEnabled(!m_busy && readoutIsPosition());
    const QString why =
        m_heldDelay ? QStringLiteral("The delay shown lies outside 0 to %1; move the bar to "
                                     "choose the delay to set.")
                          .arg(FormatDuration(sfn::kMaxDelayNs))
        : m_delayUnread ? QStringLiteral("The delay could not be read; move the bar to choose "
                                         "the delay to set.")
                        : QString();
    ui->lblAdditionalDelay->setToolTip(why);
    ui->cmdSet->setToolTip(why);
}

void frmAdjust::ShowAdditionalDelay()
{
    const qint64 delay =
        m_heldDelay.value_or(qint64(ui->scrlAdditionalDelay->value()) * sfn::kNsPerPosition);
    ui->lblAdditionalDelay->setText(FormatDuration(delay));
    plotDelay();
}

void frmAdjust::scrlAdditionalDelay_Change()
{
    // A position the operator chose stands for itself.
    if (!m_settingPosition) {
        m_heldDelay.reset();
        m_delayUnread = false;
        updateSetButton();
    }
    stopAutoUpdate();
    ShowAdditionalDelay();
}

void frmAdjust::stopAutoUpdate()
{
    ui->chkAutoUpdate->setChecked(false);
    Timer1->stop();
}

void frmAdjust::chkAutoUpdate_Click()
{
    if (ui->chkAutoUpdate->isChecked())
        Timer1->start();
    else
        Timer1->stop();
}

void frmAdjust::chkAutoServo_Click()
{
    stopAutoUpdate();
}

void frmAdjust::Timer1_Timer()
{
    RefreshMeasurements();
}

void frmAdjust::setBusy(bool busy)
{
    m_busy = busy;
    updateSetButton();
    ui->cmdRefresh->setEnabled(!busy);
}

void frmAdjust::measuring(SfnAdjustOperation::Which which)
{
    switch (which) {
    case SfnAdjustOperation::Which::Min:
        setTextColour(ui->lblCurrentDelayMIN, kFetching);
        setTextColour(ui->lblDelaySumMIN, kFetching);
        break;
    case SfnAdjustOperation::Which::Max:
        setTextColour(ui->lblCurrentDelayMAX, kFetching);
        setTextColour(ui->lblDelaySumMAX, kFetching);
        break;
    case SfnAdjustOperation::Which::Avg:
        setTextColour(ui->lblCurrentDelayAVG, kFetching);
        setTextColour(ui->lblDelaySumAVG, kFetching);
        break;
    }
}

void frmAdjust::measured(SfnAdjustOperation::Which which, std::optional<qint64> ns)
{
    QLabel* value = ui->lblCurrentDelayAVG;
    QLabel* sum = ui->lblDelaySumAVG;
    if (which == SfnAdjustOperation::Which::Min) {
        value = ui->lblCurrentDelayMIN;
        sum = ui->lblDelaySumMIN;
    } else if (which == SfnAdjustOperation::Which::Max) {
        value = ui->lblCurrentDelayMAX;
        sum = ui->lblDelaySumMAX;
    }
    value->setText(ns ? FormatDuration(*ns) : kError);
    sum->setText(ns ? FormatDuration(sfn::latencySum(*ns)) : kError);
    value->setPalette(QPalette());
    sum->setPalette(QPalette());
    if (which == SfnAdjustOperation::Which::Min) {
        ui->lblFixedLatencyMAC->setText(FormatDuration(sfn::kMacLatencyNs));
        ui->lblFixedLatencyAUDIO->setText(FormatDuration(sfn::kAudioLatencyNs));
    }
}

void frmAdjust::RefreshMeasurements()
{
    if (m_adjust.isRunning())
        return;
    setBusy(true);
    QPointer<frmAdjust> self(this);
    const SfnAdjustOperation::Measurements m = m_adjust.refresh(m_element.section);
    if (!self)
        return;
    setBusy(false);
    if (m.read) {
        plotMeasurements(m);
        if (m.delay) {
            const qint64 d = *m.delay;
            setPosition(sfn::positionForDelay(d),
                        sfn::delayInRange(d) ? std::nullopt : std::optional<qint64>(d));
        } else {
            setPosition(0);
            ui->lblAdditionalDelay->setText(kError);
            m_delayUnread = true;
            updateSetButton();
        }
    }
    finishIfClosing();
}

void frmAdjust::cmdSet_Click()
{
    if (m_adjust.isRunning() || !readoutIsPosition())
        return;
    setBusy(true);
    stopAutoUpdate();
    const qint64 delay = qint64(ui->scrlAdditionalDelay->value()) * sfn::kNsPerPosition;
    ui->txtHiddenDelay->setText(QString::number(delay));
    QPointer<frmAdjust> self(this);
    m_adjust.set(m_element.section, m_element.roleCaption, delay);
    if (!self)
        return;
    setBusy(false);
    finishIfClosing();
}

void frmAdjust::finishIfClosing()
{
    if (m_closeWhenDone)
        QDialog::reject();
}

void frmAdjust::reject()
{
    // Closing during a refresh or the spacing after a SET ends them; the
    // window closes once they have ended. Nothing is stored by closing.
    if (m_adjust.isRunning()) {
        m_closeWhenDone = true;
        m_adjust.cancel();
        return;
    }
    Timer1->stop();
    QDialog::reject();
}

// ---------------------------------------------------------------- the plot

void frmAdjust::buildPlot()
{
    m_chart = new QChart();
    m_chart->setObjectName(QStringLiteral("chtLatency"));
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    auto series = [this](const QString& name, const QColor& colour, Qt::PenStyle style) {
        auto* s = new QLineSeries(m_chart);
        s->setName(name);
        s->setPen(QPen(colour, 2, style));
        m_chart->addSeries(s);
        return s;
    };
    m_max = series(QStringLiteral("MAX"), QColor(200, 60, 40), Qt::SolidLine);
    m_avg = series(QStringLiteral("AVG"), QColor(40, 100, 190), Qt::SolidLine);
    m_min = series(QStringLiteral("MIN"), QColor(30, 140, 70), Qt::SolidLine);
    m_delay = series(QStringLiteral("Compensation"), QColor(60, 60, 60), Qt::DashLine);
    m_axisX = new QValueAxis(m_chart);
    m_axisX->setTitleText(QStringLiteral("seconds since opening"));
    m_axisX->setLabelFormat(QStringLiteral("%d"));
    m_axisY = new QValueAxis(m_chart);
    m_axisY->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QLineSeries* s : {m_min, m_avg, m_max, m_delay}) {
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }
    m_chartView = new QChartView(m_chart, ui->fraPlot);
    m_chartView->setObjectName(QStringLiteral("plotLatency"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumSize(420, 280);
    ui->layoutPlot->addWidget(m_chartView);
    plotDelay();
}

void frmAdjust::plotMeasurements(const SfnAdjustOperation::Measurements& m)
{
    const double t = double(m_opened.elapsed()) / 1000.0;
    if (m.min)
        m_min->append(t, us(sfn::latencySum(*m.min)));
    if (m.avg)
        m_avg->append(t, us(sfn::latencySum(*m.avg)));
    if (m.max)
        m_max->append(t, us(sfn::latencySum(*m.max)));
    plotDelay();
}

void frmAdjust::plotDelay()
{
    if (!m_chart)
        return;
    double first = 0;
    double last = 10;
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    bool any = false;
    for (QLineSeries* s : {m_min, m_avg, m_max}) {
        for (const QPointF& p : s->points()) {
            if (!any) {
                first = p.x();
                last = p.x();
            }
            any = true;
            first = std::min(first, p.x());
            last = std::max(last, p.x());
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    }
    if (last - first < 10)
        last = first + 10;
    const qint64 delayNs =
        m_heldDelay.value_or(qint64(ui->scrlAdditionalDelay->value()) * sfn::kNsPerPosition);
    const double delay = us(delayNs);
    m_delay->replace({QPointF(first, delay), QPointF(last, delay)});
    low = any ? std::min(low, delay) : delay;
    high = any ? std::max(high, delay) : delay;
    const double margin = std::max(5.0, (high - low) * 0.1);
    m_axisX->setRange(first, last);
    m_axisY->setRange(std::max(0.0, low - margin), high + margin);
    m_axisY->applyNiceNumbers();
}

} // namespace orvalink
