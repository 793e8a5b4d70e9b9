#pragma once
// What the main window's command classes share: the window's context, the
// element database, its SNMP socket, the panel and the tree, the start
// mode and the NMS interface, and the ways back to the operator (a device
// window run modally, an outcome posted). frmMain owns one and hands it to
// each part it builds.

#include "app/AppContext.h"
#include "core/AppFlags.h"

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace orvalink {

// The line break in the text of the window's message boxes.
inline const QString kCR = QStringLiteral("\r");

class Database;
class ElementPanel;
class ElementTree;
class IniStore;
class OperationEvents;
class SnmpTransport;
struct Event;

class CommandContext {
public:
    CommandContext(QWidget& window, const AppContext& context, IniStore& store, Database& database);

    QWidget& window() const { return m_window; }
    const AppContext& app() const { return m_ctx; }
    Prompt& prompt() const { return *m_ctx.prompt; }
    const Timings& timings() const { return m_ctx.timings; }
    const QString& databasePath() const { return m_ctx.databasePath; }
    IniStore& store() const { return m_store; }
    Database& database() const { return m_database; }

    // Set once, while the window is built.
    void setParts(ElementPanel& panel, ElementTree& tree, SnmpTransport& snmp);
    ElementPanel& panel() const { return *m_panel; }
    ElementTree& tree() const { return *m_tree; }
    SnmpTransport& snmp() const { return *m_snmp; }

    // The start mode (the panel reads it too, so it lives here, once).
    AppFlags& flags() { return m_flags; }
    const AppFlags& flags() const { return m_flags; }
    // "GPS", "LL" or empty: the edition this window runs (a backup's header).
    QString editionWord() const;
    // The NMS interface's address (strLocalNMSIPAddress).
    const QString& localAddress() const { return m_localAddress; }
    void setLocalAddress(const QString& address) { m_localAddress = address; }

    // The window's one entry for outcomes (frmMain::postOutcome).
    void setOutcomeSink(std::function<void(const Event&)> sink) { m_sink = std::move(sink); }
    void postOutcome(const Event& event) const;
    // A free text of the window ("No reply from 127.0.0.1").
    void postOutcome(const QString& text) const;
    // The events of an operation on the element in `section`, posted here.
    OperationEvents eventsOf(const QString& operation, const QString& section) const;

    // Runs a window modally (the context's runDialog in tests).
    void runDialog(QDialog& dialog) const;

    // While a device window runs, its operation tells a failed database
    // write itself; the window adds no box of its own.
    bool deviceWindowOpen() const { return m_deviceWindowsOpen > 0; }
    class DeviceWindowOpen {
    public:
        explicit DeviceWindowOpen(CommandContext& context) : m_count(context.m_deviceWindowsOpen)
        {
            ++m_count;
        }
        ~DeviceWindowOpen() { --m_count; }
        DeviceWindowOpen(const DeviceWindowOpen&) = delete;
        DeviceWindowOpen& operator=(const DeviceWindowOpen&) = delete;

    private:
        int& m_count;
    };

private:
    QWidget& m_window;
    const AppContext& m_ctx;
    IniStore& m_store;
    Database& m_database;
    ElementPanel* m_panel = nullptr;
    ElementTree* m_tree = nullptr;
    SnmpTransport* m_snmp = nullptr;
    AppFlags m_flags;
    QString m_localAddress;
    std::function<void(const Event&)> m_sink;
    int m_deviceWindowsOpen = 0;
};

} // namespace orvalink
