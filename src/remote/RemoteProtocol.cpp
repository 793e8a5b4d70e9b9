#include "remote/RemoteProtocol.h"

#include "core/Cp1252.h"
#include "core/Prompt.h"
#include "core/Text.h"
#include "netutil/MacResolver.h"
#include "remote/MacWait.h"
#include "remote/RemoteCodec.h"
#include "remote/RemotePanel.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QPointer>
#include <QTimer>

namespace orvalink {

namespace {

const QString kCR = QStringLiteral("\r");
const QString kCannotSave = QStringLiteral("Cannot save this element info.");

QString comparable(const QString& name)
{
    return cp1252::toUpper(trimBlanks(name));
}

} // namespace

RemoteProtocol::RemoteProtocol(RemoteEndpoint& endpoint, Database& database, Prompt& prompt,
                               MacResolver& resolver, const Timings& timings, QObject* parent)
    : QObject(parent), timerRemoteSent(new QTimer(this)), m_endpoint(endpoint),
      m_database(database), m_prompt(prompt), m_resolver(resolver), m_timings(timings)
{
    timerRemoteSent->setObjectName(QStringLiteral("timerRemoteSent"));
    timerRemoteSent->setSingleShot(true);
    timerRemoteSent->setInterval(m_timings.remoteSentMs);
    connect(timerRemoteSent, &QTimer::timeout, this, &RemoteProtocol::timerRemoteSent_Timer);
    connect(&m_endpoint, &RemoteEndpoint::levelDatagram, this, &RemoteProtocol::levelData);
    connect(&m_endpoint, &RemoteEndpoint::configReply, this, &RemoteProtocol::onConfigReply);
}

RemoteProtocol::~RemoteProtocol() = default;

void RemoteProtocol::setMacWaiter(std::function<QString(const QString&)> waiter)
{
    m_macWaiter = std::move(waiter);
}

// ------------------------------------------------------------------ requests

QString RemoteProtocol::selectedSection() const
{
    return m_panel ? Encode_MAC(m_panel->remotePanelState().mac) : QString();
}

RemoteProtocol::RequestResult RemoteProtocol::sendToSelected(const QByteArray& bytes, quint16 port,
                                                             bool quiet)
{
    const QString section = selectedSection();
    const QString host =
        section.isEmpty() ? QString() : m_database.read(section, QStringLiteral("ip"), QString());
    const RemoteSendResult sent = m_endpoint.send(bytes, host, port);
    if (sent.ok()) {
        m_levelFailureReported = false;
        return RequestResult::Sent;
    }
    // The level request goes out twenty times a second: its failures are
    // shown once per streak. A taken port always ends the program.
    if (!quiet || !m_levelFailureReported || sent.outcome == RemoteSendOutcome::PortOccupied) {
        m_levelFailureReported = quiet;
        reportSendFailure(sent);
    }
    return RequestResult::NotSent;
}

bool RemoteProtocol::reportSendFailure(const RemoteSendResult& result)
{
    if (result.ok())
        return false;
    if (result.outcome == RemoteSendOutcome::PortOccupied) {
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("Unable to use UDP port 2976: occupied."));
        Q_EMIT fatalEndpointFailure();
        return true;
    }
    m_prompt.tell(PromptIcon::Critical,
                  QStringLiteral("The request was not sent.") + kCR + result.reason);
    return false;
}

RemoteProtocol::RequestResult RemoteProtocol::SendLevelRequest()
{
    return sendToSelected(remote::levelRequest(), remote::kElementPort, true);
}

RemoteProtocol::RequestResult RemoteProtocol::SendCommandRequest(quint8 code)
{
    return sendToSelected(remote::commandRequest(code), remote::kElementPort, false);
}

