#pragma once
// The traps a simulated element sends to its trap destination (parameter
// 39): coldStart when it starts and when its agent restarts, linkDown and
// linkUp when its link is toggled, silenceDetected (enterprise-specific 1 of
// 1.3.6.1.4.1.44467.3) when a decoder's silence detector fires, and a flood
// of them for benchmarks. SNMPv1 Trap-PDUs or SNMPv2c SNMPv2-Trap-PDUs.

#include "Ber.h"
#include "Element.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>

class QTimer;
class QUdpSocket;

namespace orvalink::sim {

enum class TrapKind { ColdStart, LinkDown, LinkUp, SilenceDetected };

struct TrapConfig {
    quint16 port = 162;
    bool v2c = false;       // SNMPv2c instead of SNMPv1
    int silenceEveryMs = 0; // a decoder's silence detector fires this often
    int linkToggleMs = 0;   // the link goes down, then up, this often
    int floodPerSecond = 0; // this many silenceDetected traps a second
};

// One trap as the element sends it. `uptime` in hundredths of a second.
QByteArray encodeTrap(TrapKind kind, bool v2c, const QByteArray& community, quint32 agentAddress,
                      quint32 uptime, qint64 requestId, const QList<VarBind>& bindings);

class TrapSender : public QObject {
    Q_OBJECT
public:
    TrapSender(Element& element, const TrapConfig& config, bool verbose, QObject* parent = nullptr);
    ~TrapSender() override;

    // Sends coldStart and starts the timers of the options.
    void start();
    // The agent restarted: uptime from zero, and coldStart.
    void restarted();
    // The link changes state: linkDown or linkUp.
    void toggleLink();
    void send(TrapKind kind);

    quint64 sent() const { return m_sent; }

private:
    QList<VarBind> bindingsFor(TrapKind kind);
    bool socketReady();
    // Where a trap goes (parameter 39) with the socket ready; false when
    // it goes nowhere.
    bool destination(TrapKind kind, quint32& to);
    QByteArray datagram(TrapKind kind);
    void transmit(TrapKind kind, const QByteArray& datagram, quint32 to);
    void flood();
    void log(const QString& line) const;

    Element& m_element;
    TrapConfig m_config;
    bool m_verbose = false;
    QUdpSocket* m_socket = nullptr;
    QElapsedTimer m_uptime;
    QElapsedTimer m_floodClock;
    QTimer* m_floodTimer = nullptr;
    quint64 m_flooded = 0;
    bool m_linkUp = true;
    qint64 m_requestId = 0;
    quint64 m_sent = 0;
    quint32 m_refusedDestination = 0; // told once
    bool m_sendFailing = false;
};

} // namespace orvalink::sim
