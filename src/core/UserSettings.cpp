#include "core/UserSettings.h"

#include <QSettings>

namespace orvalink {

namespace {
const QString kSection = QStringLiteral("Orvalink SNMP");
const QString kWindowSection = QStringLiteral("Orvalink NMS window");
const QString kGeometryKey = kWindowSection + QStringLiteral("/Geometry");
const QString kSplitterKey = kWindowSection + QStringLiteral("/Splitter");
const QString kLevelControlKey = kWindowSection + QStringLiteral("/Show audio level control");
const QString kRemoteCommandsKey =
    kWindowSection + QStringLiteral("/Show remote protocol commands");
} // namespace

UserSettings::UserSettings()
    : m_settings(
          std::make_unique<QSettings>(QStringLiteral("Quorvane"), QStringLiteral("Quorvane")))
{
}

UserSettings::UserSettings(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

UserSettings::~UserSettings() = default;

QString UserSettings::value(const QString& key, const QString& def) const
{
    return m_settings->value(kSection + QLatin1Char('/') + key, def).toString();
}

void UserSettings::setValue(const QString& key, const QString& value)
{
    m_settings->setValue(kSection + QLatin1Char('/') + key, value);
    m_settings->sync();
}

QString UserSettings::nmsIpAddress() const
{
    return value(QStringLiteral("NMS IP Address"), QStringLiteral("0.0.0.0"));
}

void UserSettings::setNmsIpAddress(const QString& address)
{
    setValue(QStringLiteral("NMS IP Address"), address);
}

int UserSettings::eula() const
{
    // Like the old settings store, a stored text that is not a number reads as 0.
    bool ok = false;
    const int v = value(QStringLiteral("EULA1"), QStringLiteral("0")).trimmed().toInt(&ok);
    return ok ? v : 0;
}

void UserSettings::setEula(bool dontShowAgain)
{
    setValue(QStringLiteral("EULA1"), dontShowAgain ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray UserSettings::windowGeometry() const
{
    return m_settings->value(kGeometryKey).toByteArray();
}

void UserSettings::setWindowGeometry(const QByteArray& geometry)
{
    m_settings->setValue(kGeometryKey, geometry);
    m_settings->sync();
}

QByteArray UserSettings::splitterState() const
{
    return m_settings->value(kSplitterKey).toByteArray();
}

void UserSettings::setSplitterState(const QByteArray& state)
{
    m_settings->setValue(kSplitterKey, state);
    m_settings->sync();
}

bool UserSettings::levelControlShown() const
{
    return m_settings->value(kLevelControlKey, QStringLiteral("0")).toString() ==
           QLatin1String("1");
}

void UserSettings::setLevelControlShown(bool shown)
{
    m_settings->setValue(kLevelControlKey, shown ? QStringLiteral("1") : QStringLiteral("0"));
    m_settings->sync();
}

bool UserSettings::remoteCommandsShown() const
{
    return m_settings->value(kRemoteCommandsKey, QStringLiteral("0")).toString() ==
           QLatin1String("1");
}

void UserSettings::setRemoteCommandsShown(bool shown)
{
    m_settings->setValue(kRemoteCommandsKey, shown ? QStringLiteral("1") : QStringLiteral("0"));
    m_settings->sync();
}

bool UserSettings::statusPolling() const
{
    return value(QStringLiteral("Status Polling"), QStringLiteral("1")).trimmed() !=
           QLatin1String("0");
}

void UserSettings::setStatusPolling(bool on)
{
    setValue(QStringLiteral("Status Polling"), on ? QStringLiteral("1") : QStringLiteral("0"));
}

int UserSettings::statusIntervalSeconds() const
{
    bool ok = false;
    const int s = value(QStringLiteral("Status Interval"), QString()).trimmed().toInt(&ok);
    // A day at most: a stored text out of range reads as never stored.
    return ok && s >= 1 && s <= 86400 ? s : 0;
}

void UserSettings::setStatusIntervalSeconds(int seconds)
{
    setValue(QStringLiteral("Status Interval"), QString::number(seconds));
}

quint16 UserSettings::trapPort() const
{
    bool ok = false;
    const uint p = value(QStringLiteral("Trap Port"), QStringLiteral("162")).trimmed().toUInt(&ok);
    return ok && p >= 1 && p <= 65535 ? quint16(p) : quint16(162);
}

void UserSettings::setTrapPort(quint16 port)
{
    setValue(QStringLiteral("Trap Port"), QString::number(port));
}

} // namespace orvalink
