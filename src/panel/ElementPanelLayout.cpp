// The element panel's layout: the properties frame (the ENCODER and DECODER
// forms in one grid) and the diagnostics frame.

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
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

namespace orvalink {

using namespace panelparts;

namespace {

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

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

// Keeps a widget's place in the layout while it is hidden, so that the
// ENCODER and DECODER forms switch without moving anything.
void keepPlace(QWidget* w)
{
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

// The widest an editing field grows: a 16-character name in wide letters.
const QString kWidestField = QStringLiteral("WWWWWWWWWWWWWWWWWW");

} // namespace

void ElementPanel::buildProperties()
{
    frmProperties = new QGroupBox(QStringLiteral("Element properties:"), this);
    frmProperties->setObjectName(QStringLiteral("frmProperties"));
    auto* grid = new QGridLayout(frmProperties);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    QWidget* f = frmProperties;
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

    lblElementType = named(new QLabel(kNoValue, f), "lblElementType");
    grid->addWidget(caption(QStringLiteral("Device type:"), f), row, 0);
    grid->addWidget(lblElementType, row++, 1, 1, 2);

    lblElementMAC = named(new QLabel(kNoValue, f), "lblElementMAC");
    lblElementMAC->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(caption(QStringLiteral("MAC address:"), f), row, 0);
    grid->addWidget(lblElementMAC, row++, 1, 1, 2);

    lblVersion = named(new QLabel(kNoValue, f), "lblVersion");
    grid->addWidget(caption(QStringLiteral("DSP version:"), f), row, 0);
    grid->addWidget(lblVersion, row++, 1, 1, 2);

    lblSerialNumber = named(new QLabel(kNoValue, f), "lblSerialNumber");
    grid->addWidget(caption(QStringLiteral("Serial number:"), f), row, 0);
    grid->addWidget(lblSerialNumber, row++, 1, 1, 2);

    txtElementName = named(new QLineEdit(f), "txtElementName");
    txtElementName->setMaxLength(16);
    txtElementName->setMaximumWidth(txtElementName->fontMetrics().horizontalAdvance(kWidestField) +
                                    24);
    txtElementName->setToolTip(QStringLiteral("Max 16 chars"));
    fields::selectAllOnFocus(txtElementName);
    txtElementName->installEventFilter(this);
    grid->addWidget(caption(QStringLiteral("Device name:"), f), row, 0);
    grid->addWidget(txtElementName, row++, 1);

    txtElementIP = addressField("txtElementIP");
    grid->addWidget(caption(QStringLiteral("Device IP:"), f), row, 0);
    grid->addWidget(txtElementIP, row++, 1);

    txtElementMask = addressField("txtElementMask");
    grid->addWidget(caption(QStringLiteral("Network mask:"), f), row, 0);
    grid->addWidget(txtElementMask, row++, 1);

    txtElementGW = addressField("txtElementGW");
    grid->addWidget(caption(QStringLiteral("Gateway IP:"), f), row, 0);
    grid->addWidget(txtElementGW, row++, 1);

    // VLAN numbers for audio and for O&M: shown only, tied to no parameter.
    auto vlanField = [&](const char* name) {
        auto* field = named(new QLineEdit(QStringLiteral("1"), f), name);
        field->setMaxLength(4);
        field->setToolTip(QStringLiteral("Range: 1-4095"));
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                               16);
        return field;
    };
    txtVLAN_Audio = vlanField("txtVLAN_Audio");
    txtVLAN_OM = vlanField("txtVLAN_OM");
    fields::selectAllOnFocus(txtVLAN_OM);
    auto* vlanRow = new QHBoxLayout;
    vlanRow->setContentsMargins(0, 0, 0, 0);
    vlanRow->addWidget(txtVLAN_Audio);
    vlanRow->addSpacing(8);
    vlanRow->addWidget(new QLabel(QStringLiteral("O&M:"), f));
    vlanRow->addWidget(txtVLAN_OM);
    vlanRow->addStretch(1);
    grid->addWidget(caption(QStringLiteral("VLAN audio:"), f), row, 0);
    grid->addLayout(vlanRow, row++, 1);

    Label7 = named(caption(kDecoderCaption, f), "Label7");
    txtRemoteIP = addressField("txtRemoteIP");
    grid->addWidget(Label7, row, 0);
    grid->addWidget(txtRemoteIP, row++, 1);

    cmbAudioType = named(new QComboBox(f), "cmbAudioType");
    cmbAudioType->addItems({QStringLiteral("Left/Right"), QStringLiteral("MPX")});
    cmbAudioType->setCurrentIndex(-1);
    grid->addWidget(caption(QStringLiteral("Audio type:"), f), row, 0);
    grid->addWidget(cmbAudioType, row++, 1);

