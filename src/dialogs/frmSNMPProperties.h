#pragma once
// "Device SNMP properties": the shown element's agent settings, trap
// destination and communities from nms.ini, and Modify, which writes the
// changed ones to the element. The writing is a SnmpPropertiesOperation;
// this window keeps the field checks and shows the outcome.

#include "core/Timings.h"
#include "devops/ElementView.h"

#include <QDialog>
#include <array>
#include <memory>

class QLineEdit;
class QTimer;

namespace Ui {
class frmSNMPProperties;
}

namespace orvalink {

class SnmpPropertiesOperation;

class frmSNMPProperties final : public QDialog {
    Q_OBJECT
public:
    frmSNMPProperties(SnmpPropertiesOperation& properties, const ElementView& view,
                      const Timings& timings, QWidget* parent = nullptr);
    ~frmSNMPProperties() override;

protected:
    void reject() override;

private:
    void Form_Load();
    void addressChange(int field);
    void communityChange(int field);
    void UpdateModifyButton();
    void lblStatus_Change();
    void Timer1_Timer();
    void cmdModify_Click();
    void cmdClose_Click();
    void showStatus(const QString& text, bool ok);

    std::unique_ptr<Ui::frmSNMPProperties> ui;
    SnmpPropertiesOperation& m_properties;
    ShownElement m_element;
    QTimer* Timer1;
    std::array<QLineEdit*, 7> m_fields{};
    std::array<bool, 7> m_valid{}; // one flag per field, false at start
};

} // namespace orvalink
