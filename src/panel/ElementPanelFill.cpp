// The element panel's fill from the database: showing an element, clearing
// the panel, the ENCODER and DECODER forms, and the setters that fill a
// control without counting as an edit.

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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

namespace orvalink {

using namespace panelparts;

// ---------------------------------------------------------------------------
// Showing an element

QString ElementPanel::readKey(const QString& section, const QString& key, const QString& def) const
{
    return m_store.read(section, key, m_dbPath, def);
}

QString ElementPanel::sectionOfShown() const
{
    if (m_loading)
        return m_loadingSection;
    return encodeMac(lblElementMAC->text());
}

namespace {

// The list position a stored code selects: none when it is not a number or
// lies outside the list.
int listIndexOf(const QString& stored, const QComboBox* list)
{
    const std::optional<int> value = readouts::storedInteger(stored);
    if (!value || *value < 0 || *value >= list->count())
        return -1;
    return *value;
}

// The position a stored number gives a scroll bar: the default when it is
// not a number, then held inside the bar's range.
int barPositionOf(const QString& stored, const QString& def, const QScrollBar* bar)
{
    std::optional<int> value = readouts::storedInteger(stored);
    if (!value)
        value = readouts::storedInteger(def);
    return qBound(bar->minimum(), value.value_or(bar->minimum()), bar->maximum());
}

bool tickOf(const QString& stored)
{
    return readouts::storedInteger(stored).value_or(0) == 1;
}

} // namespace

void ElementPanel::showElement(const QString& nodeKey, const QString& nodeText, ShowMode mode)
{
    setPingColour(kLightYellow);
    setTicked(chkGetVolume, false);

    if (nodeText.isEmpty()) {
        cmdGetStats->setEnabled(false);
        return;
    }

    const QString section = encodeMac(nodeKey);
    if (m_store.sectionKeyCount(section, m_dbPath) > kMaxSectionKeys) {
        m_prompt.tell(
            PromptIcon::Critical,
            QStringLiteral("Cannot load this element info.") + QLatin1Char('\r') +
                QStringLiteral(
                    "The data stored in your computer about this element, is corrupted (1)."));
        return;
    }
    // Filling the fields is no edit.
    m_shownValues.clear();

    // While the fields fill, handlers that read the database use the section
    // being shown, not the one of the MAC caption that is still on screen.
    m_loading = true;
    m_loadingSection = section;

    setFieldText(txtElementName, readKey(section, QStringLiteral("name"), QString()));
    setFieldText(txtElementIP, readKey(section, QStringLiteral("ip"), QString()));
    setFieldText(txtElementMask, readKey(section, QStringLiteral("mask"), QString()));
    setFieldText(txtElementGW, readKey(section, QStringLiteral("gw"), QString()));
    setListIndex(cmbAudioType,
                 listIndexOf(readKey(section, QStringLiteral("type"), QString()), cmbAudioType));
    lblVersion->setText(readKey(section, QStringLiteral("ver"), QStringLiteral("2.00")));
    cmdGetStats->setEnabled(true);

    auto selectEncoderLists = [&](const QString& def) {
        setListIndex(cmbAudioInput,
                     listIndexOf(readKey(section, QStringLiteral("input"), def), cmbAudioInput));
        setListIndex(cmbAudioTX,
                     listIndexOf(readKey(section, QStringLiteral("tx"), def), cmbAudioTX));
        setListIndex(cmbEncoders,
                     listIndexOf(readKey(section, QStringLiteral("bound"), QStringLiteral("0")),
                                 cmbEncoders));
    };
    if (mode == ShowMode::SelectedElement)
        selectEncoderLists(QStringLiteral("0"));

    const std::optional<int> role =
        readouts::storedInteger(readKey(section, QStringLiteral("role"), QString()));
    if (role == 2) {
        setElementType(kDecoder);
        Label7->setText(kMulticastCaption);
        setFieldText(txtRemoteIP, readKey(section, QStringLiteral("multi"), kDefaultMulticast));
        const QString att = readKey(section, QStringLiteral("att"), QStringLiteral("0"));
        const std::optional<int> attValue = readouts::storedInteger(att);
        // Raised to the smallest attenuation the element takes. When that
        // cannot be stored the main window tells why (the store's
        // writeFailed); the bar shows the minimum either way, and the next
        // showing tries again.
        if (attValue.value_or(0) < scrlAtten->minimum() &&
            !m_store.write(section, QStringLiteral("att"), QString::number(scrlAtten->minimum()),
                           m_dbPath))
            qWarning("ElementPanel: att of %s not raised: %s", qPrintable(section),
                     qPrintable(m_store.lastError()));
        setScroll(scrlAtten, barPositionOf(att, QStringLiteral("0"), scrlAtten));
        setScroll(scrlBuffer,
                  barPositionOf(readKey(section, QStringLiteral("buf"), QStringLiteral("1")),
                                QStringLiteral("1"), scrlBuffer));
        setScroll(scrlSilDetLevel,
                  barPositionOf(readKey(section, QStringLiteral("sdl"), QStringLiteral("37")),
                                QStringLiteral("37"), scrlSilDetLevel));
        setScroll(scrlSilDetTime,
                  barPositionOf(readKey(section, QStringLiteral("sdt"), QStringLiteral("43")),
                                QStringLiteral("43"), scrlSilDetTime));
        setListIndex(cmbSilDetMode,
                     listIndexOf(readKey(section, QStringLiteral("sdm"), QStringLiteral("0")),
                                 cmbSilDetMode));
        lblElementType_Change();
        cmbSilDetMode_Click();
        if (mode == ShowMode::NodeClick)
            setListIndex(cmbEncoders, 0); // "<None>": a decoder is bound to no encoder
    } else if (role == 1) {
        setElementType(kEncoder);
        if (mode == ShowMode::NodeClick)
            selectEncoderLists(QString());
        if (cmbAudioTX->currentIndex() <= 0) {
            Label7->setText(kDecoderCaption);
            setFieldText(txtRemoteIP, readKey(section, QStringLiteral("remote"), kDefaultRemote));
        } else {
            Label7->setText(kMulticastCaption);
            setFieldText(txtRemoteIP, readKey(section, QStringLiteral("multi"), kDefaultMulticast));
        }
    } else {
        // Any other role, also a missing or non-numeric one.
        setElementType(kUnknown);
    }

    lblElementMAC->setText(nodeKey);
    m_loading = false;
    m_loadingSection.clear();

    lblSerialNumber->setText(readKey(section, QStringLiteral("sn"), QString()));
    setTicked(chkSFNEnabled, tickOf(readKey(section, QStringLiteral("sfn"), QStringLiteral("0"))));
    setTicked(chkLowLatency, tickOf(readKey(section, QStringLiteral("llo"), QStringLiteral("0"))));
    m_flags.LowLatencyActive = chkLowLatency->isChecked();
    scrlBuffer_Change();

    cmdAdjust->setEnabled(lblElementType->text() == kDecoder && chkSFNEnabled->isChecked());

    lblElementType_Change();
    cmbSilDetMode_Click();

    cmdPing->setText(QStringLiteral("<Click to test>"));
    cmdPing->setToolTip(QString());
    forgetEdits();
}

void ElementPanel::ClearElementPanel()
{
    // No element, nothing to poll: the level requests would have no
    // destination.
    tmrVolume->stop();
    setTicked(chkGetVolume, false);
    setVUMeterWidthTwips(0);
    lblVolume->setText(kQuietLevel);
    lblElementType->setText(kNoValue);
    lblElementType_Change();
    lblElementMAC->setText(kNoValue);
    lblSerialNumber->setText(kNoValue);
    lblVersion->setText(kNoValue);
    cmdPing->setText(QStringLiteral("<Unknown>"));
    cmdPing->setToolTip(QString());
    setPingColour(kLightYellow);
    setFieldText(txtElementName, QString());
    setFieldText(txtElementIP, QString());
    setFieldText(txtElementMask, QString());
    setFieldText(txtElementGW, QString());
    setFieldText(txtRemoteIP, QString());
    setListIndex(cmbAudioInput, -1);
    setListIndex(cmbAudioType, -1);
    setListIndex(cmbAudioTX, -1);
    // No setting of the previous element stays behind: ticks, lists and
    // bars go back to where they start, and the bars' read-outs show no
    // value. The ticks are no clicks, so the low-latency flag stays.
    for (QCheckBox* box : {chkSFNEnabled, chkLowLatency}) {
        const QSignalBlocker quiet(box);
        box->setChecked(false);
    }
    setListIndex(cmbSilDetMode, -1);
    setListIndex(cmbEncoders, cmbEncoders->count() > 0 ? 0 : -1);
    setScroll(scrlAtten, scrlAtten->maximum());
    setScroll(scrlBuffer, scrlBuffer->minimum());
    setScroll(scrlSilDetLevel, scrlSilDetLevel->minimum());
    setScroll(scrlSilDetTime, scrlSilDetTime->minimum());
    lblAttenDB->setText(kNoAttenuation);
    lblLatency->setText(kNoLatency);
    lblSilDetLevel->setText(kNoSilenceLevel);
    lblSilDetTime->setText(kNoSilenceTime);
    // With no element shown there is nothing to fetch statistics of, nor
    // to adjust.
    cmdGetStats->setEnabled(false);
    cmdAdjust->setEnabled(false);
    m_shownValues.clear();
    markEdits();
}

void ElementPanel::setBufferMaximum(int max)
{
    scrlBuffer->setMaximum(qMax(scrlBuffer->minimum(), max));
}

void ElementPanel::lblElementType_Change()
{
    const QString type = lblElementType->text();
    if (type == kEncoder) {
        cmbAudioInput->setVisible(true);
        cmbAudioTX->setVisible(true);
        lblTxType->setVisible(true);
        scrlAtten->setVisible(false);
        lblAttenDB->setVisible(false);
        Label9->setText(QStringLiteral("Audio source:"));
        tmrVolume->stop();
        setTicked(chkGetVolume, false);
        chkGetVolume->setVisible(m_levelControlOffered);
        VUMeter->setEnabled(true);
        setVUMeterWidthTwips(0);
        lblVolume->setText(kQuietLevel);
        setScroll(scrlBuffer, 0);
        scrlBuffer->setEnabled(false);
        lblLatency->setText(QStringLiteral("2.5mS"));
        lblLatency->setEnabled(false);
        for (QWidget* w :
             {static_cast<QWidget*>(cmbSilDetMode), static_cast<QWidget*>(scrlSilDetLevel),
              static_cast<QWidget*>(scrlSilDetTime), static_cast<QWidget*>(lblSilDetLevel),
              static_cast<QWidget*>(lblSilDetTime), static_cast<QWidget*>(lblBufferSize),
              static_cast<QWidget*>(lblThreshold), static_cast<QWidget*>(lblTimeout),
              static_cast<QWidget*>(lblAudioRouting)})
            w->setEnabled(false);
        // An encoder has no silence detector: its greyed controls show no
        // value rather than the last decoder's.
        setListIndex(cmbSilDetMode, -1);
        setScroll(scrlSilDetLevel, scrlSilDetLevel->minimum());
        setScroll(scrlSilDetTime, scrlSilDetTime->minimum());
        lblSilDetLevel->setText(kNoSilenceLevel);
        lblSilDetTime->setText(kNoSilenceTime);
    }
    if (type == kDecoder) {
        cmbAudioInput->setVisible(false);
        cmbAudioTX->setVisible(false);
        lblTxType->setVisible(false);
        scrlAtten->setVisible(true);
        lblAttenDB->setVisible(true);
        Label9->setText(QStringLiteral("Audio atten:"));
        tmrVolume->stop();
        setTicked(chkGetVolume, false);
        chkGetVolume->setVisible(m_levelControlOffered);
        VUMeter->setEnabled(false);
        setVUMeterWidthTwips(0);
        lblVolume->setText(kQuietLevel);
        scrlBuffer->setEnabled(true);
        refreshLatency();
        lblLatency->setEnabled(true);
        for (QWidget* w :
             {static_cast<QWidget*>(cmbSilDetMode), static_cast<QWidget*>(scrlSilDetLevel),
              static_cast<QWidget*>(scrlSilDetTime), static_cast<QWidget*>(lblSilDetLevel),
              static_cast<QWidget*>(lblSilDetTime), static_cast<QWidget*>(lblBufferSize),
              static_cast<QWidget*>(lblThreshold), static_cast<QWidget*>(lblTimeout),
              static_cast<QWidget*>(lblAudioRouting)})
            w->setEnabled(true);
    }
}

void ElementPanel::setElementType(const QString& text)
{
    lblElementType->setText(text);
    lblElementType_Change();
}

// ---------------------------------------------------------------------------
// Setting values from code: the control's handler runs even when the value
// does not change, as it does for an operator's edit.

void ElementPanel::setScroll(QScrollBar* bar, int value)
{
    value = qBound(bar->minimum(), value, bar->maximum());
    if (bar->value() != value) {
        bar->setValue(value); // valueChanged runs the handler
        return;
    }
    if (bar == scrlAtten)
        scrlAtten_Change();
    else if (bar == scrlBuffer)
        scrlBuffer_Change();
    else if (bar == scrlSilDetLevel)
        scrlSilDetLevel_Change();
    else if (bar == scrlSilDetTime)
        scrlSilDetTime_Change();
}

void ElementPanel::setListIndex(QComboBox* list, int index)
{
    if (index < -1 || index >= list->count())
        index = -1;
    if (list->currentIndex() != index) {
        list->setCurrentIndex(index);
    } else if (list == cmbAudioTX) {
        cmbAudioTX_Click();
    } else if (list == cmbSilDetMode) {
        cmbSilDetMode_Click();
    }
}

void ElementPanel::setTicked(QCheckBox* box, bool ticked)
{
    if (box->isChecked() != ticked) {
        box->setChecked(ticked);
        return;
    }
    if (box == chkLowLatency)
        chkLowLatency_Click();
}

void ElementPanel::setFieldText(QLineEdit* field, const QString& text)
{
    if (field->text() != text) {
        field->setText(text);
        return;
    }
    if (field == txtElementIP)
        txtElementIP_Change();
    else if (field == txtElementMask)
        txtElementMask_Change();
    else if (field == txtElementGW)
        txtElementGW_Change();
    else if (field == txtRemoteIP)
        txtRemoteIP_Change();
    else if (field == txtElementName)
        txtElementName_Change();
}

} // namespace orvalink
