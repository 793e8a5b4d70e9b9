#include "core/DatagramTap.h"

#include <QStringList>

namespace orvalink {

QString hexDump(const QByteArray& data)
{
    QString out;
    for (qsizetype line = 0; line < data.size(); line += 16) {
        out += QStringLiteral("%1 ").arg(line, 4, 16, QLatin1Char('0'));
        QString ascii;
        for (qsizetype i = line; i < line + 16; ++i) {
            if (i - line == 8)
                out += QLatin1Char(' ');
            if (i < data.size()) {
                const uchar b = uchar(data.at(i));
                out += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0'));
                ascii += b >= 0x20 && b < 0x7F ? QLatin1Char(char(b)) : QLatin1Char('.');
            } else {
                out += QStringLiteral("   ");
            }
        }
        out += QStringLiteral("  |") + ascii + QStringLiteral("|\n");
    }
    return out;
}

QString formatDatagram(const DatagramEvent& event, const QString& summary)
{
    QString head =
        QStringLiteral("%1 %2:%3 %4 byte(s)")
            .arg(event.sent ? QStringLiteral("sent to") : QStringLiteral("received from"))
            .arg(event.peer)
            .arg(event.peerPort)
            .arg(event.data.size());
    if (!summary.isEmpty())
        head += QStringLiteral(": ") + summary;
    if (!event.ignored.isEmpty())
        head += QStringLiteral(" [ignored: %1]").arg(event.ignored);
    QString out = head + QLatin1Char('\n');
    const QString dump = hexDump(event.data);
    for (const QString& line : dump.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out += QStringLiteral("  ") + line + QLatin1Char('\n');
    return out;
}

} // namespace orvalink
