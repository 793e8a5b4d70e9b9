#include "panel/Fields.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>

namespace orvalink::fields {

namespace {

class SelectAllOnFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            if (auto* field = qobject_cast<QLineEdit*>(watched)) {
                field->selectAll();
                // A mouse click places the cursor after the focus arrives;
                // select again once it has.
                QTimer::singleShot(0, field, [field] {
                    if (field->hasFocus())
                        field->selectAll();
                });
            }
        }
        return false;
    }
};

} // namespace

void markInvalid(QLineEdit* field, bool invalid)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base,
                     invalid ? kLightRed : QApplication::palette(field).color(QPalette::Base));
    field->setPalette(palette);
    field->setProperty("invalid", invalid);
}

bool isMarkedInvalid(const QLineEdit* field)
{
    return field->property("invalid").toBool();
}

void selectAllOnFocus(QLineEdit* field)
{
    field->installEventFilter(new SelectAllOnFocus(field));
}

} // namespace orvalink::fields
