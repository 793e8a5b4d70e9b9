// The element panel: building it, its handlers' wiring, the level meter and
// the edits not yet applied. Its layout is in ElementPanelLayout.cpp, the
// fill from the database in ElementPanelFill.cpp, the editors' checks and
// read-outs in ElementPanelEditors.cpp.

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
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace orvalink {

using namespace panelparts;

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
