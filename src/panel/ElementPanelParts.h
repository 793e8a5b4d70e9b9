#pragma once
// What the parts of the element panel share: the texts and limits of its
// controls, and two helpers of their layout. Not for use outside src/panel.

#include "panel/Fields.h"
#include "remote/AudioLevel.h"

#include <QLabel>
#include <QSizePolicy>
#include <QString>

namespace orvalink::panelparts {

using fields::kLightYellow;

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

// A caption in the first column of a frame, aligned to its control.
inline QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// Keeps a widget's place in the layout while it is hidden, so that the
// ENCODER and DECODER forms switch without moving anything.
inline void keepPlace(QWidget* w)
{
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

} // namespace orvalink::panelparts
