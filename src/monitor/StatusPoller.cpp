#include "monitor/StatusPoller.h"

#include "core/Text.h"
#include "core/UdpBind.h"
#include "snmp/SnmpCodec.h"

#include <QTimer>

#include <algorithm>

namespace orvalink {

QString elementStateName(ElementState s)
{
    switch (s) {
    case ElementState::NotPolled:
        return QStringLiteral("not polled yet");
    case ElementState::Up:
        return QStringLiteral("up");
    case ElementState::Down:
        return QStringLiteral("down");
    case ElementState::NoAddress:
        return QStringLiteral("no SNMP address");
    }
    return QString();
}

StatusPoller::StatusPoller(const Timings& timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_endpoint(new SnmpEndpoint(this)),
      m_intervalTimer(new QTimer(this)), m_intervalMs(timings.statusIntervalMs)
{
    connect(m_endpoint, &SnmpEndpoint::replied, this,
            [this](int token, const SnmpReading&) { onReplied(token); });
    connect(m_endpoint, &SnmpEndpoint::timedOut, this, &StatusPoller::onTimedOut);
    m_intervalTimer->setInterval(m_intervalMs);
    connect(m_intervalTimer, &QTimer::timeout, this, &StatusPoller::pollNow);
    m_clock.start();
}

StatusPoller::~StatusPoller() = default;

bool StatusPoller::open(const QString& localAddress, quint16 agentPort)
{
    m_error.clear();
    m_endpoint->setAgentPort(agentPort);
    QHostAddress bindAddress;
    if (!nmsBindAddress(localAddress, &bindAddress, &m_error))
        return false;
    if (m_endpoint->isOpen() && m_endpoint->localAddress() == bindAddress)
        return true;
    stopRound();
    // A free port: the replies to polls never reach an operation's socket,
    // nor theirs this one.
    return m_endpoint->open(localAddress, 0, &m_error);
}

void StatusPoller::setElements(const QList<PolledElement>& elements)
{
    const auto same = [](const PolledElement& a, const PolledElement& b) {
        return a.section == b.section && a.ip == b.ip && a.community == b.community &&
               a.mac == b.mac && a.name == b.name;
    };
    if (std::equal(elements.cbegin(), elements.cend(), m_elements.cbegin(), m_elements.cend(),
                   same))
        return;
    // A new list abandons the round running: its indexes no longer hold.
    stopRound();
    QHash<QString, PolledElement> old;
    for (const PolledElement& e : std::as_const(m_elements))
        old.insert(e.section, e);
    m_elements.clear();
    m_hosts.clear();
    for (PolledElement e : elements) {
        quint32 a = 0;
        const bool hasAddress = parseIPv4(trimBlanks(e.ip), &a) && a != 0;
        const auto it = old.constFind(e.section);
        if (it != old.constEnd() && it->ip == e.ip && hasAddress) {
            e.state = it->state;
            e.lastAnswer = it->lastAnswer;
            e.roundTripMs = it->roundTripMs;
            e.downSince = it->downSince;
            e.cause = it->cause;
        } else {
            e.state = hasAddress ? ElementState::NotPolled : ElementState::NoAddress;
        }
        m_elements.append(e);
        m_hosts.append(hasAddress ? a : 0);
    }
}

void StatusPoller::setInterval(int ms)
{
    m_intervalMs = qMax(1, ms);
    m_intervalTimer->setInterval(m_intervalMs);
}

void StatusPoller::start()
{
    m_intervalTimer->start();
    pollNow();
}

void StatusPoller::stop()
{
    m_intervalTimer->stop();
    stopRound();
}

void StatusPoller::stopRound()
{
    m_running = false;
    for (const InFlight& f : std::as_const(m_inFlight))
        m_endpoint->forget(f.token);
    m_inFlight.clear();
    m_byToken.clear();
}

void StatusPoller::pollNow()
{
    if (m_running)
        return;
    if (!m_endpoint->isOpen() && !open(QString(), m_endpoint->agentPort()))
        return;
    m_running = true;
    m_next = 0;
    m_stats = PollRoundStats{};
    m_roundClock.start();
    fill();
    endRoundIfDone();
}

void StatusPoller::fill()
{
    while (m_running && m_inFlight.size() < m_maxInFlight && m_next < m_elements.size()) {
        const int i = m_next++;
        ++m_stats.polled;
        if (m_hosts.at(i) == 0) {
            ++m_stats.noAddress;
            setState(i, ElementState::NoAddress);
            continue;
        }
        if (!send(i, 0)) {
            ++m_stats.down;
            setState(i, ElementState::Down, QStringLiteral("the poll could not be sent"));
        }
    }
}

bool StatusPoller::send(int element, int attempt)
{
    const QString& community = m_elements.at(element).community;
    QString why;
    const int token = m_endpoint->send(
        QHostAddress(m_hosts.at(element)),
        [&community](quint8 id) {
            return encodeGetRequest(community, quint8(kPolledParameter), id);
        },
        m_timings.statusReplyMs, &why);
    if (token == 0)
        return false;
    InFlight f;
    f.element = element;
    f.sentAtMs = m_clock.elapsed();
    f.attempt = attempt;
    f.token = token;
    m_byToken.insert(token, int(m_inFlight.size()));
    m_inFlight.append(f);
    return true;
}

void StatusPoller::finish(int slot, bool answered, qint64 rttMs)
{
    const InFlight f = m_inFlight.at(slot);
    m_byToken.remove(f.token);
    // The last request in flight takes the place of the finished one.
    const qsizetype last = m_inFlight.size() - 1;
    if (slot != last) {
        m_inFlight[slot] = m_inFlight.at(last);
        m_byToken[m_inFlight.at(slot).token] = slot;
    }
    m_inFlight.removeLast();

    PolledElement& e = m_elements[f.element];
    if (answered) {
        ++m_stats.up;
        e.lastAnswer = QDateTime::currentDateTime();
        e.roundTripMs = int(rttMs);
        setState(f.element, ElementState::Up);
    } else if (f.attempt < m_timings.statusRetries && send(f.element, f.attempt + 1)) {
        return; // asked again; the slot is taken by the new request
    } else {
        ++m_stats.down;
        setState(f.element, ElementState::Down, QStringLiteral("no reply from %1").arg(e.ip));
    }
    fill();
    endRoundIfDone();
}

void StatusPoller::setState(int element, ElementState s, const QString& cause)
{
    PolledElement& e = m_elements[element];
    const ElementState old = e.state;
    if (s == ElementState::Down) {
        if (old != ElementState::Down)
            e.downSince = QDateTime::currentDateTime();
        e.cause = cause;
    } else {
        e.downSince = QDateTime();
        e.cause.clear();
    }
    e.state = s;
    if (old != s)
        Q_EMIT stateChanged(e.section, e.mac, old, s);
}

void StatusPoller::onReplied(int token)
{
    const auto it = m_byToken.constFind(token);
    if (it == m_byToken.constEnd())
        return;
    const int slot = it.value();
    finish(slot, true, m_clock.elapsed() - m_inFlight.at(slot).sentAtMs);
}

void StatusPoller::onTimedOut(int token)
{
    const auto it = m_byToken.constFind(token);
    if (it != m_byToken.constEnd())
        finish(it.value(), false, 0);
}

void StatusPoller::endRoundIfDone()
{
    if (!m_running || !m_inFlight.isEmpty() || m_next < m_elements.size())
        return;
    m_running = false;
    m_stats.elapsedMs = m_roundClock.elapsed();
    Q_EMIT roundFinished(m_stats);
}

} // namespace orvalink
