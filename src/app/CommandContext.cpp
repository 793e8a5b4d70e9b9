#include "app/CommandContext.h"

#include "devops/OperationEvents.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"

#include <QDialog>

namespace orvalink {

CommandContext::CommandContext(QWidget& window, const AppContext& context, IniStore& store,
                               Database& database)
    : m_window(window), m_ctx(context), m_store(store), m_database(database)
{
}

void CommandContext::setParts(ElementPanel& panel, ElementTree& tree, SnmpTransport& snmp)
{
    m_panel = &panel;
    m_tree = &tree;
    m_snmp = &snmp;
}

QString CommandContext::editionWord() const
{
    return m_flags.GPSMode             ? QStringLiteral("GPS")
           : m_flags.startedLowLatency ? QStringLiteral("LL")
                                       : QString();
}

void CommandContext::postOutcome(const Event& event) const
{
    if (m_sink)
        m_sink(event);
}

void CommandContext::postOutcome(const QString& text) const
{
    Event e;
    e.operation = QStringLiteral("status");
    e.cause = text;
    postOutcome(e);
}

OperationEvents CommandContext::eventsOf(const QString& operation, const QString& section) const
{
    // The element's MAC, name and agent address as stored.
    Event e;
    e.operation = operation;
    e.mac = Decode_MAC(section);
    e.name = m_database.read(section, QStringLiteral("name")).trimmed();
    e.host = m_database.read(section, QStringLiteral("snmpip"), kDefaultAgentAddress);
    return OperationEvents(e, [this](const Event& posted) { postOutcome(posted); });
}

void CommandContext::runDialog(QDialog& dialog) const
{
    if (m_ctx.runDialog)
        m_ctx.runDialog(dialog);
    else
        dialog.exec();
}

} // namespace orvalink
