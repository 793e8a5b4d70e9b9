// The main window's device windows and the outcomes they post: Add new
// element (the probe), Save changes, Device SNMP properties, Statistics,
// SFN adjustment and the ping button.

#include "app/MainMenus.h"
#include "app/MainStatusBar.h"
#include "app/frmMain.h"
#include "core/Prompt.h"
#include "core/Text.h"
#include "devops/ApplyOperation.h"
#include "devops/OperationEvents.h"
#include "devops/ProbeOperation.h"
#include "devops/SfnAdjustOperation.h"
#include "devops/SnmpPropertiesOperation.h"
#include "devops/StatisticsOperation.h"
#include "dialogs/frmAddNewSNMP.h"
#include "dialogs/frmAdjust.h"
#include "dialogs/frmSNMPProperties.h"
#include "dialogs/frmSendSNMP.h"
#include "dialogs/frmStatistics.h"
#include "netutil/Ping.h"
#include "panel/Fields.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace orvalink {

namespace {
const QString kCR = QStringLiteral("\r");

// The event of an operation on the element in `section`: its MAC, name and
// agent address as stored.
Event elementEvent(const Database& database, const QString& operation, const QString& section)
{
    Event e;
    e.operation = operation;
    e.mac = decodeMac(section);
    e.name = database.read(section, QStringLiteral("name")).trimmed();
    e.host = database.read(section, QStringLiteral("snmpip"), kDefaultAgentAddress);
    return e;
}
} // namespace

OperationEvents frmMain::eventsOf(const QString& operation, const QString& section)
{
    return OperationEvents(elementEvent(m_database, operation, section),
                           [this](const Event& e) { postOutcome(e); });
}

