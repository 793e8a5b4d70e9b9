#pragma once
// The checks of the properties' text fields as they are typed: an address
// that is not one, a mask whose bits are not ones then zeros, a name the
// devices' code page cannot hold, each drawn light red; and the name in
// upper case when the field is left.

#include "panel/PropertiesForm.h"

#include <QObject>

namespace orvalink {

class FieldChecks final : public QObject {
    Q_OBJECT
public:
    FieldChecks(const PropertyControls& controls, QObject* parent);

    void txtElementIP_Change();
    void txtElementMask_Change();
    void txtElementName_Change();
    void txtElementGW_Change();
    void txtRemoteIP_Change();
    void txtElementName_LostFocus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void colourAddress(QLineEdit* field);

    const PropertyControls& m_c;
};

} // namespace orvalink
