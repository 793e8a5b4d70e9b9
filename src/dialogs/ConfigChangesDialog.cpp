#include "dialogs/ConfigChangesDialog.h"

#include "ui_ConfigChangesDialog.h"

namespace orvalink {

ConfigChangesDialog::ConfigChangesDialog(const QString& element, const QList<QStringList>& rows,
                                         QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ConfigChangesDialog>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->lblElement->setText(
        QStringLiteral("These %1 changes will be sent to %2:").arg(rows.size()).arg(element));
    ui->tblChanges->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < 3; ++c)
            ui->tblChanges->setItem(r, c, new QTableWidgetItem(rows.at(r).value(c)));
    }
    ui->tblChanges->resizeColumnsToContents();
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

ConfigChangesDialog::~ConfigChangesDialog() = default;

} // namespace orvalink
