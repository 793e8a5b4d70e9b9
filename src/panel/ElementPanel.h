#pragma once
// The element panel: the stored parameters of one network element, laid out
// by its role (ENCODER or DECODER), with the editors' read-outs and checks,
// and the diagnostics frame (ping, statistics, audio level).
//
// The panel reads the element database at the moment an element is shown and
// keeps no copy of it: what the controls hold is what the operator edits, and
// applying a configuration compares the controls with the file.
//
// Every value set from code runs the same handler as an operator's edit, also
// when the value does not change, so read-outs, colours and captions always
// follow what is shown.
//
// tmrVolume (level polling) is owned by the panel, stopped, 50 ms; the main
// window connects its timeout to the level request and may change the
// interval. Slider1 sets the interval when the operator moves it.

#include <QColor>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QVariant>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;
class QTimer;

namespace orvalink {

class IniStore;
class Prompt;
struct AppFlags;

class ElementPanel : public QWidget {
    Q_OBJECT
public:
    enum class ShowMode {
        NodeClick,       // the operator clicked a tree node
        SelectedElement, // re-shown after an apply-configuration run
    };

    ElementPanel(IniStore& store, const QString& dbPath, Prompt& prompt, AppFlags& flags,
                 QWidget* parent = nullptr);
    ~ElementPanel() override;

    // Shows the element of a tree node (key: colon-form MAC, text: node text).
    void showElement(const QString& nodeKey, const QString& nodeText, ShowMode mode);
    // Back to the cleared state: "-" captions, empty address fields, and no
    // setting of the last element left in a tick, list, bar or read-out.
    void ClearElementPanel();
    // Maximum of scrlBuffer chosen at start-up: 22, 23 (GPS) or 44 (LL).
    void setBufferMaximum(int max);
    // Switches the layout to the caption of lblElementType.
    void lblElementType_Change();

    // Decimal separator of the read-outs; the system locale by default.
    void setReadoutLocale(const QLocale& locale);
    QLocale readoutLocale() const { return m_locale; }

    // Width of the level bar in twips (0 .. 2100 at full scale).
    void setVUMeterWidthTwips(int twips);
    int vuMeterWidthTwips() const { return m_vuTwips; }

    // Background of the ping button (light yellow at rest).
    void setPingColour(const QColor& colour);
    QColor pingColour() const { return m_pingColour; }

    // The database path the panel reads.
    QString databasePath() const { return m_dbPath; }

    // Handlers, public so that callers and tests can run them as the old
    // event handlers were run.
    void txtElementIP_Change();
    void txtElementMask_Change();
    void txtElementName_Change();
    void txtElementGW_Change();
    void txtRemoteIP_Change();
    void scrlAtten_Change();
    void scrlBuffer_Change();
    void scrlSilDetLevel_Change();
    void scrlSilDetTime_Change();
    void cmbAudioTX_Click();
    void cmbSilDetMode_Click();
    void chkLowLatency_Click();
    void Slider1_Click();
    // Ticked: level polling runs (tmrVolume); cleared: it stops and the
    // meter is blanked at once.
    void chkGetVolume_Click();

    // A level datagram arrived: the bar and the label show its peak while
    // polling runs; otherwise the meter is blanked.
    void ShowAudioLevel(const QByteArray& datagram);
    // The peak of the last level datagram (0 to 8388607).
    qint32 audioPeak() const { return m_audioPeak; }
    // Off (the default): showing an element hides the level check box, so
    // the meter cannot be started. On: it stays visible for a shown element.
    void setLevelControlOffered(bool offered);
    bool levelControlOffered() const { return m_levelControlOffered; }
    void txtElementName_LostFocus();

    // ---- Edits not yet applied ----
    // True when an editing field differs from what it held when the element
    // was shown (or at the last forgetEdits()); such fields are drawn bold,
    // a scroll bar through its read-out.
    bool hasPendingEdits() const { return m_pendingEdits; }
    // What the fields hold now becomes the reference: nothing is pending.
    void forgetEdits();

