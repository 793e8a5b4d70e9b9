#include "panel/Fields.h"

#include "store/ElementDatabase.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>
#include <QWheelEvent>

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

// Passes the wheel on to the parent while the control has no focus.
class WheelOnlyWhenFocused : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel) {
            auto* control = qobject_cast<QWidget*>(watched);
            if (control && !control->hasFocus()) {
                // Not accepted: the application offers it to the parent.
                event->ignore();
                return true;
            }
        }
        return false;
    }
};

const char* const kLimitProperty = "fieldLimit";

int limitOf(const QLineEdit* field)
{
    const QVariant limit = field->property(kLimitProperty);
    return limit.isValid() ? limit.toInt() : field->maxLength();
}

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

void wheelOnlyWhenFocused(QWidget* control)
{
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new WheelOnlyWhenFocused(control));
}

void showStored(QLineEdit* field, const QString& text)
{
    if (!field->property(kLimitProperty).isValid()) {
        field->setProperty(kLimitProperty, field->maxLength());
        QObject::connect(field, &QLineEdit::textChanged, field, [field] {
            const int limit = limitOf(field);
            if (field->text().length() <= limit && field->maxLength() != limit)
                field->setMaxLength(limit);
        });
    }
    const int limit = limitOf(field);
    field->setMaxLength(qMax(limit, int(text.length())));
    field->setText(text);
}

bool exceedsLimit(const QLineEdit* field)
{
    return field->text().length() > limitOf(field);
}

bool checkAddress(QLineEdit* field)
{
    const QString text = field->text();
    const bool valid = !exceedsLimit(field) && (text.isEmpty() || IsValidIPAddress(text));
    markInvalid(field, !valid);
    return valid;
}

bool checkCommunity(QLineEdit* field)
{
    const bool valid = field->text().length() == kCommunityLength;
    markInvalid(field, !valid);
    return valid;
}

} // namespace orvalink::fields
