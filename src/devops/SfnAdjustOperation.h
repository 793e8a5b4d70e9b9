#pragma once
// SFN adjustment of a DECODER: reads the network delay the element measures
// (minimum, maximum, average) and its additional delay, and sets a new delay
// with one confirmed SET. Behind the "SFN Adjustment" window and
// `orvalink-cli sfn`.

#include "core/Timings.h"

#include <QObject>
#include <QString>

#include <optional>

namespace orvalink {

class Database;
class Pause;
class Prompt;
class SnmpClient;

// "12 uS, 345 nS": a signed number of nanoseconds in milliseconds,
// microseconds and nanoseconds, the larger units only when they are needed.
QString FormatDuration(qint64 n);

namespace sfn {
// Latencies of the element's own interfaces, in nanoseconds.
inline constexpr qint64 kMacLatencyNs = 265;
inline constexpr qint64 kAudioLatencyNs = 395833;
// The additional delay: scroll positions 0 to 25000 of 100 ns each.
inline constexpr int kMaxPosition = 25000;
inline constexpr qint64 kNsPerPosition = 100;
inline constexpr qint64 kMaxDelayNs = kMaxPosition * kNsPerPosition;

// The latency sum of a measurement: it plus both fixed latencies.
inline qint64 latencySum(qint64 measurementNs)
{
    return measurementNs + kMacLatencyNs + kAudioLatencyNs;
}
// The position a delay stands at: the delay divided by 100, halves to the
// even number, held inside 0 .. kMaxPosition.
int positionForDelay(qint64 ns);
// A delay the scroll bar can stand for exactly.
inline bool delayInRange(qint64 ns)
{
    return ns >= 0 && ns <= kMaxDelayNs;
}
// A stored or echoed delay text as a number; none for a text without digits.
std::optional<qint64> delayOf(const QString& text);
} // namespace sfn

class SfnAdjustOperation : public QObject {
    Q_OBJECT
public:
    enum class Which { Min, Max, Avg };

    struct Measurements {
        bool read = false; // false: not a DECODER with the SFN option, nothing was asked
        std::optional<qint64> min, max, avg; // nanoseconds; none when it gave no value
        std::optional<qint64> delay;         // the element's additional delay
    };

    enum class SetResult {
        Applied,        // "SFN Delay parameter has been applied."
        NothingChanged, // "Nothing has changed!"
        Failed,         // "Failed setting SFN Delay!"
        Busy,           // a refresh or a set is running
        StoreFailed,    // the database cannot be used (nothing sent), or the element
                        // took the delay but it could not be stored; failure() says which
    };

    // The texts the operation shows.
    static const QString kNothingChanged;
    static const QString kFailed;
    static const QString kApplied;

    SfnAdjustOperation(SnmpClient& client, Database& database, Prompt& prompt,
                       const Timings& timings, QObject* parent = nullptr);
    ~SfnAdjustOperation() override;

    // The stored delay and compensation switch the window opens with.
    qint64 storedDelay(const QString& section) const;
    bool storedServo(const QString& section) const;

    // Reads the three measurements and the delay of the element in `section`
    // when its stored role is 2 and its stored sfn 1; nothing otherwise.
    Measurements refresh(const QString& section);
    // Sets the delay `delayNs` (a multiple of 100 from 0 to 2,500,000) on the
    // element, as "&Set" does: refused when the role caption is not DECODER
    // or the stored delay is the same; stored when the element echoed it,
    // then the SET spacing, then the message.
    SetResult set(const QString& section, const QString& roleCaption, qint64 delayNs);

    // Ends a running refresh after its current exchange, or the spacing
    // after a SET at once.
    void cancel();
    bool isRunning() const { return m_running; }
    // Why the last set() ended with StoreFailed, as one sentence.
    QString failure() const { return m_failure; }

Q_SIGNALS:
    void measuring(SfnAdjustOperation::Which which);
    void measured(SfnAdjustOperation::Which which, std::optional<qint64> ns);
    // The SET was confirmed and stored; the spacing starts.
    void delayStored(qint64 ns);
    // A set() has ended (Busy excepted): the stored delay before it, the
    // delay asked for, and whether the element echoed it.
    void setEnded(SfnAdjustOperation::SetResult result, qint64 before, qint64 delay,
                  bool confirmed);

private:
    SnmpClient& m_client;
    Database& m_database;
    Prompt& m_prompt;
    Timings m_timings;
    Pause* m_pause;
    bool m_running = false;
    bool m_cancelled = false;
    QString m_failure;
};

} // namespace orvalink
