#pragma once
// The command line of orvalink-cli. Each verb declares its options once, in
// a table of VerbOption beside the code that runs it (cli/verb_NAME.cpp);
// one parser reads them for every verb, one function prints a verb's help,
// and every usage error goes through usageError().

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <span>

namespace orvalink::cli {

struct Context;
class VerbArgs;

// An option "--name", "--name VALUE" or "--name=VALUE".
struct VerbOption {
    const char* name;        // without the leading "--"
    const char* valueName;   // "N", "FILE", ...; nullptr for a switch
    const char* description; // for --help
    // A number: what it counts ("milliseconds", "a number") and its range,
    // checked by the parser; nullptr for any text.
    const char* unit = nullptr;
    qint64 minimum = 0;
    qint64 maximum = 0;
    char letter = 0; // also "-L", for the program's own options
};

using VerbRun = int (*)(const Context&, const VerbArgs&);

struct Verb {
    const char* name;
    const char* synopsis; // its arguments and options, e.g. "HOST [--count N]"
    const char* summary;  // one paragraph for --help
    std::span<const VerbOption> options;
    int minArguments; // words that are not options
    int maxArguments; // -1: any number
    VerbRun run;
};

// What the parser found on a command line.
class VerbArgs {
public:
    // Reads args against options. A word that starts with "--" (before a
    // "--" alone) is an option, and so is "-L" for an option's letter; any
    // other word is an argument, so that a value may start with "-". With
    // stopAtArgument, the first argument and all after it are left unread,
    // in arguments(). False with *error ("unknown option --x", ...).
    bool parse(std::span<const VerbOption> options, const QStringList& args, bool stopAtArgument,
               QString* error);
    // "--help" was among the options.
    bool helpAsked() const { return m_help; }
    bool isSet(const char* name) const { return m_values.contains(QLatin1String(name)); }
    // The value of the option's last use, or def.
    QString value(const char* name, const QString& def = QString()) const
    {
        return m_values.value(QLatin1String(name), def);
    }
    // A number option, already checked against its range, or def.
    qint64 number(const char* name, qint64 def) const
    {
        return isSet(name) ? value(name).trimmed().toLongLong() : def;
    }
    const QStringList& arguments() const { return m_arguments; }

private:
    QHash<QString, QString> m_values;
    QStringList m_arguments;
    bool m_help = false;
};

// "orvalink-cli VERB SYNOPSIS".
QString verbUsage(const Verb& verb);
// Each option with its value and its description, for --help.
void printOptions(QTextStream& out, std::span<const VerbOption> options);
// "  VERB SYNOPSIS" and its summary, for the program's --help.
void printVerbSummary(QTextStream& out, const Verb& verb);
// A verb's help: its usage, its summary and its options.
void printVerbHelp(QTextStream& out, const Verb& verb);
// Runs ctx.verb with its args (the words after the verb): its help, or a
// usage error for options and arguments it does not take, or the verb.
int runVerb(const Context& ctx, const QStringList& args);
// A usage error: "orvalink-cli: VERB: WHY" (without a verb, "orvalink-cli:
// WHY") on standard error. Returns kExitUsage.
int usageError(const Context& ctx, const QString& why);
int usageError(QTextStream& err, const char* verb, const QString& why);

} // namespace orvalink::cli
