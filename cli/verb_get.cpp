// get: one SNMP exchange per parameter through the same transport as the
// desktop program.

#include "Cli.h"

#include "core/Text.h"
#include "snmp/SnmpTransport.h"

namespace orvalink::cli {

namespace {

int run(const Context& ctx, const VerbArgs& args)
{
    const QStringList& words = args.arguments();
    if (!checkHost(ctx, words.at(0)))
        return kExitUsage;
    QList<quint8> numbers;
    for (const QString& a : words.mid(2)) {
        quint8 n = 0;
        if (!takeParameter(ctx, a, &n))
            return kExitUsage;
        numbers.append(n);
    }
    if (trimBlanks(words.at(1)).isEmpty())
        return usageError(ctx, QStringLiteral("COMMUNITY is empty"));

    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    bool all = true;
    bool silent = false;
    for (const quint8 n : numbers) {
        const SnmpResult r = snmp.GetSNMP(words.at(0), words.at(1), n);
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
        printNoReplyHint(ctx, words.at(0));
    return all ? 0 : 1;
}

} // namespace

const Verb kGetVerb{
    "get",
    "HOST COMMUNITY N [N ...]",
    "Reads parameters N of the element's SNMP agent at HOST, one exchange per N in order, and "
    "prints one line per N: the value text, or an empty line for no value. Exit 0 when every N "
    "gave a value, 1 otherwise.",
    {},
    3,
    -1,
    run};

} // namespace orvalink::cli
