#include "snmp/ParameterTable.h"

#include "snmp/SnmpCodec.h"

#include <iterator>

namespace orvalink {

namespace {

using VF = ValueForm;
constexpr quint8 G = snmptag::Gauge;
constexpr quint8 IP = snmptag::IpAddress;
constexpr quint8 OS = snmptag::OctetString;
constexpr unsigned PR = OpProbe;
constexpr unsigned AP = OpApply;
constexpr unsigned ST = OpStatistics;
constexpr unsigned SP = OpSnmpProperties;
constexpr unsigned SF = OpSfnAdjust;

// n, key or field, meaning, SET tag, form, read by, written by
const ParameterInfo kTable[] = {
    {1, "att", "audio attenuation of a decoder (14 to 255)", G, VF::Number, PR, AP},
    {2, "buf", "buffer size of a decoder", G, VF::Number, PR, AP},
    {3, "audio_rx_frames_err", "audio frames with errors, decoder", 0, VF::Counter, ST, OpNone},
    {4, "audio_rx_frames_ok", "audio frames received correctly, decoder", 0, VF::Counter, ST,
     OpNone},
    {5, "audio_rx_frames_err", "audio frames with errors, encoder", 0, VF::Counter, ST, OpNone},
    {6, "audio_rx_frames_ok", "audio frames correct, encoder", 0, VF::Counter, ST, OpNone},
    {7, "input", "audio source of an encoder", G, VF::Code, PR, AP},
    {8, "type", "audio format", G, VF::Code, PR, AP},
    {9, "llo", "low-latency option", G, VF::Code, PR, AP},
    {10, "multi", "multicast group of an encoder's stream", IP, VF::Address, PR, AP},
    {11, "remote", "an encoder's unicast destination; a decoder's multicast group", IP, VF::Address,
     PR, AP},
    {12, "tx", "transmission type of an encoder", G, VF::Code, PR, AP},
    {13, "gw", "element's default gateway", IP, VF::Address, PR, AP},
    {14, "ip", "element's IPv4 address", IP, VF::Address, PR, AP},
    {15, "", "the element's MAC address (names its section)", 0, VF::Mac, PR, OpNone},
    {16, "mac_rx_frames_err", "Ethernet frames received with errors", 0, VF::Counter, ST, OpNone},
    {17, "mac_rx_frames_ok", "Ethernet frames received correctly", 0, VF::Counter, ST, OpNone},
    {18, "mask", "element's subnet mask", IP, VF::Address, PR, AP},
    {19, "mac_tx_frames_err", "Ethernet frames sent with errors", 0, VF::Counter, ST, OpNone},
    {20, "mac_tx_frames_ok", "Ethernet frames sent correctly", 0, VF::Counter, ST, OpNone},
    {21, "ptp_rx_err", "PTP messages with errors", 0, VF::Counter, ST, OpNone},
    {22, "ptp_clock_adjust", "PTP clock adjustment", 0, VF::Counter, ST, OpNone},
    {23, "ptp_rx_ok", "PTP messages received correctly", 0, VF::Counter, ST, OpNone},
    {24, "delay_avg", "measured network delay, average (ns)", 0, VF::Counter, SF, OpNone},
    {25, "delay_max", "measured network delay, maximum (ns)", 0, VF::Counter, SF, OpNone},
    {26, "delay_min", "measured network delay, minimum (ns)", 0, VF::Counter, SF, OpNone},
    {27, "ptp_latency", "PTP latency", 0, VF::Counter, ST, OpNone},
    {30, "sfn", "PTP synchronisation (SFN) enabled", G, VF::Code, PR, AP},
    {31, "dly", "SFN additional delay (ns)", G, VF::Number, PR | SF, SF},
    {32, "sdm", "silence detector mode of a decoder", G, VF::Code, PR, AP},
    {33, "sdl", "silence detector level of a decoder (1 to 154)", G, VF::Number, PR, AP},
    {34, "sdt", "silence detector timeout of a decoder (1 to 220)", G, VF::Number, PR, AP},
    {35, "name", "element name, at most 16 characters", OS, VF::Text, PR, AP},
    {36, "ver", "DSP firmware version (first part of ver)", 0, VF::Text, PR, OpNone},
    {37, "ver", "DSP firmware revision (second part of ver)", 0, VF::Text, PR, OpNone},
    {38, "sn", "serial number", 0, VF::Text, PR, OpNone},
    {39, "snmptr", "SNMP trap destination", IP, VF::Address, PR, SP},
    {40, "snmpro", "read-only community", OS, VF::Text, OpNone, SP},
    {41, "snmprw", "read-write community", OS, VF::Text, PR, SP},
    {42, "snmpnm", "SNMP agent's subnet mask, current", 0, VF::Address, PR, OpNone},
    {43, "snmpgw", "SNMP agent's gateway, current", 0, VF::Address, PR, OpNone},
    {45, "snmpdn", "SNMP agent's DNS server, current", 0, VF::Address, PR, OpNone},
    {46, "snmpnm", "SNMP agent's subnet mask, new", IP, VF::Address, OpNone, SP},
    {47, "snmpgw", "SNMP agent's gateway, new", IP, VF::Address, OpNone, SP},
    {48, "snmpip", "SNMP agent's IPv4 address, new", IP, VF::Address, OpNone, SP},
    {49, "snmpdn", "SNMP agent's DNS server, new", IP, VF::Address, OpNone, SP},
    {50, "", "apply the new agent settings (46 to 49) and restart the SNMP engine", G, VF::Code,
     OpNone, SP},
};

using C = Condition;

// The probe reads every parameter whatever the role; 10 is kept as multi and
// 11 as remote, 36 and 37 together as ver.
const OperationStep kProbe[] = {
    {15, "", C::Always},       {35, "name", C::Always},   {14, "ip", C::Always},
    {13, "gw", C::Always},     {18, "mask", C::Always},   {30, "sfn", C::Always},
    {31, "dly", C::Always},    {32, "sdm", C::Always},    {9, "llo", C::Always},
    {8, "type", C::Always},    {7, "input", C::Always},   {1, "att", C::Always},
    {12, "tx", C::Always},     {11, "remote", C::Always}, {10, "multi", C::Always},
    {2, "buf", C::Always},     {33, "sdl", C::Always},    {34, "sdt", C::Always},
    {36, "ver", C::Always},    {37, "ver", C::Always},    {38, "sn", C::Always},
    {41, "snmprw", C::Always}, {42, "snmpnm", C::Always}, {43, "snmpgw", C::Always},
    {45, "snmpdn", C::Always}, {39, "snmptr", C::Always},
};

// Each step is sent only when the panel differs from nms.ini. A decoder's
// multicast group goes to parameter 11 and is stored under multi. The
// attenuation comes twice: the last step finds a difference only when the
// first try was not confirmed, so a refused attenuation is tried once more.
const OperationStep kApply[] = {
    {35, "name", C::Always},
    {14, "ip", C::Always},
    {18, "mask", C::Always},
    {13, "gw", C::Always},
    {7, "input", C::Encoder},
    {8, "type", C::Always},
    {12, "tx", C::Encoder},
    {10, "multi", C::EncoderMulticast},
    {11, "remote", C::EncoderUnicast},
    {11, "multi", C::Decoder},
    {30, "sfn", C::Always},
    {9, "llo", C::Always},
    {1, "att", C::Decoder},
    {2, "buf", C::Decoder},
    {33, "sdl", C::Decoder},
    {34, "sdt", C::Decoder},
    {32, "sdm", C::Decoder},
    {1, "att", C::Decoder},
};

const OperationStep kStatistics[] = {
    {20, "mac_tx_frames_ok", C::Always},
    {19, "mac_tx_frames_err", C::Always},
    {17, "mac_rx_frames_ok", C::Always},
    {16, "mac_rx_frames_err", C::Always},
    {4, "audio_rx_frames_ok", C::Decoder},
    {3, "audio_rx_frames_err", C::Decoder},
    {6, "audio_rx_frames_ok", C::NotDecoder},
    {5, "audio_rx_frames_err", C::NotDecoder},
    {23, "ptp_rx_ok", C::Sfn},
    {21, "ptp_rx_err", C::SfnDecoder},
    {22, "ptp_clock_adjust", C::SfnDecoder},
    {27, "ptp_latency", C::SfnDecoder},
};

const OperationStep kSnmpProperties[] = {
    {39, "snmptr", C::Always},       {40, "snmpro", C::Always},
    {41, "snmprw", C::Always},       {48, "snmpip", C::AgentChanged},
    {46, "snmpnm", C::AgentChanged}, {47, "snmpgw", C::AgentChanged},
    {49, "snmpdn", C::AgentChanged}, {50, "", C::AgentChanged},
};

const OperationStep kSfnRead[] = {
    {26, "delay_min", C::Always},
    {25, "delay_max", C::Always},
    {24, "delay_avg", C::Always},
    {31, "dly", C::Always},
};

} // namespace

std::span<const ParameterInfo> parameterTable()
{
    return kTable;
}
std::span<const OperationStep> probeSteps()
{
    return kProbe;
}
std::span<const OperationStep> applySteps()
{
    return kApply;
}
std::span<const OperationStep> statisticsSteps()
{
    return kStatistics;
}
std::span<const OperationStep> snmpPropertiesSteps()
{
    return kSnmpProperties;
}
std::span<const OperationStep> sfnReadSteps()
{
    return kSfnRead;
}

const ParameterInfo* findParameter(int n)
{
    for (const ParameterInfo& p : kTable) {
        if (p.n == n)
            return &p;
    }
    return nullptr;
}

const ParameterInfo* findParameterByKey(const QString& key)
{
    const ParameterInfo* first = nullptr;
    for (const ParameterInfo& p : kTable) {
        if (*p.key == 0 || key.compare(QLatin1String(p.key), Qt::CaseInsensitive) != 0)
            continue;
        if (p.writtenBy & OpApply)
            return &p;
        if (!first)
            first = &p;
    }
    return first;
}

quint8 setTagOf(int n)
{
    const ParameterInfo* p = findParameter(n);
    return p ? p->setTag : 0;
}

bool conditionHolds(Condition when, const StepContext& c)
{
    const bool encoder = c.role == ElementRole::Encoder;
    const bool decoder = c.role == ElementRole::Decoder;
    switch (when) {
    case Condition::Always:
        return true;
    case Condition::Encoder:
        return encoder;
    case Condition::Decoder:
        return decoder;
    case Condition::NotDecoder:
        return !decoder;
    case Condition::EncoderUnicast:
        return encoder && c.tx == 0;
    case Condition::EncoderMulticast:
        return encoder && c.tx == 1;
    case Condition::Sfn:
        return c.sfn;
    case Condition::SfnDecoder:
        return c.sfn && decoder;
    case Condition::AgentChanged:
        return c.agentChanged;
    }
    return false;
}

QList<OperationStep> selectSteps(std::span<const OperationStep> steps, const StepContext& context)
{
    QList<OperationStep> out;
    for (const OperationStep& s : steps) {
        if (conditionHolds(s.when, context))
            out.append(s);
    }
    return out;
}

ElementRole roleFromProbe(const QSet<quint8>& answered)
{
    const bool anyDecoder = answered.contains(32) || answered.contains(1) || answered.contains(2) ||
                            answered.contains(34);
    if (!anyDecoder)
        return ElementRole::Encoder;
    if (!answered.contains(7) && !answered.contains(12))
        return ElementRole::Decoder;
    return ElementRole::Unknown;
}

} // namespace orvalink
