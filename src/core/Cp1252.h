#pragma once
// Windows-1252, the 8-bit code page the element database is kept in.
// Decoding never fails: the five bytes the code page leaves undefined map to
// the C1 control characters of the same value, so any file survives a
// read/rewrite round trip byte for byte.

#include <QByteArray>
#include <QChar>
#include <QString>

namespace orvalink::cp1252 {

QString decode(QByteArrayView bytes);
// Characters the code page cannot hold are written as '?'.
QByteArray encode(QStringView text);
// True when c has a byte of its own in the code page.
bool canEncode(QChar c);
// True when every character of text has a byte of its own (a name or a
// community the devices and the database can hold as typed).
bool canEncodeAll(QStringView text);
// Upper case character by character, keeping a character whose upper-case
// form the code page cannot hold (so the length never changes).
QString toUpper(QStringView text);

} // namespace orvalink::cp1252
