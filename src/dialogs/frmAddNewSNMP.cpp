#include "dialogs/frmAddNewSNMP.h"

#include "ui_frmAddNewSNMP.h"

#include "devops/ProbeOperation.h"
#include "panel/Fields.h"
#include "store/ElementDatabase.h"

#include <QPointer>

namespace orvalink {

frmAddNewSNMP::frmAddNewSNMP(ProbeOperation& probe, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmAddNewSNMP>()), m_probe(probe)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    fields::selectAllOnFocus(ui->txtSNMPIpAddress);
    fields::selectAllOnFocus(ui->txtSNMPReadOnlyCommunity);

    connect(ui->txtSNMPIpAddress, &QLineEdit::textChanged, this,
            &frmAddNewSNMP::txtSNMPIpAddress_Change);
    connect(ui->txtSNMPReadOnlyCommunity, &QLineEdit::textChanged, this,
            &frmAddNewSNMP::txtSNMPReadOnlyCommunity_Change);
    connect(ui->cmdProbe, &QPushButton::clicked, this, &frmAddNewSNMP::cmdProbe_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmAddNewSNMP::cmdCancel_Click);
    connect(&m_probe, &ProbeOperation::progressChanged, ui->pgBar1, &QProgressBar::setValue);
    connect(&m_probe, &ProbeOperation::statusChanged, ui->lblStatus, &QLabel::setText);

    Form_Load();
}

frmAddNewSNMP::~frmAddNewSNMP() = default;

void frmAddNewSNMP::Form_Load()
{
    ui->fraProgress->hide();
    setHeightTwips(kClosedHeightTwips);
    m_addressValid = true;
    m_communityValid = true;
    UpdateProbeButton();
}

void frmAddNewSNMP::setHeightTwips(int twips)
{
    // Never smaller than what the shown frames need, whatever the font.
    layout()->activate();
    setFixedHeight(qMax(fields::twipsToPixels(twips), minimumSizeHint().height()));
}

void frmAddNewSNMP::txtSNMPIpAddress_Change()
{
    m_addressValid = fields::checkAddress(ui->txtSNMPIpAddress);
    UpdateProbeButton();
}

void frmAddNewSNMP::txtSNMPReadOnlyCommunity_Change()
{
    m_communityValid = fields::checkCommunity(ui->txtSNMPReadOnlyCommunity);
    UpdateProbeButton();
}

void frmAddNewSNMP::UpdateProbeButton()
{
    ui->cmdProbe->setEnabled(m_addressValid && m_communityValid && !m_probe.isRunning());
}

void frmAddNewSNMP::cmdProbe_Click()
{
    if (m_probe.isRunning())
        return;
    ui->cmdProbe->setEnabled(false);
    ui->fraProgress->show();
    setHeightTwips(kProbingHeightTwips);

    QPointer<frmAddNewSNMP> self(this);
    m_probe.run(ui->txtSNMPIpAddress->text(), ui->txtSNMPReadOnlyCommunity->text());
    if (!self)
        return;
    UpdateProbeButton();
    if (m_closeWhenDone)
        QDialog::reject();
}

void frmAddNewSNMP::cmdCancel_Click()
{
    reject();
}

void frmAddNewSNMP::reject()
{
    // Closing during a probe cancels it after its current exchange; the
    // window closes once it has ended, and nothing is written after that.
    // The title bar's close button comes here too: QDialog::closeEvent
    // rejects, and keeps the window while it stays visible.
    if (m_probe.isRunning()) {
        m_closeWhenDone = true;
        m_probe.cancel();
        return;
    }
    QDialog::reject();
}

} // namespace orvalink
