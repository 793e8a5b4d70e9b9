#include "store/SafeFile.h"

#include "store/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <ctime>

// File stamps to the nanosecond from stat() where there is one; the portable
// reading otherwise (also forced by ORVALINK_PORTABLE_FILE_STAMPS, to test it).
#if defined(Q_OS_UNIX) && !defined(ORVALINK_PORTABLE_FILE_STAMPS)
#define ORVALINK_POSIX_FILE_STAMPS 1
#else
#include <QDateTime>
#endif

// Files are written through the POSIX calls where there are some, so that
// temporaries are created private and a rewrite keeps the owner and mode.
#ifdef Q_OS_UNIX
#define ORVALINK_POSIX_FILE_WRITES 1
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#else
#include <QSaveFile>
#endif

namespace orvalink::safefile {

QString cannotRead(const QString& why)
{
    return QStringLiteral("cannot be read (%1)").arg(why);
}

QString notRegularFile()
{
    return QStringLiteral("is not a regular file (a device, pipe or socket cannot be a database)");
}

QString tooLarge()
{
    return QStringLiteral("is larger than %1 MB, too large for an element database")
        .arg(kMaxFileSize / (1024 * 1024));
}

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

#ifdef ORVALINK_POSIX_FILE_STAMPS
void fillId(const struct stat& st, FileId& id)
{
    id.dev = quint64(st.st_dev);
    id.ino = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}
#endif

} // namespace

// On Unix from stat(), to the nanosecond; elsewhere from QFileInfo (no
// inode, millisecond stamps), which only makes more reads compare contents.
StatResult statFile(const QByteArray& native, FileId& id, QString& error)
{
#ifdef ORVALINK_POSIX_FILE_STAMPS
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return StatResult::Missing;
        error = cannotRead(QString::fromLocal8Bit(strerror(err)));
        return StatResult::Failed;
    }
    if (S_ISDIR(st.st_mode))
        return StatResult::Folder;
    if (!S_ISREG(st.st_mode))
        return StatResult::Special;
    fillId(st, id);
    return StatResult::Present;
#else
    const QFileInfo info(QFile::decodeName(native));
    if (!info.exists())
        return StatResult::Missing;
    if (info.isDir())
        return StatResult::Folder;
    if (!info.isFile())
        return StatResult::Special;
    id.size = info.size();
    id.mtimeNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    id.ctimeNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
    error.clear();
    return StatResult::Present;
#endif
}

qint64 fileClockNowNs()
{
#ifdef ORVALINK_POSIX_FILE_STAMPS
    timespec ts{};
#ifdef CLOCK_REALTIME_COARSE
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
#else
    clock_gettime(CLOCK_REALTIME, &ts);
#endif
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
#else
    // Stamps are compared in whole milliseconds here: the last one is
    // never taken as settled.
    return (QDateTime::currentMSecsSinceEpoch() - 1) * 1000000;
#endif
}

bool readWholeFile(const QByteArray& native, QByteArray& bytes, FileId& id, QString& error)
{
#ifdef ORVALINK_POSIX_FILE_STAMPS
    // Opened without waiting: a pipe with no writer would block an open
    // that waits, and is refused below instead.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = cannotRead(systemError());
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok)
        error = cannotRead(systemError());
    else if (S_ISDIR(st.st_mode))
        error = QStringLiteral("is a folder");
    else if (!S_ISREG(st.st_mode))
        error = notRegularFile();
    else if (st.st_size > kMaxFileSize)
        error = tooLarge();
    ok = ok && error.isEmpty();
    if (ok) {
        fillId(st, id);
        // One byte more than the size, so that the end is seen in one read.
        bytes.resize(qsizetype(st.st_size) + 1);
        qsizetype have = 0;
        for (;;) {
            if (have == bytes.size()) {
                if (have > kMaxFileSize) { // grew while being read
                    error = tooLarge();
                    ok = false;
                    break;
                }
                bytes.resize(qMin<qsizetype>(have * 2 + 4096, kMaxFileSize + 1));
            }
            const ssize_t got = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                error = cannotRead(systemError());
                ok = false;
                break;
            }
            if (got == 0)
                break;
            have += got;
        }
        bytes.truncate(have);
    }
    ::close(fd);
    return ok;
