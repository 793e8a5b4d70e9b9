// discover and remote-save: the remote protocol from a shell, through the
// same core classes as the main window.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/Readouts.h"
#include "netutil/MacResolver.h"
#include "remote/DiscoveryOperation.h"
#include "remote/RemoteEndpoint.h"
#include "remote/RemotePanel.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QEventLoop>
#include <QTimer>

namespace orvalink::cli {

namespace {

// The element's stored configuration, as the panel would show it.
class StoredPanel : public RemotePanel {
public:
    StoredPanel(const Database& database, const QString& section)
        : m_database(database), m_section(section)
    {
    }
    RemotePanelState remotePanelState() const override
    {
        RemotePanelState s;
        const auto text = [&](const char* key) {
            return m_database.read(m_section, QLatin1String(key), QString());
        };
        const auto number = [&](const char* key, int def) {
            return readouts::storedInteger(text(key)).value_or(def);
        };
        s.mac = decodeMac(m_section);
        const int role = number("role", 0);
        s.roleCaption = roleCaption(ElementRole(role));
        s.name = text("name");
        s.ip = text("ip");
        s.mask = text("mask");
        s.gw = text("gw");
        s.input = number("input", -1);
        s.type = number("type", -1);
        s.tx = number("tx", -1);
        s.remote = text(role == 2 || s.tx > 0 ? "multi" : "remote");
        s.sfn = number("sfn", 0) == 1;
        s.lowLatency = number("llo", 0) == 1;
        s.buffer = role == 2 ? number("buf", 1) : 0;
        s.silDetMode = number("sdm", 0);
        s.silDetLevel = number("sdl", 37);
        s.silDetTime = number("sdt", 43);
        return s;
    }
    void showConfirmed(const RemoteConfirmed&) override {}

private:
    const Database& m_database;
    QString m_section;
};

struct RemoteSetup {
    IniStore store;
    Database database;
    TerminalPrompt prompt;
    Timings timings;
    RemoteEndpoint endpoint;
    NeighbourTableResolver resolver;
    RemoteProtocol protocol;

    RemoteSetup(const Context& ctx, const Timings& t)
        : database(store, ctx.dbPath), prompt(ctx.err, false), timings(t), resolver(ctx.nmsAddress),
          protocol(endpoint, database, prompt, resolver, timings)
    {
        endpoint.setLocalAddress(ctx.nmsAddress);
        endpoint.setTap(datagramPrinter(ctx, false));
        reportWriteFailures(ctx, store);
    }
};

Timings remoteTimings(const Context& ctx)
{
    Timings t;
    if (ctx.remoteWaitMs > 0) {
        t.remoteSentMs = ctx.remoteWaitMs;
        t.pagingMs = ctx.remoteWaitMs;
        t.getMacMs = qMin(1000, qMax(50, ctx.remoteWaitMs / 3));
    }
    return t;
}

} // namespace

int verbDiscover(const Context& ctx, const QStringList& args)
{
    if (!args.isEmpty()) {
        ctx.err << "orvalink-cli: usage: discover\n";
        return 2;
    }
    RemoteSetup r(ctx, remoteTimings(ctx));
    int found = 0;
    QObject::connect(&r.protocol, &RemoteProtocol::elementDiscovered, &r.protocol,
                     [&found](const QString&) { ++found; });
    DiscoveryOperation discovery(r.protocol, r.timings);
    ctx.out << "Paging the network from " << ctx.nmsAddress << " for " << r.timings.pagingMs
            << " ms; the previous database is kept as "
            << DiscoveryOperation::backupPath(ctx.dbPath) << "\n";
    ctx.out.flush();
    if (discovery.runBlocking() != DiscoveryOperation::Result::Started)
        return 1;
    const ElementList list = loadElementList(r.store, ctx.dbPath);
    for (const ElementEntry& e : list.entries)
        ctx.out << printable(e.nodeText) << "\n";
    ctx.out << list.entries.size() << " element(s) found.\n";
    return list.entries.isEmpty() ? 1 : 0;
}

int verbRemoteSave(const Context& ctx, const QStringList& args)
{
    if (args.size() != 1) {
        ctx.err << "orvalink-cli: usage: remote-save MAC\n";
        return 2;
    }
    QString section = encodeMac(args.at(0));
    if (section.isEmpty() && args.at(0).size() == 12)
        section = encodeMac(decodeMac(args.at(0)));
    if (section.isEmpty()) {
        ctx.err << "orvalink-cli: remote-save: \"" << printable(args.at(0))
                << "\" is not a MAC address like 2E:8B:F2:00:1A:2B\n";
        return 2;
    }
    RemoteSetup r(ctx, remoteTimings(ctx));
    if (!r.database.sectionExists(section)) {
        ctx.err << "orvalink-cli: remote-save: no element " << decodeMac(section) << " in "
                << ctx.dbPath << "\n";
        return 1;
    }
    StoredPanel panel(r.database, section);
    r.protocol.setPanel(&panel);

    bool finished = false;
    RemoteProtocol::SaveOutcome outcome = RemoteProtocol::SaveOutcome::TimedOut;
    QEventLoop loop;
    QObject::connect(&r.protocol, &RemoteProtocol::saveFinished, &loop,
                     [&](RemoteProtocol::SaveOutcome o) {
                         finished = true;
                         outcome = o;
                         loop.quit();
                     });
    QObject::connect(&r.protocol, &RemoteProtocol::fatalEndpointFailure, &loop, [&] {
        finished = true;
        outcome = RemoteProtocol::SaveOutcome::Rejected;
        loop.quit();
    });
    const RemoteProtocol::RequestResult sent = r.protocol.SendSaveRequest();
    if (sent != RemoteProtocol::RequestResult::Sent)
        return 1;
    ctx.out << "Save request sent to " << printable(panel.remotePanelState().ip) << "\n";
    ctx.out.flush();
    if (!finished)
        loop.exec();
    switch (outcome) {
    case RemoteProtocol::SaveOutcome::Confirmed:
        ctx.out << "Confirmed: the element took the stored configuration.\n";
        return 0;
    case RemoteProtocol::SaveOutcome::Mismatch:
        ctx.out << "The element answered with other values (see above).\n";
        return 1;
    case RemoteProtocol::SaveOutcome::Rejected:
        ctx.out << "The element's answer could not be taken (see above).\n";
        return 1;
    case RemoteProtocol::SaveOutcome::TimedOut:
        ctx.out << "No answer: timed out.\n";
        return 1;
    }
    return 1;
}

} // namespace orvalink::cli
