#pragma once
// The statistics of many elements at once: a bounded number of elements is
// read at the same time, each one counter after the other as the Statistics
// window reads it, so silent elements cost their waits side by side rather
// than one after the other. One thread: a single UDP socket and its events.
//
// Each reply is matched to its request as every exchange of the program
// matches it (SnmpMatch.h). Every counter of an element is asked for, as the
// window asks for each: once a reply of an element is lost, its remaining
// counters are asked for all at once, so a silent element costs two waits,
// not one per counter. An element that answered none is down.

#include "core/DatagramTap.h"
#include "core/Timings.h"
#include "devops/StatisticsOperation.h"
#include "snmp/SnmpMatch.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class QEventLoop;
class QTimer;
class QUdpSocket;

namespace orvalink {

class Database;

class StatisticsSweep : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultInFlight = 32;

    explicit StatisticsSweep(const Timings& timings, QObject* parent = nullptr);
    ~StatisticsSweep() override;

    void setLocalAddress(const QString& address) { m_localAddress = address; }
    void setPorts(quint16 localPort, quint16 agentPort);

    // Every element of the database, in file order, with what it is read by.
    static QList<ElementStatistics> elementsOf(const Database& database);

    // Reads the statistics of every element given and returns them in the
    // same order. False, with error(), when the socket cannot be opened.
    bool run(QList<ElementStatistics>& elements);
    QString error() const { return m_error; }
    // Called with every datagram sent and received (diagnostics).
    void setTap(DatagramTap tap) { m_tap = std::move(tap); }

private:
    struct Outstanding {
        int step = 0; // index into the slot's steps
        AwaitedReply awaited;
    };
    struct Slot {
        int element = -1; // index into the elements, -1 when free
        QList<OperationStep> steps;
        QString community;
        QHostAddress host;
        int next = 0;      // first step not yet asked for
        bool lost = false; // a reply of the element was lost
        QList<Outstanding> outstanding;
        QTimer* timer = nullptr;
    };

    void startNext(Slot& slot);
    void askNext(Slot& slot);
    bool send(Slot& slot, int step);
    void finishElement(Slot& slot);
    void onReadyRead();
    void onTimeout(Slot& slot);
    quint8 nextRequestId(const QHostAddress& host);

    Timings m_timings;
    QString m_localAddress;
    quint16 m_localPort = 2979;
    quint16 m_agentPort = 161;
    QUdpSocket* m_socket;
    std::vector<Slot> m_slots;
    QList<ElementStatistics>* m_elements = nullptr;
    int m_nextElement = 0;
    int m_finished = 0;
    quint8 m_lastId; // request-id of the last request sent
    QEventLoop* m_loop = nullptr;
    QString m_error;
    DatagramTap m_tap;
};

} // namespace orvalink
