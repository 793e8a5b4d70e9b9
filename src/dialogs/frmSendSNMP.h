#pragma once
// "Please wait...": the progress window of an apply. It opens, starts the
// run from Timer1, shows the count of confirmed parameters from Timer2, and
// closes itself when the run has ended and the element is shown again.

#include "core/Timings.h"

#include <QDialog>
#include <memory>

class QTimer;

namespace Ui {
class frmSendSNMP;
}

namespace orvalink {

class ApplyOperation;
class ElementView;

class frmSendSNMP final : public QDialog {
    Q_OBJECT
public:
    frmSendSNMP(ApplyOperation& apply, ElementView& view, const Timings& timings,
                QWidget* parent = nullptr);
    ~frmSendSNMP() override;

protected:
    void reject() override;

private:
    void Timer1_Timer();
    void Timer2_Timer();
    void Remote_Save_SNMP();

    std::unique_ptr<Ui::frmSendSNMP> ui;
    ApplyOperation& m_apply;
    ElementView& m_view;
    QTimer* Timer1;
    QTimer* Timer2;
    int m_shownSucceeded = 0;
};

} // namespace orvalink
