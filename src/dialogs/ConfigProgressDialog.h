#pragma once
// "Please wait...": the progress of a configuration command on one or many
// elements (export, export all, apply to selected), one row per element
// with its state and outcome and a total at the end. The window runs its
// job once it is shown; it cannot be closed while the job runs. With
// closeWhenDone it closes itself when the job has ended.

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

namespace Ui {
class ConfigProgressDialog;
}

namespace orvalink {

class ConfigProgressDialog final : public QDialog {
    Q_OBJECT
public:
    using Job = std::function<void(ConfigProgressDialog&)>;
    ConfigProgressDialog(const QString& title, const QString& status, const QStringList& elements,
                         Job job, QWidget* parent = nullptr);
    ~ConfigProgressDialog() override;

    void setCloseWhenDone(bool close) { m_closeWhenDone = close; }
    // Row of element i (in the order given).
    void setRow(int row, const QString& state, const QString& outcome);
    void setTotal(const QString& text);
    bool isRunning() const { return m_running; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void run();
    void resizeColumns();

    std::unique_ptr<Ui::ConfigProgressDialog> ui;
    Job m_job;
    bool m_started = false;
    bool m_running = false;
    bool m_closeWhenDone = false;
};

} // namespace orvalink
