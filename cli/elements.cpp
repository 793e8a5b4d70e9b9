// The element a verb acts on: one way to find it from the command line, with
// one set of messages for every verb.

#include "Cli.h"

#include "core/StartMode.h"
#include "core/Text.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

FoundElement elementIn(const Database& database, const QString& section)
{
    FoundElement e;
    e.section = section;
    e.mac = Decode_MAC(section);
    e.name = database.read(section, QStringLiteral("name")).trimmed();
    e.host = database.read(section, QStringLiteral("snmpip"), kDefaultAgentAddress);
    e.role = database.read(section, QStringLiteral("role"));
    return e;
}

} // namespace

bool findElement(const Context& ctx, const char* verb, const Database& database,
                 const QString& macText, FoundElement* found)
{
    QString section = encodeMac(macText);
    if (section.isEmpty() && !Decode_MAC(macText).isEmpty())
        section = encodeMac(Decode_MAC(macText));
    if (section.isEmpty()) {
        ctx.err << "orvalink-cli: " << verb << ": \"" << printable(macText)
                << "\" is not a MAC address like 2E:8B:F2:00:0A:1B\n";
        return false;
    }
    if (!database.sectionExists(section)) {
        ctx.err << "orvalink-cli: " << verb << ": no element " << Decode_MAC(section) << " in "
                << printable(database.path()) << "\n";
        return false;
    }
    *found = elementIn(database, section);
    return true;
}

FoundElement elementAt(const Database& database, const QString& host)
{
    quint32 wanted = 0;
    if (!parseIPv4(host, &wanted))
        return {};
    const ElementList list = loadElementList(database.store(), database.path());
    // The SNMP agent's address first: that is what SNMP verbs talk to.
    for (const bool agent : {true, false}) {
        for (const ElementEntry& e : list.entries) {
            quint32 a = 0;
            if (parseIPv4(agent ? e.snmpIp : e.ip, &a) && a == wanted)
                return elementIn(database, e.section);
        }
    }
    return {};
}

bool takeEdition(const Context& ctx, const char* verb, const QString& word, QString* edition)
{
    // Compared as the program compares its start word; any other word
    // would silently check against the plain edition's range.
    const AppFlags flags = startModeFor(word).flags;
    if (!flags.GPSMode && !flags.startedLowLatency) {
        ctx.err << "orvalink-cli: " << verb << ": --edition takes GPS or LL, not \""
                << printable(word) << "\"\n";
        return false;
    }
    *edition = flags.GPSMode ? QStringLiteral("GPS") : QStringLiteral("LL");
    return true;
}

OptionTaken takeChangeOption(const Context& ctx, const char* verb, const QStringList& args,
                             qsizetype* i, ChangeOptions* options)
{
    const QString& a = args.at(*i);
    const bool hasValue = *i + 1 < args.size();
    if (a == QLatin1String("--yes")) {
        options->assumeYes = true;
    } else if (a == QLatin1String("--spacing-ms") && hasValue) {
        bool ok = false;
        options->spacingMs = args.at(++*i).toInt(&ok);
        if (!ok || options->spacingMs < 0 || options->spacingMs > 600000) {
            ctx.err << "orvalink-cli: " << verb
                    << ": --spacing-ms needs milliseconds from 0 to 600000\n";
            return OptionTaken::Refused;
        }
    } else if (a == QLatin1String("--edition") && hasValue) {
        if (!takeEdition(ctx, verb, args.at(++*i), &options->edition))
            return OptionTaken::Refused;
    } else {
        return OptionTaken::No;
    }
    return OptionTaken::Yes;
}

} // namespace orvalink::cli
