#include "monitor/AlarmBook.h"

#include "store/FileLock.h"
#include "store/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

namespace orvalink {

namespace {

// IF-MIB ifIndex, the binding of linkDown and linkUp that names the link.
const QLatin1String kIfIndexPrefix("1.3.6.1.2.1.2.2.1.1.");
// The devices' own enterprise: their traps become alarms.
const QLatin1String kOwnEnterprise("1.3.6.1.4.1.44467.");
constexpr int kFileVersion = 1;
constexpr int kSaveLaterMs = 1000;
// What a device's trap may put into one alarm's text.
constexpr int kValueChars = 64;
constexpr int kTextChars = 400;

QString linkOf(const Trap& trap)
{
    for (const TrapBinding& b : trap.bindings) {
        if (b.oid.startsWith(kIfIndexPrefix))
            return b.value;
    }
    return QString();
}

// One line, bounded: a value of a trap is the sender's text.
QString oneLine(QString text, int chars)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    if (text.size() > chars)
        text = text.left(chars - 3) + QStringLiteral("...");
    return text;
}

QString severityKey(AlarmSeverity s)
{
    return alarmSeverityName(s);
}

bool severityOf(const QString& text, AlarmSeverity* s)
{
    for (AlarmSeverity v : {AlarmSeverity::Warning, AlarmSeverity::Minor, AlarmSeverity::Major,
                            AlarmSeverity::Critical}) {
        if (text == alarmSeverityName(v)) {
            *s = v;
            return true;
        }
    }
    return false;
}

QString isoTime(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime timeOf(const QJsonValue& v)
{
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

} // namespace

QString alarmSeverityName(AlarmSeverity s)
{
    switch (s) {
    case AlarmSeverity::Warning:
        return QStringLiteral("warning");
    case AlarmSeverity::Minor:
        return QStringLiteral("minor");
    case AlarmSeverity::Major:
        return QStringLiteral("major");
    case AlarmSeverity::Critical:
        return QStringLiteral("critical");
    }
    return QString();
}

QString namedTrapKind(const Trap& trap)
{
    const QString name = trap.name();
    // Numbers are "enterpriseSpecific E.N" (SNMPv1) or a dotted OID.
    if (name.isEmpty() || !name.at(0).isLetter() ||
        name.startsWith(QLatin1String("enterpriseSpecific")))
        return QString();
    return name;
}

bool Alarm::clearsItself() const
{
    return kind == QLatin1String("unreachable") || kind == QLatin1String("linkDown") ||
           kind == QLatin1String("restarted");
}

AlarmBook::AlarmBook(const Timings& timings, QObject* parent)
    : QObject(parent), m_timings(timings), m_expiry(new QTimer(this)), m_saveLater(new QTimer(this))
{
    m_expiry->setSingleShot(true);
    connect(m_expiry, &QTimer::timeout, this, &AlarmBook::expire);
    m_saveLater->setSingleShot(true);
    m_saveLater->setInterval(kSaveLaterMs);
    connect(m_saveLater, &QTimer::timeout, this, &AlarmBook::save);
}

AlarmBook::~AlarmBook()
{
    if (m_saveLater->isActive())
        save();
}

QString AlarmBook::pathFor(const QString& dbPath)
{
    // Beside the file a link points to, as the event log and the lock are.
    const QFileInfo db(dbPath);
    const QString target = db.isSymLink() ? db.symLinkTarget() : db.absoluteFilePath();
    return QFileInfo(target).absoluteDir().filePath(QStringLiteral("alarms.json"));
}

bool AlarmBook::open(const QString& path)
{
    m_path = path;
    m_error.clear();
    m_alarms.clear();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        Q_EMIT changed();
        return true;
    }
    QString why;
    QList<Alarm> loaded;
    QByteArray bytes;
    // A pipe, a device or a folder in its place is refused, never waited on.
    if (readRegularFile(path, &bytes, &why)) {
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
        const QJsonObject root = doc.object();
        if (parseError.error != QJsonParseError::NoError)
            why = parseError.errorString();
        else if (root.value(QStringLiteral("version")).toInt() != kFileVersion)
            why = QStringLiteral("not a list of alarms of this program");
        for (const QJsonValue& v : root.value(QStringLiteral("alarms")).toArray()) {
            if (!why.isEmpty())
                break;
            const QJsonObject o = v.toObject();
            Alarm a;
            a.section = o.value(QStringLiteral("section")).toString();
            a.mac = o.value(QStringLiteral("mac")).toString();
            a.name = o.value(QStringLiteral("name")).toString();
            a.host = o.value(QStringLiteral("host")).toString();
            a.kind = o.value(QStringLiteral("kind")).toString();
            a.instance = o.value(QStringLiteral("instance")).toString();
            a.text = o.value(QStringLiteral("text")).toString();
            a.since = timeOf(o.value(QStringLiteral("since")));
            a.last = timeOf(o.value(QStringLiteral("last")));
            a.expires = timeOf(o.value(QStringLiteral("expires")));
            a.count = qMax(1, o.value(QStringLiteral("count")).toInt(1));
            a.acknowledged = o.value(QStringLiteral("acknowledged")).toBool();
            if (a.section.isEmpty() || a.kind.isEmpty() || !a.since.isValid() ||
                !severityOf(o.value(QStringLiteral("severity")).toString(), &a.severity)) {
                why = QStringLiteral("an alarm without element, kind, time or severity");
                break;
            }
            if (!a.last.isValid())
                a.last = a.since;
            loaded.append(a);
        }
    }
    if (!why.isEmpty()) {
        // Kept for a look, never overwritten by the next change.
        const QString aside = path + QStringLiteral(".bad");
        QFile::remove(aside);
        QFile::rename(path, aside);
        m_error = QStringLiteral("The alarms of %1 could not be read (%2); the file was moved "
                                 "to %3.")
                      .arg(QDir::toNativeSeparators(path), why, QDir::toNativeSeparators(aside));
        Q_EMIT changed();
        return false;
    }
    std::sort(loaded.begin(), loaded.end(),
              [](const Alarm& a, const Alarm& b) { return a.id() < b.id(); });
    loaded.erase(std::unique(loaded.begin(), loaded.end(),
                             [](const Alarm& a, const Alarm& b) { return a.id() == b.id(); }),
                 loaded.end());
    m_alarms = loaded;
    Q_EMIT changed();
    expire(); // what ran out while no program watched clears now
    return true;
}

qsizetype AlarmBook::indexOf(const QString& id) const
{
    const auto it =
        std::lower_bound(m_alarms.cbegin(), m_alarms.cend(), id,
                         [](const Alarm& a, const QString& key) { return a.id() < key; });
    return it != m_alarms.cend() && it->id() == id ? it - m_alarms.cbegin() : -1;
}

void AlarmBook::raise(Alarm alarm)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    alarm.last = now;
    const qsizetype i = indexOf(alarm.id());
    if (i >= 0) {
        // The same again: counted, the newest text and time kept.
        Alarm& a = m_alarms[i];
        a.mac = alarm.mac;
        a.name = alarm.name;
        a.host = alarm.host;
        a.text = alarm.text;
        a.last = now;
        a.expires = alarm.expires;
        ++a.count;
        // A flood of the same trap writes the file once a second at most.
        if (!m_saveLater->isActive())
            m_saveLater->start();
        armExpiry();
        Q_EMIT changed();
        return;
    }
    {
        alarm.since = now;
        const auto at =
            std::lower_bound(m_alarms.begin(), m_alarms.end(), alarm.id(),
                             [](const Alarm& a, const QString& key) { return a.id() < key; });
        m_alarms.insert(at, alarm);
        Q_EMIT raised(alarm);
    }
    save();
    armExpiry();
    Q_EMIT changed();
}

