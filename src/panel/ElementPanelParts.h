#pragma once
// What the parts of the element panel share (ElementPanel*.cpp): the texts
// and limits of its controls. Not for use outside src/panel.

#include "panel/Fields.h"
#include "remote/AudioLevel.h"

#include <QString>

namespace orvalink::panelparts {

using fields::kLightYellow;

inline constexpr int kMaxSectionKeys = 24;
inline constexpr int kVUMeterFullTwips = audiolevel::kBarFullTwips;
using fields::kTwipsPerPixel;

inline const QString kEncoder = QStringLiteral("ENCODER");
inline const QString kDecoder = QStringLiteral("DECODER");
inline const QString kUnknown = QStringLiteral("UNKNOWN");
inline const QString kNoValue = QStringLiteral("-");
inline const QString& kQuietLevel = audiolevel::kSilence;
inline const QString kMulticastCaption = QStringLiteral("Multicast IP:");
inline const QString kDecoderCaption = QStringLiteral("Decoder IP:");
inline const QString kDefaultMulticast = QStringLiteral("239.255.255.239");
inline const QString kDefaultRemote = QStringLiteral("192.168.1.91");
// Read-outs of a bar that stands for no element's value.
inline const QString kNoAttenuation = QStringLiteral("-dB");
inline const QString kNoLatency = QStringLiteral("-mS");
inline const QString kNoSilenceLevel = QStringLiteral("-dBu");
inline const QString kNoSilenceTime = QStringLiteral("-Sec");

} // namespace orvalink::panelparts
