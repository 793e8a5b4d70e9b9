#pragma once
// Keeps the settings of simulated elements across restarts in one JSON file,
// one entry per MAC address. Entries of elements that are not running now are
// kept as they are.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvalink::sim {

class Element;

class StateFile {
public:
    explicit StateFile(QString path) : m_path(std::move(path)) {}

    QString path() const { return m_path; }

    // Reads the file. A missing file is an empty state; a file that exists
    // but is not a state file fails with a message and must not be
    // overwritten.
    bool load(QString* error);
    // Gives the element its stored settings, if there are any; returns one
    // message per entry that could not be used.
    QStringList restore(Element& element) const;
    // Writes every element's settings (atomically), keeping other entries.
    bool save(const QList<const Element*>& elements, QString* error);

private:
    QString m_path;
    QJsonObject m_entries; // MAC text -> element object
};

} // namespace orvalink::sim
