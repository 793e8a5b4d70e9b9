// probe: the "Add new element" probe from a shell, through the same core
// operation as the dialog.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/Text.h"
#include "devops/ProbeOperation.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

namespace orvalink::cli {

namespace {

// The probe's outcome for the event log: its last status line is the cause.
Event probeEvent(const QString& host, const ProbeOperation& probe, ProbeOperation::Result result,
                 const Database& database)
{
    Event e;
    e.operation = QStringLiteral("probe");
    e.outcome = result == ProbeOperation::Result::Success     ? QStringLiteral("ok")
                : result == ProbeOperation::Result::Cancelled ? QStringLiteral("cancelled")
                                                              : QStringLiteral("failed");
    e.host = host;
    if (!probe.section().isEmpty()) {
        e.mac = Decode_MAC(probe.section());
        e.name = database.read(probe.section(), QStringLiteral("name")).trimmed();
    }
    e.cause = probe.statusText();
    for (const char* prefix : {"Status: ", "FAIL - "}) {
        if (e.cause.startsWith(prefix))
            e.cause = e.cause.mid(qsizetype(qstrlen(prefix)));
    }
    return e;
}

int run(const Context& ctx, const VerbArgs& args)
{
    const QString host = args.arguments().at(0);
    if (!checkHost(ctx, host))
        return kExitUsage;
    const QString community = args.arguments().value(1, QString(ProbeOperation::kDefaultCommunity));
    if (community.length() != 8)
        return usageError(ctx, QStringLiteral("COMMUNITY must be exactly 8 characters"));

    // A failed write is told by the probe itself, in its status line.
    IniStore store;
    Database database(store, ctx.dbPath);
    TerminalPrompt prompt(ctx.err, false);
    SnmpTransport snmp{Timings{}};
    prepareTransport(ctx, snmp);
    ProbeOperation probe(snmp, database, prompt, Timings{});
    QObject::connect(&probe, &ProbeOperation::statusChanged, &probe, [&ctx](const QString& text) {
        ctx.out << printable(text) << "\n";
        ctx.out.flush();
    });
    const ProbeOperation::Result result = probe.run(host, community);
    postEvent(ctx, probeEvent(host, probe, result, database));
    if (result == ProbeOperation::Result::Success)
        ctx.out << "Stored as section " << printable(probe.section()) << " of " << ctx.dbPath
                << "\n";
    return result == ProbeOperation::Result::Success ? 0 : 1;
}

} // namespace

const Verb kProbeVerb{
    "probe",
    "HOST [COMMUNITY]",
    "Adds the element at HOST to the database as the desktop program's \"Add new element\" does: "
    "reads every parameter with the read COMMUNITY (default \"morqubit\"), decides its role, "
    "writes what it read into the element's section in one step and prints each status line. An "
    "element that stops answering midway leaves its section as it was. A database that cannot be "
    "read or written is refused before anything is sent. Exit 0 on \"Status: Finished with "
    "SUCCESS!\", 1 otherwise.",
    {},
    1,
    2,
    run};

} // namespace orvalink::cli
