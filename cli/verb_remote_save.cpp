// remote-save: the remote protocol's save request from a shell, through the
// same core classes as the main window.

#include "Cli.h"
#include "RemoteSetup.h"

#include "core/Readouts.h"
#include "core/Text.h"
#include "remote/RemotePanel.h"
#include "store/ElementDatabase.h"

#include <QEventLoop>

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

int run(const Context& ctx, const VerbArgs& args)
{
    RemoteSetup r(ctx);
    // A database that cannot be read has no element to name: said so, not
    // "no element".
    if (!databaseUsable(ctx, r.database))
        return 1;
    FoundElement element;
    if (!findElement(ctx, r.database, args.arguments().at(0), &element))
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

} // namespace

const Verb kRemoteSaveVerb{
    "remote-save",
    "MAC",
    "Sends the element's stored configuration as the remote protocol's save request (to its "
    "stored \"ip\", port 2976), waits for the element's confirmation (3 s, --wait), compares it "
    "field by field, stores what matched and prints the outcome. Exit 0 when every field was "
    "confirmed, 1 otherwise, 2 for a usage error (no such element, a wrong --nms).",
    {},
    1,
    1,
    run};

} // namespace orvalink::cli
