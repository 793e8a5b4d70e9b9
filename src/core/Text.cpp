#include "core/Text.h"

namespace orvalink {

QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

bool parseIPv4(const QString& text, quint32* address)
{
    quint32 result = 0;
    int parts = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (true) {
        while (i < n && text.at(i) == u' ')
            ++i;
        int value = 0;
        int digits = 0;
        while (i < n && text.at(i) >= u'0' && text.at(i) <= u'9') {
            value = value * 10 + (text.at(i).unicode() - u'0');
            // Stop before a long run of digits can overflow.
            if (value > 255)
                return false;
            ++digits;
            ++i;
        }
        while (i < n && text.at(i) == u' ')
            ++i;
        if (digits == 0 || ++parts > 4)
            return false;
        result = (result << 8) | quint32(value);
        if (i == n)
            break;
        if (text.at(i) != u'.')
            return false;
        ++i;
    }
    if (parts != 4)
        return false;
    if (address)
        *address = result;
    return true;
}

bool isValidSubnetMask(const QString& text)
{
    quint32 mask = 0;
    if (!parseIPv4(text, &mask))
        return false;
    // Ones then zeros: the inverse plus one is a power of two (or zero).
    const quint32 hostBits = ~mask;
    return (hostBits & (hostBits + 1)) == 0;
}

QString formatIPv4(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

QString FormatMAC(const QByteArray& bytes, const QString& separator)
{
    if (bytes.size() != 6)
        return QString();
    QString text;
    for (int i = 0; i < 6; ++i) {
        if (i)
            text += separator;
        text += QStringLiteral("%1").arg(quint8(bytes.at(i)), 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

} // namespace orvalink
