#include "app/InstanceGuard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace orvalink {

namespace {

// The running instance listens on a local socket named after its lock file.
QString activationName(const QString& lockPath)
{
    return QStringLiteral("orvalink-nms-") +
           QString::fromLatin1(QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1)
                                   .toHex()
                                   .left(16));
}

} // namespace

InstanceGuard::InstanceGuard(const QString& lockPath, QObject* parent)
    : QObject(parent), m_lockPath(lockPath)
{
}

InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::acquire()
{
    if (m_lockPath.isEmpty())
        return true;
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // A lock is stale only when its process is gone, never because of its
    // age: the first instance may run for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    // Only a lock held by a live process means another instance. A lock file
    // that cannot be made at all (folder missing, no permission) says nothing
    // about one, and must not keep the operator from working.
    const bool heldByOther = m_lock->error() == QLockFile::LockFailedError;
    if (!heldByOther)
        qWarning("orvalink-nms: cannot use the instance lock %s; not checking for another instance",
                 qPrintable(QDir::toNativeSeparators(m_lockPath)));
    m_lock.reset();
    return !heldByOther;
}

void InstanceGuard::listen()
{
    if (m_lockPath.isEmpty() || !m_lock)
        return;
    const QString name = activationName(m_lockPath);
    // This instance holds the lock: a socket of that name is left over.
    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        qWarning("orvalink-nms: a second start cannot bring this window to the front: %s",
                 qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            peer->deleteLater();
            Q_EMIT activationRequested();
        }
    });
}

void InstanceGuard::activateRunning()
{
    if (m_lockPath.isEmpty())
        return;
    QLocalSocket socket;
    socket.connectToServer(activationName(m_lockPath));
    // Connecting is the whole message.
    if (socket.waitForConnected(500))
        socket.disconnectFromServer();
}

} // namespace orvalink
