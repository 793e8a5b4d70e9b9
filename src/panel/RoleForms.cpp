#include "panel/RoleForms.h"
#include "panel/BarReadouts.h"
#include "panel/ControlSetter.h"
#include "panel/ElementPanelParts.h"
#include "panel/LevelMeter.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>

namespace orvalink {

using namespace panelparts;

RoleForms::RoleForms(const PropertyControls& controls, ControlSetter& setter, BarReadouts& readouts,
                     LevelMeter& meter)
    : m_c(controls), m_setter(setter), m_readouts(readouts), m_meter(meter)
{
}

void RoleForms::setElementType(const QString& caption)
{
    m_c.lblElementType->setText(caption);
    lblElementType_Change();
}

void RoleForms::lblElementType_Change()
{
    const QString type = m_c.lblElementType->text();
    if (type == kEncoder)
        showEncoder();
    if (type == kDecoder)
        showDecoder();
}

void RoleForms::showEncoder()
{
    m_c.cmbAudioInput->setVisible(true);
    m_c.cmbAudioTX->setVisible(true);
    m_c.lblTxType->setVisible(true);
    m_c.scrlAtten->setVisible(false);
    m_c.lblAttenDB->setVisible(false);
    m_c.Label9->setText(QStringLiteral("Audio source:"));
    m_meter.showForm(true);
    m_setter.setScroll(m_c.scrlBuffer, 0);
    m_c.scrlBuffer->setEnabled(false);
    m_c.lblLatency->setText(QStringLiteral("2.5mS"));
    m_c.lblLatency->setEnabled(false);
    for (QWidget* w :
         {static_cast<QWidget*>(m_c.cmbSilDetMode), static_cast<QWidget*>(m_c.scrlSilDetLevel),
          static_cast<QWidget*>(m_c.scrlSilDetTime), static_cast<QWidget*>(m_c.lblSilDetLevel),
          static_cast<QWidget*>(m_c.lblSilDetTime), static_cast<QWidget*>(m_c.lblBufferSize),
          static_cast<QWidget*>(m_c.lblThreshold), static_cast<QWidget*>(m_c.lblTimeout),
          static_cast<QWidget*>(m_c.lblAudioRouting)})
        w->setEnabled(false);
    // An encoder has no silence detector: its greyed controls show no value
    // rather than the last decoder's.
    m_setter.setListIndex(m_c.cmbSilDetMode, -1);
    m_setter.setScroll(m_c.scrlSilDetLevel, m_c.scrlSilDetLevel->minimum());
    m_setter.setScroll(m_c.scrlSilDetTime, m_c.scrlSilDetTime->minimum());
    m_c.lblSilDetLevel->setText(kNoSilenceLevel);
    m_c.lblSilDetTime->setText(kNoSilenceTime);
}

void RoleForms::showDecoder()
{
    m_c.cmbAudioInput->setVisible(false);
    m_c.cmbAudioTX->setVisible(false);
    m_c.lblTxType->setVisible(false);
    m_c.scrlAtten->setVisible(true);
    m_c.lblAttenDB->setVisible(true);
    m_c.Label9->setText(QStringLiteral("Audio atten:"));
    m_meter.showForm(false);
    m_c.scrlBuffer->setEnabled(true);
    m_readouts.refreshLatency();
    m_c.lblLatency->setEnabled(true);
    for (QWidget* w :
         {static_cast<QWidget*>(m_c.cmbSilDetMode), static_cast<QWidget*>(m_c.scrlSilDetLevel),
          static_cast<QWidget*>(m_c.scrlSilDetTime), static_cast<QWidget*>(m_c.lblSilDetLevel),
          static_cast<QWidget*>(m_c.lblSilDetTime), static_cast<QWidget*>(m_c.lblBufferSize),
          static_cast<QWidget*>(m_c.lblThreshold), static_cast<QWidget*>(m_c.lblTimeout),
          static_cast<QWidget*>(m_c.lblAudioRouting)})
        w->setEnabled(true);
}

} // namespace orvalink