int AlarmBook::numberedAlarms(const QString& section) const
{
    // Ids are sorted: an element's numbered alarms stand side by side.
    const QString prefix = section + QStringLiteral("/enterpriseSpecific/");
    auto it = std::lower_bound(m_alarms.cbegin(), m_alarms.cend(), prefix,
                               [](const Alarm& a, const QString& key) { return a.id() < key; });
    int n = 0;
    for (; it != m_alarms.cend() && it->id().startsWith(prefix); ++it) {
        if (it->instance != kFurtherNumbers)
            ++n;
    }
    return n;
}

void AlarmBook::clear(qsizetype index)
{
    const Alarm gone = m_alarms.takeAt(index);
    save();
    armExpiry();
    Q_EMIT cleared(gone);
    Q_EMIT changed();
}

void AlarmBook::setReachable(const QString& section, const QString& mac, const QString& name,
                             const QString& host, bool reachable, const QString& cause)
{
    Alarm a;
    a.section = section;
    a.mac = mac;
    a.name = name;
    a.host = host;
    a.kind = QStringLiteral("unreachable");
    a.severity = AlarmSeverity::Critical;
    a.text = cause.isEmpty() ? QStringLiteral("no reply from %1").arg(host) : cause;
    const qsizetype i = indexOf(a.id());
    if (reachable) {
        if (i >= 0)
            clear(i);
    } else if (i < 0) {
        raise(a);
    }
}

