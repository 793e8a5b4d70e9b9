#pragma once
// The per-user settings: application "Quorvane". Section "Orvalink SNMP"
// holds the NMS interface and the notice's tick; section "Orvalink NMS
// window" holds how the main window was left (size, position, splitter, the
// level control offer, the remote protocol's commands).

#include <QByteArray>
#include <QString>
#include <memory>

class QSettings;

namespace orvalink {

class UserSettings {
public:
    // The platform's per-user store (the registry on Windows).
    UserSettings();
    // An INI file at iniPath instead: for tests and for tools that must not
    // touch the operator's settings.
    explicit UserSettings(const QString& iniPath);
    ~UserSettings();
    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    // "NMS IP Address", default "0.0.0.0".
    QString nmsIpAddress() const;
    void setNmsIpAddress(const QString& address);
    // Numeric value of "EULA1", default 0; non-zero means the start-up notice
    // is not shown again.
    int eula() const;
    void setEula(bool dontShowAgain);

    // ---- The main window as it was left (empty or false when never stored) ----
    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);
    QByteArray splitterState() const;
    void setSplitterState(const QByteArray& state);
    // View > "Show audio level control".
    bool levelControlShown() const;
    void setLevelControlShown(bool shown);
    // View > "Show remote protocol commands" (Auto Discovery); off unless
    // the operator turned it on.
    bool remoteCommandsShown() const;
    void setRemoteCommandsShown(bool shown);

private:
    QString value(const QString& key, const QString& def) const;
    void setValue(const QString& key, const QString& value);

    std::unique_ptr<QSettings> m_settings;
};

} // namespace orvalink
