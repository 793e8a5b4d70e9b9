#include "panel/FieldChecks.h"

#include "panel/Fields.h"

#include "core/Cp1252.h"
#include "core/Text.h"
#include "store/ElementDatabase.h"

#include <QEvent>
#include <QLineEdit>

namespace orvalink {

FieldChecks::FieldChecks(const PropertyControls& controls, QObject* parent)
    : QObject(parent), m_c(controls)
{
    m_c.txtElementName->installEventFilter(this);
}

void FieldChecks::colourAddress(QLineEdit* field)
{
    const QString text = field->text();
    fields::markInvalid(field, !text.isEmpty() && !IsValidIPAddress(text));
}

void FieldChecks::txtElementIP_Change()
{
    // Only the colour: the statistics command stays available whenever an
    // element is shown, since it reads the stored agent address anyway.
    colourAddress(m_c.txtElementIP);
}

void FieldChecks::txtElementMask_Change()
{
    // A mask is an address whose bits are ones, then zeros.
    const QString text = m_c.txtElementMask->text();
    fields::markInvalid(m_c.txtElementMask, !text.isEmpty() && !isValidSubnetMask(text));
}

void FieldChecks::txtElementName_Change()
{
    // The devices and the database keep a name in their 8-bit code page.
    fields::markInvalid(m_c.txtElementName, !cp1252::canEncodeAll(m_c.txtElementName->text()));
}

void FieldChecks::txtElementGW_Change()
{
    colourAddress(m_c.txtElementGW);
}

void FieldChecks::txtRemoteIP_Change()
{
    colourAddress(m_c.txtRemoteIP);
}

void FieldChecks::txtElementName_LostFocus()
{
    // Character by character, as the name is stored: no letter becomes two
    // or one the code page cannot hold.
    const QString upper = cp1252::toUpper(m_c.txtElementName->text());
    if (upper != m_c.txtElementName->text())
        m_c.txtElementName->setText(upper);
}

bool FieldChecks::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && watched == m_c.txtElementName)
        txtElementName_LostFocus();
    return QObject::eventFilter(watched, event);
}

} // namespace orvalink
