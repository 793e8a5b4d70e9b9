#include "dialogs/frmWaiting.h"

#include "ui_frmWaiting.h"

#include "remote/MacWait.h"

#include <QStyle>
#include <QTimer>

namespace orvalink {

frmWaiting::frmWaiting(MacWait& wait, const QString& UDP_Response_IP, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmWaiting>()), m_wait(wait),
      m_address(UDP_Response_IP)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->imgIcon->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
    connect(&m_wait, &MacWait::finished, this, [this] { QDialog::accept(); });
    // Closed by the operator: no MAC address, the reply is reported as such.
    connect(this, &QDialog::rejected, this, [this] {
        if (m_wait.isRunning())
            m_wait.timerGetMAC->stop();
    });
}

frmWaiting::~frmWaiting() = default;

void frmWaiting::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    QTimer::singleShot(0, this, &frmWaiting::Form_Load);
}

void frmWaiting::Form_Load()
{
    m_wait.start(m_address);
}

} // namespace orvalink
