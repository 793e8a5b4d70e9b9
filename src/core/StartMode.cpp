#include "core/StartMode.h"

namespace orvalink {

QString commandWord(const QStringList& arguments)
{
    return arguments.join(QLatin1Char(' '));
}

StartMode startModeFor(const QString& word)
{
    StartMode mode;
    const QString upper = word.toUpper();
    if (upper == QLatin1String("GPS")) {
        mode.flags.GPSMode = true;
        mode.bufferMaximum = 23;
    } else if (upper == QLatin1String("LL")) {
        mode.flags.LowLatencyActive = true;
        mode.flags.startedLowLatency = true;
        mode.bufferMaximum = 44;
    }
    mode.caption = windowCaption(mode.flags);
    return mode;
}

QString windowCaption(const AppFlags& flags)
{
    QString caption = QStringLiteral("Orvalink SNMP NMS v.%1.%2.%3")
                          .arg(ORVALINK_VERSION_MAJOR)
                          .arg(ORVALINK_VERSION_MINOR)
                          .arg(ORVALINK_VERSION_PATCH);
    if (flags.GPSMode)
        caption += QStringLiteral(" [GPSDO version] - Quorvane Broadcast");
    else if (flags.startedLowLatency)
        caption += QStringLiteral(" [Low Latency Option] - Quorvane Broadcast");
    else
        caption += QStringLiteral(" - Quorvane Broadcast");
    return caption;
}

} // namespace orvalink
