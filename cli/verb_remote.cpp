// discover and remote-save: the remote protocol from a shell, through the
// same core classes as the main window.

#include "Cli.h"
#include "TerminalPrompt.h"

#include "core/Readouts.h"
#include "core/Text.h"
#include "netutil/MacResolver.h"
#include "remote/DiscoveryOperation.h"
#include "remote/RemoteEndpoint.h"
#include "remote/RemotePanel.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

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
        s.mac = Decode_MAC(m_section);
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

// --nms must be an address the endpoint can bind.
bool checkNms(const Context& ctx, const char* verb)
{
    if (parseIPv4(trimBlanks(ctx.nmsAddress)))
        return true;
    ctx.err << "orvalink-cli: " << verb << ": --nms \"" << printable(ctx.nmsAddress)
            << "\" is not a dotted IPv4 address\n";
    return false;
}

#ifdef Q_OS_UNIX
int g_interruptPipe[2] = {-1, -1};

extern "C" void onInterruptSignal(int signal)
{
    const char c = char(signal);
    const ssize_t written = ::write(g_interruptPipe[1], &c, 1);
    (void)written;
}
#endif

// While it lives, SIGINT and SIGTERM do not end the program: they call
// onInterrupt from the event loop, so that the work in progress can be
// ended cleanly.
class InterruptGuard {
public:
    explicit InterruptGuard(std::function<void(int)> onInterrupt)
    {
#ifdef Q_OS_UNIX
        if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [onInterrupt] {
                             char c = 0;
                             while (::read(g_interruptPipe[0], &c, 1) == 1)
                                 onInterrupt(int(c));
                         });
        struct sigaction action {};
        action.sa_handler = onInterruptSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
        m_installed = true;
#else
        Q_UNUSED(onInterrupt);
#endif
    }
    ~InterruptGuard()
    {
#ifdef Q_OS_UNIX
        if (!m_installed)
            return;
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        m_notifier.reset();
        ::close(g_interruptPipe[0]);
        ::close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
#endif
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    bool m_installed = false;
#endif
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
    if (!checkNms(ctx, "discover"))
        return 2;
    RemoteSetup r(ctx, remoteTimings(ctx));
    DiscoveryOperation discovery(r.protocol, r.timings);
    int interruptedBy = 0;
    // Ctrl-C or a TERM signal ends the discovery; it puts the previous
    // database back before the program ends.
    InterruptGuard guard([&](int signal) {
        if (interruptedBy == 0)
            interruptedBy = signal;
        discovery.cancel();
    });
    ctx.out << "Paging the network from " << printable(ctx.nmsAddress) << " for "
            << r.timings.pagingMs << " ms; the previous database is kept as "
            << printable(DiscoveryOperation::backupPath(ctx.dbPath)) << "\n";
    ctx.out.flush();
    const DiscoveryOperation::Result result = discovery.runBlocking();
    Event event;
    event.operation = QStringLiteral("discover");
    event.host = trimBlanks(ctx.nmsAddress);
    if (result != DiscoveryOperation::Result::Found) {
        // The cause was told on standard error.
        const bool cancelled = result == DiscoveryOperation::Result::Cancelled;
        postOutcome(ctx, event, cancelled ? QStringLiteral("cancelled") : QStringLiteral("failed"),
                    cancelled ? QStringLiteral("interrupted; the previous database is back")
                    : result == DiscoveryOperation::Result::NoAnswer
                        ? QStringLiteral("no element answered; the previous database is back")
                        : r.prompt.lastText());
        return interruptedBy != 0 ? 128 + interruptedBy : 1;
    }
    const ElementList list = loadElementList(r.store, ctx.dbPath);
    for (const ElementEntry& e : list.entries)
        ctx.out << printable(e.nodeText) << "\n";
    ctx.out << list.entries.size() << " element(s) found.\n";
    postOutcome(ctx, event,
                list.entries.isEmpty() ? QStringLiteral("failed") : QStringLiteral("ok"),
                QStringLiteral("%1 element(s) found").arg(list.entries.size()));
    return list.entries.isEmpty() ? 1 : 0;
}

int verbRemoteSave(const Context& ctx, const QStringList& args)
{
    if (args.size() != 1) {
        ctx.err << "orvalink-cli: usage: remote-save MAC\n";
        return 2;
    }
    if (!checkNms(ctx, "remote-save"))
        return kExitUsage;
    RemoteSetup r(ctx, remoteTimings(ctx));
    FoundElement element;
    if (!findElement(ctx, "remote-save", r.database, args.at(0), &element))
        return kExitUsage;
    const QString section = element.section;
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
    // The remote protocol talks to the element's own address.
    const QString ip = trimBlanks(panel.remotePanelState().ip);
    const Event event = elementEvent(QStringLiteral("remote-save"), element, ip);
    const QString failed = QStringLiteral("failed");
    const RemoteProtocol::RequestResult sent = r.protocol.SendSaveRequest();
    if (sent != RemoteProtocol::RequestResult::Sent) {
        postOutcome(ctx, event, failed, r.prompt.lastText());
        return 1;
    }
    ctx.out << "Save request sent to " << printable(ip) << "\n";
    ctx.out.flush();
    if (!finished)
        loop.exec();
    switch (outcome) {
    case RemoteProtocol::SaveOutcome::Confirmed:
        ctx.out << "Confirmed: the element took the stored configuration.\n";
        postOutcome(ctx, event, QStringLiteral("ok"), QStringLiteral("confirmed"));
        return 0;
    case RemoteProtocol::SaveOutcome::Mismatch:
        ctx.out << "The element answered with other values (see above).\n";
        postOutcome(ctx, event, failed, QStringLiteral("the element answered with other values"));
        return 1;
    case RemoteProtocol::SaveOutcome::Rejected:
        ctx.out << "The element's answer could not be taken (see above).\n";
        postOutcome(ctx, event, failed,
                    r.prompt.lastText().isEmpty()
                        ? QStringLiteral("the element's answer could not be taken")
                        : r.prompt.lastText());
        return 1;
    case RemoteProtocol::SaveOutcome::TimedOut:
        ctx.out << "No answer: timed out.\n";
        postOutcome(ctx, event, failed, noReplyFrom(ip));
        return 1;
    }
    return 1;
}

} // namespace orvalink::cli
