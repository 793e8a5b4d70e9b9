#pragma once
// The remote protocol of the main window: its requests to the selected
// element, the reply timeout, and the handling of configuration replies
// (creating elements during a discovery, confirming a save otherwise).
//
// Replies are handled one at a time, each decoded into a record of its own.
// A reply that arrives while another is being handled (the MAC look-up and
// the message boxes let events run) waits in a queue and is handled next.
// Whether a reply belongs to a discovery is decided by when it arrived, not
// by when it is handled: a reply that came during the collection creates
// its element even when a message box kept it waiting past the end.

#include "core/Timings.h"
#include "remote/ConfigReply.h"
#include "remote/RemoteEndpoint.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QTimer;

namespace orvalink {

class Database;
class MacResolver;
class Prompt;
class RemotePanel;

class RemoteProtocol : public QObject {
    Q_OBJECT
public:
    enum class SaveOutcome {
        Confirmed, // every field matched: "New configuration has been sucessfuly saved and loaded!"
        Mismatch,  // the element answered, some fields differ (each reported)
        Rejected,  // the answer could not be taken (no MAC, another element, damaged section)
        TimedOut,  // no acceptable answer in time
    };
    enum class RequestResult { Sent, NoElement, Refused, NotSent };

    RemoteProtocol(RemoteEndpoint& endpoint, Database& database, Prompt& prompt,
                   MacResolver& resolver, const Timings& timings, QObject* parent = nullptr);
    ~RemoteProtocol() override;

    void setPanel(RemotePanel* panel) { m_panel = panel; }
    // The waiting window: resolves the address with retries, returns the MAC
    // text ("" when none was found). Empty: MacWait without a window.
    void setMacWaiter(std::function<QString(const QString& address)> waiter);

    // ---- Requests to the element the panel shows ----
    RequestResult SendLevelRequest();
    RequestResult SendCommandRequest(quint8 code);
    RequestResult SendSaveRequest();

    // Shows the message for a request that did not leave; true when the
    // endpoint failed for good (the port is taken) and fatalEndpointFailure
    // was emitted.
    bool reportSendFailure(const RemoteSendResult& result);

    // ---- Replies ----
    // A reply handled as arriving now.
    void HandleRemoteReply(const QByteArray& data);
    bool isHandling() const { return m_handling; }

    // ---- The collection of a discovery ----
    // From here on arriving replies create elements.
    void beginDiscovery();
    // The end of the collection: what has arrived until now still belongs
    // to it (and is handed on now); what arrives later does not.
    void closeDiscovery();
    // The discovery ended early: replies of it not yet handled are dropped.
    void cancelDiscovery();
    // Replies of the discovery not handled yet.
    bool discoveryPending() const;

    bool AutoDiscoverAwaiting = false;
    QTimer* timerRemoteSent = nullptr;
    MacResolver& resolver() { return m_resolver; }
    RemoteEndpoint& endpoint() { return m_endpoint; }
    Database& database() { return m_database; }
    Prompt& prompt() { return m_prompt; }

Q_SIGNALS:
    void levelData(const QByteArray& data);
    void saveFinished(RemoteProtocol::SaveOutcome outcome);
    // A discovery created the element of this section.
    void elementDiscovered(const QString& section);
    // A discovery's element could not be stored: the database said why.
    void discoveryWriteFailed(const QString& section, const QString& reason);
    // After closeDiscovery(): the last reply of the collection was handled.
    void discoveryRepliesHandled();
    // The tree is to be reloaded from the database (Load_Config).
    void reloadRequested();
    // Port 2976 is taken: the program cannot work and ends.
    void fatalEndpointFailure();

private:
    struct Pending {
        QByteArray data;
        bool discovery;
    };
    RequestResult sendToSelected(const QByteArray& bytes, quint16 port, bool quiet);
    QString selectedSection() const;
    void onConfigReply(const QByteArray& data, quint64 arrival);
    void enqueue(const Pending& pending);
    void handleOne(const Pending& pending);
    void checkDiscoveryHandled();
    bool handleReply(const QByteArray& data, bool discovery);
    void createElement(const remote::ConfigReply& r, const QString& mac);
    void confirmSave(const remote::ConfigReply& r, const QString& mac);
    void feedbackError(const QString& message);
    void timerRemoteSent_Timer();

    RemoteEndpoint& m_endpoint;
    Database& m_database;
    Prompt& m_prompt;
    MacResolver& m_resolver;
    Timings m_timings;
    RemotePanel* m_panel = nullptr;
    std::function<QString(const QString&)> m_macWaiter;
    QList<Pending> m_queue;
    bool m_handling = false;
    bool m_handlingDiscovery = false;
    bool m_levelFailureReported = false;
    // Arrival numbers of the collection: from m_discoveryFirst on while it
    // runs, up to m_discoveryLast once it is closed.
    quint64 m_discoveryFirst = 1;
    quint64 m_discoveryLast = 0;
    bool m_discoveryClosing = false;
    bool m_discoveryDropped = false;
};

} // namespace orvalink
