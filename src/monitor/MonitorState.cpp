#include "monitor/MonitorState.h"

#include "monitor/PrometheusText.h"

#include <QSet>

namespace orvalink {

namespace {

void family(QString& out, const char* name, const char* type, const char* help)
{
    out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
               .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

} // namespace

void PollerReachability::decide(QList<ElementStatistics>& elements)
{
    QHash<QString, ElementState> states;
    for (const PolledElement& p : m_poller.elements())
        states.insert(p.section, p.state);
    for (ElementStatistics& e : elements) {
        const ElementState s = states.value(e.section, ElementState::NotPolled);
        if (s == ElementState::Up || s == ElementState::Down)
            e.up = s == ElementState::Up;
    }
}

QString MonitorState::trapKind(const Trap& trap)
{
    const QString named = namedTrapKind(trap);
    return named.isEmpty() ? QStringLiteral("other") : named;
}

void MonitorState::roundDone(QList<ElementStatistics> elements, double seconds, qint64 endedAtMs)
{
    m_reachability.decide(elements);
    QSet<QString> sections;
    for (const ElementStatistics& e : elements) {
        sections.insert(e.section);
        m_identities[e.section] = {e.mac, e.name};
    }
    // An element taken out of the database takes its alarms along.
    m_alarms.retainOnly(sections);
    m_elements = std::move(elements);
    m_roundSeconds = seconds;
    m_roundEndedAtMs = endedAtMs;
    m_hasRound = true;
}

void MonitorState::trapReceived(const Trap& trap, const ElementEntry& element)
{
    if (element.section.isEmpty())
        return; // only the elements' own traps are counted by element
    m_identities[element.section] = {element.mac, element.name};
    ++m_traps[{element.section, trapKind(trap)}];
}

void MonitorState::trapRejected(TrapRejection::Kind kind)
{
    ++m_rejected[int(kind)];
}

QString MonitorState::metricsText() const
{
    QString out = prometheusText(m_elements, m_roundSeconds);
    family(out, "orvalink_round_timestamp_seconds", "gauge",
           "When the last completed statistics round ended, in seconds since the epoch.");
    out += QStringLiteral("orvalink_round_timestamp_seconds %1\n")
               .arg(QString::number(double(m_roundEndedAtMs) / 1000.0, 'f', 3));

    family(out, "orvalink_database_ok", "gauge",
           "1 when the element database could be read at the last round, 0 when it could not "
           "(the round then read the elements of the last list read).");
    out += m_databaseProblem.isEmpty() ? QStringLiteral("orvalink_database_ok 1\n")
                                       : QStringLiteral("orvalink_database_ok 0\n");

    family(out, "orvalink_traps_total", "counter",
           "Traps taken from an element, by kind: the trap's name, or other for a numbered trap.");
    for (auto it = m_traps.cbegin(); it != m_traps.cend(); ++it) {
        const Identity id = m_identities.value(it.key().first);
        out += QStringLiteral("orvalink_traps_total{mac=\"%1\",name=\"%2\",kind=\"%3\"} %4\n")
                   .arg(prometheusLabelValue(id.mac), prometheusLabelValue(id.name),
                        prometheusLabelValue(it.key().second))
                   .arg(it.value());
    }
    family(out, "orvalink_traps_rejected_total", "counter",
           "Trap datagrams refused: malformed, from no element (foreign), or with another "
           "community (refused).");
    const char* const reasons[] = {"malformed", "foreign", "refused"};
    static_assert(int(TrapRejection::Kind::Malformed) == 0 &&
                  int(TrapRejection::Kind::Foreign) == 1 && int(TrapRejection::Kind::Refused) == 2);
    for (int i = 0; i < 3; ++i)
        out += QStringLiteral("orvalink_traps_rejected_total{reason=\"%1\"} %2\n")
                   .arg(QLatin1String(reasons[i]))
                   .arg(m_rejected[i]);

    family(out, "orvalink_alarm_active", "gauge",
           "1 for each kind of alarm active now on an element: unreachable, linkDown, "
           "restarted, authenticationFailure, or a device's own trap.");
    // One series per element and kind, however many links are down.
    QSet<QString> shown;
    for (const Alarm& a : m_alarms.alarms()) {
        const QString line =
            QStringLiteral(
                "orvalink_alarm_active{mac=\"%1\",name=\"%2\",alarm=\"%3\",severity=\"%4\"} 1\n")
                .arg(prometheusLabelValue(a.mac), prometheusLabelValue(a.name),
                     prometheusLabelValue(a.kind), alarmSeverityName(a.severity));
        if (!shown.contains(line)) {
            shown.insert(line);
            out += line;
        }
    }

    family(out, "orvalink_config_drift", "gauge",
           "1 when the element holds another configuration than the database stores, as diff "
           "--all finds it; checked every --drift-every rounds, absent for an element that did "
           "not answer.");
    for (auto it = m_drift.cbegin(); it != m_drift.cend(); ++it)
        out += QStringLiteral("orvalink_config_drift{mac=\"%1\",name=\"%2\"} %3\n")
                   .arg(prometheusLabelValue(it.key().first), prometheusLabelValue(it.key().second))
                   .arg(it.value() ? 1 : 0);
    return out;
}

} // namespace orvalink
