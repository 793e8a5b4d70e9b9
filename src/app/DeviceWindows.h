#pragma once
// The device windows of the shown element and the outcomes they post:
// Device SNMP properties, Statistics, SFN adjustment, and the panel's ping
// button. Each runs only for an element the panel shows.

#include <QObject>
#include <memory>

namespace orvalink {

class CommandContext;
class ElementCommands;
class Pinger;

class DeviceWindows final : public QObject {
    Q_OBJECT
public:
    DeviceWindows(CommandContext& context, ElementCommands& elements, QObject* parent = nullptr);
    ~DeviceWindows() override;

    void showSNMPProperties();
    void showStatistics();
    void showAdjust();
    // The panel's ping button: one ICMP echo to the shown element's agent
    // address, the outcome on the button.
    void cmdPing_Click();

private:
    CommandContext& m_cx;
    ElementCommands& m_elements;
    std::unique_ptr<Pinger> m_ownPinger;
    bool m_pinging = false;
};

} // namespace orvalink
