#include "Cli.h"

#include "config/ConfigTransfer.h"

#include <algorithm>

namespace orvalink::cli {

QString printable(const QString& text, bool keepLineBreaks)
{
    const auto escaped = [keepLineBreaks](char16_t u) {
        return (u < 0x20 && !(keepLineBreaks && u == u'\n')) || (u >= 0x7F && u <= 0x9F) ||
               u == u'\\';
    };
    // Most texts hold nothing to escape and are given back as they are (a
    // list of many elements prints one per line).
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return escaped(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        if (keepLineBreaks && u == u'\n') {
            out.append(c);
        } else if (control || u == u'\\') {
            out.append(QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0')));
        } else {
            out.append(c);
        }
    }
    return out;
}

QString word(const QString& value)
{
    const QString p = printable(value);
    if (p.isEmpty() || p.contains(QLatin1Char(' ')))
        return QLatin1Char('"') + p + QLatin1Char('"');
    return p;
}

QString elementLabel(const QString& name, const QString& mac)
{
    return configtransfer::label(printable(name), printable(mac));
}

} // namespace orvalink::cli
