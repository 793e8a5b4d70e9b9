#include "store/EventLog.h"

#include "store/FileLock.h"
#include "store/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QTimer>

#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvalink {

namespace {

constexpr int kFields = 10;
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz");

// A field's text with every character that could end a line, add a field
// or reach a terminal as a command written as an escape; \xNN is the
// character U+00NN.
QByteArray escape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QStringLiteral("\\\\");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out.toUtf8();
}

bool unescape(const QByteArray& field, QString* text)
{
    const QString in = QString::fromUtf8(field);
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in.at(i);
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in.at(i).unicode()) {
        case u'\\':
            out += QLatin1Char('\\');
            break;
        case u't':
            out += QLatin1Char('\t');
            break;
        case u'n':
            out += QLatin1Char('\n');
            break;
        case u'r':
            out += QLatin1Char('\r');
            break;
        case u'x': {
            bool ok = false;
            const uint code = in.mid(i + 1, 2).toUInt(&ok, 16);
            if (!ok || i + 2 >= in.size())
                return false;
            out += QChar(char16_t(code));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    *text = out;
    return true;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Something other than a regular file in the log's place (a pipe, a device,
// a folder, a link to one): it is neither read nor written, and no lock is
// made beside it (a link to /dev/zero would put one in /dev).
bool placeTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
}

} // namespace

EventLog::EventLog(const QString& logPath, QObject* parent) : EventLog(logPath, Limits{}, parent) {}

EventLog::EventLog(const QString& logPath, const Limits& limits, QObject* parent)
    : QObject(parent), m_path(logPath), m_limits(limits)
{
}

QString EventLog::pathFor(const QString& dbPath)
{
    const QFileInfo info(dbPath);
    const QString target = info.isSymLink() ? info.canonicalFilePath() : QString();
    const QFileInfo db(target.isEmpty() ? info.absoluteFilePath() : target);
    if (db.exists() && !db.isFile())
        return QString();
    return db.dir().filePath(QStringLiteral("events.log"));
}

QString EventLog::macDigits(const QString& mac)
{
    QString digits = mac;
    digits.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    if (digits.size() != 12)
        return QString();
    for (const QChar c : digits) {
        const char16_t u = c.toUpper().unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F')))
            return QString();
    }
    return digits.toUpper();
}

QByteArray EventLog::format(const Event& e)
{
    const QDateTime time = e.time.isValid() ? e.time.toUTC() : QDateTime::currentDateTimeUtc();
    QByteArray line = time.toString(kTimeFormat).toLatin1() + 'Z';
    for (const QString* field : {&e.operation, &e.outcome, &e.mac, &e.name, &e.host, &e.cause,
                                 &e.key, &e.oldValue, &e.newValue}) {
        line += '\t';
        line += escape(*field);
    }
    return line;
}

bool EventLog::parse(const QByteArray& lineIn, Event* event)
{
    QByteArray line = lineIn;
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() < kFields || !fields.at(0).endsWith('Z'))
        return false;
    Event e;
    // Read as UTC straight away: read as local time first, an hour that a
    // change to summer time skips would not exist.
    const QString stamp = QString::fromLatin1(fields.at(0).chopped(1));
    const QDate date = QDate::fromString(stamp.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime clock = QTime::fromString(stamp.mid(11), QStringLiteral("HH:mm:ss.zzz"));
    if (stamp.size() != 23 || stamp.at(10) != QLatin1Char('T') || !date.isValid() ||
        !clock.isValid())
        return false;
    e.time = QDateTime(date, clock, QTimeZone::utc());
    QString* texts[] = {&e.operation, &e.outcome, &e.mac,      &e.name,    &e.host,
                        &e.cause,     &e.key,     &e.oldValue, &e.newValue};
    for (int i = 0; i < kFields - 1; ++i) {
        if (!unescape(fields.at(i + 1), texts[i]))
            return false;
    }
    *event = e;
    return true;
}

QStringList EventLog::filesOldestFirst() const
{
    QStringList files;
    for (int i = m_limits.rotatedFiles; i >= 1; --i)
        files << m_path + QLatin1Char('.') + QString::number(i);
    files << m_path;
    return files;
}

bool EventLog::append(const Event& eventIn)
{
    Event event = eventIn;
    if (!event.time.isValid())
        event.time = QDateTime::currentDateTimeUtc();
    bool written = false;
    if (m_path.isEmpty())
        m_error = QStringLiteral("no event log: the element database is not a file");
    else if (placeTaken(m_path))
        m_error = QStringLiteral("%1 is not a regular file").arg(m_path);
    else
        written = write(format(event) + '\n');
    remember(event);
    Q_EMIT appended(event);
    return written;
}

