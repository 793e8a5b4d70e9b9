#include "panel/ControlSetter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

namespace orvalink {

void ControlSetter::setHandler(const QObject* control, std::function<void()> handler)
{
    m_handlers.insert(control, std::move(handler));
}

void ControlSetter::runHandler(const QObject* control) const
{
    const auto handler = m_handlers.constFind(control);
    if (handler != m_handlers.constEnd())
        (*handler)();
}

void ControlSetter::setScroll(QScrollBar* bar, int value)
{
    value = qBound(bar->minimum(), value, bar->maximum());
    if (bar->value() != value)
        bar->setValue(value); // valueChanged runs the handler
    else
        runHandler(bar);
}

void ControlSetter::setListIndex(QComboBox* list, int index)
{
    if (index < -1 || index >= list->count())
        index = -1;
    if (list->currentIndex() != index)
        list->setCurrentIndex(index);
    else
        runHandler(list);
}

void ControlSetter::setTicked(QCheckBox* box, bool ticked)
{
    if (box->isChecked() != ticked)
        box->setChecked(ticked);
    else
        runHandler(box);
}

void ControlSetter::setFieldText(QLineEdit* field, const QString& text)
{
    if (field->text() != text)
        field->setText(text);
    else
        runHandler(field);
}

} // namespace orvalink
