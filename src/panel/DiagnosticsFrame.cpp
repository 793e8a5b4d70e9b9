#include "panel/DiagnosticsFrame.h"
#include "panel/ElementPanelParts.h"
#include "panel/LevelMeter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>

namespace orvalink {

using namespace panelparts;

DiagnosticsFrame::DiagnosticsFrame(QWidget* panel, const QLocale& locale)
    : QGroupBox(QStringLiteral("Diagnostics:"), panel)
{
    setObjectName(QStringLiteral("frmDiagnostics"));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    QWidget* f = this;
    int row = 0;

    cmdPing = new QPushButton(QStringLiteral("<Click to test>"), f);
    cmdPing->setObjectName(QStringLiteral("cmdPing"));
    cmdPing->setToolTip(QStringLiteral("Test ping from NMS"));
    cmdPing->setMinimumWidth(
        panel->fontMetrics().horizontalAdvance(QStringLiteral("Destination Host Unreachable")) +
        24);
    setPingColour(kLightYellow);
    grid->addWidget(caption(QStringLiteral("Ping:"), f), row, 0);
    grid->addWidget(cmdPing, row++, 1, 1, 2, Qt::AlignLeft);

    cmdGetStats = new QPushButton(QStringLiteral("Get..."), f);
    cmdGetStats->setObjectName(QStringLiteral("cmdGetStats"));
    cmdGetStats->setToolTip(QStringLiteral("Fetch statistical counters"));
    cmdGetStats->setEnabled(false);
    grid->addWidget(caption(QStringLiteral("Statistics:"), f), row, 0);
    grid->addWidget(cmdGetStats, row++, 1, 1, 2, Qt::AlignLeft);

    m_meter = new LevelMeter(f, locale);
    grid->addWidget(caption(QStringLiteral("Audio level:"), f), row, 0);
    grid->addLayout(m_meter->levelRow(), row++, 1, 1, 2);
    grid->addWidget(m_meter->intervalSlider(), row++, 1, 1, 2, Qt::AlignLeft);

    grid->setColumnMinimumWidth(1, 260);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);

    connect(cmdPing, &QPushButton::clicked, this, &DiagnosticsFrame::pingClicked);
    connect(cmdGetStats, &QPushButton::clicked, this, &DiagnosticsFrame::getStatsClicked);
}

void DiagnosticsFrame::setPingColour(const QColor& colour)
{
    m_pingColour = colour;
    cmdPing->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                          " border: 1px solid #808080; border-radius: 2px;"
                                          " padding: 3px 10px; }"
                                          "QPushButton:pressed { border-style: inset; }")
                               .arg(colour.name()));
}

void DiagnosticsFrame::setPingCaption(const QString& caption)
{
    cmdPing->setText(caption);
}

void DiagnosticsFrame::setPingToolTip(const QString& toolTip)
{
    cmdPing->setToolTip(toolTip);
}

void DiagnosticsFrame::clickPing()
{
    cmdPing->click();
}

void DiagnosticsFrame::setStatisticsOffered(bool offered)
{
    cmdGetStats->setEnabled(offered);
}

bool DiagnosticsFrame::statisticsOffered() const
{
    return cmdGetStats->isEnabled();
}

void DiagnosticsFrame::clickGetStats()
{
    cmdGetStats->click();
}

} // namespace orvalink
