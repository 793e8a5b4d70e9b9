#include "monitor/StatusPoller.h"

#include "core/Text.h"
#include "core/UdpRead.h"
#include "snmp/SnmpCodec.h"

#include <QNetworkProxy>
#include <QTimer>
#include <QUdpSocket>

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
    : QObject(parent), m_timings(timings), m_socket(new QUdpSocket(this)),
      m_intervalTimer(new QTimer(this)), m_tick(new QTimer(this)),
      m_intervalMs(timings.statusIntervalMs), m_lastId(randomLastRequestId())
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QUdpSocket::readyRead, this, &StatusPoller::onReadyRead);
    m_intervalTimer->setInterval(m_intervalMs);
    connect(m_intervalTimer, &QTimer::timeout, this, &StatusPoller::pollNow);
    // Timeouts are looked for a few times per reply wait; the scan covers
    // only the requests in flight.
    m_tick->setInterval(qBound(1, m_timings.statusReplyMs / 8, 50));
    connect(m_tick, &QTimer::timeout, this, &StatusPoller::onTick);
    m_clock.start();
}

StatusPoller::~StatusPoller() = default;

bool StatusPoller::open(const QString& localAddress, quint16 agentPort)
{
    m_error.clear();
    m_agentPort = agentPort;
    const QString local = trimBlanks(localAddress);
    QHostAddress bindAddress(QHostAddress::AnyIPv4);
    if (!local.isEmpty() && local != QLatin1String("0.0.0.0")) {
        quint32 a = 0;
        if (!parseIPv4(local, &a)) {
            m_error = QStringLiteral("The NMS interface address \"%1\" is not an IPv4 address.")
                          .arg(local);
            return false;
        }
        bindAddress = QHostAddress(a);
    }
    if (m_socket->state() == QAbstractSocket::BoundState) {
        if (bindAddress == m_boundAddress)
            return true;
        stopRound();
        m_socket->close();
    }
    // An ephemeral port: the replies to polls never reach an operation's
    // socket, nor theirs this one.
    if (!m_socket->bind(bindAddress, 0, QAbstractSocket::DontShareAddress)) {
        m_error = QStringLiteral("Cannot open a UDP port on %1: %2")
                      .arg(bindAddress.toString(), m_socket->errorString());
        return false;
    }
    m_boundAddress = bindAddress;
    return true;
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
    m_tick->stop();
    m_running = false;
    m_inFlight.clear();
    m_byKey.clear();
}

void StatusPoller::pollNow()
{
    if (m_running)
        return;
    if (m_socket->state() != QAbstractSocket::BoundState && !open(QString(), m_agentPort))
        return;
    m_running = true;
    m_next = 0;
    m_stats = PollRoundStats{};
    m_roundClock.start();
    m_tick->start();
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
    const quint32 host = m_hosts.at(element);
    // An id not awaited from the same agent (two sections may share one).
    quint64 key = 0;
    for (int tries = 0; tries < kLastRequestId; ++tries) {
        m_lastId = nextRequestId(m_lastId);
        key = keyOf(host, m_lastId);
        if (!m_byKey.contains(key))
            break;
    }
    if (m_byKey.contains(key))
        return false;
    const SnmpEncodeResult request =
        encodeGetRequest(m_elements.at(element).community, quint8(kPolledParameter), m_lastId);
    const QHostAddress agent(host);
    if (!request.ok() ||
        m_socket->writeDatagram(request.datagram, agent, m_agentPort) != request.datagram.size())
        return false;
    InFlight f;
    f.element = element;
    f.awaited = awaitedReplyOf(request.datagram, agent, m_agentPort);
    f.sentAtMs = m_clock.elapsed();
    f.attempt = attempt;
    f.key = key;
    m_byKey.insert(key, int(m_inFlight.size()));
    m_inFlight.append(f);
    return true;
}

void StatusPoller::finish(int slot, bool answered, qint64 rttMs)
{
    const InFlight f = m_inFlight.at(slot);
    m_byKey.remove(f.key);
    // The last request in flight takes the place of the finished one.
    const qsizetype last = m_inFlight.size() - 1;
    if (slot != last) {
        m_inFlight[slot] = m_inFlight.at(last);
        m_byKey[m_inFlight.at(slot).key] = slot;
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

void StatusPoller::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        const ReceivedDatagram d = readPendingDatagram(*m_socket);
        if (!d.ok)
            break;
        if (!m_running)
            continue;
        const SnmpReading reading = readSnmpDatagram(d.data);
        const SnmpReply& reply = reading.first;
        // An id of 128 or more goes out in the devices' one-byte form, which
        // a strict agent reads as negative and echoes so: the low byte is
        // the id sent either way (the matching below checks the rest).
        if (!reply.valid || reply.pduType != snmptag::GetResponse || reply.requestId < -128 ||
            reply.requestId > 255)
            continue;
        const quint32 sender = d.sender.toIPv4Address();
        const auto it = m_byKey.constFind(keyOf(sender, quint8(reply.requestId)));
        if (it == m_byKey.constEnd())
            continue; // late, stray or not ours: ignored
        const int slot = it.value();
        const InFlight& f = m_inFlight.at(slot);
        if (!replyMismatch(f.awaited, reading, d.sender, d.senderPort).isEmpty())
            continue;
        finish(slot, true, m_clock.elapsed() - f.sentAtMs);
    }
}

void StatusPoller::onTick()
{
    if (!m_running) {
        m_tick->stop();
        return;
    }
    const qint64 now = m_clock.elapsed();
    // Backwards, so that a swap-removal never skips a request.
    for (qsizetype i = m_inFlight.size() - 1; i >= 0 && m_running; --i) {
        if (i < m_inFlight.size() && now - m_inFlight.at(i).sentAtMs >= m_timings.statusReplyMs)
            finish(int(i), false, 0);
    }
}

void StatusPoller::endRoundIfDone()
{
    if (!m_running || !m_inFlight.isEmpty() || m_next < m_elements.size())
        return;
    m_running = false;
    m_tick->stop();
    m_stats.elapsedMs = m_roundClock.elapsed();
    Q_EMIT roundFinished(m_stats);
}

} // namespace orvalink
