#include "InterruptGuard.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace orvalink::cli {

namespace {

#ifdef Q_OS_UNIX
int g_interruptPipe[2] = {-1, -1};

extern "C" void onInterruptSignal(int signal)
{
    const char c = char(signal);
    const ssize_t written = ::write(g_interruptPipe[1], &c, 1);
    (void)written;
}
#endif

} // namespace

InterruptGuard::InterruptGuard(std::function<void(int)> onInterrupt)
{
#ifdef Q_OS_UNIX
    if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [onInterrupt] {
                         char c = 0;
                         while (::read(g_interruptPipe[0], &c, 1) == 1)
                             onInterrupt(int(c));
                     });
    struct sigaction action {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
    m_installed = true;
#else
    Q_UNUSED(onInterrupt);
#endif
}

InterruptGuard::~InterruptGuard()
{
#ifdef Q_OS_UNIX
    if (!m_installed)
        return;
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
    m_notifier.reset();
    ::close(g_interruptPipe[0]);
    ::close(g_interruptPipe[1]);
    g_interruptPipe[0] = g_interruptPipe[1] = -1;
#endif
}

} // namespace orvalink::cli
