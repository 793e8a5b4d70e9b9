#pragma once
// The SNMPv1 agent of one simulated element: a UDP endpoint on the element's
// address, the community checks, GET/GETNEXT/SET on the element, and the
// optional faults (lost, late or mismatched replies) used to test clients.

#include "Ber.h"
#include "Element.h"

#include <QHostAddress>
#include <QObject>

#include <optional>
#include <random>

class QUdpSocket;

namespace orvalink::sim {

// Ways to misbehave on purpose. Counting is per agent, over the replies it
// would have sent.
struct FaultPlan {
    int dropFirst = 0;         // lose the first N replies
    int dropEvery = 0;         // lose every K-th reply (K, 2K, ...)
    double lossPercent = 0;    // lose replies at random
    quint32 seed = 1;          // for lossPercent
    int delayMs = 0;           // answer this late
    bool wrongId = false;      // answer with another request-id
    quint16 fromPort = 0;      // answer from this source port instead of the agent port
    QByteArray replyCommunity; // answer with this community instead of the request's
    int refuseSet = 0;         // answer every SET of this parameter with badValue, changing nothing
    int dropSet = 0;           // ignore every SET of this parameter (no reply, nothing changed)
    int stopAfter = 0;         // answer the first N requests, then none
    bool singleGet = false;    // answer a GET of several variables with genErr
    bool swapVarbinds = false; // answer a GET of several with its first two variables swapped
};

// 1.3.6.1.4.1.44467.1.n.0 -> n; 0 for any other object identifier.
int parameterOf(const QList<quint32>& oid);
QList<quint32> oidOf(int parameter);

// True for a loopback address or one configured on a local interface.
bool isLocalAddress(const QHostAddress& address);

// Works out the reply to one request. No reply (nullopt) for a wrong version,
// an unknown community or a PDU an agent does not answer. `changed` tells
// whether an accepted SET altered the element; `note` is a one-line summary
// for the log.
std::optional<SnmpMessage> answerRequest(Element& element, const SnmpMessage& request,
                                         bool* changed = nullptr, QString* note = nullptr);

class Agent : public QObject {
    Q_OBJECT
public:
    struct Config {
        quint16 port = 161;
        FaultPlan faults;
        int restartPauseMs = 3000; // silence while the agent restarts after parameter 50
        bool verbose = false;
    };

    Agent(Element& element, const Config& config, QObject* parent = nullptr);
    ~Agent() override;

    // Binds on the element's agent address. False with a message on failure.
    bool start(QString* error);
    QString endpoint() const; // encoder@127.0.0.21:161

Q_SIGNALS:
    // An accepted SET (or a restart) changed what should be kept.
    void settingsChanged();
    // The agent is listening again after a restart; the text says where.
    void restarted(const QString& message);

private:
    void onReadyRead();
    void deliver(const QByteArray& datagram, const QHostAddress& to, quint16 port);
    bool shouldDrop();
    bool bindSockets(const QHostAddress& address, QString* error);
    void closeSockets();
    void beginRestart();
    void finishRestart(const QHostAddress& previous);
    void log(const QString& line) const;

    Element& m_element;
    Config m_config;
    QUdpSocket* m_socket = nullptr;
    QUdpSocket* m_replySocket = nullptr; // only with FaultPlan::fromPort
    quint64 m_replies = 0;
    quint64 m_requests = 0;
    bool m_restartPending = false;
    bool m_restarting = false;
    std::mt19937 m_rng;
};

} // namespace orvalink::sim
