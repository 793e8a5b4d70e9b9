#pragma once
// Shared pieces of orvalink-cli's verbs.

#include "core/DatagramTap.h"
#include "core/Timings.h"
#include "devops/OperationEvents.h"
#include "store/EventLog.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace orvalink {
class ConfigSweep;
class Database;
class IniStore;
class SnmpTransport;
struct ElementEntry;
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
int verbBackup(const Context&, const QStringList&);
int verbRestore(const Context&, const QStringList&);
int verbHistory(const Context&, const QStringList&);
// diff --all and the bulk forms of apply (--where, --macs, --all).
int verbDiffAll(const Context&);
int verbApplyBulk(const Context&, const QStringList&);
// One event as `events` prints it, made printable.
QString eventLine(const Event& e);

// A text from a file or a device made safe for a terminal: every control
// character (C0, DEL, C1) is written as \xNN, and so is a backslash that
// could be read as the start of one; line breaks stay when keepLineBreaks.
QString printable(const QString& text, bool keepLineBreaks = false);
// A value as one word on a line: printable, quoted when it is empty or
// holds a blank.
QString word(const QString& value);
// "NAME [MAC]", the name made printable.
QString elementLabel(const QString& name, const QString& mac);

// Database writes that fail are told on standard error, once per streak.
void reportWriteFailures(const Context& ctx, IniStore& store);

// Binds the transport to --nms and --port (and taps it with -v).
void prepareTransport(const Context& ctx, SnmpTransport& snmp);
// The same for a multi-element sweep of the configuration verbs.
void prepareSweep(const Context& ctx, ConfigSweep& sweep);
// The elements named by MACs (each once), or all of them; false after
// printing why.
bool selectElements(const Context& ctx, const char* verb, const Database& database,
                    const QStringList& macs, bool all, QList<ElementEntry>* out);
// Bounds of a list of MACs read from a file or a pipe (apply --macs).
inline constexpr qint64 kMacListMaxBytes = 16 * 1024 * 1024;
inline constexpr qsizetype kMacListMaxLines = 1000000;
inline constexpr int kMacListSilenceMs = 10000;
// The MACs listed in path, one a line, blank lines and lines starting with
// # left out. A regular file or a pipe within the bounds above that names
// at least one MAC; false after printing why (the verb then exits with
// kExitUsage).
bool readMacList(const Context& ctx, const char* verb, const QString& path, QStringList* macs);

// Exit code of apply, diff and sfn when nothing could be sent because the
// SNMP socket (UDP port 2979 on --nms) cannot be opened.
inline constexpr int kExitSocketFailure = 3;
// Opens the SNMP socket before a verb sends anything; false after printing
// why it cannot ("Cannot open UDP port 2979 on ADDR: ..."), also in *reason.
bool openSnmpSocket(const Context& ctx, SnmpTransport& snmp, QString* reason = nullptr);
// A database that cannot be read (a folder, a device, UTF-16 text, no
// permission, ...) is refused before anything is sent; false after
// printing why.
bool databaseUsable(const Context& ctx, const char* verb, const Database& database);

// With -v: prints each datagram to standard error, in hex with a summary of
// an SNMP message (snmp) or of the remote protocol; empty without -v.
DatagramTap datagramPrinter(const Context& ctx, bool snmp);

// Exit code of a usage error: a malformed argument, an element that is not
// in the database.
inline constexpr int kExitUsage = 2;

// "--edition GPS|LL" of several verbs: *edition becomes "GPS" or "LL";
// false after printing why.
bool takeEdition(const Context& ctx, const char* verb, const QString& word, QString* edition);

// The options of the verbs that send changes (apply, restore, bulk apply).
struct ChangeOptions {
    bool assumeYes = false;
    int spacingMs = Timings{}.snmpSetAllowedMs;
    QString edition; // "GPS", "LL", or empty for the plain edition
};
enum class OptionTaken { No, Yes, Refused };
// Takes args[*i] when it is "--yes", "--spacing-ms N" or "--edition
// GPS|LL", moving *i past its value. Refused after printing why (the verb
// then exits with kExitUsage); No for any other word.
OptionTaken takeChangeOption(const Context& ctx, const char* verb, const QStringList& args,
                             qsizetype* i, ChangeOptions* options);

// An element of the database named on the command line.
struct FoundElement {
    QString section; // its section: the MAC as 12 digits
    QString mac;     // the colon form
    QString name;    // stored name, without its padding
    QString host;    // the address of its SNMP agent (snmpip)
    QString role;    // stored role text
};
// Finds the element named by macText (the colon form or the 12 digits of
// its section). False after printing why ("VERB: "X" is not a MAC address
// like 2E:8B:F2:00:0A:1B", "VERB: no element MAC in PATH"); the verb then
// exits with kExitUsage.
bool findElement(const Context& ctx, const char* verb, const Database& database,
                 const QString& macText, FoundElement* found);
// The stored element whose SNMP agent or own address is host; an empty
// FoundElement when none is.
FoundElement elementAt(const Database& database, const QString& host);

// Appends an operation's outcome to the event log beside the database; a
// failure to write it is told on standard error (the verb's exit code stays).
bool postEvent(const Context& ctx, const Event& event);
// The event of an operation on an element (its MAC, name and address; an
// empty element leaves them empty, host then names the address talked to).
Event elementEvent(const QString& operation, const FoundElement& element,
                   const QString& host = QString());
// How an operation ended: outcome "ok" with what it did ("clean", "12 ms"),
// or "failed"/"cancelled"/... with its cause ("no reply from 127.0.0.99");
// a cause of several lines is posted as one.
bool postOutcome(const Context& ctx, Event event, const QString& outcome, const QString& cause);
// A SET the element confirmed: its key with the value before (the stored
// one; empty when not known) and after it.
bool postConfirmedSet(const Context& ctx, Event event, const QString& key, const QString& oldValue,
                      const QString& newValue);
// The events of a run posted to the log, as postEvent() posts them.
OperationEvents operationEvents(const Context& ctx, const Event& base);

// What to check when an agent gave no answer at all, for the operator.
void printNoReplyHint(const Context& ctx, const QString& host);

} // namespace orvalink::cli
