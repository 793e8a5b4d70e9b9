#include "panel/ElementPanel.h"

#include "panel/Fields.h"
#include "remote/AudioLevel.h"

#include "core/AppFlags.h"
#include "core/Prompt.h"
#include "core/Readouts.h"
#include "core/Text.h"
#include "store/Cp1252.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace orvalink {

namespace {

using fields::kLightYellow;

constexpr int kMaxSectionKeys = 24;
constexpr int kVUMeterFullTwips = audiolevel::kBarFullTwips;
using fields::kTwipsPerPixel;

const QString kEncoder = QStringLiteral("ENCODER");
const QString kDecoder = QStringLiteral("DECODER");
const QString kUnknown = QStringLiteral("UNKNOWN");
const QString kNoValue = QStringLiteral("-");
const QString& kQuietLevel = audiolevel::kSilence;
const QString kMulticastCaption = QStringLiteral("Multicast IP:");
const QString kDecoderCaption = QStringLiteral("Decoder IP:");
const QString kDefaultMulticast = QStringLiteral("239.255.255.239");
const QString kDefaultRemote = QStringLiteral("192.168.1.91");
// Read-outs of a bar that stands for no element's value.
const QString kNoAttenuation = QStringLiteral("-dB");
const QString kNoLatency = QStringLiteral("-mS");
const QString kNoSilenceLevel = QStringLiteral("-dBu");
const QString kNoSilenceTime = QStringLiteral("-Sec");

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

} // namespace

ElementPanel::ElementPanel(IniStore& store, const QString& dbPath, Prompt& prompt, AppFlags& flags,
                           QWidget* parent)
    : QWidget(parent), m_store(store), m_dbPath(dbPath), m_prompt(prompt), m_flags(flags),
      m_locale(QLocale::system())
{
    setObjectName(QStringLiteral("ElementPanel"));
    tmrVolume = new QTimer(this);
    tmrVolume->setObjectName(QStringLiteral("tmrVolume"));
    tmrVolume->setInterval(50);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    buildProperties();
    buildDiagnostics();
    column->addWidget(frmProperties);
    column->addWidget(frmDiagnostics);
    column->addStretch(1);
    connectHandlers();
    trackEdits();
    // Scrolling the panel past a list or a bar leaves its setting alone.
    for (QWidget* control : std::initializer_list<QWidget*>{
             cmbAudioType, cmbAudioInput, cmbAudioTX, cmbEncoders, cmbSilDetMode, scrlAtten,
             scrlBuffer, scrlSilDetLevel, scrlSilDetTime, Slider1})
        fields::wheelOnlyWhenFocused(control);
}

ElementPanel::~ElementPanel() = default;

namespace {
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

void ElementPanel::connectHandlers()
{
    connect(txtElementIP, &QLineEdit::textChanged, this, [this] { txtElementIP_Change(); });
    connect(txtElementMask, &QLineEdit::textChanged, this, [this] { txtElementMask_Change(); });
    connect(txtElementName, &QLineEdit::textChanged, this, [this] { txtElementName_Change(); });
    connect(txtElementGW, &QLineEdit::textChanged, this, [this] { txtElementGW_Change(); });
    connect(txtRemoteIP, &QLineEdit::textChanged, this, [this] { txtRemoteIP_Change(); });
    connect(scrlAtten, &QScrollBar::valueChanged, this, [this] { scrlAtten_Change(); });
    connect(scrlBuffer, &QScrollBar::valueChanged, this, [this] { scrlBuffer_Change(); });
    connect(scrlSilDetLevel, &QScrollBar::valueChanged, this, [this] { scrlSilDetLevel_Change(); });
    connect(scrlSilDetTime, &QScrollBar::valueChanged, this, [this] { scrlSilDetTime_Change(); });
    connect(cmbAudioTX, &QComboBox::currentIndexChanged, this, [this] { cmbAudioTX_Click(); });
    // activated: choosing the entry that is already selected is still a
    // click (the handlers give the same result when run twice).
    connect(cmbAudioTX, &QComboBox::activated, this, [this] { cmbAudioTX_Click(); });
    connect(cmbSilDetMode, &QComboBox::activated, this, [this] { cmbSilDetMode_Click(); });
    connect(cmbSilDetMode, &QComboBox::currentIndexChanged, this,
            [this] { cmbSilDetMode_Click(); });
    connect(chkLowLatency, &QCheckBox::toggled, this, [this] { chkLowLatency_Click(); });
    connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1_Click(); });
    // A click that leaves the position where it was is still a click.
    connect(Slider1, &QSlider::sliderReleased, this, [this] { Slider1_Click(); });
    connect(chkGetVolume, &QCheckBox::toggled, this, [this] { chkGetVolume_Click(); });
    connect(cmdPing, &QPushButton::clicked, this, &ElementPanel::pingClicked);
    connect(cmdGetStats, &QPushButton::clicked, this, &ElementPanel::getStatsClicked);
    connect(cmdAdjust, &QPushButton::clicked, this, &ElementPanel::adjustClicked);
}

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

