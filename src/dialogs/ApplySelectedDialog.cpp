#include "dialogs/ApplySelectedDialog.h"

#include "ui_ApplySelectedDialog.h"

namespace orvalink {

ApplySelectedDialog::ApplySelectedDialog(const QStringList& keys, const QString& elements,
                                         Check check, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ApplySelectedDialog>()), m_check(std::move(check))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->lblElements->setText(elements);
    ui->cmbKey->addItems(keys);
    ui->lblError->hide();
    connect(ui->cmdAdd, &QPushButton::clicked, this, &ApplySelectedDialog::cmdAdd_Click);
    connect(ui->txtValue, &QLineEdit::returnPressed, this, &ApplySelectedDialog::cmdAdd_Click);
    connect(ui->cmdRemove, &QPushButton::clicked, this, [this] {
        delete ui->lstPairs->currentItem();
        updateButtons();
    });
    connect(ui->lstPairs, &QListWidget::currentRowChanged, this,
            &ApplySelectedDialog::updateButtons);
    connect(ui->cmdApply, &QPushButton::clicked, this, &ApplySelectedDialog::cmdApply_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    updateButtons();
}

ApplySelectedDialog::~ApplySelectedDialog() = default;

QStringList ApplySelectedDialog::pairs() const
{
    QStringList out;
    for (int i = 0; i < ui->lstPairs->count(); ++i)
        out << ui->lstPairs->item(i)->text();
    return out;
}

void ApplySelectedDialog::cmdAdd_Click()
{
    const QString key = ui->cmbKey->currentText();
    if (key.isEmpty())
        return;
    const QString pair = key + QLatin1Char('=') + ui->txtValue->text();
    // One value per key: a second one replaces the first.
    for (int i = 0; i < ui->lstPairs->count(); ++i) {
        if (ui->lstPairs->item(i)->text().section(QLatin1Char('='), 0, 0) == key) {
            ui->lstPairs->item(i)->setText(pair);
            updateButtons();
            return;
        }
    }
    ui->lstPairs->addItem(pair);
    ui->txtValue->clear();
    updateButtons();
}

void ApplySelectedDialog::cmdApply_Click()
{
    const QString refusal = m_check ? m_check(pairs()) : QString();
    ui->lblError->setText(refusal);
    ui->lblError->setVisible(!refusal.isEmpty());
    if (refusal.isEmpty())
        accept();
}

void ApplySelectedDialog::updateButtons()
{
    ui->cmdApply->setEnabled(ui->lstPairs->count() > 0);
    ui->cmdRemove->setEnabled(ui->lstPairs->currentItem() != nullptr);
}

} // namespace orvalink
