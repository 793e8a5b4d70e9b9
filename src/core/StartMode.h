#pragma once
// What the command-line word changes: the window caption and the decoder
// buffer range.

#include "core/AppFlags.h"

#include <QString>
#include <QStringList>

namespace orvalink {

struct StartMode {
    AppFlags flags;
    QString caption;
    int bufferMaximum = 22;
};

// The whole command line (program name and toolkit options removed) as one
// text, the way the word is compared: "GPS LL" is one text and neither word.
QString commandWord(const QStringList& arguments);

// The word is compared whole, without regard to case: "GPS" gives the GPSDO
// edition, "LL" the low-latency edition, anything else the plain one.
StartMode startModeFor(const QString& word);

// "Orvalink SNMP NMS v.3.5.0" and the edition's suffix.
QString windowCaption(const AppFlags& flags);

} // namespace orvalink
