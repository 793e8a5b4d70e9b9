#include "devops/ActiveAlarms.h"

#include <algorithm>

namespace orvalink {

namespace {

// IF-MIB ifIndex, the binding of linkDown and linkUp that names the link.
const QLatin1String kIfIndexPrefix("1.3.6.1.2.1.2.2.1.1.");

} // namespace

QString trapInterface(const Trap& trap)
{
    for (const TrapBinding& b : trap.bindings) {
        if (b.oid.startsWith(kIfIndexPrefix))
            return b.value;
    }
    return QString();
}

void ActiveAlarms::setReachable(const QString& section, const QString& mac, const QString& name,
                                bool reachable)
{
    Element& e = m_elements[section];
    e.mac = mac;
    e.name = name;
    e.unreachable = !reachable;
}

void ActiveAlarms::trapReceived(const Trap& trap, const QString& section, const QString& mac,
                                const QString& name)
{
    const QString kind = trap.name();
    const bool down = kind == QLatin1String("linkDown");
    if (section.isEmpty() || (!down && kind != QLatin1String("linkUp")))
        return;
    Element& e = m_elements[section];
    e.mac = mac;
    e.name = name;
    if (down)
        e.linksDown.insert(trapInterface(trap));
    else
        e.linksDown.remove(trapInterface(trap));
}

void ActiveAlarms::retainOnly(const QSet<QString>& sections)
{
    for (auto it = m_elements.begin(); it != m_elements.end();) {
        if (sections.contains(it.key()))
            ++it;
        else
            it = m_elements.erase(it);
    }
}

QList<ActiveAlarm> ActiveAlarms::alarms() const
{
    QList<ActiveAlarm> out;
    for (auto it = m_elements.cbegin(); it != m_elements.cend(); ++it) {
        const Element& e = it.value();
        // One alarm per element and kind, however many links are down.
        if (!e.linksDown.isEmpty())
            out.append(
                {it.key(), e.mac, e.name, QStringLiteral("linkDown"), QStringLiteral("major")});
        if (e.unreachable)
            out.append({it.key(), e.mac, e.name, QStringLiteral("unreachable"),
                        QStringLiteral("critical")});
    }
    std::sort(out.begin(), out.end(), [](const ActiveAlarm& a, const ActiveAlarm& b) {
        return a.section != b.section ? a.section < b.section : a.kind < b.kind;
    });
    return out;
}

} // namespace orvalink
