#include "Agent.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

namespace orvalink::sim {

namespace {

const QList<quint32> kBase = {1, 3, 6, 1, 4, 1, 44467, 1};

// The largest UDP payload over IPv4: a reply must fit in one datagram.
constexpr qsizetype kMaxDatagram = 65507;

QString pduName(quint8 pdu)
{
    switch (pdu) {
    case ber::GetRequest:
        return QStringLiteral("GET");
    case ber::GetNextRequest:
        return QStringLiteral("GETNEXT");
    case ber::SetRequest:
        return QStringLiteral("SET");
    case ber::GetResponse:
        return QStringLiteral("RESPONSE");
    default:
        return QStringLiteral("PDU %1").arg(pdu, 2, 16, QLatin1Char('0'));
    }
}

QString oidText(const QList<quint32>& oid)
{
    const int n = parameterOf(oid);
    if (n)
        return QString::number(n);
    QStringList parts;
    for (const quint32 a : oid)
        parts << QString::number(a);
    return parts.join(QLatin1Char('.'));
}

SnmpMessage errorReply(const SnmpMessage& request, int status, qsizetype index)
{
    SnmpMessage r = request;
    r.pdu = ber::GetResponse;
    r.errorStatus = status;
    r.errorIndex = index + 1;
    return r;
}

} // namespace

int parameterOf(const QList<quint32>& oid)
{
    if (oid.size() != kBase.size() + 2 || oid.last() != 0 ||
        !std::equal(kBase.begin(), kBase.end(), oid.begin()))
        return 0;
    const quint32 n = oid[kBase.size()];
    return n >= 1 && n <= 127 ? static_cast<int>(n) : 0;
}

QList<quint32> oidOf(int parameter)
{
    QList<quint32> oid = kBase;
    oid << static_cast<quint32>(parameter) << 0;
    return oid;
}

bool isLocalAddress(const QHostAddress& address)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (address.isLoopback())
        return true;
    return QNetworkInterface::allAddresses().contains(address);
}

std::optional<SnmpMessage> answerRequest(Element& element, const SnmpMessage& request,
                                         bool* changed, QString* note)
{
    if (changed)
        *changed = false;
    // The summary is built only when someone reads it (--verbose).
    auto say = [&](const QString& outcome) {
        if (!note)
            return;
        QStringList names;
        for (const VarBind& vb : request.varBinds)
            names << oidText(vb.oid);
        *note = pduName(request.pdu) + QLatin1Char(' ') + names.join(QLatin1Char(',')) + outcome;
    };

    if (request.version != 0) {
        say(QStringLiteral(": not SNMPv1, ignored"));
        return std::nullopt;
    }
    if (request.pdu != ber::GetRequest && request.pdu != ber::GetNextRequest &&
        request.pdu != ber::SetRequest) {
        say(QStringLiteral(": not a request, ignored"));
        return std::nullopt;
    }
    const bool writer = request.community == element.writeCommunity();
    const bool reader = writer || request.community == element.readCommunity();
    if (!reader) {
        say(QStringLiteral(": unknown community, ignored"));
        return std::nullopt;
    }

    if (request.pdu == ber::SetRequest) {
        // The read community gives a read-only view: in SNMPv1 a variable that
        // is not writable in the view is noSuchName.
        if (!writer) {
            say(QStringLiteral(": read community may not set -> noSuchName"));
            return errorReply(request, NoSuchName, 0);
        }
        for (qsizetype i = 0; i < request.varBinds.size(); ++i) {
            const VarBind& vb = request.varBinds[i];
            const int n = parameterOf(vb.oid);
            const int status = n ? element.checkSet(n, {vb.tag, vb.value}) : int(NoSuchName);
            if (status != NoError) {
                say(QStringLiteral(" -> error %1 at %2").arg(status).arg(i + 1));
                return errorReply(request, status, i);
            }
        }
        for (const VarBind& vb : request.varBinds)
            element.applySet(parameterOf(vb.oid), {vb.tag, vb.value});
        if (changed)
            *changed = !request.varBinds.isEmpty();
        // The value taken is echoed exactly as it was sent.
        SnmpMessage reply = request;
        reply.pdu = ber::GetResponse;
        reply.errorStatus = 0;
        reply.errorIndex = 0;
        say(QStringLiteral(" -> ok"));
        return reply;
    }

    SnmpMessage reply = request;
    reply.pdu = ber::GetResponse;
    reply.errorStatus = 0;
    reply.errorIndex = 0;
    const QList<int> numbers = element.parameterNumbers();
    for (qsizetype i = 0; i < reply.varBinds.size(); ++i) {
        VarBind& vb = reply.varBinds[i];
        int n = 0;
        if (request.pdu == ber::GetNextRequest) {
            for (const int candidate : numbers) {
                if (oidOf(candidate) > vb.oid) {
                    n = candidate;
                    break;
                }
            }
        } else {
            n = parameterOf(vb.oid);
        }
        Value v;
        const int status = n ? element.get(n, v) : int(NoSuchName);
        if (status != NoError) {
            say(QStringLiteral(" -> error %1 at %2").arg(status).arg(i + 1));
            return errorReply(request, status, i);
        }
        vb.oid = oidOf(n);
        vb.tag = v.tag;
        vb.value = v.bytes;
    }
    say(QStringLiteral(" -> ok"));
    return reply;
}

