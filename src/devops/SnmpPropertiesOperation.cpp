#include "devops/SnmpPropertiesOperation.h"

#include "core/Prompt.h"
#include "devops/StoreOutcome.h"
#include "snmp/SnmpClient.h"
#include "snmp/SnmpCodec.h"
#include "store/ElementDatabase.h"

namespace orvalink {

namespace {
constexpr quint8 kTrap = 39;
constexpr quint8 kNewMask = 46;
constexpr quint8 kNewGw = 47;
constexpr quint8 kNewIp = 48;
constexpr quint8 kNewDns = 49;

const QString kSuccess = QStringLiteral("SUCCESS!");
const QString kFailure = QStringLiteral("FAILED...");
} // namespace

const QString SnmpPropertiesOperation::kSetFailed =
    QStringLiteral("An error occured while setting SNMP settings to remote device.");
const QString SnmpPropertiesOperation::kApplyFailed =
    QStringLiteral("An error occured while applying SNMP settings to remote device.");
const QString SnmpPropertiesOperation::kRestarting =
    QStringLiteral("Success! Please wait a minute, while remote SNMP engine is restarting.");

SnmpPropertiesOperation::SnmpPropertiesOperation(SnmpClient& client, Database& database,
                                                 Prompt& prompt, const Timings& timings,
                                                 QObject* parent)
    : QObject(parent), m_client(client), m_database(database), m_prompt(prompt), m_timings(timings)
{
}

SnmpPropertiesOperation::Settings SnmpPropertiesOperation::load(const QString& section) const
{
    auto key = [&](const char* k) { return m_database.read(section, QLatin1String(k)); };
    return Settings{key("snmpip"), key("snmpnm"), key("snmpgw"), key("snmpdn"),
                    key("snmptr"), key("snmpro"), key("snmprw")};
}

// A step counts as done only when the element answered with a value equal to
// the one sent: an empty field, which cannot be sent at all, never does.
bool SnmpPropertiesOperation::setAndStore(const QString& host, const QString& community, quint8 n,
                                          quint8 tag, const QString& section, const char* key,
                                          const QString& oldValue, const QString& value)
{
    // After a change that could not be stored, nothing more is sent.
    if (!m_failure.isEmpty())
        return false;
    const SnmpResult echo = m_client.SetSNMP(host, community, n, tag, value);
    if (!echo.hasValue() || echo.value != value) {
        Q_EMIT statusChanged(kFailure, false);
        return false;
    }
    Q_EMIT settingConfirmed(QLatin1String(key), oldValue, echo.value);
    if (!m_database.write(section, QLatin1String(key), echo.value)) {
        storeFailed(QStringLiteral("the element took %1=%2").arg(QLatin1String(key), echo.value));
        return false;
    }
    Q_EMIT statusChanged(kSuccess, true);
    return true;
}

SnmpPropertiesOperation::Result SnmpPropertiesOperation::modify(const QString& section,
                                                                const Settings& fields)
{
    const Result result = modifyOnce(section, fields);
    Q_EMIT modified(result);
    return result;
}

SnmpPropertiesOperation::Result SnmpPropertiesOperation::modifyOnce(const QString& section,
                                                                    const Settings& f)
{
    if (m_running)
        return Result::Busy;
    m_failure.clear();
    // Nothing is sent that the database could not keep.
    if (const QString refusal = databaseRefusal(m_database); !refusal.isEmpty()) {
        m_failure = refusal;
        m_prompt.tell(PromptIcon::Critical, refusal);
        return Result::StoreFailed;
    }
    m_running = true;
    const QString host = m_database.read(section, QStringLiteral("snmpip"));
    QString community = m_database.read(section, QStringLiteral("snmprw"));
    const Settings stored = load(section);
    const bool agentChanged = f.agentIp != stored.agentIp || f.agentMask != stored.agentMask ||
                              f.agentGw != stored.agentGw || f.agentDns != stored.agentDns;
    bool anyChange = agentChanged;
    bool allOk = true;

    if (f.trapIp != stored.trapIp) {
        anyChange = true;
        allOk &= setAndStore(host, community, kTrap, snmptag::IpAddress, section, "snmptr",
                             stored.trapIp, f.trapIp);
    }
    if (f.roCommunity != stored.roCommunity) {
        anyChange = true;
        allOk &= setAndStore(host, community, param::ReadCommunity, snmptag::OctetString, section,
                             "snmpro", stored.roCommunity, f.roCommunity);
    }
    if (f.rwCommunity != stored.rwCommunity) {
        anyChange = true;
        const bool ok = setAndStore(host, community, param::WriteCommunity, snmptag::OctetString,
                                    section, "snmprw", stored.rwCommunity, f.rwCommunity);
        // The element now takes writes only with the new community.
        if (ok)
            community = f.rwCommunity;
        allOk &= ok;
    }

    if (agentChanged && m_failure.isEmpty()) {
        // All four are sent even when an earlier one failed.
        const struct {
            quint8 n;
            const QString& value;
        } agent[] = {{kNewIp, f.agentIp},
                     {kNewMask, f.agentMask},
                     {kNewGw, f.agentGw},
                     {kNewDns, f.agentDns}};
        bool echoed = true;
        for (const auto& step : agent) {
            const SnmpResult echo =
                m_client.SetSNMP(host, community, step.n, snmptag::IpAddress, step.value);
            echoed &= echo.hasValue() && echo.value == step.value;
        }
        if (!echoed) {
            m_prompt.tell(PromptIcon::Critical, kSetFailed);
            allOk = false;
        } else {
            const SnmpResult apply = m_client.SetSNMP(host, community, param::AgentRestart,
                                                      snmptag::Gauge, QStringLiteral("1"));
            if (!apply.hasValue() || apply.value != QLatin1String("1")) {
                m_prompt.tell(PromptIcon::Critical, kApplyFailed);
                allOk = false;
            } else {
                // The element took and activated all four: each one that
                // changed is a confirmed setting.
                const struct {
                    const char* key;
                    const QString& before;
                    const QString& after;
                } confirmed[] = {{"snmpip", stored.agentIp, f.agentIp},
                                 {"snmpnm", stored.agentMask, f.agentMask},
                                 {"snmpgw", stored.agentGw, f.agentGw},
                                 {"snmpdn", stored.agentDns, f.agentDns}};
                for (const auto& c : confirmed) {
                    if (c.before != c.after)
                        Q_EMIT settingConfirmed(QLatin1String(c.key), c.before, c.after);
                }
                if (!m_database.writeKeys(section, {{QStringLiteral("snmpip"), f.agentIp},
                                                    {QStringLiteral("snmpnm"), f.agentMask},
                                                    {QStringLiteral("snmpgw"), f.agentGw},
                                                    {QStringLiteral("snmpdn"), f.agentDns}}))
                    storeFailed(
                        QStringLiteral("the element took the new agent address %1").arg(f.agentIp));
                else
                    m_prompt.tell(PromptIcon::Information, kRestarting);
            }
        }
    }
    m_running = false;
    if (!m_failure.isEmpty())
        return Result::StoreFailed;
    if (!anyChange)
        return Result::NothingChanged;
    return allOk ? Result::Done : Result::Failed;
}

void SnmpPropertiesOperation::storeFailed(const QString& done)
{
    // The first failure is the one told; later ones have the same cause.
    if (!m_failure.isEmpty())
        return;
    m_failure = notStoredSentence(m_database, done);
    m_prompt.tell(PromptIcon::Critical, asBoxText(m_failure));
}

} // namespace orvalink
