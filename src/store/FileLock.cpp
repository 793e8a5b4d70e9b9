#include "store/FileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace orvalink {

QString FileLock::lockPathFor(const QString& path)
{
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.canonicalFilePath() : QString();
    return (target.isEmpty() ? info.absoluteFilePath() : target) + QStringLiteral(".lock");
}

namespace {

QString heldTooLong(const QString& lockPath, int timeoutMs)
{
    return QStringLiteral("another program kept %1 locked for %2 s")
        .arg(lockPath)
        .arg(timeoutMs / 1000.0, 0, 'g', 3);
}

} // namespace

#ifdef Q_OS_WIN

FileLock::FileLock(const QString& lockPath, int timeoutMs)
{
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(lockPath.utf16()),
                           GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_error = QStringLiteral("cannot open %1 (error %2)").arg(lockPath).arg(GetLastError());
        return;
    }
    m_handle = h;
    const QDeadlineTimer deadline(timeoutMs);
    int pauseMs = 1;
    for (;;) {
        OVERLAPPED o{};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o)) {
            m_locked = true;
            return;
        }
        if (deadline.hasExpired()) {
            m_error = heldTooLong(lockPath, timeoutMs);
            return;
        }
        QThread::msleep(pauseMs);
        pauseMs = qMin(pauseMs * 2, 20);
    }
}

FileLock::~FileLock()
{
    if (!m_handle)
        return;
    if (m_locked) {
        OVERLAPPED o{};
        UnlockFileEx(static_cast<HANDLE>(m_handle), 0, 1, 0, &o);
    }
    CloseHandle(static_cast<HANDLE>(m_handle));
}

#else

FileLock::FileLock(const QString& lockPath, int timeoutMs)
{
    const QByteArray native = QFile::encodeName(lockPath);
    m_fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_error = QStringLiteral("cannot open %1: %2")
                      .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    // Polled rather than a blocking flock(), so that the wait has a bound
    // without signals; the pause grows from 1 ms so that a short write of
    // another process costs little.
    const QDeadlineTimer deadline(timeoutMs);
    int pauseMs = 1;
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_locked = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = QStringLiteral("cannot lock %1: %2")
                          .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        if (deadline.hasExpired()) {
            m_error = heldTooLong(lockPath, timeoutMs);
            return;
        }
        QThread::msleep(pauseMs);
        pauseMs = qMin(pauseMs * 2, 20);
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor lets go of the lock
}

#endif

} // namespace orvalink