    // ---- Element properties ----
    QGroupBox* frmProperties = nullptr;
    QLabel* lblElementType = nullptr;
    QLabel* lblElementMAC = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLineEdit* txtElementName = nullptr;
    QLineEdit* txtElementIP = nullptr;
    QLineEdit* txtElementGW = nullptr;
    QLineEdit* txtElementMask = nullptr;
    QLineEdit* txtRemoteIP = nullptr;
    QLineEdit* txtVLAN_Audio = nullptr;
    QLineEdit* txtVLAN_OM = nullptr;
    QLabel* Label7 = nullptr; // "Decoder IP:" / "Multicast IP:"
    QLabel* Label9 = nullptr; // "Audio source:" / "Audio atten:"
    QComboBox* cmbAudioType = nullptr;
    QComboBox* cmbAudioInput = nullptr;
    QComboBox* cmbAudioTX = nullptr;
    QComboBox* cmbEncoders = nullptr;
    QComboBox* cmbSilDetMode = nullptr;
    QScrollBar* scrlAtten = nullptr;
    QScrollBar* scrlBuffer = nullptr;
    QScrollBar* scrlSilDetLevel = nullptr;
    QScrollBar* scrlSilDetTime = nullptr;
    QLabel* lblAttenDB = nullptr;
    QLabel* lblLatency = nullptr;
    QLabel* lblSilDetLevel = nullptr;
    QLabel* lblSilDetTime = nullptr;
    QCheckBox* chkSFNEnabled = nullptr;
    QCheckBox* chkLowLatency = nullptr;
    QPushButton* cmdAdjust = nullptr;
    // Captions that the layout switch enables and disables.
    QLabel* lblTxType = nullptr;       // "TX type:"
    QLabel* lblBufferSize = nullptr;   // "Buffer size:"
    QLabel* lblThreshold = nullptr;    // "Threshold:"
    QLabel* lblTimeout = nullptr;      // "Timeout:"
    QLabel* lblAudioRouting = nullptr; // "Audio routing:"

    // ---- Diagnostics ----
    QGroupBox* frmDiagnostics = nullptr;
    QPushButton* cmdPing = nullptr;
    QPushButton* cmdGetStats = nullptr;
    QCheckBox* chkGetVolume = nullptr;
    QFrame* VUMeter = nullptr;
    QLabel* lblVolume = nullptr;
    QSlider* Slider1 = nullptr;
    QTimer* tmrVolume = nullptr;

Q_SIGNALS:
    void pingClicked();
    void getStatsClicked();
    void adjustClicked();
    void pendingEditsChanged(bool pending);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildProperties();
    void buildDiagnostics();
    void connectHandlers();
    void setElementType(const QString& caption);
    void setScroll(QScrollBar* bar, int value);
    void setListIndex(QComboBox* list, int index);
    void setTicked(QCheckBox* box, bool ticked);
    void setFieldText(QLineEdit* field, const QString& text);
    void colourAddress(QLineEdit* field);
    void refreshLatency();
    QString sectionOfShown() const;
    QString readKey(const QString& section, const QString& key, const QString& def) const;
    QList<QWidget*> editingFields() const;
    void trackEdits();
    void markEdits();

    IniStore& m_store;
    QString m_dbPath;
    Prompt& m_prompt;
    AppFlags& m_flags;
    QLocale m_locale;
    int m_vuTwips = 0;
    qint32 m_audioPeak = 0;
    bool m_levelControlOffered = false;
    QColor m_pingColour;
    // Set while showElement fills the fields: the section being shown.
    bool m_loading = false;
    QString m_loadingSection;
    // What each editing field held when the element was shown; empty while
    // no element is shown.
    QHash<const QWidget*, QVariant> m_shownValues;
    bool m_pendingEdits = false;
};

} // namespace orvalink
