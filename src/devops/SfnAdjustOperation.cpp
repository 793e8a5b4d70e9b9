#include "devops/SfnAdjustOperation.h"

#include "core/Pause.h"
#include "core/Prompt.h"
#include "core/Readouts.h"
#include "devops/StoreOutcome.h"
#include "snmp/SnmpClient.h"
#include "snmp/SnmpCodec.h"
#include "store/ElementDatabase.h"

#include <cmath>
#include <limits>

namespace orvalink {

namespace {
// Parameters of the measured network delay.
constexpr quint8 kDelayMin = 26;
constexpr quint8 kDelayMax = 25;
constexpr quint8 kDelayAvg = 24;
} // namespace

QString FormatDuration(qint64 n)
{
    const bool negative = n < 0;
    // The magnitude of the most negative number does not fit a qint64.
    const quint64 a = negative ? quint64(0) - quint64(n) : quint64(n);
    const quint64 ms = a / 1000000;
    const quint64 us = a / 1000 - ms * 1000;
    const quint64 ns = a % 1000;
    QString text;
    if (ms > 0)
        text += QString::number(ms) + QStringLiteral(" mS, ");
    if (!text.isEmpty() || us > 0)
        text += QString::number(us) + QStringLiteral(" uS, ");
    text += QString::number(ns) + QStringLiteral(" nS");
    return negative ? QLatin1Char('-') + text : text;
}

namespace sfn {

int positionForDelay(qint64 ns)
{
    if (ns <= 0)
        return 0;
    if (ns >= kMaxDelayNs)
        return kMaxPosition;
    // Nearest whole number, halves to the even one.
    return int(std::nearbyint(double(ns) / double(kNsPerPosition)));
}

std::optional<qint64> delayOf(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    qsizetype end = i;
    while (end < t.size() && t[end].isDigit() && t[end].unicode() < 128)
        ++end;
    if (end == i)
        return std::nullopt;
    bool ok = false;
    const qint64 v = t.left(end).toLongLong(&ok);
    if (!ok) // more digits than a 64-bit number holds
        return t.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min()
                                              : std::numeric_limits<qint64>::max();
    return v;
}

} // namespace sfn

const QString SfnAdjustOperation::kNothingChanged = QStringLiteral("Nothing has changed!");
const QString SfnAdjustOperation::kFailed = QStringLiteral("Failed setting SFN Delay!");
const QString SfnAdjustOperation::kApplied =
    QStringLiteral("SFN Delay parameter has been applied.");

SfnAdjustOperation::SfnAdjustOperation(SnmpClient& client, Database& database, Prompt& prompt,
                                       const Timings& timings, QObject* parent)
    : QObject(parent), m_client(client), m_database(database), m_prompt(prompt), m_timings(timings),
      m_pause(new Pause(this))
{
}

SfnAdjustOperation::~SfnAdjustOperation() = default;

qint64 SfnAdjustOperation::storedDelay(const QString& section) const
{
    return sfn::delayOf(m_database.read(section, QStringLiteral("dly"), QStringLiteral("0")))
        .value_or(0);
}

bool SfnAdjustOperation::storedServo(const QString& section) const
{
    return readouts::storedInteger(
               m_database.read(section, QStringLiteral("srv"), QStringLiteral("0")))
               .value_or(0) != 0;
}

void SfnAdjustOperation::cancel()
{
    if (!m_running)
        return;
    m_cancelled = true;
    m_pause->cancel();
}

SfnAdjustOperation::Measurements SfnAdjustOperation::refresh(const QString& section)
{
    Measurements m;
    if (m_running || section.isEmpty())
        return m;
    const QString host = m_database.read(section, QStringLiteral("snmpip"));
    const QString community = m_database.read(section, QStringLiteral("snmpro"));
    const QString role = m_database.read(section, QStringLiteral("role"));
    const QString sfnSwitch = m_database.read(section, QStringLiteral("sfn"));
    if (readouts::storedInteger(role) != 2 || readouts::storedInteger(sfnSwitch) != 1)
        return m;
    m_running = true;
    m_cancelled = false;
    m.read = true;

    auto readOne = [&](quint8 n) -> std::optional<qint64> {
        const SnmpResult r = m_client.GetSNMP(host, community, n);
        if (!r.hasValue())
            return std::nullopt;
        return sfn::delayOf(r.value);
    };
    const struct {
        Which which;
        quint8 n;
        std::optional<qint64>* into;
    } steps[] = {{Which::Min, kDelayMin, &m.min},
                 {Which::Max, kDelayMax, &m.max},
                 {Which::Avg, kDelayAvg, &m.avg}};
    for (const auto& step : steps) {
        Q_EMIT measuring(step.which);
        *step.into = readOne(step.n);
        Q_EMIT measured(step.which, *step.into);
        if (m_cancelled)
            break;
    }
    if (!m_cancelled)
        m.delay = readOne(param::SfnDelay);
    m_running = false;
    return m;
}

SfnAdjustOperation::SetResult SfnAdjustOperation::set(const QString& section,
                                                      const QString& roleCaption, qint64 delayNs)
{
    if (m_running)
        return SetResult::Busy;
    m_running = true;
    m_cancelled = false;
    m_pause->reset();

    const QString host = m_database.read(section, QStringLiteral("snmpip"), kDefaultAgentAddress);
    const QString community =
        m_database.read(section, QStringLiteral("snmprw"), kDefaultWriteCommunity);
    const QString txtHiddenDelay = QString::number(delayNs);
    const qint64 stored = storedDelay(section);

    SetResult result = SetResult::Applied;
    bool confirmed = false;
    m_failure.clear();
    if (const QString refusal = databaseRefusal(m_database); !refusal.isEmpty()) {
        // Nothing is sent that the database could not keep.
        m_failure = refusal;
        m_prompt.tell(PromptIcon::Critical, refusal);
        result = SetResult::StoreFailed;
    } else if (roleCaption != QLatin1String("DECODER") || stored == delayNs) {
        m_prompt.tell(PromptIcon::Critical, kNothingChanged);
        result = SetResult::NothingChanged;
    } else {
        const SnmpResult echo =
            m_client.SetSNMP(host, community, param::SfnDelay, snmptag::Gauge, txtHiddenDelay);
        confirmed = echo.hasValue() && echo.value == txtHiddenDelay;
        if (!confirmed) {
            m_prompt.tell(PromptIcon::Critical, kFailed);
            result = SetResult::Failed;
        } else if (!m_database.write(section, QStringLiteral("dly"), echo.value)) {
            m_failure = notStoredSentence(
                m_database, QStringLiteral("the element took dly=%1").arg(echo.value));
            m_prompt.tell(PromptIcon::Critical, asBoxText(m_failure));
            result = SetResult::StoreFailed;
        } else {
            Q_EMIT delayStored(delayNs);
            m_pause->wait(m_timings.snmpSetAllowedMs);
            m_prompt.tell(PromptIcon::Information, kApplied);
        }
    }
    m_running = false;
    Q_EMIT setEnded(result, stored, delayNs, confirmed);
    return result;
}

} // namespace orvalink
