#pragma once
// One writer at a time across processes: an exclusive advisory lock on a lock
// file that stays in place beside the file it guards (nms.ini.lock beside
// nms.ini). The kernel releases the lock when its holder ends, however it
// ends, so a killed process never leaves a lock that needs cleaning up.
//
//     FileLock lock(FileLock::lockPathFor(path));
//     if (!lock.isLocked())
//         return fail(lock.error());
//     ... read the file again, edit it, replace it ...

#include <QString>

namespace orvalink {

class FileLock {
public:
    // How long a writer waits for another one before giving up.
    static constexpr int kDefaultTimeoutMs = 5000;

    // Takes the lock on lockPath (created readable by its owner only when
    // missing), waiting up to timeoutMs for another holder to let go.
    explicit FileLock(const QString& lockPath, int timeoutMs = kDefaultTimeoutMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return m_locked; }
    // True when another process held the lock for the whole wait (and not,
    // say, the lock file could not be made).
    bool heldByOther() const { return m_heldByOther; }
    // Why the lock was not taken: the lock file cannot be opened, or another
    // process held it for the whole wait.
    const QString& error() const { return m_error; }

    // The lock file that guards path: path + ".lock", beside the file a
    // symbolic link at path points to.
    static QString lockPathFor(const QString& path);

private:
    bool m_locked = false;
    bool m_heldByOther = false;
    QString m_error;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace orvalink
