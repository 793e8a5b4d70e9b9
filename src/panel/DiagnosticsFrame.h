#pragma once
// The frame "Diagnostics:": the ping button cmdPing, the statistics button
// cmdGetStats and the audio level meter (LevelMeter). The buttons only
// signal; the main window runs the ping and opens the statistics.

#include <QColor>
#include <QGroupBox>

class QLocale;
class QPushButton;

namespace orvalink {

class LevelMeter;

class DiagnosticsFrame final : public QGroupBox {
    Q_OBJECT
public:
    // panel: the element panel, whose font measures the buttons and the
    // level read-out; locale: its read-outs' decimal separator.
    DiagnosticsFrame(QWidget* panel, const QLocale& locale);

    LevelMeter& levelMeter() const { return *m_meter; }

    // The ping button: its background (light yellow at rest), caption and
    // tooltip.
    void setPingColour(const QColor& colour);
    QColor pingColour() const { return m_pingColour; }
    void setPingCaption(const QString& caption);
    void setPingToolTip(const QString& toolTip);
    // As the operator's click (nothing while it is disabled).
    void clickPing();

    // cmdGetStats is enabled while an element is shown.
    void setStatisticsOffered(bool offered);
    bool statisticsOffered() const;
    void clickGetStats();

Q_SIGNALS:
    void pingClicked();
    void getStatsClicked();

private:
    QPushButton* cmdPing = nullptr;
    QPushButton* cmdGetStats = nullptr;
    LevelMeter* m_meter = nullptr;
    QColor m_pingColour;
};

} // namespace orvalink
