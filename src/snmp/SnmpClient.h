#pragma once
// What every SNMP exchange of the program goes through: one GetRequest or
// SetRequest for one parameter of one element, answered synchronously.
// SnmpTransport is the real one; tests may hand operations their own.

#include <QString>
#include <QtGlobal>

namespace orvalink {

enum class SnmpOutcome {
    Value,    // the agent answered with a value
    NoValue,  // the agent answered, but with an error or nothing usable
    NoAnswer, // no reply within the wait
    NotSent,  // nothing left this machine: busy, a value that cannot be sent, a socket failure
};

struct SnmpResult {
    SnmpOutcome outcome = SnmpOutcome::NotSent;
    // The decoded value text; empty unless outcome is Value.
    QString value;
    // Why the request was not sent, in words for the operator (NotSent only).
    QString reason;

    bool hasValue() const { return outcome == SnmpOutcome::Value; }
    bool answered() const
    {
        return outcome == SnmpOutcome::Value || outcome == SnmpOutcome::NoValue;
    }
};

class SnmpClient {
public:
    virtual ~SnmpClient() = default;

    // Reads parameter byteOID of the agent at strHostIP with the read
    // community.
    virtual SnmpResult GetSNMP(const QString& strHostIP, const QString& strCommunity,
                               quint8 byteOID) = 0;
    // Writes varValue with tag byteValueType using the write community; the
    // result's value is what the agent echoed, which the caller compares
    // with what it meant to set.
    virtual SnmpResult SetSNMP(const QString& strHostIP, const QString& strCommunity,
                               quint8 byteOID, quint8 byteValueType, const QString& varValue) = 0;
};

} // namespace orvalink
