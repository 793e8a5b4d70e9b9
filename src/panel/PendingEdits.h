#pragma once
// The edits not yet applied: an editing field whose value differs from what
// it held when the element was shown (or at the last forget()) is an edit,
// drawn bold; a scroll bar shows its mark on its read-out. A field the form
// hides (the audio lists of a decoder, the attenuation of an encoder) is
// none the operator can have edited.

#include <QHash>
#include <QList>
#include <QObject>
#include <QVariant>

class QWidget;

namespace orvalink {

class PendingEdits final : public QObject {
    Q_OBJECT
public:
    // fields: the editing fields (line edits, lists, scroll bars, check
    // boxes); markOn: where a field's mark is drawn when not on itself.
    PendingEdits(const QList<QWidget*>& fields, const QHash<const QWidget*, QWidget*>& markOn,
                 QObject* parent);

    bool hasPending() const { return m_pending; }
    // What the fields hold now becomes the reference: nothing is pending.
    void forget();
    // No reference (no element shown, or one being filled in): nothing
    // counts as an edit until the next forget().
    void drop();

Q_SIGNALS:
    void pendingChanged(bool pending);

private:
    void mark();

    QList<QWidget*> m_fields;
    QHash<const QWidget*, QWidget*> m_markOn;
    // What each field held when the element was shown; empty while there is
    // no reference.
    QHash<const QWidget*, QVariant> m_shownValues;
    bool m_pending = false;
};

} // namespace orvalink
