#pragma once
// The per-user settings: application "Quorvane". Section "Orvalink SNMP"
// holds the NMS interface, the notice's tick, the live status polling and
// the trap port; section "Orvalink NMS
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

    // ---- Live status and alarms ----
    // View > "Poll element status": on unless the operator turned it off.
    bool statusPolling() const;
    void setStatusPolling(bool on);
    // Seconds between two rounds of status polls; 0 when never stored (the
    // program's own interval then holds, 30 s).
    int statusIntervalSeconds() const;
    void setStatusIntervalSeconds(int seconds);
    // UDP port of the trap receiver on the NMS interface, default 162.
    quint16 trapPort() const;
    void setTrapPort(quint16 port);

private:
    QString value(const QString& key, const QString& def) const;
    void setValue(const QString& key, const QString& value);

    std::unique_ptr<QSettings> m_settings;
};

} // namespace orvalink
