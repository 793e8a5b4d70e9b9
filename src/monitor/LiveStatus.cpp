#include "monitor/LiveStatus.h"

#include "core/Text.h"
#include "core/UdpBind.h"
#include "snmp/TrapReceiver.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QSet>

#include <algorithm>

namespace orvalink {

LiveStatus::LiveStatus(IniStore& store, const QString& dbPath, const Timings& timings,
                       QObject* parent)
    : QObject(parent), m_store(store), m_dbPath(dbPath), m_poller(new StatusPoller(timings, this)),
      m_alarms(new AlarmBook(timings, this))
{
    connect(m_poller, &StatusPoller::stateChanged, this,
            [this](const QString& section, const QString&, ElementState was, ElementState now) {
                onStateChanged(section, was, now);
            });
    connect(m_alarms, &AlarmBook::raised, this, [this](const Alarm& a) {
        Q_EMIT eventOccurred(AlarmBook::eventOf(a, QStringLiteral("raised")));
    });
    connect(m_alarms, &AlarmBook::cleared, this, [this](const Alarm& a) {
        Q_EMIT eventOccurred(AlarmBook::eventOf(a, QStringLiteral("cleared")));
    });
    connect(m_alarms, &AlarmBook::acknowledged, this, [this](const Alarm& a) {
        Q_EMIT eventOccurred(AlarmBook::eventOf(a, QStringLiteral("acknowledged")));
    });
}

LiveStatus::~LiveStatus() = default;

bool LiveStatus::openAlarms(QString* error)
{
    if (m_alarms->open(AlarmBook::pathFor(m_dbPath)))
        return true;
    *error = m_alarms->error();
    return false;
}

bool LiveStatus::openPoller(const QString& nmsAddress, quint16 agentPort, QString* error)
{
    if (m_poller->open(nmsAddress, agentPort))
        return true;
    *error = m_poller->error();
    return false;
}

bool LiveStatus::bindTraps(const QString& nmsAddress, quint16 port, QString* error)
{
    // An NMS address that is no IPv4 address is told by the poller; traps
    // are then taken on every interface.
    QHostAddress address;
    QString notIPv4;
    if (!nmsBindAddress(nmsAddress, &address, &notIPv4))
        address = QHostAddress(QHostAddress::AnyIPv4);
    delete m_traps;
    m_traps = new TrapReceiver(m_store, m_dbPath, this);
    connect(m_traps, &TrapReceiver::trapReceived, m_alarms, &AlarmBook::trapReceived);
    connect(m_traps, &TrapReceiver::trapReceived, this, &LiveStatus::trapReceived);
    connect(m_traps, &TrapReceiver::trapRejected, this, &LiveStatus::trapRejected);
    QString why;
    if (m_traps->start(address, port, &why))
        return true;
    *error = QStringLiteral("Traps are not received on %1:%2: %3")
                 .arg(address.toString())
                 .arg(port)
                 .arg(why);
    return false;
}

quint16 LiveStatus::trapPort() const
{
    return m_traps ? m_traps->localPort() : 0;
}

QString LiveStatus::reload()
{
    const ElementList list = loadElementList(m_store, m_dbPath);
    if (!list.error.isEmpty())
        return list.error;
    const IniStore::Snapshot snap = m_store.snapshot(m_dbPath);
    QList<PolledElement> polled;
    QSet<QString> sections;
    polled.reserve(list.entries.size());
    for (const ElementEntry& e : list.entries) {
        PolledElement p;
        p.section = e.section;
        p.mac = e.mac;
        p.name = e.name;
        p.ip = trimBlanks(e.snmpIp);
        p.community = snap.read(e.section, QStringLiteral("snmpro"), QString());
        polled.append(p);
        sections.insert(e.section);
    }
    m_poller->setElements(polled);
    m_alarms->retainOnly(sections);
    return {};
}

void LiveStatus::onStateChanged(const QString& section, ElementState was, ElementState now)
{
    const QList<PolledElement> list = m_poller->elements();
    const auto it = std::find_if(list.cbegin(), list.cend(),
                                 [&](const PolledElement& p) { return p.section == section; });
    if (it == list.cend())
        return;
    const PolledElement& e = *it;
    m_alarms->setReachable(e.section, e.mac, e.name, e.ip, now != ElementState::Down, e.cause);

    Event ev;
    ev.operation = QStringLiteral("status");
    ev.mac = e.mac;
    ev.name = e.name;
    ev.host = e.ip;
    if (now == ElementState::Down) {
        ev.outcome = QStringLiteral("down");
        ev.cause = QStringLiteral("down: ") + e.cause;
        m_downSince.insert(section, e.downSince);
    } else if (now == ElementState::Up && was == ElementState::Down) {
        const QDateTime since = m_downSince.take(section);
        ev.outcome = QStringLiteral("up");
        ev.cause = QStringLiteral("up again after ") +
                   duration(since.isValid() ? since.secsTo(QDateTime::currentDateTime()) : 0);
    }
    if (!ev.outcome.isEmpty())
        Q_EMIT eventOccurred(ev);
    Q_EMIT elementStateChanged(section);
}

QString LiveStatus::duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(qMax<qint64>(0, seconds));
    const qint64 minutes = seconds / 60;
    if (minutes < 120)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

} // namespace orvalink
