#include "app/StatusView.h"

#include "core/UserSettings.h"

#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
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

QString clock(const QDateTime& t, bool seconds)
{
    return t.toLocalTime().toString(seconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

} // namespace

StatusView::StatusView(QTreeWidget& tree, const QList<QIcon>& images, IniStore& store,
                       const QString& dbPath, UserSettings& settings, const Timings& timings,
                       quint16 agentPort, QObject* parent)
    : QObject(parent), m_tree(tree), m_images(images), m_settings(settings), m_agentPort(agentPort),
      m_live(new LiveStatus(store, dbPath, timings, this)), m_decorateLater(new QTimer(this))
{
    const int seconds = m_settings.statusIntervalSeconds();
    m_live->poller().setInterval(seconds > 0 ? seconds * 1000 : timings.statusIntervalMs);

    connect(m_live, &LiveStatus::eventOccurred, this, &StatusView::eventOccurred);
    connect(m_live, &LiveStatus::elementStateChanged, this, &StatusView::redrawElement);
    // Round-trip times and last answers change at every round.
    connect(&m_live->poller(), &StatusPoller::roundFinished, this, &StatusView::decorateAll);
    // A flood of traps redraws the tree a few times a second, not per trap.
    m_decorateLater->setSingleShot(true);
    m_decorateLater->setInterval(kRedrawMs);
    connect(m_decorateLater, &QTimer::timeout, this, &StatusView::decorateAll);
    AlarmBook& book = m_live->alarms();
    connect(&book, &AlarmBook::changed, this, [this] {
        if (!m_decorateLater->isActive())
            m_decorateLater->start();
        Q_EMIT alarmCountChanged(m_live->alarms().count());
    });
    connect(&book, &AlarmBook::saveFailed, this, &StatusView::noteRaised);
}

StatusView::~StatusView() = default;

void StatusView::start(const QString& nmsAddress)
{
    m_started = true;
    m_nmsAddress = nmsAddress;
    QString error;
    if (!m_live->openAlarms(&error))
        Q_EMIT noteRaised(error);
    reload();
    bindEndpoints();
    decorateAll();
}

void StatusView::setLocalAddress(const QString& nmsAddress)
{
    if (!m_started || nmsAddress == m_nmsAddress)
        return;
    m_nmsAddress = nmsAddress;
    bindEndpoints();
}

void StatusView::bindEndpoints()
{
    QString error;
    if (!m_live->bindTraps(m_nmsAddress, m_settings.trapPort(), &error))
        Q_EMIT noteRaised(error);
    if (!m_live->openPoller(m_nmsAddress, m_agentPort, &error))
        Q_EMIT noteRaised(QStringLiteral("Live status is off: ") + error);
    else if (polling())
        m_live->poller().start();
}

void StatusView::reload()
{
    if (!m_started)
        return;
    // A file that cannot be read is no empty database: the elements and
    // their alarms stay as they were until it can be read again.
    if (m_live->reload().isEmpty()) {
        m_bySection.clear();
        const QList<PolledElement>& now = m_live->poller().elements();
        for (qsizetype i = 0; i < now.size(); ++i)
            m_bySection.insert(now.at(i).mac, i);
    }
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
        m_live->poller().start();
    else
        m_live->poller().stop();
    decorateAll();
}

void StatusView::redrawElement(const QString& section)
{
    // This element's row at once, with its alarms as they are now.
    QList<Alarm>& own = m_alarmsBySection[section];
    own.clear();
    for (const Alarm& a : m_live->alarms().alarms()) {
        if (a.section == section)
            own.append(a);
    }
    for (const PolledElement& e : m_live->poller().elements()) {
        if (e.section != section)
            continue;
        for (int i = 0; i < m_tree.topLevelItemCount(); ++i) {
            if (m_tree.topLevelItem(i)->data(0, kKeyRole).toString() == e.mac)
                decorate(m_tree.topLevelItem(i));
        }
        return;
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
    for (const Alarm& a : m_live->alarms().alarms())
        m_alarmsBySection[a.section].append(a);
    for (int i = 0; i < m_tree.topLevelItemCount(); ++i)
        decorate(m_tree.topLevelItem(i));
}

void StatusView::decorate(QTreeWidgetItem* node)
{
    const QString mac = node->data(0, kKeyRole).toString();
    const auto it = m_bySection.constFind(mac);
    const QList<PolledElement>& list = m_live->poller().elements();
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
