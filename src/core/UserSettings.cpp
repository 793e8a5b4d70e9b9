#include "core/UserSettings.h"

#include <QSettings>

namespace orvalink {

namespace {
const QString kSection = QStringLiteral("Orvalink SNMP");
}

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

} // namespace orvalink
