#pragma once
// Shared pieces of orvalink-cli's verbs.

#include "Verb.h"
#include "core/DatagramTap.h"
#include "core/Timings.h"
#include "devops/OperationEvents.h"
#include "store/EventLog.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace orvalink {
class Database;
class IniStore;
class SnmpClient;
class SnmpTransport;
struct ElementEntry;
struct ShownElement;
} // namespace orvalink

namespace orvalink::cli {

struct Context {
    QString dbPath;     // --db, default nms.ini beside the program
    QString nmsAddress; // --nms, default the saved NMS interface, then 127.0.0.1
    QTextStream& out;
    QTextStream& err;
    quint16 agentPort = 161;    // --port, the SNMP agents' UDP port
    int remoteWaitMs = 0;       // --wait, the remote protocol's waits (0: 3000 ms)
    bool verbose = false;       // -v, --verbose: every datagram to standard error
    const Verb* verb = nullptr; // the verb that runs
};

// The verbs, each with its options and its code in cli/verb_NAME.cpp.
extern const Verb kListVerb;
extern const Verb kGetVerb;
extern const Verb kSetVerb;
extern const Verb kProbeVerb;
extern const Verb kPingVerb;
extern const Verb kArpVerb;
extern const Verb kLevelVerb;
extern const Verb kDiffVerb;
extern const Verb kApplyVerb;
extern const Verb kBackupVerb;
extern const Verb kRestoreVerb;
extern const Verb kHistoryVerb;
extern const Verb kDiscoverVerb;
extern const Verb kRemoteSaveVerb;
extern const Verb kStatsVerb;
extern const Verb kSfnVerb;
extern const Verb kEventsVerb;
extern const Verb kTrapsVerb;
extern const Verb kMonitorVerb;

// One event as `events` prints it, made printable.
QString eventLine(const Event& e);

// A text from a file or a device made safe for a terminal: every control
// character (C0, DEL, C1) is written as \xNN, and so is a backslash that
// could be read as the start of one; line breaks stay when keepLineBreaks.
QString printable(const QString& text, bool keepLineBreaks = false);
// A value as one word on a line: printable, quoted when it is empty or
// holds a blank.
QString word(const QString& value);
// "NAME [MAC]", both made printable (a MAC comes from a section name).
QString elementLabel(const QString& name, const QString& mac);

// Database writes that fail are told on standard error, once per streak.
void reportWriteFailures(const Context& ctx, IniStore& store);

// With -v: prints each datagram to standard error, in hex with a summary of
// an SNMP message (snmp) or of the remote protocol; empty without -v.
DatagramTap datagramPrinter(const Context& ctx, bool snmp);
// Binds the transport to --nms and --port (and taps it with -v).
void prepareTransport(const Context& ctx, SnmpTransport& snmp);
// The same for a multi-element sweep (ConfigSweep, StatisticsSweep), from
// localPort of --nms (0: a free one).
template <typename Sweep>
void prepareSweep(const Context& ctx, Sweep& sweep, quint16 localPort = 2979)
{
    sweep.setLocalAddress(ctx.nmsAddress);
    sweep.setPorts(localPort, ctx.agentPort);
    sweep.setTap(datagramPrinter(ctx, true));
}
// The elements named by MACs (each once), or all of them; false after
// printing why.
bool selectElements(const Context& ctx, const Database& database, const QStringList& macs, bool all,
                    QList<ElementEntry>* out);
// Bounds of a list of MACs read from a file or a pipe (apply --macs).
inline constexpr qint64 kMacListMaxBytes = 16 * 1024 * 1024;
inline constexpr qsizetype kMacListMaxLines = 1000000;
inline constexpr int kMacListSilenceMs = 10000;
// The MACs listed in path, one a line, blank lines and lines starting with
// # left out. A regular file or a pipe within the bounds above that names
// at least one MAC; false after printing why (the verb then exits with
// kExitUsage).
bool readMacList(const Context& ctx, const QString& path, QStringList* macs);

// Exit code of apply, diff and sfn when nothing could be sent because the
// SNMP socket (UDP port 2979 on --nms) cannot be opened.
inline constexpr int kExitSocketFailure = 3;
// Opens the SNMP socket before a verb sends anything; false after printing
// why it cannot ("Cannot open UDP port 2979 on ADDR: ..."), also in *reason.
bool openSnmpSocket(const Context& ctx, SnmpTransport& snmp, QString* reason = nullptr);
// A database that cannot be read (a folder, a device, UTF-16 text, no
// permission, ...) is refused before anything is sent; false after
// printing why.
bool databaseUsable(const Context& ctx, const Database& database);

// N of get and set: a parameter number; false after the usage error.
bool takeParameter(const Context& ctx, const QString& text, quint8* n);

// Exit code of a usage error: a malformed argument, an element that is not
// in the database (see usageError()).
inline constexpr int kExitUsage = 2;
// Exit code of diff when an element does not answer.
inline constexpr int kExitNoAnswer = 2;

// host as a dotted IPv4 address; false after the usage error
// ("HOST "x" is not a dotted IPv4 address").
bool checkHost(const Context& ctx, const QString& host);

// The options of the verbs that send changes (apply, restore, sfn, backup).
inline constexpr VerbOption kYesOption{"yes", nullptr,
                                       "send without asking first (the question would go to "
                                       "the terminal)"};
inline constexpr VerbOption kSpacingOption{
    "spacing-ms",
    "N",
    "N ms between two SETs instead of the 6000 ms the devices need; for simulators only",
    "milliseconds",
    0,
    600000};
inline constexpr VerbOption kEditionOption{
    "edition", "GPS|LL", "the buffer range and the backups of the GPS or LL edition"};
struct ChangeOptions {
    bool assumeYes = false;
    int spacingMs = Timings{}.snmpSetAllowedMs;
    QString edition; // "GPS", "LL", or empty for the plain edition
};
// --yes, --spacing-ms and --edition as given; false after the usage error
// of an --edition that is neither GPS nor LL.
bool takeChangeOptions(const Context& ctx, const VerbArgs& args, ChangeOptions* options);

// An element of the database named on the command line.
struct FoundElement {
    QString section; // its section: the MAC as 12 digits
    QString mac;     // the colon form
    QString name;    // stored name, without its padding
    QString host;    // the address of its SNMP agent (snmpip)
    QString role;    // stored role text
};
// Finds the element named by macText (the colon form or the 12 digits of
// its section). False after the usage error ("VERB: "X" is not a MAC
// address like 2E:8B:F2:00:0A:1B", "VERB: no element MAC in PATH"); the
// verb then exits with kExitUsage.
bool findElement(const Context& ctx, const Database& database, const QString& macText,
                 FoundElement* found);
// The same, with the element as the apply operation sees it.
bool findShown(const Context& ctx, const Database& database, const QString& macText,
               FoundElement* found, ShownElement* shown);
// The stored element whose SNMP agent or own address is host; an empty
// FoundElement when none is.
FoundElement elementAt(const Database& database, const QString& host);
// An element whose section holds no SNMP address (as discovery writes it)
// is never talked to: the devices' factory address may be anyone. False
// after the usage error "NAME [MAC]: no SNMP address stored".
bool hasStoredAgent(const Context& ctx, const Database& database, const FoundElement& element);
// Who answers at the element's SNMP address, asked (its MAC, parameter 15,
// with the read community) before anything is sent to it.
enum class Identity {
    Same,   // the element stored
    Other,  // another element, or one that gave no MAC
    Silent, // no answer, or nothing could be sent
};
// *why: empty for Same, else identityRefusal()'s sentence, "no reply from
// HOST" or why nothing was sent.
Identity identify(SnmpClient& snmp, const Database& database, const FoundElement& element,
                  QString* why);

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
