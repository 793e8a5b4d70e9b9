#include "core/Pause.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace orvalink {

Pause::Pause(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    // A coarse timer may end up to 5% early: a device that needs its 6 s
    // after a SET would then refuse the next one.
    m_timer->setTimerType(Qt::PreciseTimer);
}

Pause::~Pause()
{
    // Destroyed from an event dispatched during the wait: let the wait end.
    if (m_loop)
        m_loop->quit();
}

bool Pause::wait(int ms)
{
    if (m_cancelled || m_loop)
        return false;
    QEventLoop loop;
    QPointer<Pause> self(this);
    m_loop = &loop;
    const QDeadlineTimer deadline(qMax(0, ms), Qt::PreciseTimer);
    // Never before its length: a timer that fired a little early waits on
    // for what is left.
    connect(m_timer, &QTimer::timeout, &loop, [&] {
        if (m_cancelled || deadline.hasExpired())
            loop.quit();
        else
            m_timer->start(int(qMax<qint64>(1, deadline.remainingTime())));
    });
    m_timer->start(qMax(0, ms));
    loop.exec();
    if (!self)
        return false;
    m_loop = nullptr;
    m_timer->stop();
    disconnect(m_timer, &QTimer::timeout, &loop, nullptr);
    return !m_cancelled;
}

void Pause::cancel()
{
    m_cancelled = true;
    if (m_loop)
        m_loop->quit();
}

void Pause::reset()
{
    m_cancelled = false;
}

} // namespace orvalink
