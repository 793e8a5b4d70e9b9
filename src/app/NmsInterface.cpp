#include "app/NmsInterface.h"

#include "core/InterfaceLister.h"
#include "core/UserSettings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace orvalink {

NmsInterface::NmsInterface(InterfaceLister& lister, UserSettings& settings, QWidget* parent)
    : QObject(parent), m_lister(lister), m_settings(settings)
{
    setObjectName(QStringLiteral("nmsInterface"));
    auto* lblNMSInterface = new QLabel(QStringLiteral("NMS interface:"), parent);
    lblNMSInterface->setObjectName(QStringLiteral("lblNMSInterface"));
    cmbNMSIPAddr = new QComboBox(parent);
    cmbNMSIPAddr->setObjectName(QStringLiteral("cmbNMSIPAddr"));
    cmbNMSIPAddr->setMinimumContentsLength(15);
    lblNMSInterface->setBuddy(cmbNMSIPAddr);
    m_row = new QHBoxLayout;
    m_row->addWidget(lblNMSInterface);
    m_row->addWidget(cmbNMSIPAddr, 1);
    connect(cmbNMSIPAddr, &QComboBox::currentIndexChanged, this,
            [this](int) { cmbNMSIPAddr_Click(); });
}

QStringList NmsInterface::GetLocalIPv4Addresses()
{
    return m_lister.addresses();
}

void NmsInterface::FillNMSInterfaceList(const QString& current)
{
    const QStringList addresses = GetLocalIPv4Addresses();
    int position = 0;
    {
        // Filling must not run the choice for each entry on its way.
        const QSignalBlocker blocker(cmbNMSIPAddr);
        const int base = cmbNMSIPAddr->count();
        for (int i = 0; i < addresses.size(); ++i) {
            cmbNMSIPAddr->addItem(addresses.at(i));
            if (addresses.at(i) == current)
                position = base + i;
        }
        if (cmbNMSIPAddr->count() == 0)
            return;
        cmbNMSIPAddr->setCurrentIndex(position);
    }
    cmbNMSIPAddr_Click();
}

void NmsInterface::cmbNMSIPAddr_Click()
{
    if (cmbNMSIPAddr->currentIndex() < 0)
        return;
    const QString address = cmbNMSIPAddr->currentText();
    if (address == m_settings.nmsIpAddress())
        return;
    Q_EMIT chosen(address);
    m_settings.setNmsIpAddress(address);
}

} // namespace orvalink
