#include "app/RemoteCommands.h"

#include "app/CommandContext.h"
#include "app/ElementTree.h"
#include "core/Prompt.h"
#include "core/Text.h"
#include "devops/OperationEvents.h"
#include "dialogs/frmPaging.h"
#include "dialogs/frmWaiting.h"
#include "panel/ElementPanel.h"
#include "remote/DiscoveryOperation.h"
#include "remote/MacWait.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>

namespace orvalink {

RemoteCommands::RemoteCommands(CommandContext& context, QObject* parent)
    : QObject(parent), m_cx(context)
{
    setObjectName(QStringLiteral("remoteCommands"));
    udpClient.setObjectName(QStringLiteral("udpClient"));
    udpClient.setParent(this);
    ElementPanel* panel = &m_cx.panel();
    m_resolver = m_cx.app().macResolver ? m_cx.app().macResolver : &m_neighbours;
    m_remote = new RemoteProtocol(udpClient, m_cx.database(), m_cx.prompt(), *m_resolver,
                                  m_cx.timings(), this);
    m_remote->setPanel(this);
    m_remote->setMacWaiter([this](const QString& address) { return waitForMac(address); });
    timerRemoteSent = m_remote->timerRemoteSent;
    connect(m_remote, &RemoteProtocol::reloadRequested, this, &RemoteCommands::reloadRequested);
    connect(m_remote, &RemoteProtocol::fatalEndpointFailure, this, &RemoteCommands::fatalError);
    // Level polling: every tick of tmrVolume asks the shown element.
    connect(panel, &ElementPanel::levelRequested, m_remote, &RemoteProtocol::SendLevelRequest);
    // ...and every level datagram on the endpoint reaches the meter, which
    // only blanks itself once polling has stopped.
    connect(m_remote, &RemoteProtocol::levelData, panel, &ElementPanel::ShowAudioLevel);
    tmrSpectrum = new QTimer(this);
    tmrSpectrum->setObjectName(QStringLiteral("tmrSpectrum"));
    tmrSpectrum->setInterval(m_cx.timings().spectrumMs);
}

RemoteCommands::~RemoteCommands()
{
    // Before the endpoint and the resolver it works on.
    delete m_remote;
    m_remote = nullptr;
    timerRemoteSent = nullptr;
    // A member: it must not be deleted again as a child.
    udpClient.setParent(nullptr);
}

void RemoteCommands::setLocalAddress(const QString& address)
{
    udpClient.setLocalAddress(address);
    m_neighbours.setLocalAddress(address);
}

void RemoteCommands::close()
{
    udpClient.close();
}

QString RemoteCommands::waitForMac(const QString& address)
{
    MacWait wait(*m_resolver, m_cx.timings());
    frmWaiting window(wait, address, &m_cx.window());
    m_cx.runDialog(window);
    return wait.result();
}

void RemoteCommands::AutoDiscover()
{
    ElementPanel* panel = &m_cx.panel();
    const QString& strLocalNMSIPAddress = m_cx.localAddress();
    quint32 local = 0;
    if (parseIPv4(strLocalNMSIPAddress, &local) && (local >> 24) == 127) {
        m_cx.prompt().tell(
            PromptIcon::Information,
            QStringLiteral("Auto Discovery cannot run on the NMS interface %1: it is a loopback "
                           "address, and no element answers there.")
                    .arg(strLocalNMSIPAddress) +
                kCR +
                QStringLiteral("Choose the interface of the elements' network under "
                               "'NMS interface:' first. The local database was not changed."),
            QStringLiteral("Auto Discovery"));
        return;
    }
    if (m_cx.tree().hiddenList()->count() > 0) {
        PromptRequest question;
        question.icon = PromptIcon::Question;
        question.title = QStringLiteral("Auto Discovery");
        question.text = QStringLiteral("Performing an 'Auto Discovery' will delete the local "
                                       "database in your computer ") +
                        QStringLiteral("and create a new one, based on the Network Elements "
                                       "found (if any). ") +
                        kCR + QStringLiteral("Are you sure?") + kCR + kCR +
                        QStringLiteral("The present database is first kept as %1.")
                            .arg(QDir::toNativeSeparators(
                                DiscoveryOperation::backupPath(m_cx.database().path())));
        question.buttons = PromptButtons::YesNo;
        question.defaultAnswer = PromptAnswer::No;
        if (m_cx.prompt().ask(question) != PromptAnswer::Yes)
            return;
    }
    panel->ClearElementPanel();

    // What the paging window does first: the level display off (cleared
    // with the panel), the lists emptied, the caption counting no element.
    m_cx.tree().clearAll();

    Event e;
    e.operation = QStringLiteral("discover");
    e.host = strLocalNMSIPAddress;
    {
        DiscoveryOperation discovery(*m_remote, m_cx.timings());
        frmPaging window(discovery, &m_cx.window());
        m_cx.runDialog(window);
        const DiscoveryOperation::Result result = discovery.result();
        e.outcome = result == DiscoveryOperation::Result::Found       ? QStringLiteral("ok")
                    : result == DiscoveryOperation::Result::Cancelled ? QStringLiteral("cancelled")
                                                                      : QStringLiteral("failed");
        e.cause = result == DiscoveryOperation::Result::Found
                      ? QStringLiteral("%1 element(s) found").arg(discovery.found())
                      : oneLineCause(discovery.cause());
    }
    m_cx.tree().load();
    // A window closed before the broadcast left has nothing to tell.
    if (!e.cause.isEmpty())
        m_cx.postOutcome(e);
}

// ------------------------------------------------- the panel, for the protocol

RemotePanelState RemoteCommands::remotePanelState() const
{
    return m_cx.panel().remotePanelState();
}

void RemoteCommands::showConfirmed(const RemoteConfirmed& v)
{
    m_cx.panel().showConfirmed(v);
}

} // namespace orvalink
