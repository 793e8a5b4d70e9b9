#pragma once
// The remote protocol in the main window: its endpoint udpClient (port 2976
// on the NMS interface), the protocol with its reply timeout, Auto
// Discovery, the waiting window that finds a sender's MAC, and what the
// protocol may know of the panel (RemotePanel).

#include "netutil/MacResolver.h"
#include "remote/RemoteEndpoint.h"
#include "remote/RemotePanel.h"

#include <QObject>

class QTimer;

namespace orvalink {

class CommandContext;
class RemoteProtocol;

class RemoteCommands final : public QObject, public RemotePanel {
    Q_OBJECT
public:
    RemoteCommands(CommandContext& context, QObject* parent = nullptr);
    ~RemoteCommands() override;

    RemoteProtocol& protocol() { return *m_remote; }
    // Asks, then rebuilds the database from the elements that answer.
    // Refused before anything is touched while the NMS interface is a
    // loopback address (a discovery there finds no element).
    void AutoDiscover();
    // Another NMS interface: the endpoint binds anew at its next use.
    void setLocalAddress(const QString& address);
    // Closes the endpoint (it binds again at its next use).
    void close();

    RemotePanelState remotePanelState() const override;
    void showConfirmed(const RemoteConfirmed& values) override;

Q_SIGNALS:
    // The protocol changed the database: the list is loaded again.
    void reloadRequested();
    // The program cannot go on (the remote protocol's port is taken).
    void fatalError();

private:
    QString waitForMac(const QString& address);

    CommandContext& m_cx;
    RemoteEndpoint udpClient;
    NeighbourTableResolver m_neighbours;
    MacResolver* m_resolver = nullptr; // the context's, or m_neighbours
    RemoteProtocol* m_remote = nullptr;
    QTimer* timerRemoteSent = nullptr; // the remote protocol's reply timeout
    QTimer* tmrSpectrum = nullptr;     // has no handler and is never started
};

} // namespace orvalink
