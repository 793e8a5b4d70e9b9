#include "dialogs/ConfigProgressDialog.h"

#include "ui_ConfigProgressDialog.h"

#include <QHeaderView>
#include <QPointer>
#include <QTimer>

namespace orvalink {

ConfigProgressDialog::ConfigProgressDialog(const QString& title, const QString& status,
                                           const QStringList& elements, Job job, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ConfigProgressDialog>()), m_job(std::move(job))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(title);
    ui->lblStatus->setText(status);
    ui->tblProgress->setRowCount(int(elements.size()));
    for (int i = 0; i < elements.size(); ++i) {
        ui->tblProgress->setItem(i, 0, new QTableWidgetItem(elements.at(i)));
        ui->tblProgress->setItem(i, 1, new QTableWidgetItem(QStringLiteral("waiting")));
        ui->tblProgress->setItem(i, 2, new QTableWidgetItem());
    }
    resizeColumns();
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

ConfigProgressDialog::~ConfigProgressDialog() = default;

void ConfigProgressDialog::resizeColumns()
{
    // Element and state fit their texts; the outcome takes the rest.
    ui->tblProgress->resizeColumnToContents(0);
    ui->tblProgress->resizeColumnToContents(1);
}

void ConfigProgressDialog::setRow(int row, const QString& state, const QString& outcome)
{
    if (row < 0 || row >= ui->tblProgress->rowCount())
        return;
    ui->tblProgress->item(row, 1)->setText(state);
    ui->tblProgress->item(row, 2)->setText(outcome);
    ui->tblProgress->item(row, 2)->setToolTip(outcome);
}

void ConfigProgressDialog::setTotal(const QString& text)
{
    ui->lblTotal->setText(text);
}

void ConfigProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    QTimer::singleShot(0, this, &ConfigProgressDialog::run);
}

void ConfigProgressDialog::run()
{
    m_running = true;
    for (int i = 0; i < ui->tblProgress->rowCount(); ++i) {
        if (ui->tblProgress->item(i, 1)->text() == QLatin1String("waiting"))
            setRow(i, QStringLiteral("in progress"), QString());
    }
    QPointer<ConfigProgressDialog> self(this);
    if (m_job)
        m_job(*this);
    if (!self)
        return;
    m_running = false;
    resizeColumns();
    ui->lblStatus->setText(QStringLiteral("Finished."));
    ui->cmdClose->setEnabled(true);
    ui->cmdClose->setDefault(true);
    if (m_closeWhenDone)
        QDialog::accept();
}

void ConfigProgressDialog::reject()
{
    // The elements are being talked to; the window stays until the end.
    if (m_running || !m_started)
        return;
    QDialog::reject();
}

} // namespace orvalink
