#pragma once
// Sets an editing control's value from code as the operator's edit sets it:
// the control's handler runs also when the value does not change, so that
// read-outs, colours and captions always follow what is shown. The panel
// registers each handler here as it connects it.

#include <QHash>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QObject;
class QScrollBar;
class QString;

namespace orvalink {

class ControlSetter {
public:
    // The handler that the control's change signal runs.
    void setHandler(const QObject* control, std::function<void()> handler);

    // A position outside the bar's range is held inside it.
    void setScroll(QScrollBar* bar, int value);
    // An index outside the list selects nothing (-1).
    void setListIndex(QComboBox* list, int index);
    void setTicked(QCheckBox* box, bool ticked);
    void setFieldText(QLineEdit* field, const QString& text);

private:
    void runHandler(const QObject* control) const;

    QHash<const QObject*, std::function<void()>> m_handlers;
};

} // namespace orvalink
