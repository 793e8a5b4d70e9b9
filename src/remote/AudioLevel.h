#pragma once
// The audio level meter's arithmetic: the positive peak of a level datagram
// (3-byte big-endian two's-complement samples) and how the panel shows it,
// a bar of up to 2100 twips and a dBFS label.

#include <QByteArray>
#include <QString>

namespace orvalink::audiolevel {

// A datagram longer than this on the remote endpoint is level data.
constexpr int kMinimumDatagram = 1201;
constexpr qint32 kFullScale = 8388608; // 2^23
constexpr int kBarFullTwips = 2100;
// The label at rest and for silence.
inline const QString kSilence = QStringLiteral("-oodBFS");

// The largest non-negative sample of the datagram, 0 to 8388607. A sample
// counts when at least one more byte follows it, so the last sample of a
// datagram whose length is a multiple of 3 is not read, and neither is a
// trailing partial sample.
qint32 peakOf(const QByteArray& datagram);

// Bar width in twips for a peak: peak / full scale * 2100, halves to even.
int barTwips(qint32 peak);

// "-6dBFS", "-0,5dBFS": 20 log10(peak / full scale) to the tenth (halves to
// even), in its shortest form with the given decimal separator; kSilence for
// a peak of 0.
QString labelText(qint32 peak, const QString& decimalPoint);

} // namespace orvalink::audiolevel
