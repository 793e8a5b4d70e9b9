#pragma once
// The station's trap receiver: a UDP socket on the NMS address (port 162 by
// default) whose datagrams are decoded as they arrive, bound to an element
// of the database by their source address (for SNMPv1 also by the agent
// address in the trap), and checked against that element's read community.
// It counts what it takes and what it refuses; no datagram can stop it.

#include "snmp/TrapDecoder.h"
#include "store/ElementDatabase.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace orvalink {

class IniStore;

struct TrapCounters {
    quint64 received = 0;  // datagrams read
    quint64 decoded = 0;   // traps taken and signalled
    quint64 malformed = 0; // not one well-formed SNMPv1 or SNMPv2c trap
    quint64 foreign = 0;   // from no element of the database
    quint64 refused = 0;   // an element's trap with another community
};

struct TrapRejection {
    enum class Kind { Malformed, Foreign, Refused };
    Kind kind = Kind::Malformed;
    QString reason;
    quint32 sourceAddress = 0;
    quint16 sourcePort = 0;
};

class TrapReceiver : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 162;

    TrapReceiver(IniStore& store, const QString& databasePath, QObject* parent = nullptr);
    ~TrapReceiver() override;

    // Takes traps with any community (otherwise only the element's read
    // community).
    void setAcceptAnyCommunity(bool any) { m_anyCommunity = any; }
    // Takes traps of senders that are no element of the database (signalled
    // with an empty ElementEntry); otherwise they are counted as foreign.
    void setAcceptUnknownSources(bool any) { m_anySource = any; }

    // Binds the socket as every endpoint binds (bindUdp: never shared with
    // another program's socket). False with the reason on failure.
    bool start(const QHostAddress& address, quint16 port, QString* error);
    quint16 localPort() const;

    const TrapCounters& counters() const { return m_counters; }
    // Why the database could not be read at the last look ("" when it could).
    QString databaseError() const { return m_databaseError; }

    // One datagram as if it had come in from address:port (the element list
    // is looked at again before each batch of datagrams the socket reads).
    void handleDatagram(QByteArrayView datagram, quint32 sourceAddress, quint16 sourcePort);

Q_SIGNALS:
    void trapReceived(const orvalink::Trap& trap, const orvalink::ElementEntry& element);
    void trapRejected(const orvalink::TrapRejection& rejection);

private:
    void onReadyRead();
    // Reloads the element list when the database file changed.
    void refreshElements();
    bool communityMatches(const QByteArray& community, const QString& stored) const;
    void reject(TrapRejection::Kind kind, const QString& reason, quint32 address, quint16 port);

    IniStore& m_store;
    QString m_path;
    QUdpSocket* m_socket = nullptr;
    QByteArray m_buffer;
    bool m_anyCommunity = false;
    bool m_anySource = false;
    TrapCounters m_counters;

    struct Known {
        ElementEntry entry;
        QString readCommunity;
    };
    const Known* elementFor(const Trap& trap) const;

    QList<Known> m_elements;
    QHash<quint32, qsizetype> m_byAddress; // agent address -> first element with it
    QByteArray m_fileStamp;                // what the file looked like at the last load
    QString m_databaseError;
};

} // namespace orvalink
