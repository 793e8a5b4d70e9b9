#pragma once
// The element panel: the stored parameters of one network element, laid out
// by its role (ENCODER or DECODER), with the editors' read-outs and checks,
// and the diagnostics frame (ping, statistics, audio level).
//
// The panel builds its parts and wires them: the properties frame
// (PropertiesForm) with its forms' switch (RoleForms), the fields' checks
// (FieldChecks), the bars' read-outs (BarReadouts), the diagnostics frame
// (DiagnosticsFrame) with the level meter (LevelMeter), and the edits not
// yet applied (PendingEdits). Its controls are its own: the main window and
// the dialogs use the methods below, and tests find a control by its name.
//
// The panel reads the element database at the moment an element is shown and
// keeps no copy of it: what the controls hold is what the operator edits, and
// applying a configuration compares the controls with the file.
//
// Every value set from code runs the same handler as an operator's edit, also
// when the value does not change (ControlSetter), so read-outs, colours and
// captions always follow what is shown.

#include "devops/ElementView.h"
#include "remote/RemotePanel.h"

#include <QColor>
#include <QLocale>
#include <QString>
#include <QWidget>

#include <memory>

namespace orvalink {

class BarReadouts;
class ControlSetter;
class DiagnosticsFrame;
class FieldChecks;
class IniStore;
class LevelMeter;
class PendingEdits;
class Prompt;
class PropertiesForm;
class RoleForms;
struct AppFlags;
struct PropertyControls;

class ElementPanel : public QWidget, public RemotePanel {
    Q_OBJECT
public:
    enum class ShowMode {
        NodeClick,       // the operator clicked a tree node
        SelectedElement, // re-shown after an apply-configuration run
    };

    ElementPanel(IniStore& store, const QString& dbPath, Prompt& prompt, AppFlags& flags,
                 QWidget* parent = nullptr);
    ~ElementPanel() override;

    // ---- The shown element ----
    // Shows the element of a tree node (key: colon-form MAC, text: node text).
    void showElement(const QString& nodeKey, const QString& nodeText, ShowMode mode);
    // Back to the cleared state: "-" captions, empty address fields, and no
    // setting of the last element left in a tick, list, bar or read-out.
    void ClearElementPanel();
    // The MAC caption (colon form; "-" with no element shown) and the role
    // caption ("ENCODER", "DECODER", "UNKNOWN" or "-").
    QString shownMac() const;
    QString roleCaption() const;

    // Maximum of the buffer bar chosen at start-up: 22, 23 (GPS) or 44 (LL).
    void setBufferMaximum(int max);
    // The encoders a decoder may be bound to: "<None>" only, then each
    // encoder's node text as the tree is loaded.
    void clearEncoders();
    void addEncoder(const QString& nodeText);

    // ---- Values ----
    // What the editors hold, for an apply.
    EditedValues editedValues() const;
    // For the remote protocol: the values shown, and what an element's
    // confirmation updates.
    RemotePanelState remotePanelState() const override;
    void showConfirmed(const RemoteConfirmed& values) override;
    // A decoder has no audio-source choice: before an apply its list goes
    // to "Digital".
    void selectDigitalInput();

    // Decimal separator of the read-outs; the system locale by default.
    void setReadoutLocale(const QLocale& locale);

    // ---- Edits not yet applied ----
    // True when an editing field differs from what it held when the element
    // was shown (or at the last forgetEdits()); such fields are drawn bold,
    // a scroll bar through its read-out.
    bool hasPendingEdits() const;
    // What the fields hold now becomes the reference: nothing is pending.
    void forgetEdits();

    // ---- Diagnostics and commands ----
    // The ping button: background (light yellow at rest), caption, tooltip.
    void setPingColour(const QColor& colour);
    QColor pingColour() const;
    void setPingCaption(const QString& caption);
    void setPingToolTip(const QString& toolTip);
    // The buttons as the operator's click: nothing while one is disabled
    // (statistics with no element shown, adjustment unless a decoder with
    // SFN is shown).
    void clickPing();
    void clickGetStats();
    void clickAdjust();
    bool statisticsOffered() const;
    bool adjustOffered() const;

    // ---- Audio level ----
    // A level datagram arrived: the meter shows its peak while polling runs,
    // otherwise it is blanked.
    void ShowAudioLevel(const QByteArray& datagram);
    // The peak of the last level datagram (0 to 8388607).
    qint32 audioPeak() const;
    // Width of the level bar in twips (0 .. 2100 at full scale).
    void setVUMeterWidthTwips(int twips);
    int vuMeterWidthTwips() const;
    // Off (the default): showing an element hides the level check box, so
    // the meter cannot be started. On: it stays visible for a shown element.
    void setLevelControlOffered(bool offered);
    bool levelControlOffered() const;

Q_SIGNALS:
    void pingClicked();
    void getStatsClicked();
    void adjustClicked();
    void pendingEditsChanged(bool pending);
    // Level polling runs (ticked, every interval of the slider): ask the
    // shown element for its level.
    void levelRequested();

private:
    const PropertyControls& controls() const;
    LevelMeter& meter() const;
    void connectHandlers();
    void cmbAudioTX_Click();
    QString sectionOfShown() const;
    QString readKey(const QString& section, const QString& key, const QString& def) const;

    IniStore& m_store;
    QString m_dbPath;
    Prompt& m_prompt;
    AppFlags& m_flags;
    QLocale m_locale;
    PropertiesForm* m_properties = nullptr;
    DiagnosticsFrame* m_diagnostics = nullptr;
    std::unique_ptr<ControlSetter> m_setter;
    std::unique_ptr<BarReadouts> m_readouts;
    std::unique_ptr<RoleForms> m_forms;
    FieldChecks* m_checks = nullptr;
    PendingEdits* m_edits = nullptr;
    // Set while showElement fills the fields: the section being shown.
    bool m_loading = false;
    QString m_loadingSection;
};

} // namespace orvalink
