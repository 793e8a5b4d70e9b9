// set: one SNMP SET through the same transport as the desktop program, and
// its outcome in the event log.

#include "Cli.h"

#include "core/Text.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

// Did the agent take what we sent? Both sides in the form the wire carries.
bool echoMatches(quint8 n, quint8 tag, const QString& sent, const QString& echo)
{
    if (echo.isEmpty())
        return false;
    switch (tag) {
    case snmptag::Gauge: {
        // A four-byte Gauge reads back as a signed number: compare modulo 2^32.
        bool okSent = false, okEcho = false;
        const qulonglong s = trimBlanks(sent).toULongLong(&okSent);
        const qlonglong e = echo.toLongLong(&okEcho);
        return okSent && okEcho && (quint64(e) & 0xFFFFFFFFull) == s;
    }
    case snmptag::IpAddress: {
        quint32 s = 0, e = 0;
        return parseIPv4(sent, &s) && parseIPv4(echo, &e) && s == e;
    }
    default: {
        const QString text = trimBlanks(sent);
        if (echo == text)
            return true;
        // A community goes out padded with "!" to 8 bytes and may come back so.
        QByteArray wire;
        QString error;
        if (n != param::Name && encodeSetValue(n, tag, sent, &wire, &error))
            return echo == QString::fromLatin1(wire);
        return false;
    }
    }
}

// The event log's part of a set: a confirmed SET with the stored value
// before it when the element at host is in the database (named by its key
// there), or the failure with its cause.
void postSetOutcome(const Context& ctx, const QString& host, quint8 n, const SnmpResult& r,
                    bool confirmed)
{
    IniStore store;
    const Database database(store, ctx.dbPath);
    const FoundElement element = elementAt(database, host);
    const Event event = elementEvent(QStringLiteral("set"), element, trimBlanks(host));
    const ParameterInfo* info = findParameter(n);
    const QString key = info && info->key && *info->key ? QString::fromLatin1(info->key)
                                                        : QStringLiteral("parameter %1").arg(n);
    if (confirmed) {
        const QString before =
            element.section.isEmpty() ? QString() : database.read(element.section, key).trimmed();
        postConfirmedSet(ctx, event, key, before, r.value.trimmed());
        return;
    }
    QString cause;
    switch (r.outcome) {
    case SnmpOutcome::NotSent:
        cause = r.reason;
        break;
    case SnmpOutcome::NoAnswer:
        cause = noReplyFrom(trimBlanks(host));
        break;
    case SnmpOutcome::NoValue:
        cause = kRefusedByAgent;
        break;
    case SnmpOutcome::Value:
        cause = QStringLiteral("%1: the agent echoed \"%2\"").arg(key, r.value);
        break;
    }
    postOutcome(ctx, event, QStringLiteral("failed"), cause);
}

int run(const Context& ctx, const VerbArgs& parsed)
{
    const QStringList& args = parsed.arguments();
    if (!checkHost(ctx, args.at(0)))
        return kExitUsage;
    quint8 n = 0;
    if (!takeParameter(ctx, args.at(2), &n))
        return kExitUsage;
    const QString type = args.at(3).toLower();
    quint8 tag = 0;
    if (type == QLatin1String("gauge"))
        tag = snmptag::Gauge;
    else if (type == QLatin1String("ip"))
        tag = snmptag::IpAddress;
    else if (type == QLatin1String("text"))
        tag = snmptag::OctetString;
    else
        return usageError(
            ctx, QStringLiteral("TYPE \"%1\" is not gauge, ip or text").arg(printable(args.at(3))));
    if (trimBlanks(args.at(1)).isEmpty())
        return usageError(ctx, QStringLiteral("COMMUNITY is empty"));
    QByteArray wire;
    QString why;
    if (!encodeSetValue(n, tag, args.at(4), &wire, &why))
        return usageError(ctx, QStringLiteral("VALUE cannot be sent: ") + printable(why));

    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    const SnmpResult r = snmp.SetSNMP(args.at(0), args.at(1), n, tag, args.at(4));
    const bool confirmed =
        r.outcome != SnmpOutcome::NotSent && echoMatches(n, tag, args.at(4), r.value);
    postSetOutcome(ctx, args.at(0), n, r, confirmed);
    if (r.outcome == SnmpOutcome::NotSent) {
        ctx.err << "orvalink-cli: " << r.reason << "\n";
        return 1;
    }
    ctx.out << printable(r.value) << "\n";
    if (r.outcome == SnmpOutcome::NoAnswer)
        printNoReplyHint(ctx, args.at(0));
    return confirmed ? 0 : 1;
}

} // namespace

const Verb kSetVerb{
    "set",
    "HOST COMMUNITY N TYPE VALUE",
    "Writes VALUE to parameter N (TYPE gauge, ip or text) and prints the value the agent "
    "echoed. Exit 0 when it equals the value sent, 1 otherwise.",
    {},
    5,
    5,
    run};

} // namespace orvalink::cli