#else
    QString statError;
    switch (statFile(native, id, statError)) {
    case StatResult::Present:
        break;
    case StatResult::Folder:
        error = QStringLiteral("is a folder");
        return false;
    case StatResult::Special:
        error = notRegularFile();
        return false;
    case StatResult::Missing:
    case StatResult::Failed:
        error = statError.isEmpty() ? cannotRead(QStringLiteral("gone")) : statError;
        return false;
    }
    if (id.size > kMaxFileSize) {
        error = tooLarge();
        return false;
    }
    QFile f(QFile::decodeName(native));
    if (!f.open(QIODevice::ReadOnly)) {
        error = cannotRead(f.errorString());
        return false;
    }
    bytes = f.read(kMaxFileSize + 1);
    if (f.error() != QFileDevice::NoError) {
        error = cannotRead(f.errorString());
        return false;
    }
    if (bytes.size() > kMaxFileSize) {
        error = tooLarge();
        return false;
    }
    return true;
#endif
}

namespace {

QString injectedFault(qint64 written)
{
    return QStringLiteral("write stopped after %1 bytes (injected fault)").arg(written);
}

// The marker keeps the start-up clean-up away from every other file beside
// the one replaced, an operator's "nms.ini.bak001" or "nms.ini.old123"
// included.
const QString kTemporaryMarker = QStringLiteral("~orvalink-tmp-");
constexpr int kTemporaryRandomLength = 6;

// True for what follows "nms.ini." in the name of one of our temporaries.
bool isTemporarySuffix(QStringView suffix)
{
    if (suffix.size() != kTemporaryMarker.size() + kTemporaryRandomLength ||
        !suffix.startsWith(kTemporaryMarker))
        return false;
    for (const QChar c : suffix.mid(kTemporaryMarker.size())) {
        const char16_t u = c.unicode();
        if (!(u >= u'a' && u <= u'z') && !(u >= u'A' && u <= u'Z') && !(u >= u'0' && u <= u'9'))
            return false;
    }
    return true;
}

#ifdef ORVALINK_POSIX_FILE_WRITES

QByteArray temporarySuffix()
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix = kTemporaryMarker.toLatin1();
    for (int i = 0; i < kTemporaryRandomLength; ++i)
        suffix += kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))];
    return suffix;
}

// The file a path names: a symbolic link is followed, so that a replace
// changes the file it points to and not the link.
QByteArray writeTarget(const QByteArray& native)
{
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(native.constData(), nullptr)) {
            const QByteArray target(real);
            std::free(real);
            return target;
        }
    }
    return native;
}

mode_t modeOf(QFileDevice::Permissions p)
{
    mode_t m = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR},  {QFileDevice::WriteOwner, S_IWUSR},
        {QFileDevice::ExeOwner, S_IXUSR},   {QFileDevice::ReadGroup, S_IRGRP},
        {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH},  {QFileDevice::WriteOther, S_IWOTH},
        {QFileDevice::ExeOther, S_IXOTH}};
    for (const auto& [flag, bit] : bits) {
        if (p.testFlag(flag))
            m |= bit;
    }
    return m;
}

// A temporary being written: created, given its mode, filled.
struct Temporary {
    QByteArray target; // the file it will replace
    QByteArray name;
    int fd = -1;
};

void abandon(Temporary& t)
{
    ::unlink(t.name.constData());
    ::close(t.fd);
    t.fd = -1;
}

