#pragma once
// "Apply to selected elements": the parameters and values to send to every
// selected element (the KEY=VALUE pairs of `orvalink-cli apply --all`). The
// pairs are checked by the caller's check when Apply is pressed; a refusal
// is shown in the window, which stays open.

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

namespace Ui {
class ApplySelectedDialog;
}

namespace orvalink {

class ApplySelectedDialog final : public QDialog {
    Q_OBJECT
public:
    using Check = std::function<QString(const QStringList& pairs)>;
    ApplySelectedDialog(const QStringList& keys, const QString& elements, Check check,
                        QWidget* parent = nullptr);
    ~ApplySelectedDialog() override;

    // KEY=VALUE, one per key, in the order added.
    QStringList pairs() const;

private:
    void cmdAdd_Click();
    void cmdApply_Click();
    void updateButtons();

    std::unique_ptr<Ui::ApplySelectedDialog> ui;
    Check m_check;
};

} // namespace orvalink