Agent::Agent(Element& element, const Config& config, QObject* parent)
    : QObject(parent), m_element(element), m_config(config), m_rng(config.faults.seed)
{
}

Agent::~Agent() = default;

QString Agent::endpoint() const
{
    return m_element.label() + QLatin1Char(':') + QString::number(m_config.port);
}

void Agent::log(const QString& line) const
{
    if (m_config.verbose)
        std::fprintf(stderr, "orvalink-sim: %s\n", qPrintable(line));
}

bool Agent::start(QString* error)
{
    const QHostAddress address = m_element.agentAddress();
    if (!isLocalAddress(address)) {
        if (error)
            *error = QStringLiteral("%1 is not an address of this host").arg(address.toString());
        return false;
    }
    return bindSockets(address, error);
}

bool Agent::bindSockets(const QHostAddress& address, QString* error)
{
    closeSockets();
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(address, m_config.port)) {
        if (error)
            *error = QStringLiteral("cannot bind %1:%2: %3")
                         .arg(address.toString())
                         .arg(m_config.port)
                         .arg(m_socket->errorString());
        closeSockets();
        return false;
    }
    if (m_config.faults.fromPort) {
        m_replySocket = new QUdpSocket(this);
        if (!m_replySocket->bind(address, m_config.faults.fromPort)) {
            if (error)
                *error = QStringLiteral("cannot bind %1:%2: %3")
                             .arg(address.toString())
                             .arg(m_config.faults.fromPort)
                             .arg(m_replySocket->errorString());
            closeSockets();
            return false;
        }
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &Agent::onReadyRead);
    return true;
}

void Agent::closeSockets()
{
    // close() frees the port at once; the object itself may be inside its
    // own readyRead emission, so it goes later.
    for (QUdpSocket* s : {m_socket, m_replySocket}) {
        if (s) {
            s->disconnect(this);
            s->close();
            s->deleteLater();
        }
    }
    m_socket = nullptr;
    m_replySocket = nullptr;
}

bool Agent::shouldDrop()
{
    const FaultPlan& f = m_config.faults;
    const quint64 index = ++m_replies; // 1-based
    if (f.dropFirst > 0 && index <= quint64(f.dropFirst))
        return true;
    if (f.dropEvery > 0 && index % quint64(f.dropEvery) == 0)
        return true;
    if (f.lossPercent > 0) {
        std::uniform_real_distribution<double> d(0.0, 100.0);
        if (d(m_rng) < f.lossPercent)
            return true;
    }
    return false;
}

