#include "core/Pause.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace orvalink {

Pause::Pause(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
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
    connect(m_timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_timer->start(qMax(0, ms));
    loop.exec();
    if (!self)
        return false;
    m_loop = nullptr;
    m_timer->stop();
    disconnect(m_timer, &QTimer::timeout, &loop, &QEventLoop::quit);
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
