#include "core/Readouts.h"

#include <QtGlobal>
#include <cmath>
#include <limits>

namespace orvalink::readouts {

QString formatDecimal(double value, int maxDecimals, const QString& decimalPoint)
{
    if (!std::isfinite(value))
        return QString();
    const double scale = std::pow(10.0, maxDecimals);
    // Round on the decimal value first so that 0.049999... style binary
    // neighbours of an exact decimal do not leak extra digits.
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0; // drops the sign of -0
    QString text = QString::number(rounded, 'f', maxDecimals);
    if (maxDecimals > 0) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

double roundToTenth(double value)
{
    return std::round(value * 10.0) / 10.0;
}

QString attenuationText(int position, const QString& decimalPoint)
{
    if (position == kAttenMin)
        return QStringLiteral("Mute");
    return formatDecimal((position - 255) * 0.5, 1, decimalPoint) + QStringLiteral(" dB");
}

double latencyMs(int position, bool gpsOrSfn, bool lowLatency)
{
    if (lowLatency)
        return position * 1.25 + 2.5;
    if (gpsOrSfn)
        return position * 2.5 + 2.5;
    return position * 2.5 + 5.0;
}

QString latencyText(int position, bool gpsOrSfn, bool lowLatency, const QString& decimalPoint)
{
    return formatDecimal(latencyMs(position, gpsOrSfn, lowLatency), 2, decimalPoint) +
           QStringLiteral("mS");
}

double silenceLevelDbu(int position)
{
    if (position <= 0)
        return -std::numeric_limits<double>::infinity();
    const double x = position * 2.04870129870129;
    return 20.0 * (std::log(x) / std::log(10.0)) - 56.0;
}

QString silenceLevelText(int position, const QString& decimalPoint)
{
    const double dbu = silenceLevelDbu(position);
    if (!std::isfinite(dbu))
        return QStringLiteral("-oodBu");
    return formatDecimal(roundToTenth(dbu), 1, decimalPoint) + QStringLiteral("dBu");
}

double silenceTimeSec(int position)
{
    return position * 0.455104166666667;
}

QString silenceTimeText(int position, const QString& decimalPoint)
{
    return formatDecimal(roundToTenth(silenceTimeSec(position)), 1, decimalPoint) +
           QStringLiteral("Sec");
}

std::optional<int> storedInteger(const QString& text)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    const int firstDigit = i;
    qint64 value = 0;
    constexpr qint64 cap = std::numeric_limits<int>::max();
    while (i < t.size() && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9')) {
        value = qMin(cap, value * 10 + (t[i].unicode() - '0'));
        ++i;
    }
    if (i == firstDigit)
        return std::nullopt;
    return static_cast<int>(negative ? -value : value);
}

} // namespace orvalink::readouts
