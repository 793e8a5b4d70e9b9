// -v: the datagrams of a verb on standard error, and the hint for an agent
// that does not answer.

#include "Cli.h"

#include "remote/RemoteSummary.h"
#include "snmp/SnmpSummary.h"

namespace orvalink::cli {

DatagramTap datagramPrinter(const Context& ctx, bool snmp)
{
    if (!ctx.verbose)
        return {};
    QTextStream* err = &ctx.err;
    return [err, snmp](const DatagramEvent& e) {
        const QString summary = snmp ? snmpSummary(e.data) : remote::remoteSummary(e.data, e.sent);
        *err << printable(formatDatagram(e, summary), true);
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

} // namespace orvalink::cli
