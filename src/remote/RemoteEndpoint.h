#pragma once
// The station's endpoint of the remote protocol (udpClient): one UDP socket
// on local port 2976 of the NMS interface. Every unicast request closes it,
// binds it afresh and sends one datagram; it then stays bound so that the
// element's answer arrives, and hands every datagram on by its length.
//
// Arrival and handling are apart: the socket's read handler only moves the
// datagrams into an inbox, numbering them in order of arrival, and they are
// handed on from the event loop afterwards. A message box opened while one
// datagram is handled therefore never holds back the arrival of the next,
// and the number tells when a datagram came however late it is handled.

#include "core/DatagramTap.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace orvalink {

enum class RemoteSendOutcome {
    Sent,
    PortOccupied,   // the local port is taken by another program
    LocalFailure,   // the NMS address cannot be bound (not an address of this host, ...)
    BadDestination, // the element has no usable address
    SendFailed,     // the datagram could not leave (unreachable network, ...)
};

struct RemoteSendResult {
    RemoteSendOutcome outcome = RemoteSendOutcome::Sent;
    QString reason; // in words, for the operator; empty when sent
    bool ok() const { return outcome == RemoteSendOutcome::Sent; }
};

class RemoteEndpoint : public QObject {
    Q_OBJECT
public:
    explicit RemoteEndpoint(QObject* parent = nullptr);
    ~RemoteEndpoint() override;

    // The NMS interface (strLocalNMSIPAddress); takes effect at the next bind.
    void setLocalAddress(const QString& strLocalNMSIPAddress);
    QString localAddress() const { return m_localAddress; }
    // 2976; tests pass 0 for a port of the system's choice.
    void setLocalPort(quint16 port) { m_localPort = port; }
    quint16 boundPort() const;

    // PrepareRemoteEndpoint and the send: close, bind, address, send. The
    // destination is checked first: a request without a usable address
    // leaves the endpoint as it was.
    RemoteSendResult send(const QByteArray& bytes, const QString& strHost, quint16 port);
    // Sends to the remote host and port as they are set, binding first
    // when the endpoint is closed (the discovery broadcast).
    RemoteSendResult sendToRemote(const QByteArray& bytes);

    // Binds when closed (the discovery needs the endpoint bound before it
    // deletes anything); sends nothing.
    RemoteSendResult open();
    void close();
    bool isBound() const;

    // Called with every datagram sent and received, and why a received one
    // was dropped (diagnostics; none by default).
    void setTap(DatagramTap tap) { m_tap = std::move(tap); }

    // How many datagrams have arrived so far; the next one gets this + 1.
    quint64 arrivals() const { return m_arrivals; }
    // Reads what waits in the socket into the inbox (numbering it) without
    // handing anything on; handOnWaiting() hands on the whole inbox now.
    void readWaiting();
    void handOnWaiting() { handOn(); }
    // Datagrams read but not yet handed on.
    qsizetype waiting() const { return m_inbox.size(); }

    // The remote host and port the last request addressed.
    QString remoteHost() const { return m_remoteHost; }
    quint16 remotePort() const { return m_remotePort; }
    void setRemote(const QString& host, quint16 port);

    // At most this many datagrams wait in the inbox; more are dropped (and
    // told to the tap) until it shrinks, as a full socket buffer would.
    static constexpr qsizetype kInboxLimit = 4096;

Q_SIGNALS:
    // More than 1200 bytes: audio level data.
    void levelDatagram(const QByteArray& data);
    // Fewer than 55 bytes, not 3: an element's configuration reply, with its
    // number of arrival (1 for the first datagram of this endpoint).
    void configReply(const QByteArray& data, quint64 arrival);

private:
    struct Arrival {
        QByteArray data;
        quint64 number;
    };
    RemoteSendResult bindSocket();
    RemoteSendResult transmit(const QByteArray& bytes, quint32 host, quint16 port);
    void udpClient_DataArrival();
    // Reads at most limit datagrams off the socket; true when it stopped at
    // the limit.
    bool readArrivals(int limit);
    void handOn();

    QUdpSocket* m_socket;
    QString m_localAddress;
    quint16 m_localPort;
    QString m_remoteHost;
    quint16 m_remotePort = 0;
    DatagramTap m_tap;
    QList<Arrival> m_inbox;
    quint64 m_arrivals = 0;
    bool m_handOnPosted = false;
};

} // namespace orvalink
