#include "panel/BarReadouts.h"

#include "core/AppFlags.h"
#include "core/Readouts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>

namespace orvalink {

BarReadouts::BarReadouts(const PropertyControls& controls, AppFlags& flags, const QLocale& locale)
    : m_c(controls), m_flags(flags), m_locale(locale)
{
}

void BarReadouts::scrlAtten_Change()
{
    m_c.lblAttenDB->setText(
        readouts::attenuationText(m_c.scrlAtten->value(), m_locale.decimalPoint()));
}

void BarReadouts::refreshLatency()
{
    m_c.lblLatency->setText(readouts::latencyText(
        m_c.scrlBuffer->value(), m_flags.GPSMode || m_c.chkSFNEnabled->isChecked(),
        m_flags.LowLatencyActive, m_locale.decimalPoint()));
}

void BarReadouts::scrlBuffer_Change()
{
    refreshLatency();
}

void BarReadouts::scrlSilDetLevel_Change()
{
    m_c.lblSilDetLevel->setText(
        readouts::silenceLevelText(m_c.scrlSilDetLevel->value(), m_locale.decimalPoint()));
}

void BarReadouts::scrlSilDetTime_Change()
{
    m_c.lblSilDetTime->setText(
        readouts::silenceTimeText(m_c.scrlSilDetTime->value(), m_locale.decimalPoint()));
}

void BarReadouts::chkLowLatency_Click()
{
    m_flags.LowLatencyActive = m_c.chkLowLatency->isChecked();
    refreshLatency();
}

void BarReadouts::cmbSilDetMode_Click()
{
    const bool listEnabled = !m_c.cmbSilDetMode->testAttribute(Qt::WA_Disabled);
    const bool on = listEnabled && m_c.cmbSilDetMode->currentIndex() <= 0;
    for (QWidget* w :
         {static_cast<QWidget*>(m_c.scrlSilDetLevel), static_cast<QWidget*>(m_c.scrlSilDetTime),
          static_cast<QWidget*>(m_c.lblSilDetLevel), static_cast<QWidget*>(m_c.lblSilDetTime),
          static_cast<QWidget*>(m_c.lblThreshold), static_cast<QWidget*>(m_c.lblTimeout)})
        w->setEnabled(on);
}

} // namespace orvalink