void AlarmBook::trapReceived(const Trap& trap, const ElementEntry& element)
{
    if (element.section.isEmpty())
        return;
    Alarm a;
    a.section = element.section;
    a.mac = element.mac;
    a.name = element.name;
    a.host = QHostAddress(trap.sourceAddress).toString();
    const QString name = trap.name();
    const QString oid = trap.notificationOid();
    if (name == QLatin1String("linkDown") || name == QLatin1String("linkUp")) {
        a.kind = QStringLiteral("linkDown");
        a.instance = linkOf(trap);
        if (name == QLatin1String("linkUp")) {
            const qsizetype i = indexOf(a.id());
            if (i >= 0)
                clear(i);
            return;
        }
        a.severity = AlarmSeverity::Major;
        a.text = a.instance.isEmpty()
                     ? QStringLiteral("link down")
                     : QStringLiteral("link down (interface %1)").arg(oneLine(a.instance, 16));
    } else if (name == QLatin1String("coldStart") || name == QLatin1String("warmStart")) {
        a.kind = QStringLiteral("restarted");
        a.severity = AlarmSeverity::Warning;
        a.text = QStringLiteral("restarted (%1)").arg(name);
        a.expires = QDateTime::currentDateTimeUtc().addMSecs(m_timings.alarmRestartedMs);
    } else if (name == QLatin1String("authenticationFailure")) {
        a.kind = name;
        a.severity = AlarmSeverity::Minor;
        a.text = QStringLiteral("authentication failure");
    } else if (oid.startsWith(kOwnEnterprise)) {
        // A name the decoder knows comes from ORVALINK-MIB; any other
        // number stays a number (a label that a sender cannot vary).
        const QString named = namedTrapKind(trap);
        const bool known = !named.isEmpty();
        a.kind = known ? named : QStringLiteral("enterpriseSpecific");
        a.instance = oid;
        a.severity = AlarmSeverity::Warning;
        if (!known && indexOf(a.id()) < 0 && numberedAlarms(a.section) >= kNumberedAlarmsPerElement)
            a.instance = kFurtherNumbers;
        QStringList bindings;
        for (const TrapBinding& b : trap.bindings)
            bindings << b.oid + QStringLiteral(" = ") + oneLine(b.value, kValueChars);
        a.text = (known ? QStringLiteral("ORVALINK-MIB::%1 (%2)").arg(named, oid)
                  : a.instance == kFurtherNumbers
                      ? QStringLiteral("enterprise-specific traps of more than %1 numbers, the "
                                       "latest %2")
                            .arg(kNumberedAlarmsPerElement)
                            .arg(oid)
                      : QStringLiteral("enterprise-specific trap %1").arg(oid)) +
                 (bindings.isEmpty() ? QString() : QStringLiteral(": ") + bindings.join("; "));
        a.text = oneLine(a.text, kTextChars);
    } else {
        return; // other traps are counted by the monitor, never alarms
    }
    raise(a);
}

