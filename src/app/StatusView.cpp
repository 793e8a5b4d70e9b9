#include "app/StatusView.h"

#include "core/Text.h"
#include "core/UdpBind.h"
#include "core/UserSettings.h"
#include "snmp/TrapReceiver.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace orvalink {

namespace {

// The tree's own roles (ElementTree): the node's key (MAC) and its image.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
const QString kOff = QStringLiteral("off");
constexpr int kRedrawMs = 100;

QColor stateColour(const QString& state)
{
    if (state == elementStateName(ElementState::Up))
        return QColor(0, 160, 0);
    if (state == elementStateName(ElementState::Down))
        return QColor(210, 0, 0);
    if (state == elementStateName(ElementState::NotPolled))
        return QColor(150, 150, 150);
    return QColor(); // no SNMP address, polling off: no dot
}

QColor severityColour(const QString& severity)
{
    if (severity == alarmSeverityName(AlarmSeverity::Critical))
        return QColor(210, 0, 0);
    if (severity == alarmSeverityName(AlarmSeverity::Major))
        return QColor(240, 120, 0);
    if (severity == alarmSeverityName(AlarmSeverity::Minor))
        return QColor(230, 200, 0);
    if (severity == alarmSeverityName(AlarmSeverity::Warning))
        return QColor(40, 110, 220);
    return QColor();
}

// "40 s", "5 min", "2 h 5 min".
QString duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(qMax<qint64>(0, seconds));
    const qint64 minutes = seconds / 60;
    if (minutes < 120)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QString clock(const QDateTime& t, bool seconds)
{
    return t.toLocalTime().toString(seconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

} // namespace

StatusView::StatusView(QTreeWidget& tree, const QList<QIcon>& images, IniStore& store,
                       const QString& dbPath, UserSettings& settings, const Timings& timings,
                       quint16 agentPort, QObject* parent)
    : QObject(parent), m_tree(tree), m_images(images), m_store(store), m_dbPath(dbPath),
      m_settings(settings), m_timings(timings), m_agentPort(agentPort),
      m_poller(new StatusPoller(timings, this)), m_alarms(new AlarmBook(timings, this)),
      m_traps(new TrapReceiver(store, dbPath, this)), m_decorateLater(new QTimer(this))
{
    const int seconds = m_settings.statusIntervalSeconds();
    m_poller->setInterval(seconds > 0 ? seconds * 1000 : timings.statusIntervalMs);

    connect(m_poller, &StatusPoller::stateChanged, this,
            [this](const QString& section, const QString&, ElementState was, ElementState now) {
                onStateChanged(section, was, now);
            });
    // Round-trip times and last answers change at every round.
    connect(m_poller, &StatusPoller::roundFinished, this, &StatusView::decorateAll);
    connect(m_traps, &TrapReceiver::trapReceived, m_alarms, &AlarmBook::trapReceived);

    connect(m_alarms, &AlarmBook::raised, this, [this](const Alarm& a) {
        Q_EMIT eventOccurred(AlarmBook::eventOf(a, QStringLiteral("raised")));
    });
    connect(m_alarms, &AlarmBook::cleared, this, [this](const Alarm& a) {
        Q_EMIT eventOccurred(AlarmBook::eventOf(a, QStringLiteral("cleared")));
    });
    connect(m_alarms, &AlarmBook::acknowledged, this, [this](const Alarm& a) {
        Q_EMIT eventOccurred(AlarmBook::eventOf(a, QStringLiteral("acknowledged")));
    });
    // A flood of traps redraws the tree a few times a second, not per trap.
    m_decorateLater->setSingleShot(true);
    m_decorateLater->setInterval(kRedrawMs);
    connect(m_decorateLater, &QTimer::timeout, this, &StatusView::decorateAll);
    connect(m_alarms, &AlarmBook::changed, this, [this] {
        if (!m_decorateLater->isActive())
            m_decorateLater->start();
        Q_EMIT alarmCountChanged(m_alarms->count());
    });
    connect(m_alarms, &AlarmBook::saveFailed, this, &StatusView::noteRaised);
}

StatusView::~StatusView() = default;

void StatusView::start(const QString& nmsAddress)
{
    m_started = true;
    m_nmsAddress = nmsAddress;
    if (!m_alarms->open(AlarmBook::pathFor(m_dbPath)))
        Q_EMIT noteRaised(m_alarms->error());
    reload();
    bindTraps();
    if (!m_poller->open(nmsAddress, m_agentPort))
        Q_EMIT noteRaised(QStringLiteral("Live status is off: ") + m_poller->error());
    else if (polling())
        m_poller->start();
    decorateAll();
}

void StatusView::setLocalAddress(const QString& nmsAddress)
{
    if (!m_started || nmsAddress == m_nmsAddress)
        return;
    m_nmsAddress = nmsAddress;
    bindTraps();
    if (!m_poller->open(nmsAddress, m_agentPort))
        Q_EMIT noteRaised(QStringLiteral("Live status is off: ") + m_poller->error());
    else if (polling())
        m_poller->start();
}

void StatusView::bindTraps()
{
    // An NMS address that is no IPv4 address is told by the poller; traps
    // are then taken on every interface.
    QHostAddress address;
    QString notIPv4;
    if (!nmsBindAddress(m_nmsAddress, &address, &notIPv4))
        address = QHostAddress(QHostAddress::AnyIPv4);
    // A receiver binds once: another interface takes a new one.
    delete m_traps;
    m_traps = new TrapReceiver(m_store, m_dbPath, this);
    connect(m_traps, &TrapReceiver::trapReceived, m_alarms, &AlarmBook::trapReceived);
    QString error;
    const quint16 port = m_settings.trapPort();
    if (!m_traps->start(address, port, &error))
        Q_EMIT noteRaised(QStringLiteral("Traps are not received on %1:%2: %3")
                              .arg(address.toString())
                              .arg(port)
                              .arg(error));
}

void StatusView::reload()
{
    if (!m_started)
        return;
    const ElementList list = loadElementList(m_store, m_dbPath);
    // A file that cannot be read is no empty database: the elements and
    // their alarms stay as they were until it can be read again.
    if (!list.error.isEmpty()) {
        decorateAll();
        return;
    }
    const IniStore::Snapshot snap = m_store.snapshot(m_dbPath);
    QList<PolledElement> polled;
    QSet<QString> sections;
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
    m_bySection.clear();
    const QList<PolledElement> now = m_poller->elements();
    for (qsizetype i = 0; i < now.size(); ++i)
        m_bySection.insert(now.at(i).mac, i);
    m_alarms->retainOnly(sections);
    decorateAll();
}

bool StatusView::polling() const
{
    return m_settings.statusPolling();
}

void StatusView::setPolling(bool on)
{
    if (on != polling())
        m_settings.setStatusPolling(on);
    if (!m_started)
        return;
    if (on)
        m_poller->start();
    else
        m_poller->stop();
    decorateAll();
}

void StatusView::onStateChanged(const QString& section, ElementState was, ElementState now)
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
    // This element's row at once, with its alarms as they are now.
    QList<Alarm>& own = m_alarmsBySection[section];
    own.clear();
    for (const Alarm& a : m_alarms->alarms()) {
        if (a.section == section)
            own.append(a);
    }
    for (int i = 0; i < m_tree.topLevelItemCount(); ++i) {
        if (m_tree.topLevelItem(i)->data(0, kKeyRole).toString() == e.mac)
            decorate(m_tree.topLevelItem(i));
    }
}

QString StatusView::toolTip(const PolledElement& e) const
{
    QString text;
    if (!polling()) {
        text = QStringLiteral("Status polling is off (View > Poll element status)");
    } else {
        switch (e.state) {
        case ElementState::Up:
            text = QStringLiteral("Up: last answer %1, round trip %2 ms")
                       .arg(clock(e.lastAnswer, true))
                       .arg(e.roundTripMs);
            break;
        case ElementState::Down:
            text = QStringLiteral("Down since %1: %2").arg(clock(e.downSince, false), e.cause);
            if (e.lastAnswer.isValid())
                text += QStringLiteral("\nLast answer %1").arg(clock(e.lastAnswer, true));
            break;
        case ElementState::NotPolled:
            text = QStringLiteral("Not polled yet");
            break;
        case ElementState::NoAddress:
            text = QStringLiteral("No SNMP address");
            break;
        }
    }
    for (const Alarm& a : m_alarmsBySection.value(e.section))
        text += QStringLiteral("\nAlarm (%1) since %2: %3")
                    .arg(alarmSeverityName(a.severity), clock(a.since, false), a.text);
    return text;
}

void StatusView::decorateAll()
{
    m_decorateLater->stop();
    m_alarmsBySection.clear();
    for (const Alarm& a : m_alarms->alarms())
        m_alarmsBySection[a.section].append(a);
    for (int i = 0; i < m_tree.topLevelItemCount(); ++i)
        decorate(m_tree.topLevelItem(i));
}

void StatusView::decorate(QTreeWidgetItem* node)
{
    const QString mac = node->data(0, kKeyRole).toString();
    const auto it = m_bySection.constFind(mac);
    const QList<PolledElement>& list = m_poller->elements();
    if (!m_started || it == m_bySection.constEnd() || it.value() >= list.size())
        return;
    const PolledElement& e = list.at(it.value());
    const QString state = polling() ? elementStateName(e.state) : kOff;
    AlarmSeverity worst = AlarmSeverity::Warning;
    QString severity;
    for (const Alarm& a : m_alarmsBySection.value(e.section)) {
        if (severity.isEmpty() || a.severity > worst)
            worst = a.severity;
        severity = alarmSeverityName(worst);
    }
    if (node->data(0, kNodeStateRole).toString() != state ||
        node->data(0, kNodeAlarmRole).toString() != severity || node->icon(0).isNull()) {
        node->setData(0, kNodeStateRole, state);
        node->setData(0, kNodeAlarmRole, severity);
        node->setIcon(0, iconFor(node->data(0, kImageRole).toInt(), state, severity));
    }
    node->setToolTip(0, toolTip(e));
}

QIcon StatusView::iconFor(int image, const QString& state, const QString& severity)
{
    const QString key = QStringLiteral("%1/%2/%3").arg(image).arg(state, severity);
    if (const auto it = m_iconCache.constFind(key); it != m_iconCache.constEnd())
        return it.value();
    const int size = qMax(16, m_tree.iconSize().width());
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.drawPixmap(0, 0, m_images.value(image).pixmap(size, size));
        const int mark = size * 5 / 12;
        p.setPen(QPen(Qt::white, 1.5));
        // The state: a dot at the bottom right.
        if (const QColor c = stateColour(state); c.isValid()) {
            p.setBrush(c);
            p.drawEllipse(QRectF(size - mark - 0.5, size - mark - 0.5, mark, mark));
        }
        // The worst alarm: a triangle at the top right.
        if (const QColor c = severityColour(severity); c.isValid()) {
            p.setBrush(c);
            const QPolygonF triangle{QPointF(size - mark - 0.5, mark), QPointF(size - 0.5, mark),
                                     QPointF(size - mark / 2.0 - 0.5, 0.5)};
            p.drawPolygon(triangle);
        }
    }
    const QIcon icon(pixmap);
    m_iconCache.insert(key, icon);
    return icon;
}

} // namespace orvalink
