#include "app/MainStatusBar.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

namespace orvalink {

MainStatusBar::MainStatusBar(QStatusBar& bar) : QObject(&bar)
{
    bar.setObjectName(QStringLiteral("statusBar"));
    bar.setSizeGripEnabled(true);
    auto label = [&bar](const char* name) {
        auto* l = new QLabel(&bar);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    lblStatusOutcome = label("lblStatusOutcome");
    lblStatusInterface = label("lblStatusInterface");
    lblStatusDatabase = label("lblStatusDatabase");
    lblStatusCount = label("lblStatusCount");
    lblStatusAlarms = label("lblStatusAlarms");
    bar.addWidget(lblStatusOutcome, 1);
    bar.addPermanentWidget(lblStatusAlarms);
    bar.addPermanentWidget(lblStatusInterface);
    bar.addPermanentWidget(lblStatusDatabase);
    bar.addPermanentWidget(lblStatusCount);
    setCount(0);
    setAlarmCount(0);
}

void MainStatusBar::setAlarmCount(int alarms)
{
    lblStatusAlarms->setText(alarms == 0   ? QStringLiteral("No active alarm")
                             : alarms == 1 ? QStringLiteral("1 active alarm")
                                           : QStringLiteral("%1 active alarms").arg(alarms));
    lblStatusAlarms->setStyleSheet(alarms == 0 ? QString()
                                               : QStringLiteral("color: rgb(200, 0, 0);"));
}

void MainStatusBar::setInterface(const QString& address)
{
    lblStatusInterface->setText(QStringLiteral("Interface: ") + address);
}

void MainStatusBar::setDatabase(const QString& path)
{
    const QFileInfo file(path);
    lblStatusDatabase->setText(file.fileName());
    // The whole path, also when the program was given a relative one.
    lblStatusDatabase->setToolTip(QDir::toNativeSeparators(file.absoluteFilePath()));
}

void MainStatusBar::setCount(int elements)
{
    lblStatusCount->setText(elements == 1 ? QStringLiteral("1 element")
                                          : QStringLiteral("%1 elements").arg(elements));
}

void MainStatusBar::showOutcome(const QString& text)
{
    lblStatusOutcome->setText(text);
}

QString MainStatusBar::outcome() const
{
    return lblStatusOutcome->text();
}

} // namespace orvalink