void EventLog::remember(const Event& event)
{
    m_history.append(event);
    const qsizetype excess = m_history.size() - m_limits.historySize;
    if (excess > 0)
        m_history.remove(0, excess);
}

void EventLog::loadHistory()
{
    if (m_path.isEmpty() || placeTaken(m_path))
        return;
    // Newest file first, and only as many files as the history needs.
    const FileLock lock(FileLock::lockPathFor(m_path), qMin(m_limits.lockTimeoutMs, 200));
    QList<Event> events;
    const QStringList files = filesOldestFirst();
    for (auto it = files.crbegin(); it != files.crend() && events.size() < m_limits.historySize;
         ++it)
        events = readFile(*it, {}, {}) + events;
    const qsizetype excess = events.size() - m_limits.historySize;
    if (excess > 0)
        events.remove(0, excess);
    m_history = events;
    m_readOffset = QFileInfo(m_path).size();
}

namespace {
// The whole lines of a file from offset on; offset moves past them.
QList<QByteArray> linesFrom(const QString& path, qint64* offset)
{
    QByteArray all;
    QString error;
    if (!readRegularFile(path, &all, &error) || *offset > all.size())
        return {};
    const QByteArray bytes = all.mid(*offset);
    const qsizetype end = bytes.lastIndexOf('\n');
    if (end < 0)
        return {};
    *offset += end + 1;
    return bytes.left(end).split('\n');
}
} // namespace

bool EventLog::inHistory(const Event& event) const
{
    // Own lines come back in the order they were appended: the newest first.
    for (auto it = m_history.crbegin(); it != m_history.crend(); ++it) {
        if (*it == event)
            return true;
    }
    return false;
}

int EventLog::takeOtherAppends()
{
    if (m_path.isEmpty())
        return 0;
    const QFileInfo info(m_path);
    const qint64 size = info.exists() ? info.size() : 0;
    if (size == m_readOffset)
        return 0;
    QList<QByteArray> lines;
    if (size < m_readOffset) {
        // Rotated: the rest of what is now events.log.1, then the new file.
        qint64 rotatedOffset = m_readOffset;
        lines = linesFrom(m_path + QStringLiteral(".1"), &rotatedOffset);
        m_readOffset = 0;
    }
    lines += linesFrom(m_path, &m_readOffset);
    int joined = 0;
    for (const QByteArray& line : std::as_const(lines)) {
        Event e;
        if (!parse(line, &e) || inHistory(e))
            continue;
        remember(e);
        Q_EMIT appended(e);
        ++joined;
    }
    return joined;
}

void EventLog::followFile(int intervalMs)
{
    if (!m_followTimer) {
        m_followTimer = new QTimer(this);
        m_followTimer->setObjectName(QStringLiteral("tmrFollowEvents"));
        connect(m_followTimer, &QTimer::timeout, this, [this] { takeOtherAppends(); });
    }
    m_followTimer->stop();
    if (intervalMs > 0)
        m_followTimer->start(intervalMs);
}

#ifdef Q_OS_WIN

bool EventLog::rotate()
{
    QFile::remove(m_path + QLatin1Char('.') + QString::number(m_limits.rotatedFiles));
    for (int i = m_limits.rotatedFiles - 1; i >= 1; --i)
        QFile::rename(m_path + QLatin1Char('.') + QString::number(i),
                      m_path + QLatin1Char('.') + QString::number(i + 1));
    if (m_limits.rotatedFiles < 1)
        return QFile::remove(m_path);
    return QFile::rename(m_path, m_path + QStringLiteral(".1"));
}

bool EventLog::write(const QByteArray& line)
{
    const FileLock lock(FileLock::lockPathFor(m_path), m_limits.lockTimeoutMs);
    if (!lock.isLocked()) {
        m_error = lock.error();
        return false;
    }
    QFile file(m_path);
    if (file.exists() && file.size() > 0 && file.size() + line.size() > m_limits.maxBytes)
        rotate();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line) != line.size()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

#else

bool EventLog::rotate()
{
    // Oldest first, so that each rename replaces the file it moves onto.
    for (int i = m_limits.rotatedFiles - 1; i >= 1; --i) {
        const QByteArray from = QFile::encodeName(m_path + QLatin1Char('.') + QString::number(i));
        const QByteArray to = QFile::encodeName(m_path + QLatin1Char('.') + QString::number(i + 1));
        if (::rename(from.constData(), to.constData()) != 0 && errno != ENOENT) {
            m_error = QStringLiteral("cannot rotate %1: %2").arg(m_path, systemError());
            return false;
        }
    }
    const QByteArray current = QFile::encodeName(m_path);
    const int rc = m_limits.rotatedFiles < 1
                       ? ::unlink(current.constData())
                       : ::rename(current.constData(), (current + ".1").constData());
    if (rc != 0) {
        m_error = QStringLiteral("cannot rotate %1: %2").arg(m_path, systemError());
        return false;
    }
    return true;
}

