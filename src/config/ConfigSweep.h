#pragma once
// The configuration of many elements at once: backup, drift and bulk apply
// read and write every element side by side on one UDP socket, with a
// bounded number of elements in flight; the statistics of many elements
// (StatisticsSweep.h) are read on it too. One thread: the socket's events
// drive a small state machine per element.
//
// An element first has its GETs asked (a few at a time, each of several
// variables when the sweep is set so), then its SETs sent
// one after the other in the given order. A SET is confirmed only when the
// element echoes the very value sent (as "Save changes" confirms it); each
// confirmed SET is followed by the spacing the devices need before the next
// one of the same element, while the other elements go on. A SET that gets
// no reply at all ends the element: whether it took the value is unknown,
// and its later SETs are not sent.
//
// Every request goes through the sweep's SnmpEndpoint, which binds, awaits,
// reads and matches as every exchange of the program does. A slot's
// requests share one reply wait: it starts again whenever the slot sends,
// and when it ends every request of the slot still awaited is lost.
//
// A GET of several variables saves requests where every read of an element
// is needed anyway (backup, drift, bulk apply). An SNMPv1 agent answers all
// of its variables or fails the whole request. noSuchName with the index of
// a variable says that one is unknown to the agent (as its own GET would):
// it is left without a value and the others are asked again together. Any
// other failure (another error status, other variables, no reply) has the
// element's remaining reads asked one variable per GET, and the agent asked
// so for the rest of the sweep's life: each parameter then ends as it does
// with single GETs.
//
// Replies are matched as every exchange of the program matches them
// (SnmpMatch.h); an id of 128 or more may come back negative from a strict
// agent, which the match allows for.

#include "core/DatagramTap.h"
#include "core/Timings.h"
#include "snmp/SnmpEndpoint.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

class QEventLoop;
class QTimer;

namespace orvalink {

struct ConfigJob {
    struct Set {
        quint8 n = 0;
        QString key;   // nms.ini key
        QString value; // sent as the SET's value
        bool text = false;
        // Sent only when the earlier SET of the same key was not confirmed
        // (the apply order's second attenuation step).
        bool onlyIfEarlierFailed = false;
    };
    struct SetOutcome {
        QString key;
        QString value;     // sent
        QString echo;      // the value the element echoed (empty for none)
        bool sent = false; // left this machine
        bool answered = false;
        bool confirmed = false;
        bool stored = true; // false when the confirm hook refused (store failed)
    };

    // Who: the element's section, MAC, name and SNMP agent.
    QString section;
    QString mac;
    QString name;
    QString host;
    QString readCommunity;
    QString writeCommunity;
    // What: parameters to read, then SETs to send, in order.
    QList<quint8> reads;
    QList<Set> sets;

    // Results.
    QHash<quint8, QString> values; // reads that gave a value
    QSet<quint8> answered;         // reads answered, with or without a value
    QList<SetOutcome> setOutcomes; // one per SET sent (a skipped retry has none)
    bool silent = false;           // a request was never answered
    QString error;                 // why the element could not be done, if so
    qint64 elapsedMs = 0;

    bool readComplete() const
    {
        return !silent && error.isEmpty() && answered.size() == reads.size();
    }
    int confirmedCount() const;
};

class ConfigSweep : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultElementsInFlight = 32;
    // GETs of one element awaited at the same time.
    static constexpr int kDefaultReadWindow = 4;
    // Variables in one GET (1: one GET per read).
    static constexpr int kDefaultVariablesPerGet = kMaxVariablesPerGet;

    explicit ConfigSweep(const Timings& timings, QObject* parent = nullptr);
    ~ConfigSweep() override;

    void setLocalAddress(const QString& address) { m_localAddress = address; }
    void setPorts(quint16 localPort, quint16 agentPort);
    // The spacing after a confirmed SET (the devices need 6 s).
    void setSpacingMs(int ms) { m_timings.snmpSetAllowedMs = ms; }
    void setElementsInFlight(int n) { m_inFlight = qMax(1, n); }
    void setReadWindow(int n) { m_readWindow = qMax(1, n); }
    // How many reads of an element one GET asks, 1 to kMaxVariablesPerGet.
    // A sweep that must tell each read's failure apart (statistics) keeps 1:
    // one unknown variable fails a whole GET of several.
    void setVariablesPerGet(int n) { m_variablesPerGet = qBound(1, n, kMaxVariablesPerGet); }
    // Whether the reads whose reply was lost are asked for once more, with
    // those not yet asked (the default), or left without a value.
    void setRetryLostReads(bool retry) { m_retryLostReads = retry; }
    // Called with every datagram sent and received (diagnostics).
    void setTap(DatagramTap tap) { m_endpoint->setTap(std::move(tap)); }
    // Called once per confirmed SET, before the element's next step; false
    // (the value could not be stored) ends that element.
    void setOnConfirmed(std::function<bool(ConfigJob&, const ConfigJob::SetOutcome&)> hook)
    {
        m_onConfirmed = std::move(hook);
    }
    // Called once per element when its reads are done, before its first
    // SET: a non-empty answer (why not) ends the element with that error,
    // and none of its SETs is sent.
    void setBeforeSets(std::function<QString(const ConfigJob&)> hook)
    {
        m_beforeSets = std::move(hook);
    }
    // Called when an element is done, in the order they end.
    void setOnFinished(std::function<void(const ConfigJob&)> hook)
    {
        m_onFinished = std::move(hook);
    }

