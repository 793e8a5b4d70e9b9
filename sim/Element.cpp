#include "Element.h"

#include "Ber.h"

#include <QJsonValue>
#include <QRegularExpression>

#include <cmath>
#include <utility>

namespace orvalink::sim {

namespace {

constexpr bool E = true; // answered by an encoder
constexpr bool D = true; // answered by a decoder
constexpr bool no = false;

// clang-format off
const QList<ParamSpec> kTable = {
    {1,  "att",        Kind::Number,  Access::ReadWrite, no, D, 14, 255},
    {2,  "buf",        Kind::Number,  Access::ReadWrite, no, D, 0, 44},
    {3,  "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {4,  "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {5,  "",           Kind::Counter, Access::ReadOnly,  E, no, 0, 0},
    {6,  "",           Kind::Counter, Access::ReadOnly,  E, no, 0, 0},
    {7,  "input",      Kind::Number,  Access::ReadWrite, E, no, 0, 1},
    {8,  "type",       Kind::Number,  Access::ReadWrite, E, D, 0, 1},
    {9,  "llo",        Kind::Number,  Access::ReadWrite, E, D, 0, 1},
    {10, "multi",      Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {11, "remote",     Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {12, "tx",         Kind::Number,  Access::ReadWrite, E, no, 0, 1},
    {13, "gw",         Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {14, "ip",         Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {15, "",           Kind::Mac,     Access::ReadOnly,  E, D, 0, 0},
    {16, "",           Kind::Counter, Access::ReadOnly,  E, D, 0, 0},
    {17, "",           Kind::Counter, Access::ReadOnly,  E, D, 0, 0},
    {18, "mask",       Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {19, "",           Kind::Counter, Access::ReadOnly,  E, D, 0, 0},
    {20, "",           Kind::Counter, Access::ReadOnly,  E, D, 0, 0},
    {21, "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {22, "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {23, "",           Kind::Counter, Access::ReadOnly,  E, D, 0, 0},
    {24, "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {25, "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {26, "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {27, "",           Kind::Counter, Access::ReadOnly,  no, D, 0, 0},
    {30, "sfn",        Kind::Number,  Access::ReadWrite, E, D, 0, 1},
    {31, "dly",        Kind::Signed,  Access::ReadWrite, E, D, -10000000, 10000000},
    {32, "sdm",        Kind::Number,  Access::ReadWrite, no, D, 0, 2},
    {33, "sdl",        Kind::Number,  Access::ReadWrite, no, D, 1, 154},
    {34, "sdt",        Kind::Number,  Access::ReadWrite, no, D, 1, 220},
    {35, "name",       Kind::Text,    Access::ReadWrite, E, D, 1, 16},
    {36, "version",    Kind::Text,    Access::ReadOnly,  E, D, 1, 16},
    {37, "revision",   Kind::Text,    Access::ReadOnly,  E, D, 1, 16},
    {38, "serial",     Kind::Text,    Access::ReadOnly,  E, D, 1, 32},
    {39, "trap",       Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {40, "snmpro",     Kind::Text,    Access::ReadWrite, E, D, 1, 32},
    {41, "snmprw",     Kind::Text,    Access::ReadWrite, E, D, 1, 32},
    {42, "agentMask",  Kind::Address, Access::ReadOnly,  E, D, 0, 0},
    {43, "agentGw",    Kind::Address, Access::ReadOnly,  E, D, 0, 0},
    {45, "agentDns",   Kind::Address, Access::ReadOnly,  E, D, 0, 0},
    {46, "newMask",    Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {47, "newGw",      Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {48, "newIp",      Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {49, "newDns",     Kind::Address, Access::ReadWrite, E, D, 0, 0},
    {50, "",           Kind::Number,  Access::ReadWrite, E, D, 0, 1},
};
// clang-format on

constexpr int kNameBytes = 16;
constexpr quint8 kCounter64 = 0x46;
constexpr quint32 kCounterWrap = 0x80000000u; // counters stay positive 32-bit values

quint32 ipv4(const char* text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

QByteArray addressBytes(quint32 a)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((a >> (24 - 8 * i)) & 0xFF);
    return out;
}

quint64 splitmix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool printable(const QByteArray& bytes)
{
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (b < 0x20 || b == 0x7F)
            return false;
    }
    return true;
}

QByteArray padName(QByteArray name)
{
    if (name.size() < kNameBytes)
        name.append(QByteArray(kNameBytes - name.size(), ' '));
    return name;
}

} // namespace

QString roleName(Role role)
{
    return role == Role::Encoder ? QStringLiteral("encoder") : QStringLiteral("decoder");
}

const QList<ParamSpec>& parameterTable()
{
    return kTable;
}

const ParamSpec* findParam(int number)
{
    for (const ParamSpec& p : kTable)
        if (p.number == number)
            return &p;
    return nullptr;
}

int Element::numberForKey(const QString& key)
{
    for (const ParamSpec& p : kTable)
        if (*p.key && key == QLatin1String(p.key))
            return p.number;
    return 0;
}

QByteArray macForAddress(const QHostAddress& address)
{
    const quint32 a = address.toIPv4Address();
    QByteArray mac("\x2E\x8B\xF2", 3);
    mac.append(static_cast<char>((a >> 16) & 0xFF));
    mac.append(static_cast<char>((a >> 8) & 0xFF));
    mac.append(static_cast<char>(a & 0xFF));
    return mac;
}

QByteArray parseMac(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^([0-9A-Fa-f]{2})([:-][0-9A-Fa-f]{2}){5}$"));
    if (!re.match(text).hasMatch())
        return {};
    QString hex = text;
    hex.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    return QByteArray::fromHex(hex.toLatin1());
}

Element::Element(Role role, const QHostAddress& address, const QByteArray& mac)
    : m_role(role), m_mac(mac), m_agentAddress(address)
{
    m_started.start();
    const quint32 ip = address.toIPv4Address();
    const int last = static_cast<int>(ip & 0xFF);
    const bool loopback = (ip >> 24) == 127;
    const quint32 mask = loopback ? 0xFF000000u : 0xFFFFFF00u;
    const quint32 gw = (ip & mask) | 1u;

    const QByteArray suffix = QByteArray::number(last);
    m_texts[35] = padName((role == Role::Encoder ? "ENCODER " : "DECODER ") + suffix);
    m_texts[36] = "3";
    m_texts[37] = role == Role::Encoder ? "50" : "51";
    m_texts[38] =
        QByteArray(role == Role::Encoder ? "OLE" : "OLD") + mac.right(3).toHex().toUpper();
    m_texts[40] = "morqubit";
    m_texts[41] = "kestrvla";

    m_addresses[10] = ipv4("239.192.10.1");
    m_addresses[11] = role == Role::Encoder ? ((ip & 0xFFFFFF00u) | 100u) : ipv4("239.192.10.1");
    m_addresses[13] = gw;
    m_addresses[14] = ip;
    m_addresses[18] = mask;
    m_addresses[39] = 0; // no trap destination configured
    m_addresses[42] = mask;
    m_addresses[43] = gw;
    m_addresses[45] = gw;
    m_addresses[46] = mask;
    m_addresses[47] = gw;
    m_addresses[48] = ip;
    m_addresses[49] = gw;

    m_numbers[1] = 200; // attenuation
    m_numbers[2] = 10;  // buffer
    m_numbers[7] = 1;   // analog input
    m_numbers[8] = 0;   // left/right
    m_numbers[9] = 0;
    m_numbers[12] = 0; // unicast
    m_numbers[30] = 0;
    m_numbers[31] = 0;
    m_numbers[32] = 0;
    m_numbers[33] = 60;
    m_numbers[34] = 30;
    m_numbers[50] = 0;
}

QString Element::macText() const
{
    return QString::fromLatin1(m_mac.toHex(':').toUpper());
}

QString Element::label() const
{
    return roleName(m_role) + QLatin1Char('@') + m_agentAddress.toString();
}

bool Element::answers(int number) const
{
    const ParamSpec* p = findParam(number);
    return p && (m_answersAll || (m_role == Role::Encoder ? p->encoder : p->decoder));
}

QList<int> Element::parameterNumbers() const
{
    QList<int> out;
    for (const ParamSpec& p : kTable)
        if (answers(p.number))
            out << p.number;
    return out;
}

quint64 Element::noise(quint64 salt) const
{
    quint64 seed = 0;
    for (const char c : m_mac)
        seed = (seed << 8) | static_cast<quint8>(c);
    return splitmix(seed ^ splitmix(salt));
}

quint32 Element::counterValue(int n)
{
    const qint64 now = m_clock ? m_clock() : m_started.elapsed();
    const auto t = static_cast<quint64>(qMax<qint64>(0, now));
    const quint64 reads = ++m_reads;
    const quint64 base = noise(n) % 100000;
    const quint64 second = t / 1000;
    const bool ptp = number(30) == 1;
    quint64 v = 0;
    switch (n) {
    case 4:
    case 6:
        v = base + t + reads;
        break; // about 1000 audio frames/s
    case 3:
    case 5:
        v = (noise(4) % 100000 + t) / 25000;
        break;
    case 17:
        v = base + t * 3 / 2 + reads;
        break; // Ethernet frames in
    case 16:
        v = (noise(17) % 100000 + t * 3 / 2) / 80000;
        break;
    case 20:
        v = base + t * 5 / 4 + reads;
        break; // Ethernet frames out
    case 19:
        v = (noise(20) % 100000 + t * 5 / 4) / 200000;
        break;
    case 23:
        v = ptp ? t / 125 + reads : 0;
        break; // 8 PTP messages/s
    case 21:
        v = ptp ? (t / 125) / 2000 : 0;
        break;
    case 22:
        v = ptp ? noise(second * 64 + 22) % 400 : 0;
        break;
    case 27:
        v = ptp ? 150000 + noise(second * 64 + 27) % 6000 : 0;
        break;
    case 24:
    case 25:
    case 26:
        // A new snapshot each second, with jitter; the three bands do not
        // overlap, so min <= avg <= max holds even when the three reads of
        // one refresh straddle a second.
        if (!ptp)
            break;
        if (n == 24)
            v = 180000 + noise(second * 64 + 24) % 6000;
        else if (n == 25)
            v = 188000 + noise(second * 64 + 25) % 9000;
        else
            v = 170000 + noise(second * 64 + 26) % 8000;
        break;
    default:
        break;
    }
    return static_cast<quint32>(v % kCounterWrap);
}

Value Element::counterOut(int n, quint32 value) const
{
    switch (m_counterTag) {
    case ber::Integer:
        return {ber::Integer, ber::encodeInteger(value)};
    case ber::Counter32:
    case ber::TimeTicks:
        return {m_counterTag, ber::encodeUnsigned(value)};
    case kCounter64: {
        quint64 v = value;
        // Event counts of an element that has run a long time.
        if (n != 22 && n != 24 && n != 25 && n != 26 && n != 27)
            v += quint64(5) << 32;
        QByteArray bytes;
        do {
            bytes.prepend(static_cast<char>(v & 0xFF));
            v >>= 8;
        } while (v);
        if (static_cast<quint8>(bytes.at(0)) & 0x80)
            bytes.prepend('\0');
        return {kCounter64, bytes};
    }
    default:
        return {ber::Gauge32, ber::encodeUnsigned(value)};
    }
}

int Element::get(int n, Value& out)
{
    if (!answers(n))
        return NoSuchName;
    const ParamSpec& p = *findParam(n);
    switch (p.kind) {
    case Kind::Number:
        out = {ber::Gauge32, ber::encodeUnsigned(static_cast<quint32>(number(n)))};
        break;
    case Kind::Signed: {
        const auto v = static_cast<qint32>(number(n));
        if (v < 0) {
            QByteArray four(4, '\0');
            const auto u = static_cast<quint32>(v);
            for (int i = 0; i < 4; ++i)
                four[i] = static_cast<char>((u >> (24 - 8 * i)) & 0xFF);
            out = {0x42, four};
        } else {
            out = {0x42, ber::encodeUnsigned(static_cast<quint32>(v))};
        }
        break;
    }
    case Kind::Address:
        out = {0x40, addressBytes(m_addresses.value(n))};
        break;
    case Kind::Text:
        out = {0x04, n == 35 ? padName(m_texts.value(n)) : m_texts.value(n)};
        break;
    case Kind::Mac:
        out = {0x04, m_mac};
        break;
    case Kind::Counter:
        out = counterOut(n, counterValue(n));
        break;
    }
    return NoError;
}

int Element::checkSet(int n, const Value& in) const
{
    if (!answers(n))
        return NoSuchName;
    const ParamSpec& p = *findParam(n);
    if (p.access == Access::ReadOnly)
        return NoSuchName; // not writable in this view (SNMPv1 has no notWritable)
    switch (p.kind) {
    case Kind::Number:
    case Kind::Signed: {
        quint32 u = 0;
        if (in.tag != ber::Gauge32 || !ber::decodeUnsigned(in.bytes, u))
            return BadValue;
        // The delay register is signed: a four-byte value with its top bit
        // set is a negative delay.
        const qint64 v = p.kind == Kind::Signed ? qint64(static_cast<qint32>(u)) : qint64(u);
        return v >= p.min && v <= p.max ? NoError : BadValue;
    }
    case Kind::Address:
        return in.tag == ber::IpAddress && in.bytes.size() == 4 ? NoError : BadValue;
    case Kind::Text:
        if (in.tag != ber::OctetString || in.bytes.size() < p.min || in.bytes.size() > p.max ||
            !printable(in.bytes))
            return BadValue;
        // An all-blank name would leave the device without one.
        if (n == 35 && in.bytes.trimmed().isEmpty())
            return BadValue;
        return NoError;
    case Kind::Mac:
    case Kind::Counter:
        break;
    }
    return NoSuchName;
}

void Element::applySet(int n, const Value& in)
{
    const ParamSpec& p = *findParam(n);
    switch (p.kind) {
    case Kind::Number:
    case Kind::Signed: {
        quint32 u = 0;
        ber::decodeUnsigned(in.bytes, u);
        if (n == 50) {
            if (u == 1) {
                // Take the new agent settings; the agent rebinds on its own.
                m_addresses[42] = m_addresses.value(46);
                m_addresses[43] = m_addresses.value(47);
                m_addresses[45] = m_addresses.value(49);
                m_agentAddress = QHostAddress(m_addresses.value(48));
                m_restartRequested = true;
            }
            return; // an action, not a setting: it always reads 0
        }
        m_numbers[n] = p.kind == Kind::Signed ? qint64(static_cast<qint32>(u)) : qint64(u);
        return;
    }
    case Kind::Address: {
        quint32 a = 0;
        for (const char c : in.bytes)
            a = (a << 8) | static_cast<quint8>(c);
        m_addresses[n] = a;
        return;
    }
    case Kind::Text:
        m_texts[n] = n == 35 ? padName(in.bytes) : in.bytes;
        return;
    case Kind::Mac:
    case Kind::Counter:
        return;
    }
}

void Element::setAgentAddress(const QHostAddress& address)
{
    m_agentAddress = address;
    m_addresses[48] = address.toIPv4Address();
}

bool Element::takeRestartRequest()
{
    return std::exchange(m_restartRequested, false);
}

QJsonObject Element::toJson() const
{
    QJsonObject settings;
    for (const ParamSpec& p : kTable) {
        if (!*p.key)
            continue;
        switch (p.kind) {
        case Kind::Number:
        case Kind::Signed:
            settings[QLatin1String(p.key)] = m_numbers.value(p.number);
            break;
        case Kind::Address:
            settings[QLatin1String(p.key)] = QHostAddress(m_addresses.value(p.number)).toString();
            break;
        case Kind::Text:
            settings[QLatin1String(p.key)] = QString::fromLatin1(m_texts.value(p.number));
            break;
        case Kind::Mac:
        case Kind::Counter:
            break;
        }
    }
    QJsonObject o;
    o[QStringLiteral("role")] = roleName(m_role);
    o[QStringLiteral("mac")] = macText();
    o[QStringLiteral("agent")] = m_agentAddress.toString();
    o[QStringLiteral("settings")] = settings;
    return o;
}

QStringList Element::fromJson(const QJsonObject& object)
{
    QStringList problems;
    const QJsonValue agent = object.value(QStringLiteral("agent"));
    if (!agent.isUndefined()) {
        QHostAddress a;
        if (agent.isString() && a.setAddress(agent.toString()) &&
            a.protocol() == QAbstractSocket::IPv4Protocol)
            m_agentAddress = a;
        else
            problems << QStringLiteral("agent: not an IPv4 address");
    }
    const QJsonObject settings = object.value(QStringLiteral("settings")).toObject();
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        const int n = numberForKey(it.key());
        const ParamSpec* p = n ? findParam(n) : nullptr;
        if (!p) {
            problems << it.key() + QStringLiteral(": unknown setting");
            continue;
        }
        Value v;
        bool ok = false;
        switch (p->kind) {
        case Kind::Number:
        case Kind::Signed: {
            const double d = it.value().toDouble(-1e18);
            ok = it.value().isDouble() && d == std::floor(d) && d >= double(p->min) &&
                 d <= double(p->max);
            if (ok)
                m_numbers[n] = static_cast<qint64>(d);
            break;
        }
        case Kind::Address: {
            QHostAddress a;
            ok = it.value().isString() && a.setAddress(it.value().toString()) &&
                 a.protocol() == QAbstractSocket::IPv4Protocol;
            if (ok)
                m_addresses[n] = a.toIPv4Address();
            break;
        }
        case Kind::Text: {
            const QString s = it.value().toString();
            const QByteArray bytes = s.toLatin1();
            ok = it.value().isString() && QString::fromLatin1(bytes) == s &&
                 bytes.size() >= p->min && bytes.size() <= p->max && printable(bytes);
            if (ok)
                m_texts[n] = n == 35 ? padName(bytes) : bytes;
            break;
        }
        case Kind::Mac:
        case Kind::Counter:
            break;
        }
        if (!ok)
            problems << it.key() + QStringLiteral(": value out of range, default kept");
    }
    m_addresses[48] = m_agentAddress.toIPv4Address();
    return problems;
}

} // namespace orvalink::sim
