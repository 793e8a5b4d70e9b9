#pragma once
// One simulated encoder or decoder: its identity, its settings, its moving
// counters, and the rules for reading and writing its managed parameters.
// The element knows nothing about sockets; the SNMP agent (and later other
// protocol front ends) work on it through get()/checkSet()/applySet().

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace orvalink::sim {

enum class Role { Encoder, Decoder };

QString roleName(Role role); // "encoder" / "decoder"

// SNMPv1 error-status values.
enum SnmpStatus : int {
    NoError = 0,
    TooBig = 1,
    NoSuchName = 2,
    BadValue = 3,
    ReadOnly = 4,
    GenErr = 5,
};

// A value as it travels: its tag and its content bytes.
struct Value {
    quint8 tag = 0;
    QByteArray bytes;
    bool operator==(const Value&) const = default;
};

enum class Kind { Number, Signed, Address, Text, Mac, Counter };
enum class Access { ReadOnly, ReadWrite };

struct ParamSpec {
    int number = 0;
    const char* key = ""; // name in the state file
    Kind kind = Kind::Number;
    Access access = Access::ReadOnly;
    bool encoder = true;
    bool decoder = true;
    qint64 min = 0; // numbers: accepted range; texts: accepted byte length
    qint64 max = 0;
};

// The full parameter table of the device family (numbers 1 to 50).
const QList<ParamSpec>& parameterTable();
const ParamSpec* findParam(int number);

class Element {
public:
    // `address` is where the agent listens and the element's own address at
    // first start; `mac` six bytes.
    Element(Role role, const QHostAddress& address, const QByteArray& mac);

    Role role() const { return m_role; }
    QByteArray mac() const { return m_mac; }
    QString macText() const; // 2E:8B:F2:00:00:15
    QString label() const;   // encoder@127.0.0.21

    // Parameter numbers this role answers, ascending.
    QList<int> parameterNumbers() const;
    bool answers(int number) const;
    // Answers every parameter of the table, whatever the role.
    void setAnswersAll(bool all) { m_answersAll = all; }

    // Returns an SnmpStatus; on NoError `out` holds the encoded value.
    int get(int number, Value& out);
    // Validates a SET without changing anything.
    int checkSet(int number, const Value& in) const;
    // Takes a value that checkSet() accepted.
    void applySet(int number, const Value& in);

    QByteArray readCommunity() const { return m_texts.value(40); }
    QByteArray writeCommunity() const { return m_texts.value(41); }

    // The address the agent serves on, and the pending restart of the agent
    // that a write of 1 to parameter 50 requests.
    QHostAddress agentAddress() const { return m_agentAddress; }
    void setAgentAddress(const QHostAddress& address);
    bool takeRestartRequest();

    // Persistent settings (not the counters).
    QJsonObject toJson() const;
    // Applies what it can; returns one message per rejected entry.
    QStringList fromJson(const QJsonObject& object);

    // The type the counters are served as: Gauge32 (the default), Counter32,
    // TimeTicks, INTEGER or Counter64 (whose event counts then start above
    // 2^32, as on a long-running element).
    void setCounterTag(quint8 tag) { m_counterTag = tag; }
    quint8 counterTag() const { return m_counterTag; }

    // Milliseconds since the element started; tests replace the clock.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // Number of the setting for a state-file key, 0 if none.
    static int numberForKey(const QString& key);

private:
    qint64 number(int n) const { return m_numbers.value(n); }
    quint32 counterValue(int n);
    Value counterOut(int n, quint32 value) const;
    quint64 noise(quint64 salt) const;

    Role m_role;
    QByteArray m_mac;
    QHostAddress m_agentAddress;
    QMap<int, qint64> m_numbers;    // Number and Signed kinds
    QMap<int, quint32> m_addresses; // Address kind
    QMap<int, QByteArray> m_texts;  // Text kind
    quint64 m_reads = 0;            // counter reads so far; counters also move per read
    bool m_restartRequested = false;
    bool m_answersAll = false;
    quint8 m_counterTag = 0x42;
    QElapsedTimer m_started;
    std::function<qint64()> m_clock;
};

// Builds the six-byte MAC 2E:8B:F2:b:c:d from the last three octets of an
// IPv4 address.
QByteArray macForAddress(const QHostAddress& address);
// Parses "2E:8B:F2:00:00:16" (also "-" separators); empty on failure.
QByteArray parseMac(const QString& text);

} // namespace orvalink::sim
