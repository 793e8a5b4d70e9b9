#pragma once
// A wait of a given length with the event loop running, which cancel() ends
// early: the spacing between SETs (tmrSNMPSetAllowed) and the refresh
// intervals of the device windows.

#include <QObject>

class QEventLoop;
class QTimer;

namespace orvalink {

class Pause : public QObject {
    Q_OBJECT
public:
    explicit Pause(QObject* parent = nullptr);
    ~Pause() override;

    // Returns true when the interval ran out, false when cancel() ended it or
    // was called before. A call made while a wait runs is refused (false).
    bool wait(int ms);
    // Ends a running wait; also makes every later wait() return false at once
    // until reset().
    void cancel();
    void reset();

private:
    QTimer* m_timer;
    QEventLoop* m_loop = nullptr;
    bool m_cancelled = false;
};

} // namespace orvalink
