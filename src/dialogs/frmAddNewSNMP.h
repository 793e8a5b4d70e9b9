#pragma once
// "Add new element": the address and read community of a device, and the
// progress of its probe. The probe itself is a ProbeOperation; this window
// only shows it.

#include <QDialog>
#include <memory>

namespace Ui {
class frmAddNewSNMP;
}

namespace orvalink {

class ProbeOperation;

class frmAddNewSNMP final : public QDialog {
    Q_OBJECT
public:
    // Heights of the dialog in twips: before the first probe only the input
    // frame and the buttons show; a probe grows it to show the progress.
    static constexpr int kClosedHeightTwips = 2310;
    static constexpr int kProbingHeightTwips = 3780;

    explicit frmAddNewSNMP(ProbeOperation& probe, QWidget* parent = nullptr);
    ~frmAddNewSNMP() override;

protected:
    void reject() override;

private:
    void Form_Load();
    void txtSNMPIpAddress_Change();
    void txtSNMPReadOnlyCommunity_Change();
    void UpdateProbeButton();
    void cmdProbe_Click();
    void cmdCancel_Click();
    void setHeightTwips(int twips);

    std::unique_ptr<Ui::frmAddNewSNMP> ui;
    ProbeOperation& m_probe;
    bool m_addressValid = true;
    bool m_communityValid = true;
    // Close was asked for while a probe ran: close when it has ended.
    bool m_closeWhenDone = false;
};

} // namespace orvalink
