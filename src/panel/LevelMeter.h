#pragma once
// The audio level meter of the diagnostics frame: the switch chkGetVolume,
// the bar VUMeter in its trough, the read-out lblVolume, the polling interval
// Slider1 and the polling timer tmrVolume (stopped, 50 ms).
//
// Ticking chkGetVolume starts tmrVolume, and every tick asks the shown
// element for its level (levelRequested); clearing it stops the polling and
// blanks the meter at once. Slider1 sets the interval when the operator
// moves it.

#include <QObject>

class QCheckBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLocale;
class QSlider;
class QTimer;
class QWidget;

namespace orvalink {

class LevelMeter final : public QObject {
    Q_OBJECT
public:
    // Builds the controls in frame; the read-outs use locale's decimal
    // separator (the panel's, which outlives the meter).
    LevelMeter(QWidget* frame, const QLocale& locale);

    // Where the frame places them: the switch, the bar and the read-out in
    // one row, the interval slider under it.
    QHBoxLayout* levelRow() const { return m_row; }
    QSlider* intervalSlider() const { return Slider1; }

    // A level datagram arrived: the bar and the label show its peak while
    // polling runs; otherwise the meter is blanked.
    void ShowAudioLevel(const QByteArray& datagram);
    // The peak of the last level datagram (0 to 8388607).
    qint32 audioPeak() const { return m_audioPeak; }

    // Width of the bar in twips (0 .. 2100 at full scale).
    void setVUMeterWidthTwips(int twips);
    int vuMeterWidthTwips() const { return m_vuTwips; }

    // Off (the default): an element's form hides chkGetVolume, so the meter
    // cannot be started. elementShown: a form is shown now, and the box
    // follows the offer at once.
    void setOffered(bool offered, bool elementShown);
    bool offered() const { return m_offered; }

    // Clears chkGetVolume as a click would (nothing when it is clear).
    void untick();
    // No polling: the timer stopped, the box cleared, the meter blanked.
    void stop();
    // An element's form is shown: stopped, the box as offered, the bar
    // enabled or greyed.
    void showForm(bool barEnabled);

Q_SIGNALS:
    // A tick of tmrVolume: time to ask the shown element for its level.
    void levelRequested();

private:
    void chkGetVolume_Click();
    void Slider1_Click();

    const QLocale& m_locale;
    QCheckBox* chkGetVolume = nullptr;
    QFrame* VUMeter = nullptr;
    QLabel* lblVolume = nullptr;
    QSlider* Slider1 = nullptr;
    QTimer* tmrVolume = nullptr;
    QHBoxLayout* m_row = nullptr;
    int m_vuTwips = 0;
    qint32 m_audioPeak = 0;
    bool m_offered = false;
};

} // namespace orvalink
