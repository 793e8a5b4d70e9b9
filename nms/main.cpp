// orvalink-nms: the desktop program.
//
//   orvalink-nms [--db PATH] [--snmp-port P] [GPS | LL]
//
// The toolkit's own options (-platform, -style, ...) are taken out first.
// What remains apart from --db is the start word, compared as one text: "GPS"
// starts the GPSDO edition, "LL" the low-latency edition, anything else the
// plain one. --db chooses another element database than the usual one (see
// defaultDatabaseLocation; the demo uses it so that an operator's database
// is never touched).
// --snmp-port sends SNMP requests to another port than 161 (the demo's
// simulated elements listen on a high port, so that it needs no privilege).
//
// Exit codes: 0 after the main window closed, 1 when another instance is
// already running, 2 for a malformed --db or --snmp-port option; 1 also when
// the remote protocol's UDP port 2976 is taken by another program.

#include "app/AppContext.h"
#include "app/MessageBoxPrompt.h"
#include "app/frmMain.h"
#include "core/InterfaceLister.h"
#include "core/StartMode.h"
#include "core/UserSettings.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QTextStream>

using namespace orvalink;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    QStringList words = QApplication::arguments();
    if (!words.isEmpty())
        words.removeFirst();

    QString databasePath; // --db, else where this program keeps it
    quint16 snmpAgentPort = 161;
    for (int i = 0; i < words.size();) {
        const QString& w = words.at(i);
        if (w == QLatin1String("--db")) {
            if (i + 1 >= words.size() || words.at(i + 1).isEmpty()) {
                QTextStream(stderr) << "orvalink-nms: --db needs the path of an element database\n";
                return 2;
            }
            databasePath = words.at(i + 1);
            words.remove(i, 2);
        } else if (w == QLatin1String("--snmp-port") ||
                   w.startsWith(QLatin1String("--snmp-port="))) {
            const bool joined = w.size() > 11;
            const QString value = joined ? w.mid(12) : words.value(i + 1);
            bool ok = false;
            const uint port = value.toUInt(&ok);
            if (!ok || port == 0 || port > 65535) {
                QTextStream(stderr)
                    << "orvalink-nms: --snmp-port needs a UDP port from 1 to 65535\n";
                return 2;
            }
            snmpAgentPort = quint16(port);
            words.remove(i, joined ? 1 : 2);
        } else if (w.startsWith(QLatin1String("--db="))) {
            databasePath = w.mid(5);
            if (databasePath.isEmpty()) {
                QTextStream(stderr) << "orvalink-nms: --db needs the path of an element database\n";
                return 2;
            }
            words.remove(i);
        } else {
            ++i;
        }
    }

    QString databaseNotice;
    if (databasePath.isEmpty()) {
        const DatabaseLocation location = defaultDatabaseLocation();
        databasePath = location.path;
        databaseNotice = location.notice;
    }
    // What a write killed halfway left beside the database.
    IniStore::removeStaleTemporaries(databasePath);

    MessageBoxPrompt prompt;
    UserSettings settings;
    SystemInterfaceLister interfaces;

    AppContext context;
    context.commandWord = commandWord(words);
    context.databasePath = databasePath;
    context.snmpAgentPort = snmpAgentPort;
    context.liveStatus = true;
    context.prompt = &prompt;
    context.settings = &settings;
    context.interfaces = &interfaces;
    context.lockPath = defaultLockPath();

    frmMain window(context);
    // The remote protocol's port is taken: the message was shown, the
    // program ends.
    QObject::connect(&window, &frmMain::fatalError, &app, [] { QCoreApplication::exit(1); });
    prompt.setParentWidget(&window);
    if (window.startUp() == frmMain::StartResult::AlreadyRunning)
        return 1;
    window.show();
    // The database has just moved from beside the program: said once.
    if (!databaseNotice.isEmpty())
        prompt.tell(PromptIcon::Information, databaseNotice);
    return app.exec();
}