// Writes the temporary for one file; false with error (and no temporary
// left, unless a fault plays a killed program).
bool writeTemporary(const QString& path, const QByteArray& bytes, const Options& options, bool sync,
                    Temporary& t, QString& error)
{
    t.target = writeTarget(QFile::encodeName(path));
    struct stat old {};
    const bool present = ::stat(t.target.constData(), &old) == 0;
    // Only a regular file is ever replaced: a device node, a pipe or a
    // folder named by mistake stays what it is, and so does a link that
    // leads nowhere but round in a loop.
    if (!present && errno == ELOOP) {
        error = QStringLiteral("is a loop of symbolic links; nothing was written");
        return false;
    }
    if (present && !S_ISREG(old.st_mode)) {
        error = QStringLiteral("is not a regular file; nothing was written");
        return false;
    }
    const bool exists = present;
    // A new shared file takes what the umask leaves of 0666 from the system
    // as it is created (changing the umask to read it would race with other
    // threads creating files); every other temporary starts private.
    const bool newShared = options.mode == Mode::KeepOrShared && !exists;
    for (int attempt = 0; attempt < 100 && t.fd < 0; ++attempt) {
        t.name = t.target + '.' + temporarySuffix();
        t.fd = ::open(t.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      newShared ? 0666 : 0600);
        if (t.fd < 0 && errno != EEXIST)
            break;
    }
    if (t.fd < 0) {
        error = systemError();
        return false;
    }
    ::flock(t.fd, LOCK_EX); // a start-up clean-up leaves a locked temporary alone
    const auto fail = [&](const QString& why) {
        error = why;
        abandon(t);
        return false;
    };
    int mode = -1;
    switch (options.mode) {
    case Mode::KeepOrPrivate:
    case Mode::KeepOrShared:
        if (exists) {
            // The owner where we may give it (as root), else at least the group.
            if (::fchown(t.fd, old.st_uid, old.st_gid) != 0 &&
                ::fchown(t.fd, uid_t(-1), old.st_gid) != 0) {
                // Neither: the file becomes ours, with its old mode.
            }
            mode = int(old.st_mode & 07777);
        }
        break;
    case Mode::Private:
        break;
    case Mode::Given:
        mode = int(modeOf(options.permissions));
        break;
    }
    if (mode >= 0 && ::fchmod(t.fd, mode_t(mode)) != 0)
        return fail(systemError());

    qint64 toWrite = bytes.size();
    if (options.fault.afterBytes >= 0 && options.fault.afterBytes < toWrite)
        toWrite = options.fault.afterBytes;
    qint64 written = 0;
    while (written < toWrite) {
        const ssize_t n = ::write(t.fd, bytes.constData() + written, size_t(toWrite - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(systemError());
        written += n;
    }
    if (toWrite != bytes.size()) {
        if (!options.fault.kills)
            return fail(injectedFault(written));
        ::close(t.fd); // the program ends here: its temporary stays
        t.fd = -1;
        error = injectedFault(written);
        return false;
    }
    if (sync && ::fsync(t.fd) != 0 && errno != EINVAL && errno != EROFS)
        return fail(systemError());
    return true;
}

bool renameOver(Temporary& t, QString& error)
{
    if (::rename(t.name.constData(), t.target.constData()) != 0) {
        error = systemError();
        abandon(t);
        return false;
    }
    ::close(t.fd);
    t.fd = -1;
    return true;
}

QByteArray folderOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
}

// syncfs: everything written to the file system of folder; else fsync.
void syncFolder(const QByteArray& folder, bool wholeFileSystem)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
#ifdef Q_OS_LINUX
    if (wholeFileSystem)
        ::syncfs(fd);
    else
        ::fsync(fd);
#else
    Q_UNUSED(wholeFileSystem);
    ::fsync(fd);
#endif
    ::close(fd);
}

#endif

} // namespace

#ifdef ORVALINK_POSIX_FILE_WRITES

bool replaceFile(const QString& path, const QByteArray& bytes, const Options& options,
                 QString* error)
{
    Temporary t;
    if (!writeTemporary(path, bytes, options, true, t, *error) || !renameOver(t, *error))
        return false;
    if (options.syncFolder)
        syncFolder(folderOf(t.target), false);
    error->clear();
    return true;
}

