#include "dialogs/frmPaging.h"

#include "ui_frmPaging.h"

#include "remote/DiscoveryOperation.h"

#include <QPointer>
#include <QStyle>
#include <QTimer>

namespace orvalink {

frmPaging::frmPaging(DiscoveryOperation& discovery, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmPaging>()), m_discovery(discovery)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    ui->imgIcon->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    connect(&m_discovery, &DiscoveryOperation::finished, this, [this] { QDialog::accept(); });
}

frmPaging::~frmPaging() = default;

void frmPaging::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // Once the window is up, so that its text shows during the collection.
    QTimer::singleShot(0, this, &frmPaging::Form_Load);
}

void frmPaging::Form_Load()
{
    // Anything but a started discovery has already finished (and closed
    // the window through finished()).
    m_discovery.start();
}

void frmPaging::reject()
{
    // The collection runs its three seconds; Escape does not cut it short.
    if (m_discovery.isRunning())
        return;
    QDialog::reject();
}

} // namespace orvalink
