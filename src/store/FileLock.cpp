#include "store/FileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <system_error>
#include <thread>
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
            m_heldByOther = true;
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
    // A lock file another user made (readable to us) locks as well: flock()
    // needs no write access.
    if (m_fd < 0 && errno == EACCES)
        m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0) {
        m_error = QStringLiteral("cannot open %1: %2")
                      .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_locked = true;
        return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
        m_error = QStringLiteral("cannot lock %1: %2")
                      .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (timeoutMs <= 0) {
        m_heldByOther = true;
        m_error = heldTooLong(lockPath, 0);
        return;
    }
    // Held by another program: wait in a blocking flock(), so that the
    // kernel hands the lock on the moment it is let go, in about the order
    // the writers came (a polled wait loses, under many writers, to whoever
    // polls at the right moment, and can starve). The blocking call runs in
    // a helper thread on a second descriptor of the same open file, so that
    // this wait keeps its bound: the helper closes its descriptor as soon as
    // flock() returns, and the lock then lives as long as ours, or, when we
    // gave up and closed ours, ends right there.
    const int helperFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (helperFd < 0) {
        m_error = QStringLiteral("cannot lock %1: %2")
                      .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    struct Wait {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false; // flock() returned
        int error = 0;     // errno of a failed flock()
    };
    const auto wait = std::make_shared<Wait>();
    try {
        std::thread([wait, helperFd] {
            int r = 0;
            do {
                r = ::flock(helperFd, LOCK_EX);
            } while (r != 0 && errno == EINTR);
            const int error = r == 0 ? 0 : errno;
            ::close(helperFd);
            const std::lock_guard<std::mutex> guard(wait->mutex);
            wait->done = true;
            wait->error = error;
            wait->changed.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        ::close(helperFd);
        m_error =
            QStringLiteral("cannot lock %1: %2").arg(lockPath, QString::fromLocal8Bit(e.what()));
        return;
    }
    std::unique_lock<std::mutex> guard(wait->mutex);
    if (!wait->changed.wait_for(guard, std::chrono::milliseconds(qMax(0, timeoutMs)),
                                [&] { return wait->done; })) {
        m_heldByOther = true;
        m_error = heldTooLong(lockPath, timeoutMs);
        return;
    }
    if (wait->error != 0) {
        m_error = QStringLiteral("cannot lock %1: %2")
                      .arg(lockPath, QString::fromLocal8Bit(std::strerror(wait->error)));
        return;
    }
    m_locked = true;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor lets go of the lock
}

#endif

} // namespace orvalink
