// get and set: one SNMP exchange per parameter through the same transport
// as the desktop program.

#include "Cli.h"

#include "core/Text.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

bool parseParameter(const QString& text, quint8* n)
{
    bool ok = false;
    const uint v = text.toUInt(&ok);
    if (!ok || v > uint(kMaxParameterNumber))
        return false;
    *n = quint8(v);
    return true;
}

// Checks the common arguments; prints the usage error and returns false.
bool checkHost(const Context& ctx, const char* verb, const QString& host)
{
    if (isValidIPAddress(host))
        return true;
    ctx.err << "orvalink-cli: " << verb << ": HOST \"" << host
            << "\" is not a dotted IPv4 address\n";
    return false;
}

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

} // namespace

void reportWriteFailures(const Context& ctx, IniStore& store)
{
    QObject::connect(&store, &IniStore::writeFailed, &store,
                     [&ctx](const QString& path, const QString& reason) {
                         ctx.err << "orvalink-cli: cannot write " << path << ": " << reason << "\n";
                     });
}

void prepareTransport(const Context& ctx, SnmpTransport& snmp)
{
    snmp.setLocalAddress(ctx.nmsAddress);
    snmp.setPorts(2979, ctx.agentPort);
    snmp.setTap(datagramPrinter(ctx, true));
    // Failures come back in each result (SnmpOutcome::NotSent with its
    // reason); the verbs print them once and stop.
}

int verbGet(const Context& ctx, const QStringList& args)
{
    if (args.size() < 3) {
        ctx.err << "orvalink-cli: usage: get HOST COMMUNITY N [N ...]\n";
        return 2;
    }
    if (!checkHost(ctx, "get", args.at(0)))
        return 2;
    QList<quint8> numbers;
    for (const QString& a : args.mid(2)) {
        quint8 n = 0;
        if (!parseParameter(a, &n)) {
            ctx.err << "orvalink-cli: get: N \"" << a << "\" is not a parameter number 0 to "
                    << kMaxParameterNumber << "\n";
            return 2;
        }
        numbers.append(n);
    }
    if (trimBlanks(args.at(1)).isEmpty()) {
        ctx.err << "orvalink-cli: get: COMMUNITY is empty\n";
        return 2;
    }

    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    bool all = true;
    bool silent = false;
    for (const quint8 n : numbers) {
        const SnmpResult r = snmp.GetSNMP(args.at(0), args.at(1), n);
        if (r.outcome == SnmpOutcome::NotSent) {
            // The rest would fail the same way: one message, then stop.
            ctx.err << "orvalink-cli: " << r.reason << "\n";
            return 1;
        }
        ctx.out << printable(r.value) << "\n";
        ctx.out.flush();
        all = all && r.hasValue();
        silent = silent || r.outcome == SnmpOutcome::NoAnswer;
    }
    if (silent)
        printNoReplyHint(ctx, args.at(0));
    return all ? 0 : 1;
}

int verbSet(const Context& ctx, const QStringList& args)
{
    if (args.size() != 5) {
        ctx.err << "orvalink-cli: usage: set HOST COMMUNITY N TYPE VALUE\n";
        return 2;
    }
    if (!checkHost(ctx, "set", args.at(0)))
        return 2;
    quint8 n = 0;
    if (!parseParameter(args.at(2), &n)) {
        ctx.err << "orvalink-cli: set: N \"" << args.at(2) << "\" is not a parameter number 0 to "
                << kMaxParameterNumber << "\n";
        return 2;
    }
    const QString type = args.at(3).toLower();
    quint8 tag = 0;
    if (type == QLatin1String("gauge"))
        tag = snmptag::Gauge;
    else if (type == QLatin1String("ip"))
        tag = snmptag::IpAddress;
    else if (type == QLatin1String("text"))
        tag = snmptag::OctetString;
    else {
        ctx.err << "orvalink-cli: set: TYPE \"" << args.at(3) << "\" is not gauge, ip or text\n";
        return 2;
    }
    if (trimBlanks(args.at(1)).isEmpty()) {
        ctx.err << "orvalink-cli: set: COMMUNITY is empty\n";
        return 2;
    }
    QByteArray wire;
    QString why;
    if (!encodeSetValue(n, tag, args.at(4), &wire, &why)) {
        ctx.err << "orvalink-cli: set: VALUE cannot be sent: " << why << "\n";
        return 2;
    }

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

} // namespace orvalink::cli
