#include "Cli.h"

#include "config/ConfigTransfer.h"

namespace orvalink::cli {

QString printable(const QString& text, bool keepLineBreaks)
{
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