    // Audio source (encoder) and attenuation (decoder) share one row.
    Label9 = named(caption(QStringLiteral("Audio source:"), f), "Label9");
    cmbAudioInput = named(new QComboBox(f), "cmbAudioInput");
    cmbAudioInput->addItems({QStringLiteral("Digital"), QStringLiteral("Analog")});
    cmbAudioInput->setCurrentIndex(-1);
    scrlAtten = named(makeBar(readouts::kAttenMin, readouts::kAttenMax, readouts::kAttenMax, f),
                      "scrlAtten");
    lblAttenDB = named(new QLabel(QStringLiteral("dB"), f), "lblAttenDB");
    for (QWidget* w : {static_cast<QWidget*>(cmbAudioInput), static_cast<QWidget*>(scrlAtten),
                       static_cast<QWidget*>(lblAttenDB)})
        keepPlace(w);
    scrlAtten->hide();
    lblAttenDB->hide();
    grid->addWidget(Label9, row, 0);
    grid->addWidget(cmbAudioInput, row, 1);
    grid->addWidget(scrlAtten, row, 1);
    grid->addWidget(lblAttenDB, row++, 2);

    lblTxType = named(caption(QStringLiteral("TX type:"), f), "lblTxType");
    cmbAudioTX = named(new QComboBox(f), "cmbAudioTX");
    cmbAudioTX->addItems({QStringLiteral("Unicast"), QStringLiteral("Multicast")});
    cmbAudioTX->setCurrentIndex(-1);
    keepPlace(lblTxType);
    keepPlace(cmbAudioTX);
    grid->addWidget(lblTxType, row, 0);
    grid->addWidget(cmbAudioTX, row++, 1);

    cmbEncoders = named(new QComboBox(f), "cmbEncoders");
    cmbEncoders->addItem(QStringLiteral("<None>"));
    cmbEncoders->setCurrentIndex(0);
    grid->addWidget(cmbEncoders, row++, 1);

    chkSFNEnabled = named(new QCheckBox(QStringLiteral("On"), f), "chkSFNEnabled");
    chkSFNEnabled->setToolTip(QStringLiteral("Enable PTP Sync"));
    cmdAdjust = named(new QPushButton(QStringLiteral("Adjust..."), f), "cmdAdjust");
    cmdAdjust->setEnabled(false);
    auto* sfnRow = new QHBoxLayout;
    sfnRow->setContentsMargins(0, 0, 0, 0);
    sfnRow->addWidget(chkSFNEnabled);
    sfnRow->addStretch(1);
    sfnRow->addWidget(cmdAdjust);
    grid->addWidget(caption(QStringLiteral("SFN option:"), f), row, 0);
    grid->addLayout(sfnRow, row++, 1);

    chkLowLatency = named(new QCheckBox(QStringLiteral("Enabled"), f), "chkLowLatency");
    chkLowLatency->setToolTip(QStringLiteral("Enable low latency (1.25mS) option"));
    grid->addWidget(caption(QStringLiteral("Low latency:"), f), row, 0);
    grid->addWidget(chkLowLatency, row++, 1);

    lblBufferSize = named(caption(QStringLiteral("Buffer size:"), f), "lblBufferSize");
    scrlBuffer = named(makeBar(0, readouts::kBufferMax, 0, f), "scrlBuffer");
    lblLatency = named(new QLabel(QStringLiteral("0mS"), f), "lblLatency");
    grid->addWidget(lblBufferSize, row, 0);
    grid->addWidget(scrlBuffer, row, 1);
    grid->addWidget(lblLatency, row++, 2);

    lblAudioRouting = named(caption(QStringLiteral("Audio routing:"), f), "lblAudioRouting");
    cmbSilDetMode = named(new QComboBox(f), "cmbSilDetMode");
    cmbSilDetMode->addItems({QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                             QStringLiteral("Force external")});
    cmbSilDetMode->setCurrentIndex(-1);
    grid->addWidget(lblAudioRouting, row, 0);
    grid->addWidget(cmbSilDetMode, row++, 1);

    lblThreshold = named(caption(QStringLiteral("Threshold:"), f), "lblThreshold");
    lblThreshold->setToolTip(QStringLiteral("Silence detector trigger level"));
    scrlSilDetLevel = named(
        makeBar(readouts::kSilDetLevelMin, readouts::kSilDetLevelMax, readouts::kSilDetLevelMin, f),
        "scrlSilDetLevel");
    scrlSilDetLevel->setToolTip(QStringLiteral("Silence detector trigger level"));
    lblSilDetLevel = named(new QLabel(QStringLiteral("0dBu"), f), "lblSilDetLevel");
    grid->addWidget(lblThreshold, row, 0);
    grid->addWidget(scrlSilDetLevel, row, 1);
    grid->addWidget(lblSilDetLevel, row++, 2);

