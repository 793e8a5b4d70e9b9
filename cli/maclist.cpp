// The list of MACs behind apply --macs FILE: a regular file or a pipe (a
// shell's <(...) is one), read with bounds on its size, its lines and, for
// a pipe, on how long it may stay silent.

#include "Cli.h"

#include "store/IniStore.h"
#include "store/SafeFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvalink::cli {

namespace {

QString cannotRead()
{
    return QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(strerror(errno)));
}

QString tooLarge()
{
    return QStringLiteral("is larger than %1 MB").arg(kMacListMaxBytes / (1024 * 1024));
}

// Reads a pipe to its end: never more than the bound, never waiting longer
// than kMacListSilenceMs for the next bytes. False with *error otherwise.
bool readPipe(int fd, QByteArray* bytes, QString* error)
{
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kMacListSilenceMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            *error = cannotRead();
            return false;
        }
        if (ready == 0) {
            *error = QStringLiteral("sent nothing for %1 s").arg(kMacListSilenceMs / 1000);
            return false;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0) {
            *error = cannotRead();
            return false;
        }
        if (got == 0)
            return true;
        if (bytes->size() + got > kMacListMaxBytes) {
            *error = tooLarge();
            return false;
        }
        bytes->append(buffer, got);
    }
}

// The whole text of path, a regular file or a pipe; anything else (a
// folder, a device that may stream forever, a socket) is refused.
bool readListText(const QString& path, QByteArray* bytes, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    // Not blocking: a pipe nobody writes to is waited on below, bounded.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = cannotRead();
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = cannotRead();
        ::close(fd);
        return false;
    }
    if (S_ISFIFO(st.st_mode)) {
        const bool ok = readPipe(fd, bytes, error);
        ::close(fd);
        return ok;
    }
    ::close(fd);
    if (S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("is a folder");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("is not a regular file or a pipe");
        return false;
    }
    if (st.st_size > kMacListMaxBytes) {
        *error = tooLarge();
        return false;
    }
    if (!readRegularFile(path, bytes, error))
        return false;
    if (bytes->size() > kMacListMaxBytes) { // grew since
        *error = tooLarge();
        return false;
    }
    return true;
}

} // namespace

bool readMacList(const Context& ctx, const QString& path, QStringList* macs)
{
    QByteArray bytes;
    QString error;
    if (readListText(path, &bytes, &error)) {
        qsizetype lines = 0;
        for (qsizetype at = 0; at < bytes.size() && error.isEmpty();) {
            qsizetype end = bytes.indexOf('\n', at);
            if (end < 0)
                end = bytes.size();
            if (++lines > kMacListMaxLines) {
                error = QStringLiteral("has more than %1 lines").arg(kMacListMaxLines);
                break;
            }
            const QByteArrayView line = QByteArrayView(bytes).sliced(at, end - at).trimmed();
            if (!line.isEmpty() && !line.startsWith('#'))
                macs->append(QString::fromLatin1(line));
            at = end + 1;
        }
        if (error.isEmpty() && macs->isEmpty())
            error = QStringLiteral("names no element");
    }
    if (error.isEmpty())
        return true;
    macs->clear();
    usageError(ctx, printable(path) + QLatin1Char(' ') + printable(error));
    return false;
}

} // namespace orvalink::cli
