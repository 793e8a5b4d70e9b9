#include "devops/ProbeOperation.h"

#include "core/Prompt.h"
#include "core/Text.h"
#include "devops/StoreOutcome.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpClient.h"
#include "store/ElementDatabase.h"

#include <QHash>
#include <QSet>

namespace orvalink {

namespace {

// The status line shown before each parameter is read.
QString statusFor(quint8 n)
{
    switch (n) {
    case 35:
        return QStringLiteral("Status: Getting device name");
    case 14:
        return QStringLiteral("Status: Getting device ETH IP");
    case 13:
        return QStringLiteral("Status: Getting device ETH GW");
    case 18:
        return QStringLiteral("Status: Getting device ETH Mask");
    case 30:
        return QStringLiteral("Status: Getting device SFN option");
    case 31:
        return QStringLiteral("Status: Getting device SFN Delay");
    case 32:
        return QStringLiteral("Status: Getting device detector mode");
    case 9:
        return QStringLiteral("Status: Getting device LowLatency option");
    case 8:
        return QStringLiteral("Status: Getting device audio format");
    case 7:
        return QStringLiteral("Status: Getting device audio source");
    case 1:
        return QStringLiteral("Status: Getting device audio attenuation");
    case 12:
        return QStringLiteral("Status: Getting device TX type");
    case 11:
        return QStringLiteral("Status: Getting device remote IP");
    case 10:
        return QStringLiteral("Status: Getting device multicast IP");
    case 2:
        return QStringLiteral("Status: Getting device buffer size");
    case 33:
        return QStringLiteral("Status: Getting device detector threshold");
    case 34:
        return QStringLiteral("Status: Getting device detector timeout");
    case 36:
        return QStringLiteral("Status: Getting device DSP version");
    case 37:
        return QStringLiteral("Status: Getting device DSP revison");
    case 38:
        return QStringLiteral("Status: Getting device serial number");
    case 41:
        return QStringLiteral("Status: Getting device SNMP RW community");
    case 42:
        return QStringLiteral("Status: Getting device SNMP Mask");
    case 43:
        return QStringLiteral("Status: Getting device SNMP GW");
    case 45:
        return QStringLiteral("Status: Getting device SNMP DNS");
    case 39:
        return QStringLiteral("Status: Getting device SNMP trap IP");
    default:
        return QString();
    }
}

const QString kFamilyPrefix = QStringLiteral("2E:8B:F2");

} // namespace

const QString ProbeOperation::kDefaultCommunity = QStringLiteral("morqubit");

ProbeOperation::ProbeOperation(SnmpClient& client, Database& database, Prompt& prompt,
                               const Timings& timings, QObject* parent)
    : QObject(parent), m_client(client), m_database(database), m_prompt(prompt), m_timings(timings)
{
}

void ProbeOperation::cancel()
{
    if (m_running)
        m_cancelled = true;
}

void ProbeOperation::setProgress(int value)
{
    Q_EMIT progressChanged(value);
}

void ProbeOperation::setStatus(const QString& text)
{
    m_status = text;
    Q_EMIT statusChanged(text);
}

ProbeOperation::Result ProbeOperation::fail(Result result, const QString& text)
{
    setStatus(text);
    return result;
}

ProbeOperation::Result ProbeOperation::run(const QString& host, const QString& community)
{
    if (m_running)
        return Result::NotSent;
    m_running = true;
    m_cancelled = false;
    m_section.clear();
    m_host = trimBlanks(host);
    const Result result = probe(m_host, community);
    m_running = false;
    return result;
}

QList<QPair<QString, QString>> ProbeOperation::storedKeys(const QHash<quint8, QString>& values,
                                                          const QString& host,
                                                          const QString& community,
                                                          ElementRole* role)
{
    QList<QPair<QString, QString>> keys;
    auto keep = [&keys](const QString& key, const QString& value) { keys.append({key, value}); };
    QSet<quint8> answered;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        answered.insert(it.key());
    const auto steps = probeSteps();
    for (int i = 1; i < int(steps.size()); ++i) {
        const OperationStep& step = steps[size_t(i)];
        const auto found = values.constFind(step.n);
        const bool hasValue = found != values.cend();
        const QString value = hasValue ? *found : QString();
        switch (step.n) {
        case param::Name:
            if (hasValue)
                keep(QStringLiteral("name"), Encode_Name(value));
            break;
        case 10:
        case 11:
        case 36:
            break;
        case 37:
            // Kept in every case, "." when neither part answered.
            keep(QStringLiteral("ver"), values.value(36) + QLatin1Char('.') + value);
            break;
        case param::WriteCommunity:
            if (hasValue) {
                keep(QStringLiteral("snmprw"), value);
                keep(QStringLiteral("snmpro"), trimBlanks(community));
                keep(QStringLiteral("snmpip"), host);
            }
            break;
        default:
            if (hasValue)
                keep(QLatin1String(step.key), value);
            break;
        }
    }
    const ElementRole decided = roleFromProbe(answered);
    switch (decided) {
    case ElementRole::Encoder:
        keep(QStringLiteral("role"), QStringLiteral("1"));
        keep(QStringLiteral("multi"), values.value(10));
        keep(QStringLiteral("remote"), values.value(11));
        break;
    case ElementRole::Decoder:
        // A decoder receives the group of parameter 11 (its parameter 10 is
        // an encoder's setting): that is what the panel shows as "multi" and
        // what Save writes back to parameter 11.
        keep(QStringLiteral("role"), QStringLiteral("2"));
        keep(QStringLiteral("multi"), values.value(11));
        break;
    case ElementRole::Unknown:
        // The keys read stay stored, without a role.
        break;
    }
    if (role)
        *role = decided;
    return keys;
}

ProbeOperation::Result ProbeOperation::probe(const QString& host, const QString& community)
{
    setStatus(QStringLiteral("Status: Starting..."));
    setProgress(1);
    if (host.isEmpty())
        return fail(Result::NotSent, QStringLiteral("Status: FAIL - No IP address to probe."));
    if (!parseIPv4(host))
        return fail(Result::NotSent,
                    QStringLiteral("Status: FAIL - \"%1\" is not an IP address.").arg(host));
    // A database that cannot take the result is refused before the element
    // is asked anything.
    if (const QString refusal = databaseRefusal(m_database); !refusal.isEmpty()) {
        m_prompt.tell(PromptIcon::Critical, refusal);
        return fail(Result::StoreFailed, QStringLiteral("Status: FAIL - ") + refusal);
    }

    const SnmpResult mac = m_client.GetSNMP(host, community, param::Mac);
    if (m_cancelled)
        return fail(Result::Cancelled, QStringLiteral("Status: Cancelled."));
    if (mac.outcome == SnmpOutcome::NotSent)
        return fail(Result::NotSent, QStringLiteral("Status: FAIL - ") + mac.reason);
    if (!mac.hasValue())
        return fail(Result::NoResponse, QStringLiteral("Status: FAIL - No, or invalid response!"));
    if (!mac.value.startsWith(kFamilyPrefix))
        return fail(Result::NotOurDevice, QStringLiteral("Status: FAIL - Not a Quorvane device."));
    // A 6-byte MAC comes back in its 17-character colon form; anything else
    // starting with the prefix has no section name.
    const QString section = Encode_MAC(mac.value);
    if (section.isEmpty())
        return fail(Result::NoResponse, QStringLiteral("Status: FAIL - No, or invalid response!"));
    m_section = section;

    // The values are collected and stored in one rewrite at the end: other
    // readers never see half a probe, and a probe that fails leaves the
    // section as it was.
    QHash<quint8, QString> values;
    // Unanswered exchanges at the end of the run so far: a single lost
    // reply is a lost datagram (the probe stores what answered, as ever);
    // an element that gave nothing for its last three parameters has
    // stopped answering.
    int silentAtEnd = 0;
    const auto steps = probeSteps();
    for (int i = 1; i < int(steps.size()); ++i) {
        const OperationStep& step = steps[size_t(i)];
        setProgress(i);
        setStatus(statusFor(step.n));
        const SnmpResult r = m_client.GetSNMP(host, community, step.n);
        if (m_cancelled)
            return fail(Result::Cancelled, QStringLiteral("Status: Cancelled."));
        if (r.outcome == SnmpOutcome::NotSent)
            return fail(Result::NotSent, QStringLiteral("Status: FAIL - ") + r.reason);
        silentAtEnd = r.answered() ? 0 : silentAtEnd + 1;
        if (r.hasValue())
            values.insert(step.n, r.value);
        if (step.n == 37)
            setProgress(20);
    }

    setProgress(26);
    // An element that stopped answering (nothing came back from some
    // parameter to the last) was not read: its missing answers say nothing
    // about its role, and its section stays as it was.
    if (silentAtEnd >= kSilentAtEndMeansStopped) {
        setProgress(kProgressMaximum);
        return fail(Result::NoResponse, QStringLiteral("Status: FAIL - No, or invalid response!"));
    }
    ElementRole role = ElementRole::Unknown;
    const QList<QPair<QString, QString>> keys = storedKeys(values, host, community, &role);
    const Result result = role == ElementRole::Unknown ? Result::RoleUndetermined : Result::Success;
    if (!m_database.writeKeys(section, keys)) {
        const QString sentence =
            notStoredSentence(m_database, QStringLiteral("the element answered the probe"));
        m_prompt.tell(PromptIcon::Critical, asBoxText(sentence));
        setProgress(kProgressMaximum);
        return fail(Result::StoreFailed, QStringLiteral("Status: FAIL - ") + asBoxText(sentence));
    }
    setStatus(result == Result::Success ? QStringLiteral("Status: Finished with SUCCESS!")
                                        : QStringLiteral("Status: FAIL - Problem determing role."));
    setProgress(kProgressMaximum);
    return result;
}

} // namespace orvalink
