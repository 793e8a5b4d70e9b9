#include "dialogs/frmStatistics.h"

#include "ui_frmStatistics.h"

#include "devops/StatisticsOperation.h"

#include <QPointer>
#include <QTimer>

namespace orvalink {

namespace {
const QColor kFetching(255, 0, 0);

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}
} // namespace

frmStatistics::frmStatistics(StatisticsOperation& statistics, const ElementView& view,
                             const Timings& timings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmStatistics>()), m_statistics(statistics),
      m_element(view.shownElement()), Timer1(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(timings.statsFirstRefreshMs);

    // Value label, caption label and rate label of each counter, by key.
    const struct {
        const char* key;
        QLabel* value;
        QLabel* caption;
        QLabel* rate;
    } layout[] = {
        {"mac_tx_frames_ok", ui->lblMACTxOK, ui->CaptionMACTxOK, ui->RateMACTxOK},
        {"mac_tx_frames_err", ui->lblMACTxErr, ui->CaptionMACTxErr, ui->RateMACTxErr},
        {"mac_rx_frames_ok", ui->lblMACRxOK, ui->CaptionMACRxOK, ui->RateMACRxOK},
        {"mac_rx_frames_err", ui->lblMACRxErr, ui->CaptionMACRxErr, ui->RateMACRxErr},
        {"audio_rx_frames_ok", ui->lblAudioRxFramesOK, ui->CaptionAudioRxFramesOK,
         ui->RateAudioRxFramesOK},
        {"audio_rx_frames_err", ui->lblAudioRxFramesErr, ui->CaptionAudioRxFramesErr,
         ui->RateAudioRxFramesErr},
        {"ptp_rx_ok", ui->lblPTPRxOK, ui->CaptionPTPRxOK, ui->RatePTPRxOK},
        {"ptp_rx_err", ui->lblPTPRxErr, ui->CaptionPTPRxErr, ui->RatePTPRxErr},
        {"ptp_clock_adjust", ui->lblPTPClkAdj, ui->CaptionPTPClkAdj, ui->RatePTPClkAdj},
        {"ptp_latency", ui->lblPTPLatency, ui->CaptionPTPLatency, ui->RatePTPLatency},
    };
    for (const auto& c : layout) {
        const QString key = QLatin1String(c.key);
        if (const StatisticsCounter* counter = findStatisticsCounter(key))
            c.caption->setText(QLatin1String(counter->caption));
        m_values.insert(key, c.value);
        m_rates.insert(key, c.rate);
    }

    connect(Timer1, &QTimer::timeout, this, &frmStatistics::Timer1_Timer);
    connect(ui->cmdRefreshStats, &QPushButton::clicked, this,
            &frmStatistics::cmdRefreshStats_Click);
    connect(&m_statistics, &StatisticsOperation::readingStarted, this,
            &frmStatistics::readingStarted);
    connect(&m_statistics, &StatisticsOperation::readingDone, this, &frmStatistics::readingDone);

    Form_Load();
}

frmStatistics::~frmStatistics() = default;

void frmStatistics::Form_Load()
{
    ui->frmStats->setTitle(m_statistics.frameCaption(m_element.section));
    Timer1->start();
}

void frmStatistics::Timer1_Timer()
{
    Timer1->stop();
    Refresh();
}

void frmStatistics::cmdRefreshStats_Click()
{
    Refresh();
}

void frmStatistics::Refresh()
{
    // One refresh at a time: a second one would start an exchange inside
    // the wait of the first.
    if (m_statistics.isRunning())
        return;
    ui->cmdRefreshStats->setEnabled(false);
    QPointer<frmStatistics> self(this);
    m_statistics.refresh(m_element.section);
    if (!self)
        return;
    ui->cmdRefreshStats->setEnabled(true);
    if (m_closeWhenDone)
        QDialog::reject();
}

void frmStatistics::readingStarted(const QString& key)
{
    if (QLabel* label = m_values.value(key))
        setTextColour(label, kFetching);
}

void frmStatistics::readingDone(const StatisticsReading& reading)
{
    QLabel* label = m_values.value(reading.key);
    if (!label)
        return;
    label->setText(statisticsValueText(reading));
    label->setPalette(QPalette()); // the system's text colour again
    if (QLabel* rate = m_rates.value(reading.key))
        rate->setText(reading.rate);
}

void frmStatistics::reject()
{
    // Closing during a refresh ends it after its current read; the window
    // closes once it has ended.
    if (m_statistics.isRunning()) {
        m_closeWhenDone = true;
        m_statistics.cancel();
        return;
    }
    Timer1->stop();
    QDialog::reject();
}

} // namespace orvalink