RemoteProtocol::RequestResult RemoteProtocol::SendSaveRequest()
{
    const QString section = selectedSection();
    if (section.isEmpty()) {
        m_prompt.tell(PromptIcon::Information,
                      QStringLiteral("No device has been selected / loaded. ") + kCR +
                          QStringLiteral("Please, click on a device from the elements list."));
        return RequestResult::NoElement;
    }
    // A section that cannot take the confirmation is refused before the
    // element is changed, not after.
    if (sectionIsDamaged(m_database.store(), section, m_database.path())) {
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("The data stored in your computer about this element, is "
                                     "corrupted.") +
                          kCR + kCannotSave);
        return RequestResult::Refused;
    }
    const RemotePanelState p = m_panel->remotePanelState();
    remote::SaveSettings s;
    s.roleCaption = p.roleCaption;
    s.version = m_database.read(section, QStringLiteral("ver"), QStringLiteral("2.0"));
    s.ip = p.ip;
    s.mask = p.mask;
    s.gw = p.gw;
    s.remote = p.remote;
    s.input = p.input;
    s.type = p.type;
    s.tx = p.tx;
    s.sfn = p.sfn;
    s.name = p.name;
    s.lowLatency = p.lowLatency;
    s.buffer = p.buffer;
    s.silDetMode = p.silDetMode;
    s.silDetLevel = p.silDetLevel;
    s.silDetTime = p.silDetTime;
    const remote::SaveRequest request = remote::buildSaveRequest(s);
    if (!request.ok()) {
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("The configuration cannot be sent to the element: ") +
                          request.error + kCR + QStringLiteral("Nothing was sent."));
        return RequestResult::Refused;
    }
    timerRemoteSent->start();
    const RequestResult result = sendToSelected(request.bytes, remote::kSavePort, false);
    // A request that never left has nothing to time out.
    if (result != RequestResult::Sent)
        timerRemoteSent->stop();
    return result;
}

void RemoteProtocol::timerRemoteSent_Timer()
{
    timerRemoteSent->stop();
    m_prompt.tell(PromptIcon::Critical,
                  QStringLiteral("Waiting for a response from Network Element has timed out!") +
                      kCR + QStringLiteral("Cannot save."),
                  QStringLiteral("Error!"));
    Q_EMIT saveFinished(SaveOutcome::TimedOut);
}

// ------------------------------------------------------------------- replies

void RemoteProtocol::HandleRemoteReply(const QByteArray& data)
{
    enqueue(Pending{data, AutoDiscoverAwaiting});
}

void RemoteProtocol::onConfigReply(const QByteArray& data, quint64 arrival)
{
    const bool during = AutoDiscoverAwaiting
                            ? arrival >= m_discoveryFirst
                            : arrival >= m_discoveryFirst && arrival <= m_discoveryLast;
    enqueue(Pending{data, during});
}

void RemoteProtocol::beginDiscovery()
{
    m_discoveryFirst = m_endpoint.arrivals() + 1;
    m_discoveryLast = 0;
    m_discoveryClosing = false;
    m_discoveryDropped = false;
    AutoDiscoverAwaiting = true;
}

void RemoteProtocol::closeDiscovery()
{
    // Whatever the socket holds came within the collection; what comes from
    // here on does not.
    m_endpoint.readWaiting();
    m_discoveryLast = m_endpoint.arrivals();
    AutoDiscoverAwaiting = false;
    m_endpoint.handOnWaiting();
    m_discoveryClosing = true;
    checkDiscoveryHandled();
}

void RemoteProtocol::cancelDiscovery()
{
    AutoDiscoverAwaiting = false;
    m_discoveryClosing = false;
    m_discoveryDropped = true;
    m_queue.removeIf([](const Pending& p) { return p.discovery; });
}

bool RemoteProtocol::discoveryPending() const
{
    if (m_handlingDiscovery)
        return true;
    for (const Pending& p : m_queue)
        if (p.discovery)
            return true;
    return false;
}

void RemoteProtocol::checkDiscoveryHandled()
{
    if (!m_discoveryClosing || discoveryPending())
        return;
    m_discoveryClosing = false;
    Q_EMIT discoveryRepliesHandled();
}

