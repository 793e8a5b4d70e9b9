#pragma once
// The controls of an element panel, found by their names as any test finds
// a control.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

namespace orvalink::testing {

// The controls of an element panel (or of a window holding one), each found
// by its object name; a name that is missing or held twice ends the test
// run, since every test of the panel relies on them.
struct PanelControls {
    explicit PanelControls(const QObject& holder) : m_holder(holder) {}

    template <typename T> T* find(const char* name) const
    {
        const QList<T*> found = m_holder.findChildren<T*>(QString::fromLatin1(name));
        if (found.size() != 1)
            qFatal("PanelControls: %lld controls named %s", qlonglong(found.size()), name);
        return found.constFirst();
    }

private:
    const QObject& m_holder;

public:
    QLabel* lblElementType = find<QLabel>("lblElementType");
    QLabel* lblElementMAC = find<QLabel>("lblElementMAC");
    QLabel* lblVersion = find<QLabel>("lblVersion");
    QLabel* lblSerialNumber = find<QLabel>("lblSerialNumber");
    QLineEdit* txtElementName = find<QLineEdit>("txtElementName");
    QLineEdit* txtElementIP = find<QLineEdit>("txtElementIP");
    QLineEdit* txtElementGW = find<QLineEdit>("txtElementGW");
    QLineEdit* txtElementMask = find<QLineEdit>("txtElementMask");
    QLineEdit* txtRemoteIP = find<QLineEdit>("txtRemoteIP");
    QLineEdit* txtVLAN_Audio = find<QLineEdit>("txtVLAN_Audio");
    QLineEdit* txtVLAN_OM = find<QLineEdit>("txtVLAN_OM");
    QLabel* Label7 = find<QLabel>("Label7");
    QLabel* Label9 = find<QLabel>("Label9");
    QComboBox* cmbAudioType = find<QComboBox>("cmbAudioType");
    QComboBox* cmbAudioInput = find<QComboBox>("cmbAudioInput");
    QComboBox* cmbAudioTX = find<QComboBox>("cmbAudioTX");
    QComboBox* cmbEncoders = find<QComboBox>("cmbEncoders");
    QComboBox* cmbSilDetMode = find<QComboBox>("cmbSilDetMode");
    QScrollBar* scrlAtten = find<QScrollBar>("scrlAtten");
    QScrollBar* scrlBuffer = find<QScrollBar>("scrlBuffer");
    QScrollBar* scrlSilDetLevel = find<QScrollBar>("scrlSilDetLevel");
    QScrollBar* scrlSilDetTime = find<QScrollBar>("scrlSilDetTime");
    QLabel* lblAttenDB = find<QLabel>("lblAttenDB");
    QLabel* lblLatency = find<QLabel>("lblLatency");
    QLabel* lblSilDetLevel = find<QLabel>("lblSilDetLevel");
    QLabel* lblSilDetTime = find<QLabel>("lblSilDetTime");
    QCheckBox* chkSFNEnabled = find<QCheckBox>("chkSFNEnabled");
    QCheckBox* chkLowLatency = find<QCheckBox>("chkLowLatency");
    QPushButton* cmdAdjust = find<QPushButton>("cmdAdjust");
    QLabel* lblTxType = find<QLabel>("lblTxType");
    QLabel* lblBufferSize = find<QLabel>("lblBufferSize");
    QLabel* lblThreshold = find<QLabel>("lblThreshold");
    QLabel* lblTimeout = find<QLabel>("lblTimeout");
    QLabel* lblAudioRouting = find<QLabel>("lblAudioRouting");
    QPushButton* cmdPing = find<QPushButton>("cmdPing");
    QPushButton* cmdGetStats = find<QPushButton>("cmdGetStats");
    QCheckBox* chkGetVolume = find<QCheckBox>("chkGetVolume");
    QFrame* VUMeter = find<QFrame>("VUMeter");
    QLabel* lblVolume = find<QLabel>("lblVolume");
    QSlider* Slider1 = find<QSlider>("Slider1");
    QTimer* tmrVolume = find<QTimer>("tmrVolume");
};

} // namespace orvalink::testing
