#include "Traps.h"

#include "Agent.h"

#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <utility>

namespace orvalink::sim {

namespace {

const QList<quint32> kOrvalink = {1, 3, 6, 1, 4, 1, 44467};
const QList<quint32> kOwnTraps = kOrvalink + QList<quint32>{3};
const QList<quint32> kSysUpTime = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const QList<quint32> kSnmpTrapOid = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const QList<quint32> kGenericTraps = {1, 3, 6, 1, 6, 3, 1, 1, 5};
// ifIndex.1, ifAdminStatus.1, ifOperStatus.1 of IF-MIB.
const QList<quint32> kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
constexpr int kSilenceSpecific = 1;

// Generic trap number (0 coldStart, 2 linkDown, 3 linkUp, 6 enterprise).
int genericOf(TrapKind kind)
{
    switch (kind) {
    case TrapKind::ColdStart:
        return 0;
    case TrapKind::LinkDown:
        return 2;
    case TrapKind::LinkUp:
        return 3;
    case TrapKind::SilenceDetected:
        return 6;
    }
    return 6;
}

const char* nameOf(TrapKind kind)
{
    switch (kind) {
    case TrapKind::ColdStart:
        return "coldStart";
    case TrapKind::LinkDown:
        return "linkDown";
    case TrapKind::LinkUp:
        return "linkUp";
    case TrapKind::SilenceDetected:
        return "silenceDetected";
    }
    return "";
}

QByteArray addressBytes(quint32 a)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((a >> (24 - 8 * i)) & 0xFF);
    return b;
}

VarBind integerBinding(const QList<quint32>& oid, qint64 value)
{
    return {oid, ber::Integer, ber::encodeInteger(value)};
}

} // namespace

QByteArray encodeTrap(TrapKind kind, bool v2c, const QByteArray& community, quint32 agentAddress,
                      quint32 uptime, qint64 requestId, const QList<VarBind>& bindings)
{
    const int generic = genericOf(kind);
    if (v2c) {
        SnmpMessage m;
        m.version = 1;
        m.community = community;
        m.pdu = 0xA7;
        m.requestId = requestId;
        const QList<quint32> trapOid = generic == 6
                                           ? kOwnTraps + QList<quint32>{0, kSilenceSpecific}
                                           : kGenericTraps + QList<quint32>{quint32(generic + 1)};
        m.varBinds = {{kSysUpTime, ber::TimeTicks, ber::encodeUnsigned(uptime)},
                      {kSnmpTrapOid, ber::ObjectId, ber::encodeOid(trapOid)}};
        m.varBinds += bindings;
        return encodeMessage(m);
    }
    QByteArray binds;
    for (const VarBind& vb : bindings) {
        QByteArray one = ber::encodeTlv(ber::ObjectId, ber::encodeOid(vb.oid));
        one.append(ber::encodeTlv(vb.tag, vb.value));
        binds.append(ber::encodeTlv(ber::Sequence, one));
    }
    QByteArray pdu =
        ber::encodeTlv(ber::ObjectId, ber::encodeOid(generic == 6 ? kOwnTraps : kOrvalink));
    pdu.append(ber::encodeTlv(ber::IpAddress, addressBytes(agentAddress)));
    pdu.append(ber::encodeTlv(ber::Integer, ber::encodeInteger(generic)));
    pdu.append(
        ber::encodeTlv(ber::Integer, ber::encodeInteger(generic == 6 ? kSilenceSpecific : 0)));
    pdu.append(ber::encodeTlv(ber::TimeTicks, ber::encodeUnsigned(uptime)));
    pdu.append(ber::encodeTlv(ber::Sequence, binds));
    QByteArray body = ber::encodeTlv(ber::Integer, ber::encodeInteger(0));
    body.append(ber::encodeTlv(ber::OctetString, community));
    body.append(ber::encodeTlv(0xA4, pdu));
    return ber::encodeTlv(ber::Sequence, body);
}

TrapSender::TrapSender(Element& element, const TrapConfig& config, bool verbose, QObject* parent)
    : QObject(parent), m_element(element), m_config(config), m_verbose(verbose)
{
    m_uptime.start();
}

TrapSender::~TrapSender() = default;

void TrapSender::start()
{
    send(TrapKind::ColdStart);
    if (m_config.silenceEveryMs > 0 && m_element.role() == Role::Decoder) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { send(TrapKind::SilenceDetected); });
        timer->start(m_config.silenceEveryMs);
    }
    if (m_config.linkToggleMs > 0) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &TrapSender::toggleLink);
        timer->start(m_config.linkToggleMs);
    }
    if (m_config.floodPerSecond > 0) {
        m_floodTimer = new QTimer(this);
        m_floodTimer->setTimerType(Qt::PreciseTimer);
        connect(m_floodTimer, &QTimer::timeout, this, &TrapSender::flood);
        m_floodClock.start();
        m_floodTimer->start(5);
    }
}

void TrapSender::restarted()
{
    m_uptime.restart();
    send(TrapKind::ColdStart);
}