bool EventLog::write(const QByteArray& lineIn)
{
    const FileLock lock(FileLock::lockPathFor(m_path), m_limits.lockTimeoutMs);
    if (!lock.isLocked()) {
        m_error = lock.error();
        return false;
    }
    const QByteArray native = QFile::encodeName(m_path);
    // Read and write: the last byte is looked at before appending.
    const auto open = [&native] {
        return ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                      0600);
    };
    int fd = open();
    if (fd < 0) {
        m_error = QStringLiteral("cannot open %1: %2").arg(m_path, systemError());
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = QStringLiteral("%1 is not a regular file").arg(m_path);
        ::close(fd);
        return false;
    }
    // The log names elements and addresses: a file of ours that others may
    // read (made by hand or by an older version) is made private again.
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::fchmod(fd, 0600);
    QByteArray line = lineIn;
    if (st.st_size > 0 && st.st_size + line.size() > m_limits.maxBytes) {
        ::close(fd);
        if (!rotate())
            return false;
        fd = open();
        if (fd < 0) {
            m_error = QStringLiteral("cannot open %1: %2").arg(m_path, systemError());
            return false;
        }
        st.st_size = 0;
    } else if (st.st_size > 0) {
        // A line cut short (a full disk, a writer killed in the middle)
        // stays alone on its line, so this one is read whole.
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
            line.prepend('\n');
    }
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = QStringLiteral("cannot write %1: %2").arg(m_path, systemError());
            // Nothing of this line stays: the file ends as it was.
            if (::ftruncate(fd, st.st_size) != 0) {
                // Still reported as a failed write; the next one starts a new line.
            }
            ::close(fd);
            return false;
        }
        done += n;
    }
    if (::close(fd) != 0) {
        m_error = QStringLiteral("cannot write %1: %2").arg(m_path, systemError());
        return false;
    }
    return true;
}

#endif

QList<Event> EventLog::readFile(const QString& path, const QDateTime& since,
                                const QString& macDigits, QString* error, QString* note)
{
    QList<Event> events;
    QByteArray bytes;
    QString why;
    const QFileInfo big(path);
    if (big.isFile() && big.size() > safefile::kMaxFileSize) {
        // Grown beyond the bound (rotation off, or another program's
        // appends): its newest lines, from the first whole one on.
        QFile f(path);
        if (f.open(QIODevice::ReadOnly | QIODevice::Unbuffered) &&
            f.seek(big.size() - safefile::kMaxFileSize))
            bytes = f.read(safefile::kMaxFileSize);
        bytes.remove(0, bytes.indexOf('\n') + 1);
        if (note)
            *note = QStringLiteral("%1 is larger than %2 MB: only its newest lines were read")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(safefile::kMaxFileSize / (1024 * 1024));
    } else if (!readRegularFile(path, &bytes, &why)) {
        const QFileInfo info(path);
        if (error && (info.exists() || info.isSymLink()))
            *error = QDir::toNativeSeparators(path) + QLatin1Char(' ') + why;
        return events;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray& line : lines) {
        Event e;
        if (!parse(line, &e))
            continue;
        if (since.isValid() && e.time < since)
            continue;
        if (!macDigits.isEmpty() && EventLog::macDigits(e.mac) != macDigits)
            continue;
        events.append(e);
    }
    return events;
}

QList<Event> EventLog::read(const QDateTime& since, const QString& mac, QString* error,
                            QString* note) const
{
    // A MAC that is none matches no event.
    const QString wanted = mac.isEmpty() ? QString() : macDigits(mac);
    if ((!mac.isEmpty() && wanted.isEmpty()) || m_path.isEmpty())
        return {};
    if (placeTaken(m_path))
        return readFile(m_path, since, wanted, error, note); // says why, reads nothing
    // Under the lock when it can be had soon, so that no rotation moves the
    // files while they are read; a reader never fails for the lock.
    const FileLock lock(FileLock::lockPathFor(m_path), qMin(m_limits.lockTimeoutMs, 200));
    QList<Event> events;
    for (const QString& path : filesOldestFirst())
        events += readFile(path, since, wanted, error, note);
    return events;
}

} // namespace orvalink