// ---------------------------------------------------------------------------

void ElementPanel::setReadoutLocale(const QLocale& locale)
{
    m_locale = locale;
}

void ElementPanel::setVUMeterWidthTwips(int twips)
{
    m_vuTwips = qBound(0, twips, kVUMeterFullTwips);
    VUMeter->resize(m_vuTwips / kTwipsPerPixel, VUMeter->height());
}

void ElementPanel::chkGetVolume_Click()
{
    if (chkGetVolume->isChecked()) {
        tmrVolume->start();
        return;
    }
    tmrVolume->stop();
    lblVolume->setText(audiolevel::kSilence);
    setVUMeterWidthTwips(0);
}

void ElementPanel::ShowAudioLevel(const QByteArray& datagram)
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

void ElementPanel::setLevelControlOffered(bool offered)
{
    m_levelControlOffered = offered;
    if (lblElementType->text() == kEncoder || lblElementType->text() == kDecoder)
        chkGetVolume->setVisible(offered);
}

void ElementPanel::setPingColour(const QColor& colour)
{
    m_pingColour = colour;
    cmdPing->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                          " border: 1px solid #808080; border-radius: 2px;"
                                          " padding: 3px 10px; }"
                                          "QPushButton:pressed { border-style: inset; }")
                               .arg(colour.name()));
}

// ---------------------------------------------------------------------------
// Edits not yet applied

namespace {

QVariant fieldValue(const QWidget* w)
{
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentIndex();
    if (auto* b = qobject_cast<const QScrollBar*>(w))
        return b->value();
    if (auto* t = qobject_cast<const QCheckBox*>(w))
        return t->isChecked();
    return {};
}

} // namespace

QList<QWidget*> ElementPanel::editingFields() const
{
    return {txtElementName,  txtElementIP,   txtElementMask, txtElementGW,
            txtRemoteIP,     cmbAudioType,   cmbAudioInput,  cmbAudioTX,
            cmbEncoders,     cmbSilDetMode,  scrlAtten,      scrlBuffer,
            scrlSilDetLevel, scrlSilDetTime, chkSFNEnabled,  chkLowLatency};
}

void ElementPanel::trackEdits()
{
    for (QWidget* w : editingFields()) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            connect(e, &QLineEdit::textChanged, this, &ElementPanel::markEdits);
        else if (auto* c = qobject_cast<QComboBox*>(w))
            connect(c, &QComboBox::currentIndexChanged, this, &ElementPanel::markEdits);
        else if (auto* b = qobject_cast<QScrollBar*>(w))
            connect(b, &QScrollBar::valueChanged, this, &ElementPanel::markEdits);
        else if (auto* t = qobject_cast<QCheckBox*>(w))
            connect(t, &QCheckBox::toggled, this, &ElementPanel::markEdits);
    }
}

void ElementPanel::forgetEdits()
{
    m_shownValues.clear();
    for (QWidget* w : editingFields())
        m_shownValues.insert(w, fieldValue(w));
    markEdits();
}

void ElementPanel::markEdits()
{
    // A scroll bar shows its mark on its read-out.
    const QHash<const QWidget*, QWidget*> markOn{{scrlAtten, lblAttenDB},
                                                 {scrlBuffer, lblLatency},
                                                 {scrlSilDetLevel, lblSilDetLevel},
                                                 {scrlSilDetTime, lblSilDetTime}};
    bool pending = false;
    for (QWidget* w : editingFields()) {
        // A field the layout hides (the audio lists of a decoder, the
        // attenuation of an encoder) is none the operator can have edited.
        const bool edited =
            !m_shownValues.isEmpty() && !w->isHidden() && m_shownValues.value(w) != fieldValue(w);
        pending = pending || edited;
        QWidget* marked = markOn.value(w, w);
        if (marked->font().bold() != edited) {
            QFont font = marked->font();
            font.setBold(edited);
            marked->setFont(font);
        }
    }
    if (pending != m_pendingEdits) {
        m_pendingEdits = pending;
        Q_EMIT pendingEditsChanged(pending);
    }
}

} // namespace orvalink
