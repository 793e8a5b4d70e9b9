#include "panel/ElementPanel.h"
#include "panel/BarReadouts.h"
#include "panel/ControlSetter.h"
#include "panel/DiagnosticsFrame.h"
#include "panel/ElementPanelParts.h"
#include "panel/FieldChecks.h"
#include "panel/LevelMeter.h"
#include "panel/PendingEdits.h"
#include "panel/PropertiesForm.h"
#include "panel/RoleForms.h"

#include "core/AppFlags.h"
#include "core/Prompt.h"
#include "core/Readouts.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace orvalink {

using namespace panelparts;

ElementPanel::ElementPanel(IniStore& store, const QString& dbPath, Prompt& prompt, AppFlags& flags,
                           QWidget* parent)
    : QWidget(parent), m_store(store), m_dbPath(dbPath), m_prompt(prompt), m_flags(flags),
      m_locale(QLocale::system())
{
    setObjectName(QStringLiteral("ElementPanel"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_properties = new PropertiesForm(this);
    m_diagnostics = new DiagnosticsFrame(this, m_locale);
    column->addWidget(m_properties);
    column->addWidget(m_diagnostics);
    column->addStretch(1);

    const PropertyControls& c = controls();
    m_setter = std::make_unique<ControlSetter>();
    m_readouts = std::make_unique<BarReadouts>(c, m_flags, m_locale);
    m_forms = std::make_unique<RoleForms>(c, *m_setter, *m_readouts, meter());
    m_checks = new FieldChecks(c, this);
    connectHandlers();
    // After the handlers: an edit is judged once its handler has run.
    m_edits = new PendingEdits(
        {c.txtElementName, c.txtElementIP, c.txtElementMask, c.txtElementGW, c.txtRemoteIP,
         c.cmbAudioType, c.cmbAudioInput, c.cmbAudioTX, c.cmbEncoders, c.cmbSilDetMode, c.scrlAtten,
         c.scrlBuffer, c.scrlSilDetLevel, c.scrlSilDetTime, c.chkSFNEnabled, c.chkLowLatency},
        // A scroll bar shows its mark on its read-out.
        {{c.scrlAtten, c.lblAttenDB},
         {c.scrlBuffer, c.lblLatency},
         {c.scrlSilDetLevel, c.lblSilDetLevel},
         {c.scrlSilDetTime, c.lblSilDetTime}},
        this);
    connect(m_edits, &PendingEdits::pendingChanged, this, &ElementPanel::pendingEditsChanged);
    // Scrolling the panel past a list or a bar leaves its setting alone.
    for (QWidget* control : std::initializer_list<QWidget*>{
             c.cmbAudioType, c.cmbAudioInput, c.cmbAudioTX, c.cmbEncoders, c.cmbSilDetMode,
             c.scrlAtten, c.scrlBuffer, c.scrlSilDetLevel, c.scrlSilDetTime})
        fields::wheelOnlyWhenFocused(control);
}

ElementPanel::~ElementPanel() = default;

const PropertyControls& ElementPanel::controls() const
{
    return m_properties->controls();
}

LevelMeter& ElementPanel::meter() const
{
    return m_diagnostics->levelMeter();
}

void ElementPanel::connectHandlers()
{
    const PropertyControls& c = controls();
    // Connects a control's change to its handler, which the setter also
    // runs when a value set from code leaves the control as it was.
    const auto handle = [this](auto* control, auto signal, std::function<void()> handler) {
        connect(control, signal, this, handler);
        m_setter->setHandler(control, std::move(handler));
    };
    FieldChecks* checks = m_checks;
    BarReadouts* readouts = m_readouts.get();
    handle(c.txtElementIP, &QLineEdit::textChanged, [checks] { checks->txtElementIP_Change(); });
    handle(c.txtElementMask, &QLineEdit::textChanged,
           [checks] { checks->txtElementMask_Change(); });
    handle(c.txtElementName, &QLineEdit::textChanged,
           [checks] { checks->txtElementName_Change(); });
    handle(c.txtElementGW, &QLineEdit::textChanged, [checks] { checks->txtElementGW_Change(); });
    handle(c.txtRemoteIP, &QLineEdit::textChanged, [checks] { checks->txtRemoteIP_Change(); });
    handle(c.scrlAtten, &QScrollBar::valueChanged, [readouts] { readouts->scrlAtten_Change(); });
    handle(c.scrlBuffer, &QScrollBar::valueChanged, [readouts] { readouts->scrlBuffer_Change(); });
    handle(c.scrlSilDetLevel, &QScrollBar::valueChanged,
           [readouts] { readouts->scrlSilDetLevel_Change(); });
    handle(c.scrlSilDetTime, &QScrollBar::valueChanged,
           [readouts] { readouts->scrlSilDetTime_Change(); });
    handle(c.cmbAudioTX, &QComboBox::currentIndexChanged, [this] { cmbAudioTX_Click(); });
    // activated: choosing the entry that is already selected is still a
    // click (the handlers give the same result when run twice).
    connect(c.cmbAudioTX, &QComboBox::activated, this, [this] { cmbAudioTX_Click(); });
    connect(c.cmbSilDetMode, &QComboBox::activated, this,
            [readouts] { readouts->cmbSilDetMode_Click(); });
    handle(c.cmbSilDetMode, &QComboBox::currentIndexChanged,
           [readouts] { readouts->cmbSilDetMode_Click(); });
    handle(c.chkLowLatency, &QCheckBox::toggled, [readouts] { readouts->chkLowLatency_Click(); });
    connect(c.cmdAdjust, &QPushButton::clicked, this, &ElementPanel::adjustClicked);
    connect(m_diagnostics, &DiagnosticsFrame::pingClicked, this, &ElementPanel::pingClicked);
    connect(m_diagnostics, &DiagnosticsFrame::getStatsClicked, this,
            &ElementPanel::getStatsClicked);
    connect(&meter(), &LevelMeter::levelRequested, this, &ElementPanel::levelRequested);
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
    return Encode_MAC(controls().lblElementMAC->text());
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
    const PropertyControls& c = controls();
    ControlSetter& set = *m_setter;
    m_diagnostics->setPingColour(kLightYellow);
    meter().untick();

    if (nodeText.isEmpty()) {
        m_diagnostics->setStatisticsOffered(false);
        return;
    }

    const QString section = Encode_MAC(nodeKey);
    if (sectionIsDamaged(m_store, section, m_dbPath)) {
        m_prompt.tell(
            PromptIcon::Critical,
            QStringLiteral("Cannot load this element info.") + QLatin1Char('\r') +
                QStringLiteral(
                    "The data stored in your computer about this element, is corrupted (1)."));
        return;
    }
    // Filling the fields is no edit.
    m_edits->drop();

    // While the fields fill, handlers that read the database use the section
    // being shown, not the one of the MAC caption that is still on screen.
    m_loading = true;
    m_loadingSection = section;

    set.setFieldText(c.txtElementName, readKey(section, QStringLiteral("name"), QString()));
    set.setFieldText(c.txtElementIP, readKey(section, QStringLiteral("ip"), QString()));
    set.setFieldText(c.txtElementMask, readKey(section, QStringLiteral("mask"), QString()));
    set.setFieldText(c.txtElementGW, readKey(section, QStringLiteral("gw"), QString()));
    set.setListIndex(
        c.cmbAudioType,
        listIndexOf(readKey(section, QStringLiteral("type"), QString()), c.cmbAudioType));
    c.lblVersion->setText(readKey(section, QStringLiteral("ver"), QStringLiteral("2.00")));
    m_diagnostics->setStatisticsOffered(true);

    auto selectEncoderLists = [&](const QString& def) {
        set.setListIndex(
            c.cmbAudioInput,
            listIndexOf(readKey(section, QStringLiteral("input"), def), c.cmbAudioInput));
        set.setListIndex(c.cmbAudioTX,
                         listIndexOf(readKey(section, QStringLiteral("tx"), def), c.cmbAudioTX));
        set.setListIndex(c.cmbEncoders,
                         listIndexOf(readKey(section, QStringLiteral("bound"), QStringLiteral("0")),
                                     c.cmbEncoders));
    };
    if (mode == ShowMode::SelectedElement)
        selectEncoderLists(QStringLiteral("0"));

    const std::optional<int> role =
        readouts::storedInteger(readKey(section, QStringLiteral("role"), QString()));
    if (role == 2) {
        m_forms->setElementType(kDecoder);
        c.Label7->setText(kMulticastCaption);
        set.setFieldText(c.txtRemoteIP,
                         readKey(section, QStringLiteral("multi"), kDefaultMulticast));
        const QString att = readKey(section, QStringLiteral("att"), QStringLiteral("0"));
        const std::optional<int> attValue = readouts::storedInteger(att);
        // Raised to the smallest attenuation the element takes. When that
        // cannot be stored the main window tells why (the store's
        // writeFailed); the bar shows the minimum either way, and the next
        // showing tries again.
        if (attValue.value_or(0) < c.scrlAtten->minimum() &&
            !m_store.write(section, QStringLiteral("att"), QString::number(c.scrlAtten->minimum()),
                           m_dbPath))
            qWarning("ElementPanel: att of %s not raised: %s", qPrintable(section),
                     qPrintable(m_store.lastError()));
        set.setScroll(c.scrlAtten, barPositionOf(att, QStringLiteral("0"), c.scrlAtten));
        set.setScroll(c.scrlBuffer,
                      barPositionOf(readKey(section, QStringLiteral("buf"), QStringLiteral("1")),
                                    QStringLiteral("1"), c.scrlBuffer));
        set.setScroll(c.scrlSilDetLevel,
                      barPositionOf(readKey(section, QStringLiteral("sdl"), QStringLiteral("37")),
                                    QStringLiteral("37"), c.scrlSilDetLevel));
        set.setScroll(c.scrlSilDetTime,
                      barPositionOf(readKey(section, QStringLiteral("sdt"), QStringLiteral("43")),
                                    QStringLiteral("43"), c.scrlSilDetTime));
        set.setListIndex(c.cmbSilDetMode,
                         listIndexOf(readKey(section, QStringLiteral("sdm"), QStringLiteral("0")),
                                     c.cmbSilDetMode));
        m_forms->lblElementType_Change();
        m_readouts->cmbSilDetMode_Click();
        if (mode == ShowMode::NodeClick)
            set.setListIndex(c.cmbEncoders, 0); // "<None>": a decoder is bound to no encoder
    } else if (role == 1) {
        m_forms->setElementType(kEncoder);
        if (mode == ShowMode::NodeClick)
            selectEncoderLists(QString());
        // The caption and the address that the TX type selects.
        cmbAudioTX_Click();
    } else {
        // Any other role, also a missing or non-numeric one.
        m_forms->setElementType(kUnknown);
    }

    c.lblElementMAC->setText(nodeKey);
    m_loading = false;
    m_loadingSection.clear();

    c.lblSerialNumber->setText(readKey(section, QStringLiteral("sn"), QString()));
    set.setTicked(c.chkSFNEnabled,
                  tickOf(readKey(section, QStringLiteral("sfn"), QStringLiteral("0"))));
    set.setTicked(c.chkLowLatency,
                  tickOf(readKey(section, QStringLiteral("llo"), QStringLiteral("0"))));
    m_flags.LowLatencyActive = c.chkLowLatency->isChecked();
    m_readouts->scrlBuffer_Change();

    c.cmdAdjust->setEnabled(c.lblElementType->text() == kDecoder && c.chkSFNEnabled->isChecked());

    m_forms->lblElementType_Change();
    m_readouts->cmbSilDetMode_Click();

    m_diagnostics->setPingCaption(QStringLiteral("<Click to test>"));
    m_diagnostics->setPingToolTip(QString());
    forgetEdits();
}

void ElementPanel::cmbAudioTX_Click()
{
    const PropertyControls& c = controls();
    if (c.lblElementType->text() != kEncoder)
        return;
    const QString section = sectionOfShown();
    if (c.cmbAudioTX->currentIndex() > 0) {
        c.Label7->setText(kMulticastCaption);
        m_setter->setFieldText(c.txtRemoteIP,
                               readKey(section, QStringLiteral("multi"), kDefaultMulticast));
    } else {
        c.Label7->setText(kDecoderCaption);
        m_setter->setFieldText(c.txtRemoteIP,
                               readKey(section, QStringLiteral("remote"), kDefaultRemote));
    }
}

void ElementPanel::ClearElementPanel()
{
    const PropertyControls& c = controls();
    ControlSetter& set = *m_setter;
    // No element, nothing to poll: the level requests would have no
    // destination.
    meter().stop();
    m_forms->setElementType(kNoValue);
    c.lblElementMAC->setText(kNoValue);
    c.lblSerialNumber->setText(kNoValue);
    c.lblVersion->setText(kNoValue);
    m_diagnostics->setPingCaption(QStringLiteral("<Unknown>"));
    m_diagnostics->setPingToolTip(QString());
    m_diagnostics->setPingColour(kLightYellow);
    set.setFieldText(c.txtElementName, QString());
    set.setFieldText(c.txtElementIP, QString());
    set.setFieldText(c.txtElementMask, QString());
    set.setFieldText(c.txtElementGW, QString());
    set.setFieldText(c.txtRemoteIP, QString());
    set.setListIndex(c.cmbAudioInput, -1);
    set.setListIndex(c.cmbAudioType, -1);
    set.setListIndex(c.cmbAudioTX, -1);
    // No setting of the previous element stays behind: ticks, lists and
    // bars go back to where they start, and the bars' read-outs show no
    // value. The ticks are no clicks, so the low-latency flag stays.
    for (QCheckBox* box : {c.chkSFNEnabled, c.chkLowLatency}) {
        const QSignalBlocker quiet(box);
        box->setChecked(false);
    }
    set.setListIndex(c.cmbSilDetMode, -1);
    set.setListIndex(c.cmbEncoders, c.cmbEncoders->count() > 0 ? 0 : -1);
    set.setScroll(c.scrlAtten, c.scrlAtten->maximum());
    set.setScroll(c.scrlBuffer, c.scrlBuffer->minimum());
    set.setScroll(c.scrlSilDetLevel, c.scrlSilDetLevel->minimum());
    set.setScroll(c.scrlSilDetTime, c.scrlSilDetTime->minimum());
    c.lblAttenDB->setText(kNoAttenuation);
    c.lblLatency->setText(kNoLatency);
    c.lblSilDetLevel->setText(kNoSilenceLevel);
    c.lblSilDetTime->setText(kNoSilenceTime);
    // With no element shown there is nothing to fetch statistics of, nor
    // to adjust.
    m_diagnostics->setStatisticsOffered(false);
    c.cmdAdjust->setEnabled(false);
    m_edits->drop();
}

QString ElementPanel::shownMac() const
{
    return controls().lblElementMAC->text();
}

QString ElementPanel::roleCaption() const
{
    return controls().lblElementType->text();
}

void ElementPanel::setBufferMaximum(int max)
{
    QScrollBar* bar = controls().scrlBuffer;
    bar->setMaximum(qMax(bar->minimum(), max));
}

void ElementPanel::clearEncoders()
{
    QComboBox* list = controls().cmbEncoders;
    list->clear();
    list->addItem(QStringLiteral("<None>"));
}

void ElementPanel::addEncoder(const QString& nodeText)
{
    controls().cmbEncoders->addItem(nodeText);
}

// ---------------------------------------------------------------------------
// Values

EditedValues ElementPanel::editedValues() const
{
    const PropertyControls& c = controls();
    EditedValues v;
    v.name = c.txtElementName->text();
    v.ip = c.txtElementIP->text();
    v.mask = c.txtElementMask->text();
    v.gw = c.txtElementGW->text();
    v.remoteIP = c.txtRemoteIP->text();
    v.input = c.cmbAudioInput->currentIndex();
    v.type = c.cmbAudioType->currentIndex();
    v.tx = c.cmbAudioTX->currentIndex();
    v.sfn = c.chkSFNEnabled->isChecked() ? 1 : 0;
    v.llo = c.chkLowLatency->isChecked() ? 1 : 0;
    v.att = c.scrlAtten->value();
    v.buf = c.scrlBuffer->value();
    v.sdl = c.scrlSilDetLevel->value();
    v.sdt = c.scrlSilDetTime->value();
    v.sdm = c.cmbSilDetMode->currentIndex();
    return v;
}

RemotePanelState ElementPanel::remotePanelState() const
{
    const PropertyControls& c = controls();
    RemotePanelState s;
    s.mac = c.lblElementMAC->text();
    s.roleCaption = c.lblElementType->text();
    s.name = c.txtElementName->text();
    s.ip = c.txtElementIP->text();
    s.mask = c.txtElementMask->text();
    s.gw = c.txtElementGW->text();
    s.remote = c.txtRemoteIP->text();
    s.input = c.cmbAudioInput->currentIndex();
    s.type = c.cmbAudioType->currentIndex();
    s.tx = c.cmbAudioTX->currentIndex();
    s.sfn = c.chkSFNEnabled->isChecked();
    s.lowLatency = c.chkLowLatency->isChecked();
    s.buffer = c.scrlBuffer->value();
    s.silDetMode = c.cmbSilDetMode->currentIndex();
    s.silDetModeCount = c.cmbSilDetMode->count();
    s.silDetLevel = c.scrlSilDetLevel->value();
    s.silDetTime = c.scrlSilDetTime->value();
    s.attMin = c.scrlAtten->minimum();
    s.bufferMax = c.scrlBuffer->maximum();
    s.levelMin = c.scrlSilDetLevel->minimum();
    s.levelMax = c.scrlSilDetLevel->maximum();
    s.timeMin = c.scrlSilDetTime->minimum();
    s.timeMax = c.scrlSilDetTime->maximum();
    return s;
}

void ElementPanel::showConfirmed(const RemoteConfirmed& v)
{
    const PropertyControls& c = controls();
    if (c.lblElementType->text() != v.typeCaption)
        m_forms->setElementType(v.typeCaption);
    c.lblSerialNumber->setText(v.serialNumber);
    c.lblVersion->setText(v.version);
    // Through the setter: a confirmed position equal to the one on screen
    // still gets its read-out (after an encoder's form the silence bars
    // stand at their minimum with no value shown).
    ControlSetter& set = *m_setter;
    set.setScroll(c.scrlAtten, v.att);
    set.setScroll(c.scrlBuffer, v.buffer);
    set.setListIndex(c.cmbSilDetMode, v.silDetMode);
    set.setScroll(c.scrlSilDetLevel, v.silDetLevel);
    set.setScroll(c.scrlSilDetTime, v.silDetTime);
}

void ElementPanel::selectDigitalInput()
{
    controls().cmbAudioInput->setCurrentIndex(0);
}

void ElementPanel::setReadoutLocale(const QLocale& locale)
{
    m_locale = locale;
}

// ---------------------------------------------------------------------------
// Edits, diagnostics, commands and the level meter: handed to their parts.

bool ElementPanel::hasPendingEdits() const
{
    return m_edits->hasPending();
}

void ElementPanel::forgetEdits()
{
    m_edits->forget();
}

void ElementPanel::setPingColour(const QColor& colour)
{
    m_diagnostics->setPingColour(colour);
}

QColor ElementPanel::pingColour() const
{
    return m_diagnostics->pingColour();
}

void ElementPanel::setPingCaption(const QString& caption)
{
    m_diagnostics->setPingCaption(caption);
}

void ElementPanel::setPingToolTip(const QString& toolTip)
{
    m_diagnostics->setPingToolTip(toolTip);
}

void ElementPanel::clickPing()
{
    m_diagnostics->clickPing();
}

void ElementPanel::clickGetStats()
{
    m_diagnostics->clickGetStats();
}

void ElementPanel::clickAdjust()
{
    controls().cmdAdjust->click();
}

bool ElementPanel::statisticsOffered() const
{
    return m_diagnostics->statisticsOffered();
}

bool ElementPanel::adjustOffered() const
{
    return controls().cmdAdjust->isEnabled();
}

void ElementPanel::ShowAudioLevel(const QByteArray& datagram)
{
    meter().ShowAudioLevel(datagram);
}

qint32 ElementPanel::audioPeak() const
{
    return meter().audioPeak();
}

void ElementPanel::setVUMeterWidthTwips(int twips)
{
    meter().setVUMeterWidthTwips(twips);
}

int ElementPanel::vuMeterWidthTwips() const
{
    return meter().vuMeterWidthTwips();
}

void ElementPanel::setLevelControlOffered(bool offered)
{
    const QString type = roleCaption();
    meter().setOffered(offered, type == kEncoder || type == kDecoder);
}

bool ElementPanel::levelControlOffered() const
{
    return meter().offered();
}

} // namespace orvalink
