#pragma once
// Rules that every editing field of the program follows, in the panel and in
// the dialogs alike.

#include <QColor>

class QLineEdit;

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

// A size given in twips (1/1440 inch) in logical pixels: 15 twips a pixel at
// the 96 dots per inch of the design's platform (Qt scales logical pixels on
// high-density screens itself).
constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

} // namespace orvalink::fields
