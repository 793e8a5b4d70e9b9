#pragma once
// Command line of orvalink-sim.

#include "Agent.h"
#include "Element.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvalink::sim {

struct ElementArg {
    Role role = Role::Encoder;
    QHostAddress address;
    QByteArray mac; // six bytes
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
    bool help = false;
};

// `arguments` without the program name. False with a message on bad input.
bool parseOptions(const QStringList& arguments, Options& out, QString* error);
QString usageText();

} // namespace orvalink::sim
