#pragma once
// Text forms shared by every layer: the one blank trim, the one reading
// of a dotted IPv4 address and the one text form of a hardware address.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace orvalink {

// Leading and trailing blanks (character 32 only) removed, as names,
// communities and addresses are trimmed everywhere in the program.
QString trimBlanks(const QString& text);

// A dotted IPv4 text as the address fields accept it: exactly four parts,
// each a whole decimal number 0..255, blanks around a part and leading zeros
// allowed. Unlike the socket layer's parser, "10.1" and "010.0.0.1" are not
// read as shorthand or octal. On success `address` (when given) receives the
// address in host order.
bool parseIPv4(const QString& text, quint32* address = nullptr);

// A subnet mask: a dotted IPv4 text as above whose bits are ones, then
// zeros (255.255.255.0 is one; 255.0.255.0 is none).
bool isValidSubnetMask(const QString& text);

// The dotted form of a host-order address, "192.168.1.15".
QString formatIPv4(quint32 address);

// Six bytes as two upper-case hexadecimal digits each, joined by separator
// ("00:1A:2B:3C:4D:5E"); "" unless the array holds exactly six bytes.
QString FormatMAC(const QByteArray& bytes, const QString& separator);

} // namespace orvalink
