// The element a verb acts on: one way to find it from the command line, with
// one set of messages for every verb.

#include "Cli.h"

#include "core/Text.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

FoundElement elementIn(const Database& database, const QString& section)
{
    FoundElement e;
    e.section = section;
    e.mac = decodeMac(section);
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
    if (section.isEmpty() && !decodeMac(macText).isEmpty())
        section = encodeMac(decodeMac(macText));
    if (section.isEmpty()) {
        ctx.err << "orvalink-cli: " << verb << ": \"" << printable(macText)
                << "\" is not a MAC address like 2E:8B:F2:00:0A:1B\n";
        return false;
    }
    if (!database.sectionExists(section)) {
        ctx.err << "orvalink-cli: " << verb << ": no element " << decodeMac(section) << " in "
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

} // namespace orvalink::cli
