#include "panel/PropertiesForm.h"
#include "panel/ElementPanelParts.h"

#include "core/Readouts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace orvalink {

using namespace panelparts;

namespace {

QScrollBar* makeBar(int min, int max, int start, QWidget* parent)
{
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setRange(min, max);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    bar->setValue(start);
    bar->setMinimumWidth(160);
    return bar;
}

// The widest an editing field grows: a 16-character name in wide letters.
const QString kWidestField = QStringLiteral("WWWWWWWWWWWWWWWWWW");

} // namespace

PropertiesForm::PropertiesForm(QWidget* panel)
    : QGroupBox(QStringLiteral("Element properties:"), panel)
{
    setObjectName(QStringLiteral("frmProperties"));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    QWidget* f = this;
    PropertyControls& c = m_c;
    int row = 0;

    auto named = [](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    auto addressField = [&](const char* name) {
        auto* field = named(new QLineEdit(f), name);
        field->setMaxLength(15);
        fields::selectAllOnFocus(field);
        // Wider windows widen the field, up to room for a few more digits.
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(kWidestField) + 24);
        return field;
    };

    c.lblElementType = named(new QLabel(kNoValue, f), "lblElementType");
    grid->addWidget(caption(QStringLiteral("Device type:"), f), row, 0);
    grid->addWidget(c.lblElementType, row++, 1, 1, 2);

    c.lblElementMAC = named(new QLabel(kNoValue, f), "lblElementMAC");
    c.lblElementMAC->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(caption(QStringLiteral("MAC address:"), f), row, 0);
    grid->addWidget(c.lblElementMAC, row++, 1, 1, 2);

    c.lblVersion = named(new QLabel(kNoValue, f), "lblVersion");
    grid->addWidget(caption(QStringLiteral("DSP version:"), f), row, 0);
    grid->addWidget(c.lblVersion, row++, 1, 1, 2);

    c.lblSerialNumber = named(new QLabel(kNoValue, f), "lblSerialNumber");
    grid->addWidget(caption(QStringLiteral("Serial number:"), f), row, 0);
    grid->addWidget(c.lblSerialNumber, row++, 1, 1, 2);

    c.txtElementName = named(new QLineEdit(f), "txtElementName");
    c.txtElementName->setMaxLength(16);
    c.txtElementName->setMaximumWidth(
        c.txtElementName->fontMetrics().horizontalAdvance(kWidestField) + 24);
    c.txtElementName->setToolTip(QStringLiteral("Max 16 chars"));
    fields::selectAllOnFocus(c.txtElementName);
    grid->addWidget(caption(QStringLiteral("Device name:"), f), row, 0);
    grid->addWidget(c.txtElementName, row++, 1);

    c.txtElementIP = addressField("txtElementIP");
    grid->addWidget(caption(QStringLiteral("Device IP:"), f), row, 0);
    grid->addWidget(c.txtElementIP, row++, 1);

    c.txtElementMask = addressField("txtElementMask");
    grid->addWidget(caption(QStringLiteral("Network mask:"), f), row, 0);
    grid->addWidget(c.txtElementMask, row++, 1);

    c.txtElementGW = addressField("txtElementGW");
    grid->addWidget(caption(QStringLiteral("Gateway IP:"), f), row, 0);
    grid->addWidget(c.txtElementGW, row++, 1);

    // VLAN numbers for audio and for O&M: shown only, tied to no parameter.
    auto vlanField = [&](const char* name) {
        auto* field = named(new QLineEdit(QStringLiteral("1"), f), name);
        field->setMaxLength(4);
        field->setToolTip(QStringLiteral("Range: 1-4095"));
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                               16);
        return field;
    };
    c.txtVLAN_Audio = vlanField("txtVLAN_Audio");
    c.txtVLAN_OM = vlanField("txtVLAN_OM");
    fields::selectAllOnFocus(c.txtVLAN_OM);
    auto* vlanRow = new QHBoxLayout;
    vlanRow->setContentsMargins(0, 0, 0, 0);
    vlanRow->addWidget(c.txtVLAN_Audio);
    vlanRow->addSpacing(8);
    vlanRow->addWidget(new QLabel(QStringLiteral("O&M:"), f));
    vlanRow->addWidget(c.txtVLAN_OM);
    vlanRow->addStretch(1);
    grid->addWidget(caption(QStringLiteral("VLAN audio:"), f), row, 0);
    grid->addLayout(vlanRow, row++, 1);

    c.Label7 = named(caption(kDecoderCaption, f), "Label7");
    c.txtRemoteIP = addressField("txtRemoteIP");
    grid->addWidget(c.Label7, row, 0);
    grid->addWidget(c.txtRemoteIP, row++, 1);

    c.cmbAudioType = named(new QComboBox(f), "cmbAudioType");
    c.cmbAudioType->addItems({QStringLiteral("Left/Right"), QStringLiteral("MPX")});
    c.cmbAudioType->setCurrentIndex(-1);
    grid->addWidget(caption(QStringLiteral("Audio type:"), f), row, 0);
    grid->addWidget(c.cmbAudioType, row++, 1);

    // Audio source (encoder) and attenuation (decoder) share one row.
    c.Label9 = named(caption(QStringLiteral("Audio source:"), f), "Label9");
    c.cmbAudioInput = named(new QComboBox(f), "cmbAudioInput");
    c.cmbAudioInput->addItems({QStringLiteral("Digital"), QStringLiteral("Analog")});
    c.cmbAudioInput->setCurrentIndex(-1);
    c.scrlAtten = named(makeBar(readouts::kAttenMin, readouts::kAttenMax, readouts::kAttenMax, f),
                        "scrlAtten");
    c.lblAttenDB = named(new QLabel(QStringLiteral("dB"), f), "lblAttenDB");
    for (QWidget* w : {static_cast<QWidget*>(c.cmbAudioInput), static_cast<QWidget*>(c.scrlAtten),
                       static_cast<QWidget*>(c.lblAttenDB)})
        keepPlace(w);
    c.scrlAtten->hide();
    c.lblAttenDB->hide();
    grid->addWidget(c.Label9, row, 0);
    grid->addWidget(c.cmbAudioInput, row, 1);
    grid->addWidget(c.scrlAtten, row, 1);
    grid->addWidget(c.lblAttenDB, row++, 2);

    c.lblTxType = named(caption(QStringLiteral("TX type:"), f), "lblTxType");
    c.cmbAudioTX = named(new QComboBox(f), "cmbAudioTX");
    c.cmbAudioTX->addItems({QStringLiteral("Unicast"), QStringLiteral("Multicast")});
    c.cmbAudioTX->setCurrentIndex(-1);
    keepPlace(c.lblTxType);
    keepPlace(c.cmbAudioTX);
    grid->addWidget(c.lblTxType, row, 0);
    grid->addWidget(c.cmbAudioTX, row++, 1);

    c.cmbEncoders = named(new QComboBox(f), "cmbEncoders");
    c.cmbEncoders->addItem(QStringLiteral("<None>"));
    c.cmbEncoders->setCurrentIndex(0);
    grid->addWidget(c.cmbEncoders, row++, 1);

    c.chkSFNEnabled = named(new QCheckBox(QStringLiteral("On"), f), "chkSFNEnabled");
    c.chkSFNEnabled->setToolTip(QStringLiteral("Enable PTP Sync"));
    c.cmdAdjust = named(new QPushButton(QStringLiteral("Adjust..."), f), "cmdAdjust");
    c.cmdAdjust->setEnabled(false);
    auto* sfnRow = new QHBoxLayout;
    sfnRow->setContentsMargins(0, 0, 0, 0);
    sfnRow->addWidget(c.chkSFNEnabled);
    sfnRow->addStretch(1);
    sfnRow->addWidget(c.cmdAdjust);
    grid->addWidget(caption(QStringLiteral("SFN option:"), f), row, 0);
    grid->addLayout(sfnRow, row++, 1);

    c.chkLowLatency = named(new QCheckBox(QStringLiteral("Enabled"), f), "chkLowLatency");
    c.chkLowLatency->setToolTip(QStringLiteral("Enable low latency (1.25mS) option"));
    grid->addWidget(caption(QStringLiteral("Low latency:"), f), row, 0);
    grid->addWidget(c.chkLowLatency, row++, 1);

    c.lblBufferSize = named(caption(QStringLiteral("Buffer size:"), f), "lblBufferSize");
    c.scrlBuffer = named(makeBar(0, readouts::kBufferMax, 0, f), "scrlBuffer");
    c.lblLatency = named(new QLabel(QStringLiteral("0mS"), f), "lblLatency");
    grid->addWidget(c.lblBufferSize, row, 0);
    grid->addWidget(c.scrlBuffer, row, 1);
    grid->addWidget(c.lblLatency, row++, 2);

    c.lblAudioRouting = named(caption(QStringLiteral("Audio routing:"), f), "lblAudioRouting");
    c.cmbSilDetMode = named(new QComboBox(f), "cmbSilDetMode");
    c.cmbSilDetMode->addItems({QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                               QStringLiteral("Force external")});
    c.cmbSilDetMode->setCurrentIndex(-1);
    grid->addWidget(c.lblAudioRouting, row, 0);
    grid->addWidget(c.cmbSilDetMode, row++, 1);

    c.lblThreshold = named(caption(QStringLiteral("Threshold:"), f), "lblThreshold");
    c.lblThreshold->setToolTip(QStringLiteral("Silence detector trigger level"));
    c.scrlSilDetLevel = named(
        makeBar(readouts::kSilDetLevelMin, readouts::kSilDetLevelMax, readouts::kSilDetLevelMin, f),
        "scrlSilDetLevel");
    c.scrlSilDetLevel->setToolTip(QStringLiteral("Silence detector trigger level"));
    c.lblSilDetLevel = named(new QLabel(QStringLiteral("0dBu"), f), "lblSilDetLevel");
    grid->addWidget(c.lblThreshold, row, 0);
    grid->addWidget(c.scrlSilDetLevel, row, 1);
    grid->addWidget(c.lblSilDetLevel, row++, 2);

    c.lblTimeout = named(caption(QStringLiteral("Timeout:"), f), "lblTimeout");
    c.lblTimeout->setToolTip(QStringLiteral("Silence detector time countdown"));
    c.scrlSilDetTime = named(
        makeBar(readouts::kSilDetTimeMin, readouts::kSilDetTimeMax, readouts::kSilDetTimeMin, f),
        "scrlSilDetTime");
    c.scrlSilDetTime->setToolTip(QStringLiteral("Silence detector time countdown"));
    c.lblSilDetTime = named(new QLabel(QStringLiteral("0Sec"), f), "lblSilDetTime");
    grid->addWidget(c.lblTimeout, row, 0);
    grid->addWidget(c.scrlSilDetTime, row, 1);
    grid->addWidget(c.lblSilDetTime, row++, 2);

    // The read-out column is as wide as its widest text, so that a changing
    // figure never moves the bars.
    const QFontMetrics fm = panel->fontMetrics();
    int readoutWidth = 0;
    for (const char* widest : {"-127.5 dB", "100.1Sec", "-49.8dBu", "57.75mS", "Mute"})
        readoutWidth = qMax(readoutWidth, fm.horizontalAdvance(QString::fromLatin1(widest)));
    grid->setColumnMinimumWidth(2, readoutWidth + 8);
    // Fields keep a readable width; a wide window gives the room to the right.
    grid->setColumnMinimumWidth(1, 260);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);
}

} // namespace orvalink
