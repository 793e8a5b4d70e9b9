#pragma once
// Shared pieces of orvalink-cli's verbs.

#include "core/DatagramTap.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace orvalink {
class Database;
struct Event;
class IniStore;
class SnmpTransport;
} // namespace orvalink

namespace orvalink::cli {

struct Context {
    QString dbPath;     // --db, default nms.ini beside the program
    QString nmsAddress; // --nms, default the saved NMS interface, then 127.0.0.1
    QTextStream& out;
    QTextStream& err;
    quint16 agentPort = 161; // --port, the SNMP agents' UDP port
    int remoteWaitMs = 0;    // --wait, the remote protocol's waits (0: 3000 ms)
    bool verbose = false;    // -v, --verbose: every datagram to standard error
};

// A verb takes its own arguments (after the verb word) and returns the exit code.
using VerbFunction = int (*)(const Context&, const QStringList&);

struct Verb {
    const char* name;
    const char* usage;   // arguments, e.g. "HOST COMMUNITY N [N ...]"
    const char* summary; // one paragraph for --help
    VerbFunction run;
};

int verbList(const Context&, const QStringList&);
int verbGet(const Context&, const QStringList&);
int verbSet(const Context&, const QStringList&);
int verbProbe(const Context&, const QStringList&);
int verbPing(const Context&, const QStringList&);
int verbArp(const Context&, const QStringList&);
int verbLevel(const Context&, const QStringList&);
int verbDiff(const Context&, const QStringList&);
int verbApply(const Context&, const QStringList&);
int verbDiscover(const Context&, const QStringList&);
int verbRemoteSave(const Context&, const QStringList&);
int verbStats(const Context&, const QStringList&);
int verbSfn(const Context&, const QStringList&);
int verbEvents(const Context&, const QStringList&);
int verbTraps(const Context&, const QStringList&);
int verbMonitor(const Context&, const QStringList&);

// A text from a file or a device made safe for a terminal: every control
// character (C0, DEL, C1) is written as \xNN, and so is a backslash that
// could be read as the start of one; line breaks stay when keepLineBreaks.
QString printable(const QString& text, bool keepLineBreaks = false);

// Database writes that fail are told on standard error, once per streak.
void reportWriteFailures(const Context& ctx, IniStore& store);

// Binds the transport to --nms and --port (and taps it with -v).
void prepareTransport(const Context& ctx, SnmpTransport& snmp);

// Exit code of apply, diff and sfn when nothing could be sent because the
// SNMP socket (UDP port 2979 on --nms) cannot be opened.
inline constexpr int kExitSocketFailure = 3;
// Opens the SNMP socket before a verb sends anything; false after printing
// why it cannot ("Cannot open UDP port 2979 on ADDR: ...").
bool openSnmpSocket(const Context& ctx, SnmpTransport& snmp);
// A database that cannot be read (a folder, a device, UTF-16 text, no
// permission, ...) is refused before anything is sent; false after
// printing why.
bool databaseUsable(const Context& ctx, const char* verb, const Database& database);

// With -v: prints each datagram to standard error, in hex with a summary of
// an SNMP message (snmp) or of the remote protocol; empty without -v.
DatagramTap datagramPrinter(const Context& ctx, bool snmp);

// Appends an operation's outcome to the event log beside the database; a
// failure to write it is told on standard error (the verb's exit code stays).
bool postEvent(const Context& ctx, const Event& event);

// What to check when an agent gave no answer at all, for the operator.
void printNoReplyHint(const Context& ctx, const QString& host);

} // namespace orvalink::cli
