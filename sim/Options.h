#pragma once
// Command line of orvalink-sim.

#include "Agent.h"
#include "Element.h"
#include "Remote.h"
#include "Traps.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace orvalink::sim {

struct ElementArg {
    Role role = Role::Encoder;
    QHostAddress address;
    QByteArray mac;      // six bytes
    bool silent = false; // bound, but never answers (--silent)
};

struct Options {
    QList<ElementArg> elements;
    quint16 port = 161;
    QString statePath;
    // An element database whose sections seed the elements (by MAC).
    QString seedIniPath;
    FaultPlan faults;
    int restartPauseMs = 3000;
    bool verbose = false;
    bool answerAll = false;
    bool help = false;
    // The remote protocol (on by default).
    bool remote = true;
    RemoteConfig remoteConfig;
    QMap<quint32, BadReply> badReplies; // by element address
    quint8 counterTag = 0x42;           // --counter-type
    // Traps: --trap-port, --trap-version, --silence-trap-ms, --link-toggle-ms,
    // --trap-flood.
    TrapConfig traps;
};

// `arguments` without the program name. False with a message on bad input.
bool parseOptions(const QStringList& arguments, Options& out, QString* error);
QString usageText();

} // namespace orvalink::sim