QStringList replaceFiles(const QList<PendingFile>& files, const Options& options)
{
    QStringList errors;
    QList<Temporary> temporaries;
    QSet<QByteArray> folders;
    for (const PendingFile& file : files) {
        Temporary t;
        QString error;
        if (writeTemporary(file.path, file.bytes, options, false, t, error))
            folders.insert(folderOf(t.target));
        errors.append(error);
        temporaries.append(t);
    }
    // One sync of every file system written to, then the renames.
    for (const QByteArray& folder : std::as_const(folders))
        syncFolder(folder, true);
    for (qsizetype i = 0; i < temporaries.size(); ++i) {
        if (temporaries[i].fd >= 0)
            renameOver(temporaries[i], errors[i]);
    }
    // The renames themselves reach the disk.
    if (options.syncFolder) {
        for (const QByteArray& folder : std::as_const(folders))
            syncFolder(folder, false);
    }
    return errors;
}

#else

bool replaceFile(const QString& path, const QByteArray& bytes, const Options& options,
                 QString* error)
{
    QSaveFile f(path);
    const bool exists = QFileInfo::exists(path);
    if (!f.open(QIODevice::WriteOnly)) {
        *error = f.errorString();
        return false;
    }
    if (options.mode == Mode::Given)
        f.setPermissions(options.permissions);
    else if (options.mode == Mode::Private || (!exists && options.mode == Mode::KeepOrPrivate))
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qint64 toWrite = bytes.size();
    if (options.fault.afterBytes >= 0 && options.fault.afterBytes < toWrite)
        toWrite = options.fault.afterBytes;
    if (f.write(bytes.constData(), toWrite) != toWrite || toWrite != bytes.size()) {
        *error = toWrite != bytes.size() ? injectedFault(toWrite) : f.errorString();
        f.cancelWriting();
        f.commit();
        return false;
    }
    if (!f.commit()) {
        *error = f.errorString();
        return false;
    }
    error->clear();
    return true;
}

QStringList replaceFiles(const QList<PendingFile>& files, const Options& options)
{
    QStringList errors;
    for (const PendingFile& file : files) {
        QString error;
        replaceFile(file.path, file.bytes, options, &error);
        errors.append(error);
    }
    return errors;
}

#endif

int removeStaleTemporaries(const QString& path)
{
    if (QFileInfo(path).fileName().isEmpty())
        return 0;
#ifdef ORVALINK_POSIX_FILE_WRITES
    const QFileInfo target(QFile::decodeName(writeTarget(QFile::encodeName(path))));
#else
    const QFileInfo target(path);
#endif
    const QString prefix = target.fileName() + QLatin1Char('.');
    const QDir dir = target.absoluteDir();
    QStringList stale;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.startsWith(prefix) && isTemporarySuffix(QStringView(name).mid(prefix.size())))
            stale.append(name);
    }
    if (stale.isEmpty())
        return 0;
    // Every write holds the write lock from creating its temporary to the
    // rename: under the lock no temporary belongs to a running write. When
    // another program writes just now, the clean-up waits for another start.
    const FileLock lock(FileLock::lockPathFor(path), 0);
    if (!lock.isLocked())
        return 0;
    int removed = 0;
    for (const QString& name : stale) {
        const QString file = dir.filePath(name);
#ifdef ORVALINK_POSIX_FILE_WRITES
        // Only a regular file of ours that no running write holds.
        const QByteArray native = QFile::encodeName(file);
        const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(native.constData()) == 0)
            ++removed;
        ::close(fd);
#else
        if (!QFileInfo(file).isSymLink() && QFile::remove(file))
            ++removed;
#endif
    }
    return removed;
}

} // namespace orvalink::safefile

namespace orvalink {

bool readRegularFile(const QString& path, QByteArray* bytes, QString* error)
{
    safefile::FileId id;
    QString why;
    if (safefile::readWholeFile(QFile::encodeName(path), *bytes, id, why))
        return true;
    // The reasons above speak of a database; these files are not one.
    if (why == safefile::notRegularFile())
        why = QStringLiteral("is not a regular file");
    else if (why == safefile::tooLarge())
        why = QStringLiteral("is larger than %1 MB").arg(safefile::kMaxFileSize / (1024 * 1024));
    bytes->clear();
    *error = why;
    return false;
}

} // namespace orvalink
