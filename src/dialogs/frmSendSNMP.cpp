#include "dialogs/frmSendSNMP.h"

#include "ui_frmSendSNMP.h"

#include "devops/ApplyOperation.h"
#include "devops/ElementView.h"

#include <QPointer>
#include <QTimer>

namespace orvalink {

frmSendSNMP::frmSendSNMP(ApplyOperation& apply, ElementView& view, const Timings& timings,
                         QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmSendSNMP>()), m_apply(apply), m_view(view),
      Timer1(new QTimer(this)), Timer2(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer1->setInterval(timings.applyStartMs);
    Timer2->setInterval(timings.applyStatusMs);
    connect(Timer1, &QTimer::timeout, this, &frmSendSNMP::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmSendSNMP::Timer2_Timer);
    Timer1->start();
}

frmSendSNMP::~frmSendSNMP() = default;

void frmSendSNMP::Timer1_Timer()
{
    Timer1->stop();
    Timer2->start();
    Remote_Save_SNMP();
}

void frmSendSNMP::Timer2_Timer()
{
    if (m_apply.succeeded() == m_shownSucceeded)
        return;
    m_shownSucceeded = m_apply.succeeded();
    ui->lblStatus->setText(QStringLiteral("%1 parameter(s) successful").arg(m_shownSucceeded));
}

void frmSendSNMP::Remote_Save_SNMP()
{
    QPointer<frmSendSNMP> self(this);
    m_apply.run(m_view.shownElement(), m_view.editedValues());
    if (!self)
        return;
    Timer2->stop();
    m_view.showAgainFromDatabase();
    QDialog::accept();
}

void frmSendSNMP::reject()
{
    // The run ends by itself; until then the window stays (Esc does nothing).
    if (Timer1->isActive() || m_apply.isRunning())
        return;
    QDialog::reject();
}

} // namespace orvalink
