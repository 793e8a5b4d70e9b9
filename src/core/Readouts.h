#pragma once
// Engineering-unit read-outs of the element panel's scroll bars, and the
// reading of stored numbers. Pure functions: the panel calls them with the
// position of a bar and the operator's decimal separator.

#include <QString>
#include <optional>

namespace orvalink::readouts {

// Lowest position of the attenuation bar; it stands for "Mute".
inline constexpr int kAttenMin = 14;
inline constexpr int kAttenMax = 255;
inline constexpr int kBufferMax = 22;
inline constexpr int kSilDetLevelMin = 1;
inline constexpr int kSilDetLevelMax = 154;
inline constexpr int kSilDetTimeMin = 1;
inline constexpr int kSilDetTimeMax = 220;

// value written in its shortest form with at most maxDecimals decimals (no
// trailing zeros, no "-0"), using decimalPoint as the separator.
QString formatDecimal(double value, int maxDecimals, const QString& decimalPoint);
// value to the nearest tenth, halves away from zero.
double roundToTenth(double value);

// "Mute" at the lowest position, else (P - 255) * 0.5 followed by " dB".
QString attenuationText(int position, const QString& decimalPoint);

// Decoder latency in milliseconds of buffer position P.
double latencyMs(int position, bool gpsOrSfn, bool lowLatency);
QString latencyText(int position, bool gpsOrSfn, bool lowLatency, const QString& decimalPoint);

// Silence detector threshold: 20 log10(P * 2.0487...) - 56, nearest tenth, "dBu".
double silenceLevelDbu(int position);
QString silenceLevelText(int position, const QString& decimalPoint);

// Silence detector timeout: P * 0.4551..., nearest tenth, "Sec".
double silenceTimeSec(int position);
QString silenceTimeText(int position, const QString& decimalPoint);

// A stored value taken as a whole number: blanks around it are ignored, an
// optional sign and the leading decimal digits count, the rest is ignored
// ("12abc" is 12). No digits at all: no number. Huge values saturate.
std::optional<int> storedInteger(const QString& text);

} // namespace orvalink::readouts
