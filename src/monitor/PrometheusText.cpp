#include "monitor/PrometheusText.h"

namespace orvalink {

namespace {

QString roleLabel(ElementRole role)
{
    switch (role) {
    case ElementRole::Encoder:
        return QStringLiteral("encoder");
    case ElementRole::Decoder:
        return QStringLiteral("decoder");
    case ElementRole::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString labels(const ElementStatistics& e)
{
    return QStringLiteral("{mac=\"%1\",name=\"%2\",ip=\"%3\",role=\"%4\"}")
        .arg(prometheusLabelValue(e.mac), prometheusLabelValue(e.name), prometheusLabelValue(e.ip),
             roleLabel(e.role));
}

void family(QString& out, const char* name, const char* type, const char* help)
{
    out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
               .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

// A value text the exposition format takes as a number: an optional minus
// and decimal digits, as the reply reader produces them.
bool isNumber(const QString& text)
{
    qsizetype i = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

QString prometheusLabelValue(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            out += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c.category() == QChar::Other_Control)
            out += QLatin1Char('?'); // the format has no escape for the others
        else
            out += c;
    }
    return out;
}

QString prometheusText(const QList<ElementStatistics>& elements, double scrapeSeconds)
{
    QString out;
    for (const StatisticsCounter& counter : statisticsCounters()) {
        QString samples;
        for (const ElementStatistics& e : elements) {
            for (const StatisticsReading& r : e.readings) {
                // An element without a value for it has no sample.
                if (r.key == QLatin1String(counter.key) && isNumber(r.value))
                    samples += QLatin1String(counter.metric) + labels(e) + QLatin1Char(' ') +
                               r.value + QLatin1Char('\n');
            }
        }
        if (samples.isEmpty())
            continue;
        family(out, counter.metric, counter.monotonic ? "counter" : "gauge", counter.help);
        out += samples;
    }
    family(out, "orvalink_up", "gauge",
           "1 when the element answered its SNMP requests, 0 when it did not.");
    for (const ElementStatistics& e : elements)
        out += QStringLiteral("orvalink_up") + labels(e) +
               (e.up ? QStringLiteral(" 1\n") : QStringLiteral(" 0\n"));
    family(out, "orvalink_scrape_duration_seconds", "gauge",
           "Time taken to read the statistics of every element.");
    out += QStringLiteral("orvalink_scrape_duration_seconds %1\n")
               .arg(QString::number(scrapeSeconds, 'f', 3));
    return out;
}

} // namespace orvalink
