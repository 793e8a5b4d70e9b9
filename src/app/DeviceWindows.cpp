#include "app/DeviceWindows.h"

#include "app/CommandContext.h"
#include "app/ElementCommands.h"
#include "core/Prompt.h"
#include "devops/OperationEvents.h"
#include "devops/SfnAdjustOperation.h"
#include "devops/SnmpPropertiesOperation.h"
#include "devops/StatisticsOperation.h"
#include "dialogs/frmAdjust.h"
#include "dialogs/frmSNMPProperties.h"
#include "dialogs/frmStatistics.h"
#include "netutil/Ping.h"
#include "panel/ElementPanel.h"
#include "panel/Fields.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"
#include "store/IniStore.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace orvalink {

DeviceWindows::DeviceWindows(CommandContext& context, ElementCommands& elements, QObject* parent)
    : QObject(parent), m_cx(context), m_elements(elements)
{
    setObjectName(QStringLiteral("deviceWindows"));
}

DeviceWindows::~DeviceWindows() = default;

void DeviceWindows::showSNMPProperties()
{
    const ShownElement shown = m_elements.shownElement();
    if (!shown.isShown())
        return;
    SnmpPropertiesOperation properties(m_cx.snmp(), m_cx.database(), m_cx.prompt(), m_cx.timings());
    // The element's address before a change of it: the one talked to.
    const OperationEvents events = m_cx.eventsOf(QStringLiteral("snmp-properties"), shown.section);
    const SilenceWatch silence(m_cx.snmp());
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
    frmSNMPProperties dialog(properties, m_elements, m_cx.timings(), &m_cx.window());
    const CommandContext::DeviceWindowOpen own(m_cx);
    m_cx.runDialog(dialog);
}

void DeviceWindows::showStatistics()
{
    if (!m_elements.shownElement().isShown())
        return;
    StatisticsOperation statistics(m_cx.snmp(), m_cx.database(), m_cx.timings());
    frmStatistics dialog(statistics, m_elements, m_cx.timings(), &m_cx.window());
    m_cx.runDialog(dialog);
}

void DeviceWindows::showAdjust()
{
    const ShownElement shown = m_elements.shownElement();
    if (!shown.isShown())
        return;
    SfnAdjustOperation adjust(m_cx.snmp(), m_cx.database(), m_cx.prompt(), m_cx.timings());
    const OperationEvents events = m_cx.eventsOf(QStringLiteral("sfn"), shown.section);
    const SilenceWatch silence(m_cx.snmp());
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
    frmAdjust dialog(adjust, m_elements, m_cx.timings(), &m_cx.window());
    const CommandContext::DeviceWindowOpen own(m_cx);
    m_cx.runDialog(dialog);
}

void DeviceWindows::cmdPing_Click()
{
    // One ping at a time: the button can be clicked again while the window
    // stays live during the wait.
    if (m_pinging)
        return;
    ElementPanel* panel = &m_cx.panel();
    const QString mac = panel->shownMac();
    if (mac.length() <= 6)
        return;
    const QString section = Encode_MAC(mac);
    const QString target = m_cx.store().read(section, QStringLiteral("snmpip"), m_cx.databasePath(),
                                             kDefaultAgentAddress);
    panel->setPingToolTip(QStringLiteral("Ping to ") + target);
    panel->setPingColour(fields::kLightYellow);
    panel->setPingCaption(QStringLiteral("Trying..."));

    Pinger* pinger = m_cx.app().pinger;
    if (!pinger) {
        if (!m_ownPinger)
            m_ownPinger = std::make_unique<IcmpPinger>(m_cx.timings().pingTimeoutMs);
        pinger = m_ownPinger.get();
    }
    m_pinging = true;
    QPointer<DeviceWindows> self(this);
    const PingOutcome outcome = PingElement(*pinger, target, m_cx.prompt());
    if (!self)
        return;
    m_pinging = false;
    Event e;
    e.operation = QStringLiteral("ping");
    e.outcome = outcome.state == PingOutcome::State::Success ? QStringLiteral("ok")
                                                             : QStringLiteral("failed");
    e.mac = mac;
    e.name = m_cx.store()
                 .read(section, QStringLiteral("name"), m_cx.databasePath(), QString())
                 .trimmed();
    e.host = target;
    e.cause = outcome.caption;
    m_cx.postOutcome(e);
    // The operator may have shown another element meanwhile: the outcome
    // belongs to the one pinged.
    if (panel->shownMac() != mac)
        return;
    panel->setPingColour(outcome.state == PingOutcome::State::Success ? QColor(0, 255, 0)
                                                                      : fields::kLightRed);
    panel->setPingCaption(outcome.caption);
}

} // namespace orvalink
