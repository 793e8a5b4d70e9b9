#include "panel/PendingEdits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

namespace orvalink {

namespace {

QVariant fieldValue(const QWidget* w)
{
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentIndex();
    if (auto* b = qobject_cast<const QScrollBar*>(w))
        return b->value();
    if (auto* t = qobject_cast<const QCheckBox*>(w))
        return t->isChecked();
    return {};
}

} // namespace

PendingEdits::PendingEdits(const QList<QWidget*>& fields,
                           const QHash<const QWidget*, QWidget*>& markOn, QObject* parent)
    : QObject(parent), m_fields(fields), m_markOn(markOn)
{
    for (QWidget* w : m_fields) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            connect(e, &QLineEdit::textChanged, this, &PendingEdits::mark);
        else if (auto* c = qobject_cast<QComboBox*>(w))
            connect(c, &QComboBox::currentIndexChanged, this, &PendingEdits::mark);
        else if (auto* b = qobject_cast<QScrollBar*>(w))
            connect(b, &QScrollBar::valueChanged, this, &PendingEdits::mark);
        else if (auto* t = qobject_cast<QCheckBox*>(w))
            connect(t, &QCheckBox::toggled, this, &PendingEdits::mark);
    }
}

void PendingEdits::forget()
{
    m_shownValues.clear();
    for (QWidget* w : m_fields)
        m_shownValues.insert(w, fieldValue(w));
    mark();
}

void PendingEdits::drop()
{
    m_shownValues.clear();
    mark();
}

void PendingEdits::mark()
{
    bool pending = false;
    for (QWidget* w : m_fields) {
        const bool edited =
            !m_shownValues.isEmpty() && !w->isHidden() && m_shownValues.value(w) != fieldValue(w);
        pending = pending || edited;
        QWidget* marked = m_markOn.value(w, w);
        if (marked->font().bold() != edited) {
            QFont font = marked->font();
            font.setBold(edited);
            marked->setFont(font);
        }
    }
    if (pending != m_pending) {
        m_pending = pending;
        Q_EMIT pendingChanged(pending);
    }
}

} // namespace orvalink
