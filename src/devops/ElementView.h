#pragma once
// What a device window may know of the main window: the element that the
// panel shows. Windows get this small interface instead of the main window's
// or the panel's widgets; what more they need (the editors' values for an
// apply) is added here as a plain value, never as a widget.

#include <QString>

namespace orvalink {

struct ShownElement {
    QString mac;         // colon form, as lblElementMAC shows it; empty for none
    QString section;     // Encode_MAC of mac: the element's section in nms.ini
    QString nodeText;    // the selected tree node's text ("NAME [MAC]")
    QString roleCaption; // "ENCODER", "DECODER" or "UNKNOWN"
    bool isShown() const { return !section.isEmpty(); }
};

class ElementView {
public:
    virtual ~ElementView() = default;
    virtual ShownElement shownElement() const = 0;
};

} // namespace orvalink
