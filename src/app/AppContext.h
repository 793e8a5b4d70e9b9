#pragma once
// Everything the main window takes from outside: the seams that tests replace.

#include "core/Timings.h"

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace orvalink {

class InterfaceLister;
class Pinger;
class MacResolver;
class Prompt;
class UserSettings;

struct AppContext {
    // The command line after the program name and the toolkit's own options,
    // as one text ("GPS", "LL", or anything else).
    QString commandWord;
    // The element database nms.ini.
    QString databasePath;
    Prompt* prompt = nullptr;
    UserSettings* settings = nullptr;
    Timings timings;
    InterfaceLister* interfaces = nullptr;
    // ICMP echo of the ping button. Empty: the system's ICMP sockets.
    Pinger* pinger = nullptr;
    // UDP ports of SNMP: the local one and the elements' agents'. The demo
    // runs its simulated agents on a high port, so that it needs no privilege.
    quint16 snmpLocalPort = 2979;
    quint16 snmpAgentPort = 161;
    // Live status and alarms: the status poller, the trap receiver (port
    // from the user settings) and alarms.json. The program turns them on;
    // a test that does not ask for them sends no poll and binds no port.
    bool liveStatus = false;
    // Lock file that keeps a second instance from starting.
    QString lockPath;
    // Shows the start-up notice and returns when it is closed. Empty: the
    // modal notice window.
    std::function<void(UserSettings&, QWidget* parent)> showNotice;
    // Finds the MAC address of a remote-protocol reply's sender. Empty: the
    // host's neighbour table.
    MacResolver* macResolver = nullptr;
    // Runs a device window modally and returns when it is closed. Empty:
    // QDialog::exec(). Tests drive the window here instead.
    std::function<void(QDialog&)> runDialog;
    // Asks for a file to write or read, or a folder; empty when the operator
    // cancelled. Empty: the toolkit's file windows. Tests answer here.
    struct FileQuestion {
        enum class Kind { SaveFile, OpenFile, Folder };
        Kind kind = Kind::SaveFile;
        QString title;
        QString suggested; // a path, or the folder to start in
        QString filter;    // "Configuration backup (*.ini)"
    };
    std::function<QString(const FileQuestion&)> chooseFile;
    // Runs instead of the "Save changes" window, once the selection check
    // passed. Empty: the window. Tests count the command here.
    std::function<void()> sendConfiguration;
};

// Per-user lock file of the running program.
QString defaultLockPath();

} // namespace orvalink