void Agent::onReadyRead()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        // Log lines are built only with --verbose: a flood test sends
        // thousands of requests a second.
        const bool verbose = m_config.verbose;
        const QString from = verbose ? datagram.senderAddress().toString() + QLatin1Char(':') +
                                           QString::number(datagram.senderPort())
                                     : QString();
        SnmpMessage request;
        QString why;
        if (!parseMessage(datagram.data(), request, &why)) {
            if (verbose)
                log(QStringLiteral("%1 <- %2: dropped %3 bytes that do not parse (%4)")
                        .arg(m_element.label(), from)
                        .arg(datagram.data().size())
                        .arg(why));
            continue;
        }
        const FaultPlan& f = m_config.faults;
        if (f.stopAfter > 0 && ++m_requests > quint64(f.stopAfter)) {
            if (verbose)
                log(QStringLiteral("%1 <- %2: ignored, answering no more")
                        .arg(m_element.label(), from));
            continue;
        }
        const int setParameter = request.pdu == ber::SetRequest && !request.varBinds.isEmpty()
                                     ? parameterOf(request.varBinds.first().oid)
                                     : 0;
        if (setParameter && setParameter == f.dropSet) {
            if (verbose)
                log(QStringLiteral("%1 <- %2: SET %3 ignored on purpose")
                        .arg(m_element.label(), from)
                        .arg(setParameter));
            continue;
        }
        bool changed = false;
        QString note;
        std::optional<SnmpMessage> reply;
        if (setParameter && setParameter == f.refuseSet) {
            reply = errorReply(request, BadValue, 0);
            if (verbose)
                note = QStringLiteral("SET %1 refused on purpose -> badValue").arg(setParameter);
        } else if (f.singleGet && request.pdu == ber::GetRequest && request.varBinds.size() > 1) {
            reply = errorReply(request, GenErr, 0);
            if (verbose)
                note = QStringLiteral("GET %1 of %2 variables refused on purpose -> genErr")
                           .arg(parameterOf(request.varBinds.first().oid))
                           .arg(request.varBinds.size());
        } else {
            reply = answerRequest(m_element, request, &changed, verbose ? &note : nullptr);
        }
        if (f.swapVarbinds && reply && request.pdu == ber::GetRequest && reply->errorStatus == 0 &&
            reply->varBinds.size() > 1) {
            std::swap(reply->varBinds[0], reply->varBinds[1]);
            if (verbose)
                note += QStringLiteral(", first two variables swapped on purpose");
        }
        if (verbose)
            log(QStringLiteral("%1 <- %2: %3").arg(m_element.label(), from, note));
        if (changed)
            Q_EMIT settingsChanged();
        if (m_element.takeRestartRequest())
            m_restartPending = true;
        if (!reply) {
            if (m_restartPending)
                beginRestart();
            continue;
        }
        QByteArray bytes = encodeMessage(*reply);
        if (bytes.size() > kMaxDatagram) {
            // An answer that does not fit is the request itself sent back
            // with tooBig (error-index 0), as an SNMPv1 agent answers.
            if (verbose)
                log(QStringLiteral("%1: reply of %2 bytes is too big for one datagram -> tooBig")
                        .arg(m_element.label())
                        .arg(bytes.size()));
            *reply = request;
            reply->pdu = ber::GetResponse;
            reply->errorStatus = TooBig;
            reply->errorIndex = 0;
        }
        if (m_config.faults.wrongId)
            reply->requestId ^= 1;
        if (!m_config.faults.replyCommunity.isEmpty())
            reply->community = m_config.faults.replyCommunity;
        bytes = encodeMessage(*reply);
        const QHostAddress to = datagram.senderAddress();
        const quint16 port = static_cast<quint16>(datagram.senderPort());
        if (m_config.faults.delayMs > 0)
            QTimer::singleShot(m_config.faults.delayMs, this,
                               [this, bytes, to, port] { deliver(bytes, to, port); });
        else
            deliver(bytes, to, port);
    }
}

void Agent::deliver(const QByteArray& datagram, const QHostAddress& to, quint16 port)
{
    if (shouldDrop()) {
        if (m_config.verbose)
            log(QStringLiteral("%1: reply to %2:%3 lost on purpose")
                    .arg(m_element.label(), to.toString())
                    .arg(port));
    } else {
        QUdpSocket* out = m_replySocket ? m_replySocket : m_socket;
        if (out && out->writeDatagram(datagram, to, port) < 0)
            log(QStringLiteral("%1: send to %2:%3 failed: %4")
                    .arg(m_element.label(), to.toString())
                    .arg(port)
                    .arg(out->errorString()));
    }
    if (m_restartPending)
        beginRestart();
}

void Agent::beginRestart()
{
    if (m_restarting)
        return;
    m_restartPending = false;
    m_restarting = true;
    // The agent's address before the restart is what the element had when it
    // last bound; the socket knows it.
    const QHostAddress previous = m_socket ? m_socket->localAddress() : m_element.agentAddress();
    closeSockets();
    log(QStringLiteral("%1: agent restarting").arg(m_element.label()));
    QTimer::singleShot(m_config.restartPauseMs, this,
                       [this, previous] { finishRestart(previous); });
}

void Agent::finishRestart(const QHostAddress& previous)
{
    m_restarting = false;
    QHostAddress target = m_element.agentAddress();
    QString message;
    if (!isLocalAddress(target)) {
        message = QStringLiteral("%1 is not an address of this host, staying on %2")
                      .arg(target.toString(), previous.toString());
        target = previous;
    }
    QString error;
    if (!bindSockets(target, &error)) {
        message = error + QStringLiteral(", staying on ") + previous.toString();
        target = previous;
        if (!bindSockets(target, &error)) {
            m_element.setAgentAddress(previous);
            std::fprintf(stderr, "orvalink-sim: %s: %s\n", qPrintable(m_element.label()),
                         qPrintable(error));
            return;
        }
    }
    m_element.setAgentAddress(target);
    if (message.isEmpty())
        message = QStringLiteral("restarted %1").arg(endpoint());
    else
        message = QStringLiteral("restarted %1 (%2)").arg(endpoint(), message);
    log(message);
    Q_EMIT restarted(message);
    Q_EMIT settingsChanged();
}

} // namespace orvalink::sim
