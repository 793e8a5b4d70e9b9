// The element panel's editors: the checks of the fields as they are typed,
// and the read-outs that follow the bars and lists.

#include "panel/ElementPanel.h"
#include "panel/ElementPanelParts.h"

#include "panel/Fields.h"
#include "remote/AudioLevel.h"

#include "core/AppFlags.h"
#include "core/Cp1252.h"
#include "core/Prompt.h"
#include "core/Readouts.h"
#include "core/Text.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

namespace orvalink {

using namespace panelparts;

// ---------------------------------------------------------------------------
// Editors

void ElementPanel::colourAddress(QLineEdit* field)
{
    const QString text = field->text();
    fields::markInvalid(field, !text.isEmpty() && !isValidIPAddress(text));
}

void ElementPanel::txtElementIP_Change()
{
    // Only the colour: the statistics command stays available whenever an
    // element is shown, since it reads the stored agent address anyway.
    colourAddress(txtElementIP);
}

void ElementPanel::txtElementMask_Change()
{
    // A mask is an address whose bits are ones, then zeros.
    const QString text = txtElementMask->text();
    fields::markInvalid(txtElementMask, !text.isEmpty() && !isValidSubnetMask(text));
}

void ElementPanel::txtElementName_Change()
{
    // The devices and the database keep a name in their 8-bit code page.
    fields::markInvalid(txtElementName, !cp1252::canEncodeAll(txtElementName->text()));
}
void ElementPanel::txtElementGW_Change()
{
    colourAddress(txtElementGW);
}
void ElementPanel::txtRemoteIP_Change()
{
    colourAddress(txtRemoteIP);
}

void ElementPanel::scrlAtten_Change()
{
    lblAttenDB->setText(readouts::attenuationText(scrlAtten->value(), m_locale.decimalPoint()));
}

void ElementPanel::refreshLatency()
{
    lblLatency->setText(readouts::latencyText(scrlBuffer->value(),
                                              m_flags.GPSMode || chkSFNEnabled->isChecked(),
                                              m_flags.LowLatencyActive, m_locale.decimalPoint()));
}

void ElementPanel::scrlBuffer_Change()
{
    refreshLatency();
}

void ElementPanel::scrlSilDetLevel_Change()
{
    lblSilDetLevel->setText(
        readouts::silenceLevelText(scrlSilDetLevel->value(), m_locale.decimalPoint()));
}

void ElementPanel::scrlSilDetTime_Change()
{
    lblSilDetTime->setText(
        readouts::silenceTimeText(scrlSilDetTime->value(), m_locale.decimalPoint()));
}

void ElementPanel::cmbAudioTX_Click()
{
    if (lblElementType->text() != kEncoder)
        return;
    const QString section = sectionOfShown();
    if (cmbAudioTX->currentIndex() > 0) {
        Label7->setText(kMulticastCaption);
        setFieldText(txtRemoteIP, readKey(section, QStringLiteral("multi"), kDefaultMulticast));
    } else {
        Label7->setText(kDecoderCaption);
        setFieldText(txtRemoteIP, readKey(section, QStringLiteral("remote"), kDefaultRemote));
    }
}

void ElementPanel::cmbSilDetMode_Click()
{
    const bool listEnabled = !cmbSilDetMode->testAttribute(Qt::WA_Disabled);
    const bool on = listEnabled && cmbSilDetMode->currentIndex() <= 0;
    for (QWidget* w :
         {static_cast<QWidget*>(scrlSilDetLevel), static_cast<QWidget*>(scrlSilDetTime),
          static_cast<QWidget*>(lblSilDetLevel), static_cast<QWidget*>(lblSilDetTime),
          static_cast<QWidget*>(lblThreshold), static_cast<QWidget*>(lblTimeout)})
        w->setEnabled(on);
}

void ElementPanel::chkLowLatency_Click()
{
    m_flags.LowLatencyActive = chkLowLatency->isChecked();
    refreshLatency();
}

void ElementPanel::Slider1_Click()
{
    tmrVolume->setInterval(Slider1->value());
}

void ElementPanel::txtElementName_LostFocus()
{
    // Character by character, as the name is stored: no letter becomes two
    // or one the code page cannot hold.
    const QString upper = cp1252::toUpper(txtElementName->text());
    if (upper != txtElementName->text())
        txtElementName->setText(upper);
}

bool ElementPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && watched == txtElementName) {
        txtElementName_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalink
