// The sockets of the verbs: SNMP bound to --nms and --port, -v's datagrams
// on standard error, the hint for an agent that does not answer, and the
// checks made before a verb sends anything.

#include "Cli.h"

#include "config/ConfigTransfer.h"
#include "core/Text.h"
#include "devops/ProbeOperation.h"
#include "devops/StoreOutcome.h"
#include "remote/RemoteSummary.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpSummary.h"
#include "snmp/SnmpTransport.h"
#include "store/IniStore.h"

namespace orvalink::cli {

DatagramTap datagramPrinter(const Context& ctx, bool snmp)
{
    if (!ctx.verbose)
        return {};
    QTextStream* err = &ctx.err;
    return [err, snmp](const DatagramEvent& e) {
        // Each text of the heading is escaped on its own, line breaks too: a
        // datagram can never start a line of its own on the terminal. The
        // hex dump's text column holds printable ASCII only.
        DatagramEvent shown = e;
        shown.peer = printable(e.peer);
        shown.ignored = printable(e.ignored);
        const QString summary =
            snmp ? snmpSummary(e.data) : remote::remoteSummary(e.data, e.sent, e.peer);
        *err << formatDatagram(shown, printable(summary));
        err->flush();
    };
}

void printNoReplyHint(const Context& ctx, const QString& host)
{
    ctx.err << "orvalink-cli: no reply from " << printable(host) << " (port " << ctx.agentPort
            << "). An SNMPv1 agent drops a request with a wrong community silently, without "
               "any answer: check the community first, then the element's address, then the "
               "NMS interface the request is sent from (--nms, now "
            << printable(ctx.nmsAddress)
            << "). Some agents also drop silently a SET whose bytes are not canonical BER: a "
               "Gauge32 value from 128 to 255 or from 2147483648 up, and a request-id from 128 "
               "to 250, go out without the leading zero byte, so a strict agent reads them as "
               "negative numbers (-v marks such a request \"which strict agents read as\").\n";
    ctx.err.flush();
}

bool openSnmpSocket(const Context& ctx, SnmpTransport& snmp, QString* why)
{
    const QString reason = snmp.checkSocket();
    if (why)
        *why = reason;
    if (reason.isEmpty())
        return true;
    ctx.err << "orvalink-cli: " << printable(reason) << "\n";
    ctx.err.flush();
    return false;
}

bool databaseUsable(const Context& ctx, const Database& database)
{
    const QString refusal = databaseRefusal(database);
    if (refusal.isEmpty())
        return true;
    ctx.err << "orvalink-cli: " << ctx.verb->name << ": " << printable(refusal) << "\n";
    ctx.err.flush();
    return false;
}

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

bool hasStoredAgent(const Context& ctx, const Database& database, const FoundElement& element)
{
    if (!trimBlanks(database.read(element.section, QStringLiteral("snmpip"))).isEmpty())
        return true;
    usageError(ctx, elementLabel(element.name, element.mac) +
                        QStringLiteral(": no SNMP address stored"));
    return false;
}

Identity identify(SnmpClient& snmp, const Database& database, const FoundElement& element,
                  QString* why)
{
    const QString community =
        database.read(element.section, QStringLiteral("snmpro"), ProbeOperation::kDefaultCommunity);
    const SnmpResult mac = snmp.GetSNMP(element.host, community, param::Mac);
    if (!mac.answered()) {
        *why = mac.outcome == SnmpOutcome::NotSent ? mac.reason : noReplyFrom(element.host);
        return Identity::Silent;
    }
    *why = configtransfer::identityRefusal(element.host, mac.value, element.section);
    return why->isEmpty() ? Identity::Same : Identity::Other;
}

bool takeParameter(const Context& ctx, const QString& text, quint8* n)
{
    bool ok = false;
    const uint v = text.toUInt(&ok);
    if (!ok || v > uint(kMaxParameterNumber)) {
        usageError(ctx, QStringLiteral("N \"%1\" is not a parameter number 0 to %2")
                            .arg(printable(text))
                            .arg(kMaxParameterNumber));
        return false;
    }
    *n = quint8(v);
    return true;
}

} // namespace orvalink::cli
