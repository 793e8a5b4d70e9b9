#pragma once
// "Paging network...": shown while a discovery collects the elements'
// answers. The discovery itself is a DiscoveryOperation; the window starts
// it when it opens and closes itself when it has finished.

#include <QDialog>
#include <memory>

namespace Ui {
class frmPaging;
}

namespace orvalink {

class DiscoveryOperation;

class frmPaging final : public QDialog {
    Q_OBJECT
public:
    explicit frmPaging(DiscoveryOperation& discovery, QWidget* parent = nullptr);
    ~frmPaging() override;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void Form_Load();

    std::unique_ptr<Ui::frmPaging> ui;
    DiscoveryOperation& m_discovery;
    bool m_started = false;
};

} // namespace orvalink