    lblTimeout = named(caption(QStringLiteral("Timeout:"), f), "lblTimeout");
    lblTimeout->setToolTip(QStringLiteral("Silence detector time countdown"));
    scrlSilDetTime = named(
        makeBar(readouts::kSilDetTimeMin, readouts::kSilDetTimeMax, readouts::kSilDetTimeMin, f),
        "scrlSilDetTime");
    scrlSilDetTime->setToolTip(QStringLiteral("Silence detector time countdown"));
    lblSilDetTime = named(new QLabel(QStringLiteral("0Sec"), f), "lblSilDetTime");
    grid->addWidget(lblTimeout, row, 0);
    grid->addWidget(scrlSilDetTime, row, 1);
    grid->addWidget(lblSilDetTime, row++, 2);

    // The read-out column is as wide as its widest text, so that a changing
    // figure never moves the bars.
    const QFontMetrics fm = fontMetrics();
    int readoutWidth = 0;
    for (const char* widest : {"-127.5 dB", "100.1Sec", "-49.8dBu", "57.75mS", "Mute"})
        readoutWidth = qMax(readoutWidth, fm.horizontalAdvance(QString::fromLatin1(widest)));
    grid->setColumnMinimumWidth(2, readoutWidth + 8);
    // Fields keep a readable width; a wide window gives the room to the right.
    grid->setColumnMinimumWidth(1, 260);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);
}

void ElementPanel::buildDiagnostics()
{
    frmDiagnostics = new QGroupBox(QStringLiteral("Diagnostics:"), this);
    frmDiagnostics->setObjectName(QStringLiteral("frmDiagnostics"));
    auto* grid = new QGridLayout(frmDiagnostics);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    QWidget* f = frmDiagnostics;
    int row = 0;

    cmdPing = new QPushButton(QStringLiteral("<Click to test>"), f);
    cmdPing->setObjectName(QStringLiteral("cmdPing"));
    cmdPing->setToolTip(QStringLiteral("Test ping from NMS"));
    cmdPing->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("Destination Host Unreachable")) + 24);
    setPingColour(kLightYellow);
    grid->addWidget(caption(QStringLiteral("Ping:"), f), row, 0);
    grid->addWidget(cmdPing, row++, 1, 1, 2, Qt::AlignLeft);

    cmdGetStats = new QPushButton(QStringLiteral("Get..."), f);
    cmdGetStats->setObjectName(QStringLiteral("cmdGetStats"));
    cmdGetStats->setToolTip(QStringLiteral("Fetch statistical counters"));
    cmdGetStats->setEnabled(false);
    grid->addWidget(caption(QStringLiteral("Statistics:"), f), row, 0);
    grid->addWidget(cmdGetStats, row++, 1, 1, 2, Qt::AlignLeft);

    chkGetVolume = new QCheckBox(QStringLiteral("?"), f);
    chkGetVolume->setObjectName(QStringLiteral("chkGetVolume"));
    chkGetVolume->setToolTip(QStringLiteral("Show audio level"));
    keepPlace(chkGetVolume);

    // The level bar: a trough of full-scale width with the bar inside it.
    auto* trough = new QFrame(f);
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

    lblVolume = new QLabel(kQuietLevel, f);
    lblVolume->setObjectName(QStringLiteral("lblVolume"));
    lblVolume->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-138.5dBFS")) + 4);

    auto* levelRow = new QHBoxLayout;
    levelRow->setContentsMargins(0, 0, 0, 0);
    levelRow->addWidget(chkGetVolume);
    levelRow->addWidget(trough);
    levelRow->addSpacing(6);
    levelRow->addWidget(lblVolume);
    levelRow->addStretch(1);
    grid->addWidget(caption(QStringLiteral("Audio level:"), f), row, 0);
    grid->addLayout(levelRow, row++, 1, 1, 2);

    Slider1 = new QSlider(Qt::Horizontal, f);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setRange(1, 500);
    Slider1->setValue(50);
    Slider1->setToolTip(QStringLiteral("Level polling interval (ms)"));
    Slider1->setFixedWidth(fullPixels + 2 * trough->frameWidth());
    grid->addWidget(Slider1, row++, 1, 1, 2, Qt::AlignLeft);

    grid->setColumnMinimumWidth(1, 260);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);
}

} // namespace orvalink
