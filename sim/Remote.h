#pragma once
// The remote protocol of one simulated element: it answers the paging
// broadcast and the save-configuration request with its configuration reply,
// and a level request ("VOL") with a block of audio samples,
// and takes the settings a save request carries (through the same checks as
// an SNMP SET, so a later SNMP read agrees).
//
// Layout of the reply (bytes from 1): address, mask, gateway, remote or
// multicast address (4 each), input, type, transmission, name (16), role,
// serial number (4, big-endian); then an encoder's version major and minor,
// SFN, buffer and low latency (45 bytes), or a decoder's attenuation,
// version, SFN, buffer, silence mode, level and time, five unused bytes and
// low latency (54 bytes).

#include "Element.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>

class QUdpSocket;

namespace orvalink::sim {

enum class BadReply { None, Short, Damaged };

struct RemoteConfig {
    quint16 elementPort = 2977; // level, command and save requests
    quint16 savePort = 2976;    // save requests (the station sends them here)
    quint16 pagingPort = 1901;  // the paging broadcast
    bool verbose = false;
};

class RemoteResponder : public QObject {
    Q_OBJECT
public:
    RemoteResponder(Element& element, const RemoteConfig& config, BadReply bad,
                    QObject* parent = nullptr);
    ~RemoteResponder() override;

    bool start(QString* error);
    const Element& element() const { return m_element; }

    // The configuration reply as the element sends it.
    QByteArray configReply();
    // Takes a save request of the element's layout (41 bytes for a decoder,
    // 37 or 38 for an encoder); false for any other datagram.
    bool takeSaveRequest(const QByteArray& request);
    // The answer to a level request ("VOL") at a moment of the clock
    // (milliseconds): 1203 bytes of audio whose level moves slowly.
    QByteArray levelData(qint64 nowMs) const;
    static constexpr double kLevelPeriodSeconds = 4.0;
    static constexpr double kPeakEverySeconds = 7.0;
    // Sends the reply to whoever paged.
    void answerPaging(const QHostAddress& to, quint16 port);

Q_SIGNALS:
    void settingsChanged();

private:
    void onReadyRead(QUdpSocket* socket);
    quint32 number(int n);
    QByteArray bytesOf(int n);
    void setNumber(int n, quint32 value);
    void log(const QString& line) const;

    Element& m_element;
    RemoteConfig m_config;
    BadReply m_bad;
    QUdpSocket* m_socket = nullptr;
    QUdpSocket* m_saveSocket = nullptr;
    // Values the remote protocol carries that this role's SNMP agent does
    // not answer (a decoder's input and transmission).
    QMap<int, quint32> m_extra;
};

// The one listener for the paging broadcast of a simulator process: every
// element answers a broadcast; a datagram sent to one element's address is
// answered by that element only.
class PagingListener : public QObject {
    Q_OBJECT
public:
    PagingListener(const QList<RemoteResponder*>& responders, quint16 port,
                   QObject* parent = nullptr);
    bool start(QString* error);

private:
    void onReadyRead();
    QList<RemoteResponder*> m_responders;
    quint16 m_port;
    QUdpSocket* m_socket = nullptr;
};

} // namespace orvalink::sim
