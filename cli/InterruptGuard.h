#pragma once
// While an InterruptGuard lives, SIGINT and SIGTERM do not end the program:
// the handler only writes the signal's number to a pipe, and the event loop
// calls onInterrupt with it, so that the work in progress can be ended
// cleanly (discover puts the previous database back, monitor stops).

#include <QSocketNotifier>

#include <functional>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace orvalink::cli {

class InterruptGuard {
public:
    explicit InterruptGuard(std::function<void(int)> onInterrupt);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    // False when the signals could not be taken over.
    bool installed() const { return m_installed; }

private:
    bool m_installed = false;
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
#endif
};

} // namespace orvalink::cli
