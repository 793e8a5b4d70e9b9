#pragma once
// The SNMP socket of the NMS and its one-request-at-a-time exchange: send one
// GetRequest or SetRequest on its SnmpEndpoint, wait for the agent's reply
// while the event loop keeps running, and return the reply's value text
// (empty for no value).

#include "core/DatagramTap.h"
#include "core/Timings.h"
#include "snmp/SnmpClient.h"
#include "snmp/SnmpEndpoint.h"

#include <QObject>
#include <QString>

class QEventLoop;

namespace orvalink {

class SnmpTransport : public QObject, public SnmpClient {
    Q_OBJECT
public:
    explicit SnmpTransport(const Timings& timings, QObject* parent = nullptr);
    ~SnmpTransport() override;

    // Local interface the socket binds to; takes effect at the next bind.
    void setLocalAddress(const QString& strLocalNMSIPAddress);
    void setPorts(quint16 localPort = 2979, quint16 agentPort = 161);

    SnmpResult GetSNMP(const QString& strHostIP, const QString& strCommunity,
                       quint8 byteOID) override;
    SnmpResult SetSNMP(const QString& strHostIP, const QString& strCommunity, quint8 byteOID,
                       quint8 byteValueType, const QString& varValue) override;

    // Called with every datagram sent and received, and why a received one
    // was not taken (diagnostics; none by default).
    void setTap(DatagramTap tap) { m_sckUDP->setTap(std::move(tap)); }

    // Binds the socket as the next exchange would, without sending: empty
    // when it can be bound, else why not ("Cannot open UDP port 2979 on
    // ADDR: ..."), the reason a NotSent result would carry.
    QString checkSocket();

    bool isBound() const;
    bool isBusy() const { return m_SNMPAwaitingReply; }
    // Request-id of the last request sent; the next one is one more (250 is
    // followed by 1). A new transport starts at a random place in 1..250.
    quint8 lastRequestId() const;
    // For tests: the next request carries id + 1 (1 after 250).
    void setLastRequestId(quint8 id);

Q_SIGNALS:
    // A failure of the socket layer (port taken, address not local, send
    // error): once per streak of failures, in words for the operator.
    void transportFailure(const QString& message);
    // A request went out and no reply came within the wait.
    void noAnswer(const QString& strHostIP, quint8 byteOID);

private:
    enum class Kind { Get, Set };
    SnmpResult exchange(Kind kind, const QString& strHostIP, const QString& strCommunity,
                        quint8 byteOID, quint8 byteValueType, const QString& varValue);
    bool ensureBound(QString* reason);
    void closeSocket();
    SnmpResult notSent(const QString& reason, bool socketFailure);
    void sckUDP_DataArrival(int token, const SnmpReading& reply);
    void sckUDP_Unasked();
    void timerSNMPTimeout_Timer(int token);
    void endWait();

    Timings m_timings;
    QString m_strLocalNMSIPAddress;
    quint16 m_localPort = 2979;

    SnmpEndpoint* m_sckUDP = nullptr; // the design's sckUDP
    QEventLoop* m_waitLoop = nullptr;

    bool m_SNMPAwaitingReply = false;
    int m_request = 0;        // the outstanding request's token
    bool m_replied = false;   // its reply came
    SnmpReply m_SNMPResponse; // and what it was read as
    bool m_failureReported = false;
    bool m_open = false; // the exchange's view: bound or closed
};

} // namespace orvalink
