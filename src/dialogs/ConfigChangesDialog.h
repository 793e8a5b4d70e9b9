#pragma once
// "Import configuration": what a backup file would change on the element,
// one row per parameter (the element's value and the file's, in words with
// their units), shown before anything is sent. Accepted: send them.

#include <QDialog>
#include <QList>
#include <QStringList>

#include <memory>

namespace Ui {
class ConfigChangesDialog;
}

namespace orvalink {

class ConfigChangesDialog final : public QDialog {
    Q_OBJECT
public:
    // rows: parameter, element's value, file's value.
    ConfigChangesDialog(const QString& element, const QList<QStringList>& rows,
                        QWidget* parent = nullptr);
    ~ConfigChangesDialog() override;

private:
    std::unique_ptr<Ui::ConfigChangesDialog> ui;
};

} // namespace orvalink
