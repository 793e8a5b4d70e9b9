#include "app/frmDisclaimer.h"

#include "core/UserSettings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace orvalink {

frmDisclaimer::frmDisclaimer(UserSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("frmDisclaimer"));
    setWindowTitle(QStringLiteral("Orvalink NMS"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    lblHeading = new QLabel(QStringLiteral("IMPORTANT NOTICE!"), this);
    QFont heading = lblHeading->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    lblHeading->setFont(heading);
    lblHeading->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));

    lblText1 = new QLabel(
        QStringLiteral("Since NMS version 3.4.2, we made many significant changes. DO NOT use NMS "
                       "v.3.4.2 to manage Orvalink equipment with older firmware, or they will "
                       "become unusable."),
        this);
    lblText1->setWordWrap(true);

    lblText2 = new QLabel(
        QStringLiteral("If you are not sure which version your Orvalink equipment has, please "
                       "consult your local dealer, or contact our support team."),
        this);
    lblText2->setWordWrap(true);

    chkAgree = new QCheckBox(
        QStringLiteral(
            "I have read and understood all the above. Do not show this notification again."),
        this);
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblHeading);
    layout->addSpacing(6);
    layout->addWidget(lblText1);
    layout->addWidget(lblText2);
    layout->addSpacing(6);
    layout->addWidget(chkAgree);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    // clicked, not toggled: only the operator's clicks are stored.
    connect(chkAgree, &QCheckBox::clicked, this, &frmDisclaimer::chkAgree_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmDisclaimer::cmdClose_Click);
}

void frmDisclaimer::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* where = screen()) {
        QRect placed = geometry();
        placed.moveCenter(where->availableGeometry().center());
        move(placed.topLeft());
    }
}

void frmDisclaimer::chkAgree_Click()
{
    m_settings.setEula(chkAgree->isChecked());
}

void frmDisclaimer::cmdClose_Click()
{
    accept();
}

} // namespace orvalink