bool AlarmBook::acknowledge(const QString& id)
{
    const qsizetype i = indexOf(id);
    if (i < 0)
        return false;
    if (!m_alarms.at(i).clearsItself()) {
        Alarm a = m_alarms.at(i);
        a.acknowledged = true;
        Q_EMIT acknowledged(a);
        clear(i);
        return true;
    }
    if (m_alarms.at(i).acknowledged)
        return true;
    m_alarms[i].acknowledged = true;
    save();
    Q_EMIT acknowledged(m_alarms.at(i));
    Q_EMIT changed();
    return true;
}

void AlarmBook::retainOnly(const QSet<QString>& sections)
{
    for (qsizetype i = m_alarms.size() - 1; i >= 0; --i) {
        if (!sections.contains(m_alarms.at(i).section))
            clear(i);
    }
}

bool AlarmBook::worst(const QString& section, AlarmSeverity* severity) const
{
    bool any = false;
    for (const Alarm& a : m_alarms) {
        if (a.section != section)
            continue;
        if (!any || a.severity > *severity)
            *severity = a.severity;
        any = true;
    }
    return any;
}

Event AlarmBook::eventOf(const Alarm& alarm, const QString& outcome)
{
    Event e;
    e.operation = QStringLiteral("alarm");
    e.outcome = outcome;
    e.mac = alarm.mac;
    e.name = alarm.name;
    e.host = alarm.host;
    e.cause = QStringLiteral("%1 (%2): %3")
                  .arg(alarm.kind, alarmSeverityName(alarm.severity), alarm.text);
    return e;
}

void AlarmBook::expire()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (qsizetype i = m_alarms.size() - 1; i >= 0; --i) {
        if (m_alarms.at(i).expires.isValid() && m_alarms.at(i).expires <= now)
            clear(i);
    }
    armExpiry();
}

void AlarmBook::armExpiry()
{
    QDateTime next;
    for (const Alarm& a : std::as_const(m_alarms)) {
        if (a.expires.isValid() && (!next.isValid() || a.expires < next))
            next = a.expires;
    }
    if (!next.isValid()) {
        m_expiry->stop();
        return;
    }
    const qint64 ms = QDateTime::currentDateTimeUtc().msecsTo(next);
    m_expiry->start(int(qBound<qint64>(0, ms, 24LL * 3600 * 1000)));
}

bool AlarmBook::save()
{
    m_saveLater->stop();
    if (m_path.isEmpty())
        return true;
    QJsonArray list;
    for (const Alarm& a : std::as_const(m_alarms)) {
        QJsonObject o;
        o.insert(QStringLiteral("section"), a.section);
        o.insert(QStringLiteral("mac"), a.mac);
        o.insert(QStringLiteral("name"), a.name);
        o.insert(QStringLiteral("host"), a.host);
        o.insert(QStringLiteral("kind"), a.kind);
        o.insert(QStringLiteral("instance"), a.instance);
        o.insert(QStringLiteral("text"), a.text);
        o.insert(QStringLiteral("severity"), severityKey(a.severity));
        o.insert(QStringLiteral("since"), isoTime(a.since));
        o.insert(QStringLiteral("last"), isoTime(a.last));
        if (a.expires.isValid())
            o.insert(QStringLiteral("expires"), isoTime(a.expires));
        o.insert(QStringLiteral("count"), a.count);
        o.insert(QStringLiteral("acknowledged"), a.acknowledged);
        list.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), kFileVersion);
    root.insert(QStringLiteral("alarms"), list);

    QString why;
    FileLock lock(FileLock::lockPathFor(m_path));
    if (!lock.isLocked()) {
        why = lock.error();
    } else {
        safefile::Options options;
        options.mode = safefile::Mode::Private;
        safefile::replaceFile(m_path, QJsonDocument(root).toJson(QJsonDocument::Indented), options,
                              &why);
    }
    if (why.isEmpty())
        return true;
    m_error = QStringLiteral("The alarms could not be written to %1: %2")
                  .arg(QDir::toNativeSeparators(m_path), why);
    Q_EMIT saveFailed(m_error);
    return false;
}

} // namespace orvalink
