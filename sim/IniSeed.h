#pragma once
// Seeds simulated elements from an element database (nms.ini): each element
// takes the values of the section named by its MAC, so a demo's devices
// answer what the demo database lists. The simulator shares no code with
// the station, so this reads the file itself: [SECTION] lines, KEY=VALUE
// lines, keys compared case-insensitively, values in Latin-1 with trailing
// blanks and carriage returns dropped.

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace orvalink::sim {

class Element;

class IniSeed {
public:
    // False with a message when the file cannot be read.
    bool load(const QString& path, QString* error);
    // Takes the content of a database file (any bytes).
    void parse(const QByteArray& content);
    // The settings object (as in the state file) for the section of `mac`
    // (12 hex digits, upper case); empty when the file has no such section.
    QJsonObject settingsFor(const QString& section) const;
    // Gives the element the values of its section; returns one message per
    // value the element rejected.
    QStringList seed(Element& element) const;

private:
    QHash<QString, QHash<QString, QString>> m_sections; // upper-case names and keys
};

} // namespace orvalink::sim