void RemoteProtocol::enqueue(const Pending& pending)
{
    m_queue.append(pending);
    if (m_handling)
        return;
    QPointer<RemoteProtocol> self(this);
    m_handling = true;
    while (!m_queue.isEmpty()) {
        const Pending next = m_queue.takeFirst();
        m_handlingDiscovery = next.discovery;
        handleOne(next);
        if (!self)
            return;
        m_handlingDiscovery = false;
        checkDiscoveryHandled();
        if (!self)
            return;
    }
    m_handling = false;
}

void RemoteProtocol::handleOne(const Pending& pending)
{
    // A cancelled discovery's replies create nothing.
    if (pending.discovery && m_discoveryDropped)
        return;
    handleReply(pending.data, pending.discovery);
    // Step 6: outside a discovery the tree shows what is stored now.
    if (!pending.discovery)
        Q_EMIT reloadRequested();
}

void RemoteProtocol::feedbackError(const QString& message)
{
    m_prompt.tell(PromptIcon::Critical, message + kCR + QStringLiteral("Feedback is corrupted."));
}

bool RemoteProtocol::handleReply(const QByteArray& data, bool discovery)
{
    // A record of its own: nothing of an earlier reply can be taken for
    // this one's.
    const remote::ConfigReply r = remote::decodeConfigReply(data);
    if (const QString failure = remote::replyCheckFailure(r); !failure.isEmpty()) {
        feedbackError(failure);
        return false;
    }
    timerRemoteSent->stop();

    QString mac;
    if (discovery) {
        m_resolver.ResolveMAC(r.UDP_Response_IP, QStringLiteral(":"), &mac);
    } else {
        m_resolver.sRemoteMacAddress2.clear();
        if (m_macWaiter) {
            mac = m_macWaiter(r.UDP_Response_IP);
        } else {
            MacWait wait(m_resolver, m_timings);
            mac = wait.runBlocking(r.UDP_Response_IP);
        }
    }
    if (mac.isEmpty()) {
        feedbackError(QStringLiteral("An error occured while retrieving 'Element MAC':"));
        if (!discovery)
            Q_EMIT saveFinished(SaveOutcome::Rejected);
        return false;
    }
    if (discovery)
        createElement(r, mac);
    else
        confirmSave(r, mac);
    return true;
}

void RemoteProtocol::createElement(const remote::ConfigReply& r, const QString& mac)
{
    // A discovery cancelled while this reply waited for its MAC address.
    if (m_discoveryDropped)
        return;
    const QString section = Encode_MAC(mac);
    QList<QPair<QString, QString>> keys;
    const auto put = [&](const char* key, const QString& value) {
        keys.append({QLatin1String(key), value});
    };
    const auto num = [](int v) { return QString::number(v); };
    put("name", Encode_Name(r.name));
    put("ip", r.UDP_Response_IP);
    put("mask", r.mask);
    put("gw", r.gw);
    put("input", num(r.input));
    put("type", num(r.type));
    put("tx", num(r.tx));
    put(r.tx != 0 || r.role == 2 ? "multi" : "remote", r.remote);
    put("role", num(r.role));
    put("sn", num(r.sn));
    put("ver", r.version());
    put("sfn", num(r.sfn));
    put("buf", num(r.buf));
    if (r.role == 2) {
        put("att", num(r.att));
        put("sdm", num(r.sdm));
        put("sdl", num(r.sdl));
        put("sdt", num(r.sdt));
    }
    put("llo", num(r.llo));
    // The whole section in one write: an element is stored whole or not at all.
    if (!m_database.writeKeys(section, keys)) {
        Q_EMIT discoveryWriteFailed(section, m_database.lastError());
        return;
    }
    Q_EMIT elementDiscovered(section);
}

