#include "dialogs/frmSNMPProperties.h"

#include "ui_frmSNMPProperties.h"

#include "devops/SnmpPropertiesOperation.h"
#include "panel/Fields.h"
#include "store/ElementDatabase.h"

#include <QPointer>
#include <QTimer>

namespace orvalink {

namespace {
const QColor kFailedColour(255, 0, 0);
const QColor kSuccessColour(0, 192, 0);
// Fields 0 to 4 hold addresses, 5 and 6 communities.
constexpr int kFirstCommunity = 5;
} // namespace

frmSNMPProperties::frmSNMPProperties(SnmpPropertiesOperation& properties, const ElementView& view,
                                     const Timings& timings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmSNMPProperties>()), m_properties(properties),
      m_element(view.shownElement()), Timer1(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(timings.statusClearMs);
    m_fields = {ui->txtSNMPAgentIP,    ui->txtSNMPAgentMask, ui->txtSNMPAgentGW,
                ui->txtSNMPAgentDNS,   ui->txtSNMPTrapIP,    ui->txtSNMPROCommunity,
                ui->txtSNMPRWCommunity};
    for (int i = 0; i < int(m_fields.size()); ++i) {
        fields::selectAllOnFocus(m_fields[size_t(i)]);
        connect(m_fields[size_t(i)], &QLineEdit::textChanged, this, [this, i] {
            if (i < kFirstCommunity)
                addressChange(i);
            else
                communityChange(i);
        });
    }
    connect(Timer1, &QTimer::timeout, this, &frmSNMPProperties::Timer1_Timer);
    connect(ui->cmdModify, &QPushButton::clicked, this, &frmSNMPProperties::cmdModify_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmSNMPProperties::cmdClose_Click);
    connect(&m_properties, &SnmpPropertiesOperation::statusChanged, this,
            &frmSNMPProperties::showStatus);

    Form_Load();
}

frmSNMPProperties::~frmSNMPProperties() = default;

void frmSNMPProperties::Form_Load()
{
    setWindowTitle(m_element.nodeText);
    const SnmpPropertiesOperation::Settings s = m_properties.load(m_element.section);
    const QString texts[] = {s.agentIp, s.agentMask,   s.agentGw,    s.agentDns,
                             s.trapIp,  s.roCommunity, s.rwCommunity};
    for (int i = 0; i < int(m_fields.size()); ++i) {
        // A stored text longer than the field takes is shown whole and
        // marked invalid: Modify would otherwise send it cut.
        fields::showStored(m_fields[size_t(i)], texts[i]);
        // Filling counts as a change even when the text stays empty, so
        // every flag tells what the field holds.
        if (i < kFirstCommunity)
            addressChange(i);
        else
            communityChange(i);
    }
}

void frmSNMPProperties::addressChange(int field)
{
    m_valid[size_t(field)] = fields::checkAddress(m_fields[size_t(field)]);
    UpdateModifyButton();
}

void frmSNMPProperties::communityChange(int field)
{
    m_valid[size_t(field)] = fields::checkCommunity(m_fields[size_t(field)]);
    UpdateModifyButton();
}

void frmSNMPProperties::UpdateModifyButton()
{
    bool all = true;
    for (const bool v : m_valid)
        all &= v;
    ui->cmdModify->setEnabled(all && !m_properties.isRunning());
}

void frmSNMPProperties::showStatus(const QString& text, bool ok)
{
    QPalette p = ui->lblStatus->palette();
    p.setColor(QPalette::WindowText, ok ? kSuccessColour : kFailedColour);
    ui->lblStatus->setPalette(p);
    ui->lblStatus->setText(text);
    lblStatus_Change();
}

void frmSNMPProperties::lblStatus_Change()
{
    if (!ui->lblStatus->text().isEmpty())
        Timer1->start();
}

void frmSNMPProperties::Timer1_Timer()
{
    ui->lblStatus->clear();
    Timer1->stop();
}

void frmSNMPProperties::cmdModify_Click()
{
    if (m_properties.isRunning())
        return;
    ui->cmdModify->setEnabled(false);
    SnmpPropertiesOperation::Settings s;
    s.agentIp = ui->txtSNMPAgentIP->text();
    s.agentMask = ui->txtSNMPAgentMask->text();
    s.agentGw = ui->txtSNMPAgentGW->text();
    s.agentDns = ui->txtSNMPAgentDNS->text();
    s.trapIp = ui->txtSNMPTrapIP->text();
    s.roCommunity = ui->txtSNMPROCommunity->text();
    s.rwCommunity = ui->txtSNMPRWCommunity->text();
    QPointer<frmSNMPProperties> self(this);
    m_properties.modify(m_element.section, s);
    if (!self)
        return;
    UpdateModifyButton();
}

void frmSNMPProperties::cmdClose_Click()
{
    reject();
}

void frmSNMPProperties::reject()
{
    // A Modify runs to its end (its steps belong together); the window
    // stays until it has.
    if (m_properties.isRunning())
        return;
    QDialog::reject();
}

} // namespace orvalink
