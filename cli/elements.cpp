// The element a verb acts on: one way to find it from the command line, with
// one set of messages for every verb.

#include "Cli.h"

#include "core/StartMode.h"
#include "core/Text.h"
#include "devops/ElementView.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QHash>
#include <QSet>

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

bool findElement(const Context& ctx, const Database& database, const QString& macText,
                 FoundElement* found)
{
    QString section = Encode_MAC(macText);
    if (section.isEmpty() && !Decode_MAC(macText).isEmpty())
        section = Encode_MAC(Decode_MAC(macText));
    if (section.isEmpty()) {
        usageError(ctx, QStringLiteral("\"%1\" is not a MAC address like 2E:8B:F2:00:0A:1B")
                            .arg(printable(macText)));
        return false;
    }
    if (!database.sectionExists(section)) {
        usageError(ctx, QStringLiteral("no element %1 in %2")
                            .arg(Decode_MAC(section), printable(database.path())));
        return false;
    }
    *found = elementIn(database, section);
    return true;
}

bool findShown(const Context& ctx, const Database& database, const QString& macText,
               FoundElement* found, ShownElement* shown)
{
    if (!findElement(ctx, database, macText, found))
        return false;
    shown->section = found->section;
    shown->mac = found->mac;
    shown->roleCaption = roleCaption(roleFromText(found->role));
    return true;
}

bool checkHost(const Context& ctx, const QString& host)
{
    if (IsValidIPAddress(host))
        return true;
    usageError(ctx,
               QStringLiteral("HOST \"%1\" is not a dotted IPv4 address").arg(printable(host)));
    return false;
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

bool selectElements(const Context& ctx, const Database& database, const QStringList& macs, bool all,
                    QList<ElementEntry>* out)
{
    const ElementList list = loadElementList(database.store(), database.path());
    if (all) {
        *out = list.entries;
        return true;
    }
    QHash<QString, qsizetype> entryOf;
    for (qsizetype i = 0; i < list.entries.size(); ++i)
        entryOf.insert(list.entries.at(i).section, i);
    // An element named twice is done once: two runs on one element would
    // interleave its SETs.
    QSet<QString> named;
    QSet<QString> taken;
    for (const QString& m : macs) {
        if (named.contains(m))
            continue;
        named.insert(m);
        FoundElement found;
        if (!findElement(ctx, database, m, &found))
            return false;
        const auto at = entryOf.constFind(found.section);
        if (at != entryOf.constEnd() && !taken.contains(found.section)) {
            taken.insert(found.section);
            out->append(list.entries.at(*at));
        }
    }
    return true;
}

bool takeChangeOptions(const Context& ctx, const VerbArgs& args, ChangeOptions* options)
{
    options->assumeYes = args.isSet(kYesOption.name);
    options->spacingMs = int(args.number(kSpacingOption.name, options->spacingMs));
    if (!args.isSet(kEditionOption.name))
        return true;
    // Compared as the program compares its start word; any other word
    // would silently check against the plain edition's range.
    const QString word = args.value(kEditionOption.name);
    const AppFlags flags = startModeFor(word).flags;
    if (!flags.GPSMode && !flags.startedLowLatency) {
        usageError(ctx,
                   QStringLiteral("--edition takes GPS or LL, not \"%1\"").arg(printable(word)));
        return false;
    }
    options->edition = flags.GPSMode ? QStringLiteral("GPS") : QStringLiteral("LL");
    return true;
}

} // namespace orvalink::cli