    // Runs every job to its end. False, with error(), when the socket cannot
    // be opened (nothing was sent).
    bool run(QList<ConfigJob>& jobs);
    QString error() const { return m_error; }

private:
    struct Outstanding {
        int read = -1;    // index into reads, -1 for the SET and a GET of several
        QList<int> group; // the reads of a GET of several variables
        int token = 0;    // the endpoint's
        bool isSet() const { return read < 0 && group.isEmpty(); }
    };
    // What becomes of the reply to a GET of several variables.
    struct GroupVerdict {
        enum Kind { Take, DropUnknown, AskSingly } kind = Take;
        QString refused; // why it is asked one variable per GET
    };
    struct Slot {
        int job = -1;
        int nextRead = 0;
        QList<int> again; // reads to ask (singly) before the next one
        int nextSet = 0;
        bool retried = false;     // the lost reads were asked once more
        bool setsCleared = false; // the SETs passed the beforeSets hook
        QList<int> lost;          // reads whose reply was lost
        QList<int> lostInGroup;   // reads of a GET of several whose reply was lost
        QList<Outstanding> outstanding;
        QTimer* spacing = nullptr; // wait after a confirmed SET
        qint64 startedMs = 0;
    };

    void startNext(Slot& slot);
    void step(Slot& slot);
    bool sendRead(Slot& slot, int read);
    bool sendReads(Slot& slot, const QList<int>& group);
    bool hasReadsLeft(const Slot& slot) const;
    int takeRead(Slot& slot);
    bool severalPerGet(const Slot& slot) const;
    void askSingly(Slot& slot, const QList<int>& group);
    void dropUnknownRead(Slot& slot, const Outstanding& taken, int index);
    void takeGroupReply(Slot& slot, const Outstanding& taken, const SnmpVarbindMessage& reply);
    GroupVerdict verdictOf(const Slot& slot, const Outstanding& taken,
                           const SnmpVarbindMessage& reply) const;
    Slot* ownerOf(int token, qsizetype* index);
    void restartWaits(Slot& slot);
    void forgetAll(Slot& slot);
    enum class SetSent { Sent, Skipped, Failed };
    SetSent sendSet(Slot& slot);
    void finishJob(Slot& slot);
    void onReplied(int token, const SnmpReading& reply);
    void onTimeout(Slot& slot);
    void takeSetReply(Slot& slot, const QString& echo, bool answered);
    // Sends the request `build` makes; false, with the job's error, when
    // it cannot be built or sent (*built says which).
    bool sendRequest(Slot& slot, const SnmpEndpoint::Build& build, int read,
                     const QList<int>& group = {}, bool* built = nullptr);

    Timings m_timings;
    QString m_localAddress;
    quint16 m_localPort = 2979;
    int m_inFlight = kDefaultElementsInFlight;
    int m_readWindow = kDefaultReadWindow;
    int m_variablesPerGet = kDefaultVariablesPerGet;
    QSet<quint32> m_singleGetAgents; // agents that failed a GET of several
    bool m_retryLostReads = true;
    SnmpEndpoint* m_endpoint;
    std::vector<Slot> m_slots;
    QList<ConfigJob>* m_jobs = nullptr;
    QList<QHostAddress> m_hosts;
    int m_nextJob = 0;
    int m_finished = 0;
    QEventLoop* m_loop = nullptr;
    QString m_error;
    std::function<bool(ConfigJob&, const ConfigJob::SetOutcome&)> m_onConfirmed;
    std::function<QString(const ConfigJob&)> m_beforeSets;
    std::function<void(const ConfigJob&)> m_onFinished;
    qint64 m_startedAt = 0;
};

} // namespace orvalink
