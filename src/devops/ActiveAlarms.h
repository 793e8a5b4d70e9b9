#pragma once
// The alarms the monitor reports as active, from what it saw itself: an
// element that did not answer its last statistics round is unreachable
// until it answers again, and an element's linkDown trap holds until the
// linkUp trap of the same interface (its ifIndex binding). Small on
// purpose: a fuller alarm list may replace it behind the same alarms().

#include "snmp/TrapDecoder.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace orvalink {

struct ActiveAlarm {
    QString section;  // the element's section (12 hex digits)
    QString mac;      // colon form
    QString name;     // stored name, trimmed
    QString kind;     // "unreachable", "linkDown"
    QString severity; // "critical", "major"
    bool operator==(const ActiveAlarm&) const = default;
};

class ActiveAlarms {
public:
    // Whether the element answered in the last round; an element the
    // database no longer holds loses its alarms (retainOnly).
    void setReachable(const QString& section, const QString& mac, const QString& name,
                      bool reachable);
    // A trap an element sent: linkDown raises, linkUp of the same
    // interface clears; other traps change nothing.
    void trapReceived(const Trap& trap, const QString& section, const QString& mac,
                      const QString& name);
    // Drops the alarms of elements outside `sections`.
    void retainOnly(const QSet<QString>& sections);

    // Every active alarm, by element section, then kind.
    QList<ActiveAlarm> alarms() const;

private:
    struct Element {
        QString mac;
        QString name;
        bool unreachable = false;
        QSet<QString> linksDown; // ifIndex values ("" when the trap named none)
    };
    QHash<QString, Element> m_elements; // by section
};

// The interface a link trap names (its ifIndex binding), "" when none.
QString trapInterface(const Trap& trap);

} // namespace orvalink
