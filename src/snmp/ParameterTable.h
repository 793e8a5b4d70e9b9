#pragma once
// The managed parameters of an element: every scalar
// 1.3.6.1.4.1.44467.1.n.0 the NMS reads or writes, what it means, how its
// value text looks, where nms.ini keeps it and which operation touches it.
// Numbers 28, 29 and 44 are not used; none is above 50.

#include "snmp/SnmpCodec.h"
#include "store/ElementDatabase.h"

#include <QList>
#include <QSet>
#include <QtGlobal>

#include <span>

namespace orvalink {

// Form of a parameter's value text.
enum class ValueForm {
    Code,    // small unsigned decimal ("0", "1", "2"), Gauge
    Number,  // unsigned decimal, Gauge
    Address, // dotted IPv4, IpAddress
    Text,    // OCTET STRING
    Mac,     // six bytes shown as 2E:8B:F2:00:0A:1B, read only
    Counter, // a number read for display only
};

// The operations that talk to an element, as bit flags.
enum Operation : unsigned {
    OpNone = 0,
    OpProbe = 1u << 0, // add new element
    OpApply = 1u << 1, // apply configuration
    OpStatistics = 1u << 2,
    OpSnmpProperties = 1u << 3,
    OpSfnAdjust = 1u << 4,
};

// When an operation includes a parameter, judged from the element's stored
// role, transmission type (tx) and SFN switch (sfn).
enum class Condition {
    Always,
    Encoder,          // role ENCODER
    Decoder,          // role DECODER
    NotDecoder,       // any role but DECODER
    EncoderUnicast,   // ENCODER with tx 0
    EncoderMulticast, // ENCODER with tx 1
    Sfn,              // sfn 1
    SfnDecoder,       // sfn 1 and DECODER
    AgentChanged,     // the agent's own address settings changed
};

struct ParameterInfo {
    quint8 n;
    // nms.ini key; for a value read only for display (counters, delays), its
    // short name ("mac_rx_frames_ok"); "" for none.
    const char* key;
    const char* meaning;
    quint8 setTag; // tag of a SET; 0 when the NMS never writes it
    ValueForm form;
    unsigned readBy;    // Operation flags
    unsigned writtenBy; // Operation flags
};

// One step of an operation: parameter n, the key it is stored under in that
// operation (which may differ from the table's key), and when it applies.
struct OperationStep {
    quint8 n;
    const char* key;
    Condition when;
};

// The whole table, in parameter order.
std::span<const ParameterInfo> parameterTable();
// The entry of n, or nullptr for an unused number.
const ParameterInfo* findParameter(int n);
// The entry stored under `key` (case-insensitive) that an apply writes; the
// first entry with that key otherwise; nullptr when none.
const ParameterInfo* findParameterByKey(const QString& key);
// The tag a SET of n uses; 0 when n is never written.
quint8 setTagOf(int n);

// Parameters of each operation in the order it touches them.
std::span<const OperationStep> probeSteps();
std::span<const OperationStep> applySteps();
std::span<const OperationStep> statisticsSteps();
std::span<const OperationStep> snmpPropertiesSteps();
std::span<const OperationStep> sfnReadSteps();

struct StepContext {
    ElementRole role = ElementRole::Unknown;
    int tx = -1; // stored tx, -1 when missing
    bool sfn = false;
    bool agentChanged = false; // SNMP properties: address settings changed
};
bool conditionHolds(Condition when, const StepContext& context);
// The steps of `steps` that apply to this element, in order.
QList<OperationStep> selectSteps(std::span<const OperationStep> steps, const StepContext& context);

// The role a probe decides from which of 32, 1, 2, 34 (decoder parameters)
// and 7, 12 (encoder parameters) gave a value: none of the decoder ones is an
// ENCODER; otherwise none of the encoder ones is a DECODER; otherwise Unknown.
ElementRole roleFromProbe(const QSet<quint8>& answered);

} // namespace orvalink
