#include "remote/MacWait.h"

#include "netutil/MacResolver.h"

#include <QEventLoop>
#include <QTimer>

namespace orvalink {

MacWait::MacWait(MacResolver& resolver, const Timings& timings, QObject* parent)
    : QObject(parent), timerGetMAC(new QTimer(this)), m_resolver(resolver)
{
    timerGetMAC->setInterval(timings.getMacMs);
    connect(timerGetMAC, &QTimer::timeout, this, &MacWait::timerGetMAC_Timer);
}

void MacWait::start(const QString& UDP_Response_IP, quint8 limit)
{
    m_address = UDP_Response_IP;
    getMACTimeout = limit;
    getMACTimeoutCount = 0;
    m_resolver.sRemoteMacAddress2.clear();
    m_running = true;
    timerGetMAC->start();
}

QString MacWait::runBlocking(const QString& UDP_Response_IP, quint8 limit)
{
    QEventLoop loop;
    connect(this, &MacWait::finished, &loop, &QEventLoop::quit);
    start(UDP_Response_IP, limit);
    if (m_running)
        loop.exec();
    return result();
}

QString MacWait::result() const
{
    return m_resolver.sRemoteMacAddress2;
}

void MacWait::finish()
{
    timerGetMAC->stop();
    getMACTimeoutCount = 0;
    if (!m_running)
        return;
    m_running = false;
    Q_EMIT finished();
}

void MacWait::timerGetMAC_Timer()
{
    ++getMACTimeoutCount;
    const bool givenUp = getMACTimeoutCount > getMACTimeout;
    // The last tick still tries once more.
    const bool found = m_resolver.ResolveMAC(m_address, QStringLiteral(":"));
    if (givenUp || found)
        finish();
}

} // namespace orvalink
