#include "remote/AudioLevel.h"

#include "core/Readouts.h"

#include <cmath>

namespace orvalink::audiolevel {

qint32 peakOf(const QByteArray& datagram)
{
    const auto* p = reinterpret_cast<const unsigned char*>(datagram.constData());
    const qsizetype size = datagram.size();
    qint32 peak = 0;
    // A sample is read while at least one byte follows it: the last three
    // bytes of a datagram whose length is a multiple of 3 are never read.
    for (qsizetype i = 0; i + 3 < size; i += 3) {
        // A first byte of 128 or more is a negative sample: not counted.
        if (p[i] < 128) {
            const qint32 v = (qint32(p[i]) << 16) | (qint32(p[i + 1]) << 8) | qint32(p[i + 2]);
            if (v > peak)
                peak = v;
        }
    }
    return peak;
}

int barTwips(qint32 peak)
{
    return int(std::nearbyint(double(peak) / kFullScale * kBarFullTwips));
}

QString labelText(qint32 peak, const QString& decimalPoint)
{
    if (peak <= 0)
        return kSilence;
    const double db = 20.0 * std::log10(double(peak) / kFullScale);
    // Tenths, exact halves to the even neighbour (the default rounding mode).
    const double tenths = std::nearbyint(db * 10.0) / 10.0;
    return readouts::formatDecimal(tenths, 1, decimalPoint) + QStringLiteral("dBFS");
}

} // namespace orvalink::audiolevel
