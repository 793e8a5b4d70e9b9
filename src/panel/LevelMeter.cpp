#include "panel/LevelMeter.h"
#include "panel/ElementPanelParts.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QSlider>
#include <QTimer>

namespace orvalink {

using namespace panelparts;

LevelMeter::LevelMeter(QWidget* frame, const QLocale& locale) : QObject(frame), m_locale(locale)
{
    setObjectName(QStringLiteral("LevelMeter"));
    tmrVolume = new QTimer(this);
    tmrVolume->setObjectName(QStringLiteral("tmrVolume"));
    tmrVolume->setInterval(50);
    // The level meter's period is a length the operator sets: never shorter.
    tmrVolume->setTimerType(Qt::PreciseTimer);

    chkGetVolume = new QCheckBox(QStringLiteral("?"), frame);
    chkGetVolume->setObjectName(QStringLiteral("chkGetVolume"));
    chkGetVolume->setToolTip(QStringLiteral("Show audio level"));
    keepPlace(chkGetVolume);

    // The level bar: a trough of full-scale width with the bar inside it.
    auto* trough = new QFrame(frame);
    trough->setFrameShape(QFrame::StyledPanel);
    trough->setFrameShadow(QFrame::Sunken);
    const int fullPixels = kVUMeterFullTwips / kTwipsPerPixel;
    trough->setFixedSize(fullPixels + 2 * trough->frameWidth(), 14);
    VUMeter = new QFrame(trough);
    VUMeter->setObjectName(QStringLiteral("VUMeter"));
    VUMeter->setAutoFillBackground(true);
    QPalette meterPalette = VUMeter->palette();
    meterPalette.setColor(QPalette::Window, QColor(0, 192, 0));
    VUMeter->setPalette(meterPalette);
    VUMeter->setGeometry(trough->frameWidth(), trough->frameWidth(), 0,
                         14 - 2 * trough->frameWidth());

    lblVolume = new QLabel(kQuietLevel, frame);
    lblVolume->setObjectName(QStringLiteral("lblVolume"));
    lblVolume->setMinimumWidth(
        frame->parentWidget()->fontMetrics().horizontalAdvance(QStringLiteral("-138.5dBFS")) + 4);

    m_row = new QHBoxLayout;
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->addWidget(chkGetVolume);
    m_row->addWidget(trough);
    m_row->addSpacing(6);
    m_row->addWidget(lblVolume);
    m_row->addStretch(1);

    Slider1 = new QSlider(Qt::Horizontal, frame);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setRange(1, 500);
    Slider1->setValue(50);
    Slider1->setToolTip(QStringLiteral("Level polling interval (ms)"));
    Slider1->setFixedWidth(fullPixels + 2 * trough->frameWidth());
    fields::wheelOnlyWhenFocused(Slider1);

    connect(tmrVolume, &QTimer::timeout, this, &LevelMeter::levelRequested);
    connect(chkGetVolume, &QCheckBox::toggled, this, [this] { chkGetVolume_Click(); });
    connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1_Click(); });
    // A click that leaves the position where it was is still a click.
    connect(Slider1, &QSlider::sliderReleased, this, [this] { Slider1_Click(); });
}

void LevelMeter::setVUMeterWidthTwips(int twips)
{
    m_vuTwips = qBound(0, twips, kVUMeterFullTwips);
    VUMeter->resize(m_vuTwips / kTwipsPerPixel, VUMeter->height());
}

void LevelMeter::chkGetVolume_Click()
{
    if (chkGetVolume->isChecked()) {
        tmrVolume->start();
        return;
    }
    tmrVolume->stop();
    lblVolume->setText(audiolevel::kSilence);
    setVUMeterWidthTwips(0);
}

void LevelMeter::Slider1_Click()
{
    tmrVolume->setInterval(Slider1->value());
}

void LevelMeter::ShowAudioLevel(const QByteArray& datagram)
{
    m_audioPeak = audiolevel::peakOf(datagram);
    if (!tmrVolume->isActive() || m_audioPeak == 0) {
        lblVolume->setText(audiolevel::kSilence);
        setVUMeterWidthTwips(0);
        return;
    }
    setVUMeterWidthTwips(audiolevel::barTwips(m_audioPeak));
    lblVolume->setText(audiolevel::labelText(m_audioPeak, m_locale.decimalPoint()));
}

void LevelMeter::setOffered(bool offered, bool elementShown)
{
    m_offered = offered;
    if (elementShown)
        chkGetVolume->setVisible(offered);
}

void LevelMeter::untick()
{
    if (chkGetVolume->isChecked())
        chkGetVolume->setChecked(false); // toggled runs chkGetVolume_Click
}

void LevelMeter::stop()
{
    tmrVolume->stop();
    untick();
    setVUMeterWidthTwips(0);
    lblVolume->setText(kQuietLevel);
}

void LevelMeter::showForm(bool barEnabled)
{
    stop();
    chkGetVolume->setVisible(m_offered);
    VUMeter->setEnabled(barEnabled);
}

} // namespace orvalink