void RemoteProtocol::confirmSave(const remote::ConfigReply& r, const QString& mac)
{
    if (!m_panel) {
        Q_EMIT saveFinished(SaveOutcome::Rejected);
        return;
    }
    const RemotePanelState p = m_panel->remotePanelState();
    if (p.mac != mac) {
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("The response received does not match the selected element.") +
                          kCR + kCannotSave);
        Q_EMIT saveFinished(SaveOutcome::Rejected);
        return;
    }
    const QString section = Encode_MAC(p.mac);
    if (sectionIsDamaged(m_database.store(), section, m_database.path())) {
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("The data stored in your computer about this element, is "
                                     "corrupted.") +
                          kCR + kCannotSave);
        Q_EMIT saveFinished(SaveOutcome::Rejected);
        return;
    }

    bool mismatch = false;
    QString notStored; // why a confirmed value could not be stored
    const auto put = [&](const char* key, const QString& value) {
        if (!m_database.write(section, QLatin1String(key), value) && notStored.isEmpty())
            notStored = m_database.lastError();
    };
    const auto row = [&](bool equal, const char* key, const QString& value, const char* what) {
        if (equal) {
            put(key, value);
            return;
        }
        mismatch = true;
        feedbackError(
            QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(what)));
    };
    const auto num = [](int v) { return QString::number(v); };

    row(comparable(p.name) == comparable(r.name), "name", Encode_Name(p.name), "Element Name");
    row(p.ip == r.UDP_Response_IP, "ip", p.ip, "Element IP");
    row(p.mask == r.mask, "mask", p.mask, "Element Mask");
    row(p.gw == r.gw, "gw", p.gw, "Element GW");
    row(p.input == r.input, "input", num(p.input), "Audio Input");
    row(p.type == r.type, "type", num(p.type), "Audio Type");
    row(p.tx == r.tx, "tx", num(p.tx), "Audio TX");

    RemoteConfirmed shown;
    put("role", num(r.role));
    shown.typeCaption = roleCaption(ElementRole(r.role));
    if (r.role != 1 && r.role != 2)
        mismatch = true;

    const char* remoteKey = r.tx != 0 || r.role == 2 ? "multi" : "remote";
    if (p.remote == r.remote) {
        put(remoteKey, p.remote);
    } else {
        mismatch = true;
        feedbackError(r.tx != 0 ? QStringLiteral("An error occured while saving 'Multicast IP':")
                                : QStringLiteral("An error occured while saving 'Remote IP':"));
    }

    shown.serialNumber = num(r.sn);
    put("sn", shown.serialNumber);
    shown.version = r.version();
    put("ver", shown.version);
    shown.att = qMax(r.att, p.attMin);
    put("att", num(shown.att));
    shown.buffer = qMin(r.buf, p.bufferMax);
    put("buf", num(shown.buffer));
    put("sfn", num(r.sfn > 1 ? 0 : r.sfn));
    // A mode the list has no position for is neither shown nor stored.
    if (r.sdm < p.silDetModeCount) {
        shown.silDetMode = r.sdm;
        put("sdm", num(r.sdm));
    } else {
        shown.silDetMode = p.silDetMode;
    }
    shown.silDetLevel = qBound(p.levelMin, r.sdl, p.levelMax);
    put("sdl", num(shown.silDetLevel));
    shown.silDetTime = qBound(p.timeMin, r.sdt, p.timeMax);
    put("sdt", num(shown.silDetTime));
    put("llo", num(r.llo > 1 ? 0 : r.llo));
    m_panel->showConfirmed(shown);

    // The element took it, but the database does not hold it: no success.
    if (!notStored.isEmpty()) {
        mismatch = true;
        m_prompt.tell(PromptIcon::Critical,
                      QStringLiteral("The confirmed configuration could not be stored in %1: %2")
                          .arg(m_database.path(), notStored));
    }
    if (!mismatch) {
        m_prompt.tell(PromptIcon::Information,
                      QStringLiteral("New configuration has been sucessfuly saved and loaded!"),
                      QStringLiteral("Configuration changed"));
    }
    Q_EMIT saveFinished(mismatch ? SaveOutcome::Mismatch : SaveOutcome::Confirmed);
}

} // namespace orvalink
