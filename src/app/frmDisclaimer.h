#pragma once
// The start-up notice. Each click on the check box stores its state at once.

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace orvalink {

class UserSettings;

class frmDisclaimer : public QDialog {
    Q_OBJECT
public:
    explicit frmDisclaimer(UserSettings& settings, QWidget* parent = nullptr);

    QLabel* lblHeading = nullptr;
    QLabel* lblText1 = nullptr;
    QLabel* lblText2 = nullptr;
    QCheckBox* chkAgree = nullptr;
    QPushButton* cmdClose = nullptr;

public Q_SLOTS:
    void chkAgree_Click();
    void cmdClose_Click();

protected:
    // Centred on the screen: at start-up the main window it belongs to is
    // not shown yet, so centring on it would put the notice anywhere.
    void showEvent(QShowEvent* event) override;

private:
    UserSettings& m_settings;
};

} // namespace orvalink
