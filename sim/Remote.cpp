#include "Remote.h"

#include "Ber.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cmath>
#include <cstdio>

namespace orvalink::sim {

namespace {

const QByteArray kPagingText = QByteArrayLiteral("TARNVELD QUORVANE PAGING REQUEST");
const QByteArray kLevelRequest = QByteArrayLiteral("VOL");

// The level block: 401 samples of 3 bytes, 24-bit big-endian two's
// complement.
constexpr int kLevelSamples = 401;
constexpr double kTwoPi = 6.283185307179586;

void putAddress(QByteArray& out, const QByteArray& four)
{
    out.append(four.size() == 4 ? four : QByteArray(4, '\0'));
}

} // namespace

RemoteResponder::RemoteResponder(Element& element, const RemoteConfig& config, BadReply bad,
                                 QObject* parent)
    : QObject(parent), m_element(element), m_config(config), m_bad(bad)
{
    m_extra[7] = 0;
    m_extra[12] = 0;
}

RemoteResponder::~RemoteResponder() = default;

bool RemoteResponder::start(QString* error)
{
    const QHostAddress address = m_element.agentAddress();
    m_socket = new QUdpSocket(this);
    m_saveSocket = new QUdpSocket(this);
    for (auto [socket, port] :
         {std::pair{m_socket, m_config.elementPort}, std::pair{m_saveSocket, m_config.savePort}}) {
        if (!socket->bind(address, port)) {
            *error = QStringLiteral("remote protocol: cannot bind %1:%2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(socket->errorString());
            return false;
        }
        QUdpSocket* s = socket;
        connect(s, &QUdpSocket::readyRead, this, [this, s] { onReadyRead(s); });
    }
    return true;
}

quint32 RemoteResponder::number(int n)
{
    if (!m_element.answers(n))
        return m_extra.value(n);
    Value v;
    quint32 u = 0;
    if (m_element.get(n, v) == NoError)
        ber::decodeUnsigned(v.bytes, u);
    return u;
}

QByteArray RemoteResponder::bytesOf(int n)
{
    Value v;
    return m_element.get(n, v) == NoError ? v.bytes : QByteArray();
}

void RemoteResponder::setNumber(int n, quint32 value)
{
    if (!m_element.answers(n)) {
        if (m_extra.contains(n) && value <= 1)
            m_extra[n] = value;
        return;
    }
    const Value v{ber::Gauge32, ber::encodeUnsigned(value)};
    if (m_element.checkSet(n, v) == NoError)
        m_element.applySet(n, v);
}

QByteArray RemoteResponder::configReply()
{
    const bool decoder = m_element.role() == Role::Decoder;
    const quint32 tx = number(12);
    QByteArray r;
    putAddress(r, bytesOf(14));
    putAddress(r, bytesOf(18));
    putAddress(r, bytesOf(13));
    putAddress(r, bytesOf(decoder || tx != 0 ? 10 : 11));
    r.append(char(number(7)));
    r.append(char(number(8)));
    r.append(char(tx));
    r.append(bytesOf(35).leftJustified(16, ' ', true));
    r.append(char(decoder ? 2 : 1));
    // A positive serial number from the MAC's last three bytes.
    const QByteArray mac = m_element.mac();
    r.append(char(0x10));
    r.append(mac.right(3));
    const auto versionPart = [&](int n) { return char(bytesOf(n).toUInt() & 0xFF); };
    if (decoder) {
        r.append(char(number(1)));
        r.append(versionPart(36));
        r.append(versionPart(37));
        r.append(char(number(30)));
        r.append(char(number(2)));
        r.append(char(number(32)));
        r.append(char(number(33)));
        r.append(char(number(34)));
        r.append(QByteArray(5, '\0'));
        r.append(char(number(9)));
    } else {
        r.append(versionPart(36));
        r.append(versionPart(37));
        r.append(char(number(30)));
        r.append(char(0));
        r.append(char(number(9)));
    }
    switch (m_bad) {
    case BadReply::None:
        break;
    case BadReply::Short:
        r.truncate(30);
        break;
    case BadReply::Damaged:
        r[16] = char(2); // an audio input no element has
        break;
    }
    return r;
}

bool RemoteResponder::takeSaveRequest(const QByteArray& q)
{
    const bool decoder = m_element.role() == Role::Decoder;
    if (decoder ? q.size() != 41 : (q.size() != 37 && q.size() != 38))
        return false;
    const auto address = [&](int n, int offset) {
        const Value v{ber::IpAddress, q.mid(offset, 4)};
        if (m_element.checkSet(n, v) == NoError)
            m_element.applySet(n, v);
    };
    const auto byte = [&](int offset) { return quint32(quint8(q.at(offset))); };
    address(14, 0);
    address(18, 4);
    address(13, 8);
    setNumber(7, byte(16));
    setNumber(8, byte(17));
    setNumber(12, byte(18));
    address(decoder || number(12) != 0 ? 10 : 11, 12);
    setNumber(30, byte(19));
    const Value name{ber::OctetString, q.mid(20, 16)};
    if (m_element.checkSet(35, name) == NoError)
        m_element.applySet(35, name);
    if (decoder) {
        setNumber(2, byte(36));
        setNumber(32, byte(37));
        setNumber(33, byte(38));
        setNumber(34, byte(39));
        setNumber(9, byte(40));
    } else {
        setNumber(9, byte(36));
    }
    return true;
}

QByteArray RemoteResponder::levelData(qint64 nowMs) const
{
    // Programme audio as a meter sees it: a level that swells and fades
    // between about -24 and -4 dBFS over a few seconds, with a short peak
    // near full scale now and then. Each element has its own phase.
    const QByteArray mac = m_element.mac();
    const int phase = mac.isEmpty() ? 0 : quint8(mac.back());
    const double t = double(nowMs + qint64(phase) * 397) / 1000.0;
    double dbfs = -14.0 + 10.0 * std::sin(kTwoPi * t / kLevelPeriodSeconds);
    const double inCycle = std::fmod(t, kPeakEverySeconds);
    if (inCycle < 0.3)
        dbfs = -1.5 + 1.2 * std::sin(kTwoPi * inCycle / 0.6);
    const double amplitude = 8388607.0 * std::pow(10.0, dbfs / 20.0);
    QByteArray out;
    out.reserve(kLevelSamples * 3);
    for (int k = 0; k < kLevelSamples; ++k) {
        // A 1 kHz tone at 48 kHz sampling, starting where the clock stands.
        const double v = amplitude * std::sin(kTwoPi * (k + nowMs * 48) / 48.0);
        const qint32 s = qint32(std::lround(v)) & 0xFFFFFF;
        out.append(char(s >> 16)).append(char(s >> 8)).append(char(s));
    }
    return out;
}

void RemoteResponder::answerPaging(const QHostAddress& to, quint16 port)
{
    if (m_config.verbose)
        log(QStringLiteral("paged by %1:%2").arg(to.toString()).arg(port));
    m_socket->writeDatagram(configReply(), to, port);
}

void RemoteResponder::onReadyRead(QUdpSocket* socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram();
        if (!d.isValid())
            break;
        if (socket == m_socket && d.data() == kLevelRequest) {
            socket->writeDatagram(levelData(QDateTime::currentMSecsSinceEpoch()), d.senderAddress(),
                                  quint16(d.senderPort()));
            continue;
        }
        if (!takeSaveRequest(d.data())) {
            if (m_config.verbose)
                log(QStringLiteral("ignored %1 bytes from %2")
                        .arg(d.data().size())
                        .arg(d.senderAddress().toString()));
            continue;
        }
        if (m_config.verbose)
            log(QStringLiteral("save request from %1:%2")
                    .arg(d.senderAddress().toString())
                    .arg(d.senderPort()));
        Q_EMIT settingsChanged();
        socket->writeDatagram(configReply(), d.senderAddress(), quint16(d.senderPort()));
    }
}

void RemoteResponder::log(const QString& line) const
{
    if (!m_config.verbose)
        return;
    std::fprintf(stderr, "orvalink-sim: %s remote: %s\n", qPrintable(m_element.label()),
                 qPrintable(line));
    std::fflush(stderr);
}

PagingListener::PagingListener(const QList<RemoteResponder*>& responders, quint16 port,
                               QObject* parent)
    : QObject(parent), m_responders(responders), m_port(port)
{
}

bool PagingListener::start(QString* error)
{
    m_socket = new QUdpSocket(this);
    // Broadcasts reach only a socket on the wildcard address; several
    // simulators on one host share the port.
    if (!m_socket->bind(QHostAddress::AnyIPv4, m_port,
                        QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        *error = QStringLiteral("paging: cannot bind port %1: %2")
                     .arg(m_port)
                     .arg(m_socket->errorString());
        return false;
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &PagingListener::onReadyRead);
    return true;
}

void PagingListener::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket->receiveDatagram();
        if (!d.isValid())
            break;
        if (d.data() != kPagingText)
            continue;
        const QHostAddress to = d.destinationAddress();
        bool addressed = false;
        for (RemoteResponder* r : m_responders)
            addressed = addressed || r->element().agentAddress().isEqual(
                                         to, QHostAddress::ConvertV4MappedToIPv4);
        for (RemoteResponder* r : m_responders) {
            if (!addressed ||
                r->element().agentAddress().isEqual(to, QHostAddress::ConvertV4MappedToIPv4))
                r->answerPaging(d.senderAddress(), quint16(d.senderPort()));
        }
    }
}

} // namespace orvalink::sim
