#pragma once
// What a device window may know of the main window: the element that the
// panel shows. Windows get this small interface instead of the main window's
// or the panel's widgets; what more they need (the editors' values for an
// apply) is added here as a plain value, never as a widget.

#include <QString>

#include <optional>

namespace orvalink {

struct ShownElement {
    QString mac;         // colon form, as lblElementMAC shows it; empty for none
    QString section;     // Encode_MAC of mac: the element's section in nms.ini
    QString nodeText;    // the selected tree node's text ("NAME [MAC]")
    QString roleCaption; // "ENCODER", "DECODER" or "UNKNOWN"
    bool isShown() const { return !section.isEmpty(); }
};

// What the panel's editors hold, as they hold it: field texts as typed,
// list positions (-1 for no selection), check-box states (0 or 1) and scroll
// positions. An editor left out (std::nullopt) takes no part in an apply;
// the panel gives all of them, the command line only those it was given.
struct EditedValues {
    std::optional<QString> name;     // txtElementName
    std::optional<QString> ip;       // txtElementIP
    std::optional<QString> mask;     // txtElementMask
    std::optional<QString> gw;       // txtElementGW
    std::optional<QString> remoteIP; // txtRemoteIP: remote or multi, by role and tx
    std::optional<int> input;        // cmbAudioInput
    std::optional<int> type;         // cmbAudioType
    std::optional<int> tx;           // cmbAudioTX
    std::optional<int> sfn;          // chkSFNEnabled
    std::optional<int> llo;          // chkLowLatency
    std::optional<int> att;          // scrlAtten
    std::optional<int> buf;          // scrlBuffer
    std::optional<int> sdl;          // scrlSilDetLevel
    std::optional<int> sdt;          // scrlSilDetTime
    std::optional<int> sdm;          // cmbSilDetMode
};

class ElementView {
public:
    virtual ~ElementView() = default;
    virtual ShownElement shownElement() const = 0;
    // The editors' current values. A view without editors has none, and an
    // apply over it finds nothing to send.
    virtual EditedValues editedValues() const { return {}; }
    // After an apply: reloads the element tree, selects the node at the same
    // position again and shows it from the database (nothing to do for a
    // view without a tree).
    virtual void showAgainFromDatabase() {}
};

} // namespace orvalink
