#include "devops/StatisticsOperation.h"

#include "core/Readouts.h"
#include "snmp/SnmpClient.h"
#include "store/ElementDatabase.h"

#include <QDateTime>

#include <cmath>
#include <optional>

namespace orvalink {

namespace {

// The element gives the measured delay in nanoseconds; the window shows it
// in microseconds.
const char* const kMicroseconds = "\u00b5s";

// clang-format off
const StatisticsCounter kCounters[] = {
    {"mac_tx_frames_ok", "Good TX Frames:", "orvalink_mac_tx_frames_total",
     "Ethernet frames sent correctly.", true, "frames"},
    {"mac_tx_frames_err", "Bad TX Frames:", "orvalink_mac_tx_frame_errors_total",
     "Ethernet frames sent with errors.", true, "frames"},
    {"mac_rx_frames_ok", "Good RX Frames:", "orvalink_mac_rx_frames_total",
     "Ethernet frames received correctly.", true, "frames"},
    {"mac_rx_frames_err", "Bad RX Frames:", "orvalink_mac_rx_frame_errors_total",
     "Ethernet frames received with errors.", true, "frames"},
    {"audio_rx_frames_ok", "OK Audio Frames:", "orvalink_audio_frames_total",
     "Audio frames handled correctly.", true, "frames"},
    {"audio_rx_frames_err", "Bad Audio Frames:", "orvalink_audio_frame_errors_total",
     "Audio frames with errors.", true, "frames"},
    {"ptp_rx_ok", "Good PTP Sync:", "orvalink_ptp_sync_total",
     "PTP messages received correctly.", true, "packets"},
    {"ptp_rx_err", "Bad PTP Sync:", "orvalink_ptp_sync_errors_total",
     "PTP messages received with errors.", true, "packets"},
    {"ptp_clock_adjust", "Clock Difference:", "orvalink_ptp_clock_adjust",
     "PTP clock adjustment as the element reports it.", false, "ns"},
    {"ptp_latency", "Measured delay:", "orvalink_ptp_latency",
     "PTP latency as the element reports it.", false, kMicroseconds},
};
// clang-format on

// A value text as a number; long double holds every 64-bit integer exactly.
std::optional<long double> numberOf(const QString& text)
{
    bool ok = false;
    if (text.startsWith(QLatin1Char('-'))) {
        const qlonglong v = text.toLongLong(&ok);
        return ok ? std::optional<long double>(v) : std::nullopt;
    }
    const qulonglong v = text.toULongLong(&ok);
    return ok ? std::optional<long double>(v) : std::nullopt;
}

QString grouped(qulonglong v)
{
    QString digits = QString::number(v);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}

// A whole number text with thousands separators, its sign kept; none for a
// text that is no whole number.
std::optional<QString> groupedText(const QString& text)
{
    bool ok = false;
    if (text.startsWith(QLatin1Char('-'))) {
        const qlonglong v = text.toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        return QLatin1Char('-') + grouped(quint64(0) - quint64(v));
    }
    const qulonglong v = text.toULongLong(&ok);
    return ok ? std::optional<QString>(grouped(v)) : std::nullopt;
}

} // namespace

QString statisticsValueText(const StatisticsReading& reading)
{
    if (reading.value.isEmpty())
        return reading.display();
    const StatisticsCounter* counter = findStatisticsCounter(reading.key);
    if (!counter)
        return reading.value;
    const QString unit = QString::fromUtf8(counter->unit);
    if (qstrcmp(counter->unit, kMicroseconds) == 0) {
        bool ok = false;
        const qlonglong ns = reading.value.toLongLong(&ok);
        if (!ok)
            return reading.value;
        const quint64 magnitude = ns < 0 ? quint64(0) - quint64(ns) : quint64(ns);
        return (ns < 0 ? QStringLiteral("-") : QString()) + grouped(magnitude / 1000) +
               QLatin1Char('.') +
               QStringLiteral("%1").arg(magnitude % 1000, 3, 10, QLatin1Char('0')) +
               QLatin1Char(' ') + unit;
    }
    const std::optional<QString> number = groupedText(reading.value);
    return number ? *number + QLatin1Char(' ') + unit : reading.value;
}

std::span<const StatisticsCounter> statisticsCounters()
{
    return kCounters;
}

const StatisticsCounter* findStatisticsCounter(const QString& key)
{
    for (const StatisticsCounter& c : kCounters) {
        if (key == QLatin1String(c.key))
            return &c;
    }
    return nullptr;
}

QString counterRateText(const QString& before, qint64 beforeMs, const QString& after,
                        qint64 afterMs, bool monotonic)
{
    const std::optional<long double> a = numberOf(before);
    const std::optional<long double> b = numberOf(after);
    if (!a || !b || afterMs <= beforeMs)
        return QString();
    const long double delta = *b - *a;
    if (monotonic && delta < 0)
        return QStringLiteral("reset");
    const long double rate = delta * 1000.0L / (long double)(afterMs - beforeMs);
    const QChar sign = rate < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const long double magnitude = std::fabs(rate);
    QString number;
    // Below 10 a tenth still tells a trickle of errors from none.
    const long double tenths = std::round(magnitude * 10.0L);
    if (tenths < 100 && std::fmod(tenths, 10.0L) != 0)
        number = QString::number(double(tenths / 10.0L), 'f', 1);
    else
        number = grouped(qulonglong(std::round(magnitude)));
    return sign + number + QStringLiteral("/s");
}

QList<OperationStep> statisticsStepsFor(const QString& storedRole, const QString& storedSfn)
{
    StepContext context;
    context.role =
        readouts::storedInteger(storedRole) == 2 ? ElementRole::Decoder : ElementRole::Encoder;
    context.sfn = readouts::storedInteger(storedSfn) == 1;
    return selectSteps(statisticsSteps(), context);
}

StatisticsOperation::StatisticsOperation(SnmpClient& client, Database& database,
                                         const Timings& timings, QObject* parent)
    : QObject(parent), m_client(client), m_database(database), m_timings(timings)
{
    m_clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

QString StatisticsOperation::frameCaption(const QString& section) const
{
    return m_database.read(section, QStringLiteral("name")) + QLatin1Char(':');
}

void StatisticsOperation::cancel()
{
    if (m_running)
        m_cancelled = true;
}

bool StatisticsOperation::allRead() const
{
    for (const Reading& r : m_readings) {
        if (r.value.isEmpty())
            return false;
    }
    return !m_readings.isEmpty();
}

StatisticsOperation::Result StatisticsOperation::refresh(const QString& section)
{
    if (m_running)
        return Result::Busy;
    if (section.isEmpty())
        return Result::NoElement;
    m_running = true;
    m_cancelled = false;
    m_readings.clear();

    const QString host = m_database.read(section, QStringLiteral("snmpip"));
    const QString community = m_database.read(section, QStringLiteral("snmpro"));
    const QList<OperationStep> steps =
        statisticsStepsFor(m_database.read(section, QStringLiteral("role")),
                           m_database.read(section, QStringLiteral("sfn")));

    Result result = Result::Done;
    for (const OperationStep& step : steps) {
        const QString key = QLatin1String(step.key);
        Q_EMIT readingStarted(key);
        const SnmpResult r = m_client.GetSNMP(host, community, step.n);
        Reading reading;
        reading.key = key;
        reading.n = step.n;
        reading.value = r.hasValue() ? r.value : QString();
        reading.answered = r.answered();
        const qint64 now = m_clock();
        const StatisticsCounter* counter = findStatisticsCounter(key);
        if (!reading.value.isEmpty()) {
            const auto previous = m_previous.constFind(key);
            // A rate tells how fast events come; a reading such as the clock
            // difference has none.
            if (previous != m_previous.constEnd() && counter && counter->monotonic)
                reading.rate =
                    counterRateText(previous->value, previous->ms, reading.value, now, true);
            m_previous.insert(key, Previous{reading.value, now});
        }
        m_readings.append(reading);
        Q_EMIT readingDone(reading);
        if (m_cancelled) {
            result = Result::Cancelled;
            break;
        }
    }
    m_running = false;
    return result;
}

} // namespace orvalink
