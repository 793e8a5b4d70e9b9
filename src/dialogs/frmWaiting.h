#pragma once
// "Waiting remote response...": shown while the MAC address of a reply's
// sender is looked up, once a second. The look-up is a MacWait; the window
// starts it when it opens and closes itself when it has ended.

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class frmWaiting;
}

namespace orvalink {

class MacWait;

class frmWaiting final : public QDialog {
    Q_OBJECT
public:
    frmWaiting(MacWait& wait, const QString& UDP_Response_IP, QWidget* parent = nullptr);
    ~frmWaiting() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();

    std::unique_ptr<Ui::frmWaiting> ui;
    MacWait& m_wait;
    QString m_address;
    bool m_started = false;
};

} // namespace orvalink