void TrapSender::toggleLink()
{
    m_linkUp = !m_linkUp;
    send(m_linkUp ? TrapKind::LinkUp : TrapKind::LinkDown);
}

void TrapSender::flood()
{
    // As many as the rate asks for by now, so that a late timer catches up;
    // at most a tenth of a second's worth at once.
    const quint64 due = quint64(m_floodClock.elapsed()) * quint64(m_config.floodPerSecond) / 1000;
    quint64 burst =
        qMin<quint64>(due - qMin(due, m_flooded), quint64(m_config.floodPerSecond) / 10 + 1);
    if (due > m_flooded + burst)
        m_flooded = due - burst; // fell behind: what could not go out is not owed
    quint32 to = 0;
    if (burst == 0 || !destination(TrapKind::SilenceDetected, to)) {
        m_flooded += burst;
        return;
    }
    // One encoding per burst: the traps of one burst share their uptime.
    const QByteArray bytes = datagram(TrapKind::SilenceDetected);
    for (; burst > 0; --burst, ++m_flooded)
        transmit(TrapKind::SilenceDetected, bytes, to);
}

QList<VarBind> TrapSender::bindingsFor(TrapKind kind)
{
    auto parameter = [this](int n, QList<VarBind>& out) {
        Value v;
        if (m_element.get(n, v) == NoError)
            out.append({oidOf(n), v.tag, v.bytes});
    };
    QList<VarBind> out;
    switch (kind) {
    case TrapKind::ColdStart:
        parameter(35, out);
        break;
    case TrapKind::LinkDown:
    case TrapKind::LinkUp:
        out.append(integerBinding(kIfEntry + QList<quint32>{1, 1}, 1));
        out.append(integerBinding(kIfEntry + QList<quint32>{7, 1}, 1));
        out.append(integerBinding(kIfEntry + QList<quint32>{8, 1}, m_linkUp ? 1 : 2));
        break;
    case TrapKind::SilenceDetected:
        for (int n : {35, 32, 33, 34})
            parameter(n, out);
        break;
    }
    return out;
}

bool TrapSender::socketReady()
{
    const QHostAddress local = m_element.agentAddress();
    if (m_socket && m_socket->localAddress() == local)
        return true;
    delete m_socket;
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(local, 0)) {
        log(QStringLiteral("%1: cannot send traps from %2: %3")
                .arg(m_element.label(), local.toString(), m_socket->errorString()));
        delete m_socket;
        m_socket = nullptr;
        return false;
    }
    return true;
}

bool TrapSender::destination(TrapKind kind, quint32& to)
{
    Value value;
    if (m_element.get(39, value) != NoError || value.bytes.size() != 4)
        return false;
    to = 0;
    for (const char c : value.bytes)
        to = (to << 8) | quint8(c);
    if (to == 0) {
        if (m_verbose)
            log(QStringLiteral("%1: %2 not sent: no trap destination (parameter 39)")
                    .arg(m_element.label(), QLatin1String(nameOf(kind))));
        return false;
    }
    // Simulated elements stay on this host: traps go only to one of its
    // addresses (a loopback address, or one inside the namespace).
    if (!isLocalAddress(QHostAddress(to))) {
        if (m_refusedDestination != to) {
            m_refusedDestination = to;
            std::fprintf(stderr,
                         "orvalink-sim: %s: trap destination %s is not an address of this "
                         "host; no traps are sent there\n",
                         qPrintable(m_element.label()), qPrintable(QHostAddress(to).toString()));
        }
        return false;
    }
    return socketReady();
}

QByteArray TrapSender::datagram(TrapKind kind)
{
    return encodeTrap(kind, m_config.v2c, m_element.readCommunity(),
                      m_element.agentAddress().toIPv4Address(), quint32(m_uptime.elapsed() / 10),
                      ++m_requestId, bindingsFor(kind));
}

void TrapSender::send(TrapKind kind)
{
    quint32 to = 0;
    if (destination(kind, to))
        transmit(kind, datagram(kind), to);
}

void TrapSender::transmit(TrapKind kind, const QByteArray& datagram, quint32 to)
{
    if (m_socket->writeDatagram(datagram, QHostAddress(to), m_config.port) < 0) {
        if (std::exchange(m_sendFailing, true))
            return; // told once per streak
        log(QStringLiteral("%1: %2 to %3:%4 failed: %5")
                .arg(m_element.label(), QLatin1String(nameOf(kind)), QHostAddress(to).toString())
                .arg(m_config.port)
                .arg(m_socket->errorString()));
        return;
    }
    m_sendFailing = false;
    ++m_sent;
    if (m_verbose && !m_floodTimer)
        log(QStringLiteral("%1: %2 sent to %3:%4")
                .arg(m_element.label(), QLatin1String(nameOf(kind)), QHostAddress(to).toString())
                .arg(m_config.port));
}

void TrapSender::log(const QString& line) const
{
    std::fprintf(stderr, "orvalink-sim: %s\n", qPrintable(line));
}

} // namespace orvalink::sim