void frmMain::AddNewElement()
{
    // The list is reloaded afterwards, which clears the panel.
    if (!confirmDiscard())
        return;
    QString probeStatus;
    QString probeSection;
    QString probeHost;
    {
        ProbeOperation probe(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
        connect(&probe, &ProbeOperation::statusChanged, this,
                [&probeStatus](const QString& text) { probeStatus = text; });
        frmAddNewSNMP dialog(probe, this);
        const DeviceWindowOpen own(m_deviceWindowsOpen);
        runDialog(dialog);
        probeSection = probe.section();
        probeHost = probe.host();
    }
    RefreshElementList();
    if (!probeStatus.isEmpty()) {
        static const QString kPrefix = QStringLiteral("Status: ");
        static const QString kFail = QStringLiteral("FAIL - ");
        Event e;
        e.operation = QStringLiteral("probe");
        e.host = probeHost;
        e.cause = probeStatus.startsWith(kPrefix) ? probeStatus.mid(kPrefix.size()) : probeStatus;
        e.outcome = e.cause.startsWith(kFail) ? QStringLiteral("failed")
                    : probeStatus == QLatin1String("Status: Finished with SUCCESS!")
                        ? QStringLiteral("ok")
                        : QStringLiteral("ended");
        if (e.cause.startsWith(kFail))
            e.cause = e.cause.mid(kFail.size());
        if (!probeSection.isEmpty()) {
            e.mac = Decode_MAC(probeSection);
            e.name = m_database.read(probeSection, QStringLiteral("name")).trimmed();
        }
        postOutcome(e);
    }
}

void frmMain::SendConfiguration()
{
    const ShownElement shown = shownElement();
    // A decoder has no audio-source choice: the list goes to "Digital".
    if (shown.isShown() && shown.roleCaption == QLatin1String("DECODER"))
        panel->selectDigitalInput();
    EditedValues values = editedValues();
    const QString reason = ApplyOperation::checkEdits(shown, values, m_database);
    if (!reason.isEmpty()) {
        ApplyOperation::refuse(*m_ctx.prompt, reason);
        return;
    }
    ApplyOperation apply(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
    if (!apply.confirm())
        return;
    const SilenceWatch silence(*m_snmp);
    const ApplyEvents events(apply, eventsOf(QStringLiteral("apply"), shown.section),
                             apply.pending(shown, values), &silence);
    frmSendSNMP dialog(apply, *this, m_ctx.timings, this);
    const DeviceWindowOpen own(m_deviceWindowsOpen);
    runDialog(dialog);
}

// ------------------------------------------------------- device windows

void frmMain::showSNMPProperties()
{
    const ShownElement shown = shownElement();
    if (!shown.isShown())
        return;
    SnmpPropertiesOperation properties(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
    // The element's address before a change of it: the one talked to.
    const OperationEvents events = eventsOf(QStringLiteral("snmp-properties"), shown.section);
    const SilenceWatch silence(*m_snmp);
    connect(&properties, &SnmpPropertiesOperation::settingConfirmed, this,
            [&events](const QString& key, const QString& before, const QString& after) {
                events.confirmedSet(key, before, after);
            });
    connect(&properties, &SnmpPropertiesOperation::modified, this,
            [&](SnmpPropertiesOperation::Result result) {
                using R = SnmpPropertiesOperation::Result;
                if (result == R::Busy)
                    return;
                events.outcome(result == R::Done || result == R::NothingChanged
                                   ? QStringLiteral("ok")
                                   : QStringLiteral("failed"),
                               result == R::NothingChanged ? QStringLiteral("nothing changed")
                               : result == R::StoreFailed  ? properties.failure()
                               : result == R::Failed       ? silence.cause()
                                                           : QString());
            });
    frmSNMPProperties dialog(properties, *this, m_ctx.timings, this);
    const DeviceWindowOpen own(m_deviceWindowsOpen);
    runDialog(dialog);
}

void frmMain::showStatistics()
{
    if (!shownElement().isShown())
        return;
    StatisticsOperation statistics(*m_snmp, m_database, m_ctx.timings);
    frmStatistics dialog(statistics, *this, m_ctx.timings, this);
    runDialog(dialog);
}

void frmMain::showAdjust()
{
    const ShownElement shown = shownElement();
    if (!shown.isShown())
        return;
    SfnAdjustOperation adjust(*m_snmp, m_database, *m_ctx.prompt, m_ctx.timings);
    const OperationEvents events = eventsOf(QStringLiteral("sfn"), shown.section);
    const SilenceWatch silence(*m_snmp);
    connect(&adjust, &SfnAdjustOperation::setEnded, this,
            [&](SfnAdjustOperation::SetResult result, qint64 before, qint64 delay, bool confirmed) {
                using R = SfnAdjustOperation::SetResult;
                if (confirmed)
                    events.confirmedSet(QStringLiteral("dly"), QString::number(before),
                                        QString::number(delay));
                events.outcome(result == R::Applied ? QStringLiteral("ok")
                                                    : QStringLiteral("failed"),
                               result == R::Applied          ? QStringLiteral("delay applied")
                               : result == R::NothingChanged ? SfnAdjustOperation::kNothingChanged
                               : result == R::StoreFailed    ? adjust.failure()
                                                             : silence.cause());
            });
    frmAdjust dialog(adjust, *this, m_ctx.timings, this);
    const DeviceWindowOpen own(m_deviceWindowsOpen);
    runDialog(dialog);
}

void frmMain::cmdPing_Click()
{
    // One ping at a time: the button can be clicked again while the window
    // stays live during the wait.
    if (m_pinging)
        return;
    const QString mac = panel->shownMac();
    if (mac.length() <= 6)
        return;
    const QString target = ReadFromINI(Encode_MAC(mac), QStringLiteral("snmpip"),
                                       m_ctx.databasePath, kDefaultAgentAddress);
    panel->setPingToolTip(QStringLiteral("Ping to ") + target);
    panel->setPingColour(fields::kLightYellow);
    panel->setPingCaption(QStringLiteral("Trying..."));

    Pinger* pinger = m_ctx.pinger;
    if (!pinger) {
        if (!m_ownPinger)
            m_ownPinger = std::make_unique<IcmpPinger>(m_ctx.timings.pingTimeoutMs);
        pinger = m_ownPinger.get();
    }
    m_pinging = true;
    QPointer<frmMain> self(this);
    const PingOutcome outcome = PingElement(*pinger, target, *m_ctx.prompt);
    if (!self)
        return;
    m_pinging = false;
    Event e;
    e.operation = QStringLiteral("ping");
    e.outcome = outcome.state == PingOutcome::State::Success ? QStringLiteral("ok")
                                                             : QStringLiteral("failed");
    e.mac = mac;
    e.name = ReadFromINI(Encode_MAC(mac), QStringLiteral("name"), m_ctx.databasePath, QString())
                 .trimmed();
    e.host = target;
    e.cause = outcome.caption;
    postOutcome(e);
    // The operator may have shown another element meanwhile: the outcome
    // belongs to the one pinged.
    if (panel->shownMac() != mac)
        return;
    panel->setPingColour(outcome.state == PingOutcome::State::Success ? QColor(0, 255, 0)
                                                                      : fields::kLightRed);
    panel->setPingCaption(outcome.caption);
}

} // namespace orvalink
