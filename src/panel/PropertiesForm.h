#pragma once
// The frame "Element properties:": the ENCODER and DECODER forms in one grid,
// where the controls of the one form take the place of the other's without
// moving anything else. It builds and lays out the controls; the panel's
// other parts run their handlers.

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace orvalink {

// The controls of the properties frame under their own names, for the
// panel's parts (as a form's generated class holds them). Outside src/panel
// nothing reaches them.
struct PropertyControls {
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
    // Captions that the forms' switch enables and disables.
    QLabel* lblTxType = nullptr;       // "TX type:"
    QLabel* lblBufferSize = nullptr;   // "Buffer size:"
    QLabel* lblThreshold = nullptr;    // "Threshold:"
    QLabel* lblTimeout = nullptr;      // "Timeout:"
    QLabel* lblAudioRouting = nullptr; // "Audio routing:"
};

class PropertiesForm final : public QGroupBox {
    Q_OBJECT
public:
    // panel: the element panel, whose font measures the read-out column.
    explicit PropertiesForm(QWidget* panel);

    const PropertyControls& controls() const { return m_c; }

private:
    PropertyControls m_c;
};

} // namespace orvalink
