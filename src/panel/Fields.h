#pragma once
// Rules that every editing field of the program follows, in the panel and in
// the dialogs alike.

#include <QColor>
#include <QString>

class QLineEdit;
class QWidget;

namespace orvalink::fields {

// Background of a field whose text is invalid.
inline const QColor kLightRed(255, 128, 128);
// The ping button at rest and while a ping runs.
inline const QColor kLightYellow(255, 255, 192);

// Light red background for an invalid field, the normal one otherwise. The
// state is also kept in the field's "invalid" property, for tests and styles.
void markInvalid(QLineEdit* field, bool invalid);
bool isMarkedInvalid(const QLineEdit* field);

// The whole text is selected whenever the field gets the focus, by keyboard
// or by a mouse click.
void selectAllOnFocus(QLineEdit* field);

// A slider, scroll bar or list takes the mouse wheel only while it has the
// focus; otherwise the wheel goes on to what holds it (a scrolled panel
// scrolls), so that scrolling past a control never changes a setting. The
// wheel does not give the focus either: a click or the Tab key does.
void wheelOnlyWhenFocused(QWidget* control);

// Fills a field with a stored text in full, even when it is longer than the
// field takes: the field then grows its limit to show all of it, and
// exceedsLimit() is true until the operator has shortened the text to the
// limit again, when the limit comes back. Cutting the text silently would
// send the cut text as if the operator had typed it.
void showStored(QLineEdit* field, const QString& text);
// True while the field holds more characters than its own limit.
bool exceedsLimit(const QLineEdit* field);

// The checks of the SNMP windows' fields (frmAddNewSNMP, frmSNMPProperties):
// each marks the field (markInvalid) and returns whether its text is valid.
// An address is empty or an IPv4 address, and no longer than the field's
// limit; a community has exactly kCommunityLength characters.
constexpr int kCommunityLength = 8;
bool checkAddress(QLineEdit* field);
bool checkCommunity(QLineEdit* field);

// A size given in twips (1/1440 inch) in logical pixels: 15 twips a pixel at
// the 96 dots per inch of the design's platform (Qt scales logical pixels on
// high-density screens itself).
constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

} // namespace orvalink::fields
