#include "store/IniStore.h"

#include "core/Cp1252.h"
#include "store/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

// File stamps to the nanosecond from stat() where there is one; the portable
// reading otherwise (also forced by ORVALINK_PORTABLE_FILE_STAMPS, to test it).
#if defined(Q_OS_UNIX) && !defined(ORVALINK_PORTABLE_FILE_STAMPS)
#define ORVALINK_POSIX_FILE_STAMPS 1
#include <sys/stat.h>
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

namespace orvalink {

namespace {

// ---------------------------------------------------------------------------
// Text helpers

bool isIniSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\v' || u == u'\f';
}

QStringView trimIniSpace(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isIniSpace(s[b]))
        ++b;
    while (e > b && isIniSpace(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool hasLineBreakOrNul(QStringView s)
{
    for (const QChar c : s) {
        if (c == u'\n' || c == u'\r' || c == u'\0')
            return true;
    }
    return false;
}

// The value as a reader sees it: blanks around it removed, then one pair of
// enclosing double quotes removed.
QStringView cookValue(QStringView raw)
{
    QStringView v = trimIniSpace(raw);
    if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"')
        v = v.mid(1, v.size() - 2);
    return v;
}

// Key of a section name in the index: trimmed and upper case. Names are
// normally stored in upper case already, and then this allocates nothing.
QString indexKey(const QString& name)
{
    const QStringView t = trimIniSpace(name);
    return (t.size() == name.size() ? name : t.toString()).toUpper();
}

// ---------------------------------------------------------------------------
// The parsed file

// Hash of a key name that ignores case the way the comparisons do, so a
// lookup touches only the one line whose key it wants.
uint keyHash(QStringView key)
{
    uint h = 0;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        const char16_t f =
            u < 0x80 ? ((u >= u'A' && u <= u'Z') ? u + 32 : u) : c.toCaseFolded().unicode();
        h = h * 31 + f;
    }
    return h;
}

struct Entry {
    int line = 0;
    int eq = -1;   // position of the first "=" in the line, -1 for none
    uint hash = 0; // keyHash of the key
};

struct Section {
    QString name; // trimmed, as spelled in the file
    int headerLine = 0;
    int endLine = 0; // one past the last line belonging to the section
    QList<Entry> entries;
};

struct Document {
    QStringList lines;
    QString eol = QStringLiteral("\r\n"); // line end written on rewrite
    bool finalEol = true;                 // the last line ends with a line end
    QList<Section> sections;
    QHash<QString, int> index; // indexKey(name) -> first section of that name

    static Document fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;
    void parse();

    QStringView keyOf(const Entry& e) const
    {
        const QString& l = lines.at(e.line);
        return trimIniSpace(e.eq < 0 ? QStringView(l) : QStringView(l).left(e.eq));
    }
    QStringView rawValueOf(const Entry& e) const
    {
        if (e.eq < 0)
            return {};
        return QStringView(lines.at(e.line)).mid(e.eq + 1);
    }
    const Section* find(const QString& name) const
    {
        const auto it = index.constFind(indexKey(name));
        return it == index.constEnd() ? nullptr : &sections.at(*it);
    }
    const Entry* findEntry(const Section& s, QStringView key) const
    {
        const QStringView k = trimIniSpace(key);
        const uint h = keyHash(k);
        for (const Entry& e : s.entries) {
            if (e.hash == h && keyOf(e).compare(k, Qt::CaseInsensitive) == 0)
                return &e;
        }
        return nullptr;
    }

    // Editing; each edit re-parses.
    bool setValue(const QString& section, QStringView key, QStringView value);
    bool removeSection(QStringView section);
    bool removeKey(const QString& section, QStringView key);
};

Document Document::fromBytes(const QByteArray& bytes)
{
    Document doc;
    const QString text = cp1252::decode(bytes);
    // A line ends with CR LF, LF or CR alone; the first line end of the file
    // is the one rewritten lines get.
    const QChar* const p = text.constData();
    const qsizetype n = text.size();
    doc.lines.reserve(text.count(u'\n') + 1);
    qsizetype from = 0;
    bool eolSeen = false;
    while (from < n) {
        qsizetype i = from;
        while (i < n && p[i] != u'\n' && p[i] != u'\r')
            ++i;
        doc.lines.append(text.sliced(from, i - from));
        if (i >= n)
            break;
        const bool crlf = p[i] == u'\r' && i + 1 < n && p[i + 1] == u'\n';
        if (!eolSeen) {
            eolSeen = true;
            doc.eol = crlf ? QStringLiteral("\r\n")
                           : (p[i] == u'\n' ? QStringLiteral("\n") : QStringLiteral("\r"));
        }
        from = i + (crlf ? 2 : 1);
    }
    doc.finalEol = text.isEmpty() || text.endsWith(u'\n') || text.endsWith(u'\r');
    doc.parse();
    return doc;
}

QByteArray Document::toBytes() const
{
    QString text = lines.join(eol);
    if (finalEol && !lines.isEmpty())
        text += eol;
    return cp1252::encode(text);
}

void Document::parse()
{
    sections.clear();
    index.clear();
    Section* current = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
        QStringView t = trimIniSpace(lines.at(i));
        // A UTF-8 byte-order mark left by an editor must not hide the first section.
        if (i == 0 && t.startsWith(QStringLiteral("\u00EF\u00BB\u00BF")))
            t = trimIniSpace(t.mid(3));
        if (t.isEmpty() || t.front() == u';')
            continue;
        if (t.front() == u'[') {
            if (current)
                current->endLine = i;
            QStringView name = t.mid(1);
            const qsizetype close = name.indexOf(u']');
            if (close >= 0)
                name = name.left(close);
            Section s;
            s.name = trimIniSpace(name).toString();
            s.headerLine = i;
            sections.append(s);
            current = &sections.last();
            continue;
        }
        if (current) {
            Entry e{i, int(lines.at(i).indexOf(u'=')), 0};
            e.hash = keyHash(keyOf(e));
            current->entries.append(e);
        }
    }
    if (current)
        current->endLine = int(lines.size());
    // The first section of each name is the one that counts.
    for (int i = int(sections.size()) - 1; i >= 0; --i)
        index.insert(indexKey(sections.at(i).name), i);
}

bool Document::setValue(const QString& section, QStringView key, QStringView value)
{
    const Section* s = find(section);
    if (!s) {
        lines.append(QLatin1Char('[') + trimIniSpace(section).toString() + QLatin1Char(']'));
        lines.append(cp1252::toUpper(trimIniSpace(key)) + QLatin1Char('=') + value.toString());
    } else if (const Entry* e = findEntry(*s, key)) {
        // In place: the key keeps its spelling and the rest of the file its bytes.
        const QString& old = lines.at(e->line);
        const QString line = e->eq < 0 ? old + QLatin1Char('=') + value.toString()
                                       : old.left(e->eq + 1) + value.toString();
        if (line == old)
            return false;
        lines[e->line] = line;
    } else {
        const int at = s->entries.isEmpty() ? s->headerLine + 1 : s->entries.last().line + 1;
        lines.insert(at, cp1252::toUpper(trimIniSpace(key)) + QLatin1Char('=') + value.toString());
    }
    parse();
    return true;
}

bool Document::removeSection(QStringView section)
{
    const QStringView name = trimIniSpace(section);
    bool changed = false;
    for (int i = int(sections.size()) - 1; i >= 0; --i) {
        const Section& s = sections.at(i);
        if (QStringView(s.name).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        lines.remove(s.headerLine, s.endLine - s.headerLine);
        changed = true;
    }
    if (changed)
        parse();
    return changed;
}

bool Document::removeKey(const QString& section, QStringView key)
{
    const Section* s = find(section);
    if (!s)
        return false;
    const QStringView k = trimIniSpace(key);
    bool changed = false;
    for (int i = int(s->entries.size()) - 1; i >= 0; --i) {
        const Entry& e = s->entries.at(i);
        if (keyOf(e).compare(k, Qt::CaseInsensitive) == 0) {
            lines.removeAt(e.line);
            changed = true;
        }
    }
    if (changed)
        parse();
    return changed;
}

// ---------------------------------------------------------------------------
// File identity

struct FileId {
    quint64 dev = 0;
    quint64 ino = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    bool operator==(const FileId&) const = default;
};

enum class StatResult { Present, Missing, Folder, Special, Failed };

// Why a file cannot be read, as a predicate: "<the file> cannot be read (...)".
QString cannotRead(const QString& why)
{
    return QStringLiteral("cannot be read (%1)").arg(why);
}

// The largest database read: far above any real one (2,000 elements take
// less than 1 MB), low enough that a wrong file cannot exhaust memory.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

const QString kNotRegular =
    QStringLiteral("is not a regular file (a device, pipe or socket cannot be a database)");

QString tooLarge()
{
    return QStringLiteral("is larger than %1 MB, too large for an element database")
        .arg(kMaxFileSize / (1024 * 1024));
}

// The identity and stamps of the file at a path. On Unix from stat(), to the
// nanosecond; elsewhere from QFileInfo (no inode, millisecond stamps), which
// only makes more reads compare contents (see CacheEntry::settled).
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
    id.dev = quint64(st.st_dev);
    id.ino = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
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

// The clock the file system stamps files with, read at its own (coarse)
// resolution: a file stamped before this moment cannot be changed again
// without getting a later stamp.
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

// Reads the regular file at native whole, with its identity. Anything else
// (a folder, a device, a pipe, a file beyond kMaxFileSize) is refused with
// a reason, without blocking and without reading more than the limit.
bool readWholeFile(const QByteArray& native, QByteArray& bytes, FileId& id, QString& error)
{
#ifdef ORVALINK_POSIX_FILE_STAMPS
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = cannotRead(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok)
        error = cannotRead(QString::fromLocal8Bit(strerror(errno)));
    else if (S_ISDIR(st.st_mode))
        error = QStringLiteral("is a folder");
    else if (!S_ISREG(st.st_mode))
        error = kNotRegular;
    else if (st.st_size > kMaxFileSize)
        error = tooLarge();
    ok = ok && error.isEmpty();
    if (ok) {
        id.dev = quint64(st.st_dev);
        id.ino = quint64(st.st_ino);
        id.size = qint64(st.st_size);
        id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        id.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        bytes.resize(qsizetype(st.st_size));
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
                error = cannotRead(QString::fromLocal8Bit(strerror(errno)));
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
        error = kNotRegular;
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

// Text this store would misread and then corrupt on the next write: the
// database is single-byte text. A UTF-8 byte-order mark is skipped instead.
QString unsupportedEncoding(const QByteArray& bytes)
{
    const auto starts = [&](const char* mark, qsizetype size) {
        return bytes.startsWith(QByteArrayView(mark, size));
    };
    QString kind;
    if (starts("\xFF\xFE\x00\x00", 4) || starts("\x00\x00\xFE\xFF", 4))
        kind = QStringLiteral("UTF-32");
    else if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))
        kind = QStringLiteral("UTF-16");
    if (kind.isEmpty())
        return {};
    return QStringLiteral("is %1 text (it starts with a %1 byte-order mark); an element "
                          "database is ANSI (Windows-1252) text. Save it in that encoding, or "
                          "name another file")
        .arg(kind);
}

// A file that is no text at all (a program, an image, random bytes): read
// as a database it would list as empty, and the next write would replace
// it. Text never holds a NUL byte; other control characters may stand in a
// name and are no sign of a wrong file.
QString notText(const QByteArray& bytes)
{
    if (!bytes.contains('\0'))
        return {};
    return QStringLiteral("is not a text file (it holds NUL bytes); an element database is "
                          "text. Name another file");
}

// ---------------------------------------------------------------------------
// Writing

struct WriteFaultPlan {
    qint64 afterBytes = -1; // stop after this many bytes (tests), -1 for never
    bool kills = false;     // and leave the temporary behind, as a killed program does
};

QString injectedFault(qint64 written)
{
    return QStringLiteral("write stopped after %1 bytes (injected fault)").arg(written);
}

// A temporary is named after the file it replaces, a marker of this program
// and six random letters and digits: "nms.ini.~orvalink-tmp-Xy3k9Q". The
// marker keeps the start-up clean-up away from every other file beside the
// database, an operator's "nms.ini.bak001" or "nms.ini.old123" included.
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

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

QByteArray temporarySuffix()
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix = kTemporaryMarker.toLatin1();
    for (int i = 0; i < kTemporaryRandomLength; ++i)
        suffix += kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))];
    return suffix;
}

// The file a path names: a symbolic link is followed, so that a rewrite
// replaces the file it points to and not the link.
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

// Replaces the file at path in one step: the new content goes into a
// temporary beside it (created readable by its owner only, and locked while
// it is written), which takes the old file's owner, group and mode where
// allowed and is then renamed over it. A new file stays owner-only: it holds
// the elements' communities.
bool replaceFile(const QString& path, const QByteArray& bytes, const WriteFaultPlan& fault,
                 QString& error)
{
    const QByteArray target = writeTarget(QFile::encodeName(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + '.' + temporarySuffix();
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = systemError();
        return false;
    }
    ::flock(fd, LOCK_EX); // a start-up clean-up leaves a locked temporary alone
    const auto abandon = [&](const QString& why) {
        error = why;
        ::unlink(temp.constData());
        ::close(fd);
        return false;
    };
    if (exists) {
        // The owner where we may give it (as root), else at least the group.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
            // Neither: the file becomes ours, with its old mode.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return abandon(systemError());
    }

    qint64 toWrite = bytes.size();
    if (fault.afterBytes >= 0 && fault.afterBytes < toWrite)
        toWrite = fault.afterBytes;
    qint64 written = 0;
    while (written < toWrite) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(toWrite - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return abandon(systemError());
        written += n;
    }
    if (toWrite != bytes.size()) {
        if (!fault.kills)
            return abandon(injectedFault(written));
        ::close(fd); // the program ends here: its temporary stays
        error = injectedFault(written);
        return false;
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return abandon(systemError());
    if (::rename(temp.constData(), target.constData()) != 0)
        return abandon(systemError());
    ::close(fd);
    return true;
}

#else

bool replaceFile(const QString& path, const QByteArray& bytes, const WriteFaultPlan& fault,
                 QString& error)
{
    QSaveFile f(path);
    const bool exists = QFileInfo::exists(path);
    if (!f.open(QIODevice::WriteOnly)) {
        error = f.errorString();
        return false;
    }
    if (!exists)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qint64 toWrite = bytes.size();
    if (fault.afterBytes >= 0 && fault.afterBytes < toWrite)
        toWrite = fault.afterBytes;
    if (f.write(bytes.constData(), toWrite) != toWrite || toWrite != bytes.size()) {
        error = toWrite != bytes.size() ? injectedFault(toWrite) : f.errorString();
        f.cancelWriting();
        f.commit();
        return false;
    }
    if (!f.commit()) {
        error = f.errorString();
        return false;
    }
    return true;
}

#endif

enum class FileState { Missing, Present, Unreadable };

struct CacheEntry {
    FileId id;
    QByteArray raw;
    // Shared with the snapshots taken of it: a new version of the file gets
    // a new document, and a snapshot keeps the one it was taken of.
    std::shared_ptr<const Document> doc;
    // True when the file's stamps are older than the moment it was read, so
    // an unchanged identity proves an unchanged content. Otherwise the file
    // was changed within the current clock tick and another change in the
    // same tick could keep every stamp: the content is compared again.
    bool settled = false;
};

} // namespace

// ---------------------------------------------------------------------------

struct IniStore::Impl {
    IniStore* q = nullptr;
    QHash<QString, CacheEntry> cache;
    QSet<QString> failing; // paths whose last write failed and was reported
    qint64 faultAfterBytes = -1;
    bool faultKills = false; // the injected fault ends the write as a killed program would
    int lockTimeoutMs = FileLock::kDefaultTimeoutMs;

    // The cache key of a path (absolute and clean) and its name for the
    // system calls; the last one is remembered, as a program uses one file.
    QString lastPath;
    QString lastKey;
    QByteArray lastNative;
    const QString& keyFor(const QString& path)
    {
        if (path != lastPath || lastKey.isEmpty()) {
            lastPath = path;
            lastKey = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
            lastNative = QFile::encodeName(lastKey);
        }
        return lastKey;
    }
    const QByteArray& nativeFor(const QString& path)
    {
        keyFor(path);
        return lastNative;
    }

    struct Loaded {
        FileState state = FileState::Missing;
        std::shared_ptr<const Document> doc; // set when Present
        QString error;                       // set when Unreadable
    };

    // fresh: read the file even when its stamps call the kept copy current.
    Loaded load(const QString& path, bool fresh = false);
    bool readFile(const QString& path, CacheEntry& entry, QString& error) const;

    // Stamps and the file clock as a file system with this resolution would
    // give them (0: as they are). Tests use it to make stamps tie.
    qint64 stampResolutionNs = 0;
    qint64 coarse(qint64 ns) const
    {
        return stampResolutionNs > 0 ? ns - ns % stampResolutionNs : ns;
    }
    StatResult stat(const QByteArray& native, FileId& id, QString& error) const
    {
        const StatResult r = statFile(native, id, error);
        id.mtimeNs = coarse(id.mtimeNs);
        id.ctimeNs = coarse(id.ctimeNs);
        return r;
    }
    void remember(const QString& key, const QByteArray& bytes);
    bool save(const QString& path, const Document& doc);
    void fail(const QString& path, const QString& reason);
    QString lastError;          // why the last write failed; empty after a success
    bool deferFailures = false; // writeFailed waits until the lock is let go
    std::optional<std::pair<QString, QString>> deferredFailure;

    // Runs edit on the current document and writes the result when it changed.
    // False when the file could not be read or written (lastError says why).
    template <typename Edit> bool modify(const QString& path, bool createIfMissing, Edit edit);
};

bool IniStore::Impl::readFile(const QString& path, CacheEntry& entry, QString& error) const
{
    const qint64 startNs = coarse(fileClockNowNs());
    FileId id;
    QByteArray bytes;
    if (!readWholeFile(QFile::encodeName(path), bytes, id, error))
        return false;
    id.mtimeNs = coarse(id.mtimeNs);
    id.ctimeNs = coarse(id.ctimeNs);
    error = unsupportedEncoding(bytes);
    if (error.isEmpty())
        error = notText(bytes);
    if (!error.isEmpty())
        return false;
    if (!entry.raw.isNull() && entry.raw == bytes) {
        entry.id = id; // same content: keep the parsed copy
    } else {
        entry.raw = bytes;
        entry.doc = std::make_shared<const Document>(Document::fromBytes(bytes));
        entry.id = id;
    }
    entry.settled = id.mtimeNs < startNs && id.ctimeNs < startNs;
    return true;
}

IniStore::Impl::Loaded IniStore::Impl::load(const QString& path, bool fresh)
{
    const QString key = keyFor(path);
    FileId id;
    QString statError;
    switch (stat(nativeFor(path), id, statError)) {
    case StatResult::Present:
        break;
    case StatResult::Missing:
        cache.remove(key);
        return {FileState::Missing, nullptr, {}};
    case StatResult::Folder:
        cache.remove(key);
        return {FileState::Unreadable, nullptr, QStringLiteral("is a folder")};
    case StatResult::Special:
        cache.remove(key);
        return {FileState::Unreadable, nullptr, kNotRegular};
    case StatResult::Failed:
        cache.remove(key);
        return {FileState::Unreadable, nullptr, statError};
    }
    auto it = cache.find(key);
    if (it != cache.end() && it->id == id && it->settled && !fresh)
        return {FileState::Present, it->doc, {}};

    if (it == cache.end()) {
        // Keep the cache small: a program uses one database, tests a few.
        if (cache.size() >= 16)
            cache.clear();
        it = cache.insert(key, CacheEntry{});
    } else if (!(it->id == id)) {
        it->raw = QByteArray(); // changed: no point comparing contents
    }
    QString error;
    if (!readFile(key, *it, error)) {
        cache.erase(it);
        return {FileState::Unreadable, nullptr, error};
    }
    return {FileState::Present, it->doc, {}};
}

void IniStore::Impl::remember(const QString& key, const QByteArray& bytes)
{
    FileId id;
    QString error;
    if (stat(QFile::encodeName(key), id, error) != StatResult::Present) {
        cache.remove(key);
        return;
    }
    CacheEntry& e = cache[key];
    e.id = id;
    e.raw = bytes;
    // Parsed from the bytes written, so the copy holds exactly what a fresh
    // read would (text the code page cannot hold was written as "?").
    e.doc = std::make_shared<const Document>(Document::fromBytes(bytes));
    // Another program may have changed the file between the rename and the
    // stat above: the next read compares the content once before trusting it.
    e.settled = false;
}

void IniStore::Impl::fail(const QString& path, const QString& reason)
{
    lastError = reason;
    const QString key = keyFor(path);
    if (failing.contains(key))
        return;
    failing.insert(key);
    if (deferFailures)
        deferredFailure = {path, reason};
    else
        Q_EMIT q->writeFailed(path, reason);
}

bool IniStore::Impl::save(const QString& path, const Document& doc)
{
    const QString key = keyFor(path);
    const QByteArray bytes = doc.toBytes();
    WriteFaultPlan fault;
    fault.afterBytes = faultAfterBytes;
    fault.kills = faultKills;
    QString error;
    if (!replaceFile(key, bytes, fault, error)) {
        fail(path, error);
        return false;
    }
    failing.remove(key);
    remember(key, bytes);
    return true;
}

template <typename Edit>
bool IniStore::Impl::modify(const QString& path, bool createIfMissing, Edit edit)
{
    lastError.clear();
    // A slot of writeFailed may write the file itself: it is told after the
    // lock is let go.
    deferredFailure.reset();
    deferFailures = true;
    const bool ok = [&] {
        // One writer at a time across processes: another program's rewrite
        // between our read and our rename would be lost. Readers take no
        // lock; the rename shows them the old file or the new one, whole.
        const FileLock lock(FileLock::lockPathFor(path), lockTimeoutMs);
        if (!lock.isLocked()) {
            fail(path, lock.heldByOther()
                           ? QStringLiteral("%1 is locked by another program; nothing was "
                                            "written (%2)")
                                 .arg(QFileInfo(path).fileName(), lock.error())
                           : lock.error());
            return false;
        }
        // What this write edits is the file as it is now, under the lock: a
        // copy that a stamp calls unchanged may still be a change behind.
        const Loaded l = load(path, true);
        if (l.state == FileState::Unreadable) {
            fail(path, QStringLiteral("the existing file ") + l.error);
            return false;
        }
        if (l.state == FileState::Missing && !createIfMissing)
            return true;
        Document doc = l.doc ? *l.doc : Document{};
        if (!edit(doc))
            return true;
        return save(path, doc);
    }();
    deferFailures = false;
    if (deferredFailure) {
        const auto [failedPath, reason] = *deferredFailure;
        deferredFailure.reset();
        Q_EMIT q->writeFailed(failedPath, reason);
    }
    return ok;
}

// ---------------------------------------------------------------------------

IniStore::IniStore(QObject* parent) : QObject(parent), d(std::make_unique<Impl>())
{
    d->q = this;
}

IniStore::~IniStore() = default;

void IniStore::injectWriteFault(qint64 failAfterBytes, WriteFault kind)
{
    d->faultAfterBytes = failAfterBytes;
    d->faultKills = kind == WriteFault::Killed;
}

void IniStore::setLockTimeout(int ms)
{
    d->lockTimeoutMs = ms;
}

void IniStore::simulateStampResolution(qint64 resolutionNs)
{
    d->stampResolutionNs = resolutionNs;
}

namespace {

// The reads, on one parsed copy (null for a missing or unreadable file).

QString readValue(const Document* doc, const QString& section, const QString& key,
                  const QString& def)
{
    const Section* s = doc ? doc->find(section) : nullptr;
    const Entry* e = s ? doc->findEntry(*s, key) : nullptr;
    if (!e)
        return def;
    return cookValue(doc->rawValueOf(*e)).left(IniStore::kMaxValueLength).toString();
}

long readNumber(const Document* doc, const QString& section, const QString& key, long def)
{
    const QString v = readValue(doc, section, key, QString());
    if (v.isEmpty())
        return def;
    constexpr quint64 kMax = std::numeric_limits<quint32>::max();
    quint64 n = 0;
    for (const QChar c : v) {
        if (c < u'0' || c > u'9')
            break;
        n = qMin(kMax, n * 10 + quint64(c.unicode() - u'0'));
    }
    return long(n);
}

bool hasKey(const Document* doc, const QString& section, const QString& key)
{
    // Same answer as reading with two different defaults and comparing.
    const Section* s = doc ? doc->find(section) : nullptr;
    return s && doc->findEntry(*s, key);
}

bool hasKeyLines(const Document* doc, const QString& section)
{
    const Section* s = doc ? doc->find(section) : nullptr;
    return s && !s->entries.isEmpty();
}

QStringList namesOfSections(const Document* doc)
{
    QStringList names;
    if (!doc)
        return names;
    names.reserve(doc->sections.size());
    for (int i = 0; i < doc->sections.size(); ++i) {
        const Section& s = doc->sections.at(i);
        if (!s.name.isEmpty() && doc->index.value(indexKey(s.name)) == i)
            names.append(s.name);
    }
    return names;
}

QStringList keysOfSection(const Document* doc, const QString& section)
{
    QStringList keys;
    const Section* s = doc ? doc->find(section) : nullptr;
    if (!s)
        return keys;
    for (const Entry& e : s->entries)
        keys.append(doc->keyOf(e).toString());
    return keys;
}

int keyCountOfSection(const Document* doc, const QString& section)
{
    const Section* s = doc ? doc->find(section) : nullptr;
    return s ? int(s->entries.size()) : 0;
}

} // namespace

QString IniStore::read(const QString& section, const QString& key, const QString& path,
                       const QString& def) const
{
    return readValue(d->load(path).doc.get(), section, key, def);
}

struct IniStore::Snapshot::Data {
    std::shared_ptr<const Document> doc; // null: missing or unreadable
    QString error;                       // why it could not be read
};

IniStore::Snapshot::Snapshot() = default;

IniStore::Snapshot IniStore::snapshot(const QString& path) const
{
    Impl::Loaded l = d->load(path);
    auto data = std::make_shared<Snapshot::Data>();
    data->doc = std::move(l.doc);
    if (l.state == FileState::Unreadable)
        data->error = l.error;
    Snapshot snap;
    snap.m_data = std::move(data);
    return snap;
}

QString IniStore::Snapshot::read(const QString& section, const QString& key,
                                 const QString& def) const
{
    return readValue(m_data ? m_data->doc.get() : nullptr, section, key, def);
}

long IniStore::Snapshot::readLong(const QString& section, const QString& key, long def) const
{
    return readNumber(m_data ? m_data->doc.get() : nullptr, section, key, def);
}

bool IniStore::Snapshot::keyExists(const QString& section, const QString& key) const
{
    return hasKey(m_data ? m_data->doc.get() : nullptr, section, key);
}

bool IniStore::Snapshot::sectionExists(const QString& section) const
{
    return hasKeyLines(m_data ? m_data->doc.get() : nullptr, section);
}

QStringList IniStore::Snapshot::sectionNames() const
{
    return namesOfSections(m_data ? m_data->doc.get() : nullptr);
}

QStringList IniStore::Snapshot::sectionKeys(const QString& section) const
{
    return keysOfSection(m_data ? m_data->doc.get() : nullptr, section);
}

int IniStore::Snapshot::sectionKeyCount(const QString& section) const
{
    return keyCountOfSection(m_data ? m_data->doc.get() : nullptr, section);
}

QString IniStore::Snapshot::readError() const
{
    return m_data ? m_data->error : QString();
}

namespace {

QString checkSection(const QString& section)
{
    const QStringView s = trimIniSpace(section);
    if (s.isEmpty())
        return QStringLiteral("empty section name");
    if (hasLineBreakOrNul(section) || s.contains(u']'))
        return QStringLiteral("section name \"%1\" cannot be stored").arg(section);
    return {};
}

QString checkKey(const QString& key)
{
    const QStringView k = trimIniSpace(key);
    if (k.isEmpty())
        return QStringLiteral("empty key name");
    if (hasLineBreakOrNul(key) || k.contains(u'=') || k.front() == u'[' || k.front() == u';')
        return QStringLiteral("key name \"%1\" cannot be stored").arg(key);
    return {};
}

QString checkValue(const QString& value)
{
    if (hasLineBreakOrNul(value))
        return QStringLiteral("value holds a line break or NUL character");
    return {};
}

} // namespace

bool IniStore::write(const QString& section, const QString& key, const QString& value,
                     const QString& path)
{
    return writeKeys(section, {{key, value}}, path);
}

bool IniStore::writeKeys(const QString& section, const QList<QPair<QString, QString>>& keyValues,
                         const QString& path)
{
    QString problem = checkSection(section);
    for (const auto& [key, value] : keyValues) {
        if (problem.isEmpty())
            problem = checkKey(key);
        if (problem.isEmpty())
            problem = checkValue(value);
    }
    if (!problem.isEmpty()) {
        d->lastError.clear();
        d->fail(path, problem);
        return false;
    }
    return d->modify(path, true, [&](Document& doc) {
        bool changed = false;
        for (const auto& [key, value] : keyValues)
            changed = doc.setValue(section, key, value) || changed;
        return changed;
    });
}

bool IniStore::deleteSection(const QString& section, const QString& path)
{
    return d->modify(path, false, [&](Document& doc) { return doc.removeSection(section); });
}

bool IniStore::deleteKey(const QString& section, const QString& key, const QString& path)
{
    return d->modify(path, false, [&](Document& doc) { return doc.removeKey(section, key); });
}

QString IniStore::lastError() const
{
    return d->lastError;
}

bool IniStore::keyExists(const QString& section, const QString& key, const QString& path) const
{
    return hasKey(d->load(path).doc.get(), section, key);
}

bool IniStore::sectionExists(const QString& section, const QString& path) const
{
    return hasKeyLines(d->load(path).doc.get(), section);
}

long IniStore::readLong(const QString& section, const QString& key, const QString& path,
                        long def) const
{
    return readNumber(d->load(path).doc.get(), section, key, def);
}

void IniStore::renameKey(const QString& section, const QString& key, const QString& newKey,
                         const QString& path)
{
    const QString problem = checkKey(newKey);
    if (!problem.isEmpty()) {
        if (keyExists(section, key, path))
            d->fail(path, problem);
        return;
    }
    d->modify(path, false, [&](Document& doc) {
        const Section* s = doc.find(section);
        const Entry* e = s ? doc.findEntry(*s, key) : nullptr;
        if (!e)
            return false;
        const QString value = doc.rawValueOf(*e).toString();
        const QString upper = cp1252::toUpper(trimIniSpace(newKey));
        if (doc.keyOf(*e).compare(upper, Qt::CaseInsensitive) == 0) {
            // Same key: writing the new name and deleting the old would
            // delete the key itself. Re-spell it instead.
            const QString line = upper + QLatin1Char('=') + value;
            if (doc.lines.at(e->line) == line)
                return false;
            doc.lines[e->line] = line;
            doc.parse();
            return true;
        }
        doc.setValue(section, upper, value);
        doc.removeKey(section, key);
        return true;
    });
}

void IniStore::renameSection(const QString& section, const QString& newSection, const QString& path)
{
    const QString problem = checkSection(newSection);
    if (!problem.isEmpty()) {
        const Impl::Loaded l = d->load(path);
        if (l.doc && l.doc->find(section))
            d->fail(path, problem);
        return;
    }
    d->modify(path, false, [&](Document& doc) {
        const Section* s = doc.find(section);
        if (!s)
            return false;
        const QStringView newName = trimIniSpace(newSection);
        if (QStringView(s->name).compare(newName, Qt::CaseInsensitive) == 0) {
            const QString header = QLatin1Char('[') + newName.toString() + QLatin1Char(']');
            if (doc.lines.at(s->headerLine) == header)
                return false;
            doc.lines[s->headerLine] = header;
            doc.parse();
            return true;
        }
        QList<QPair<QString, QString>> moved;
        for (const Entry& e : s->entries) {
            const QStringView k = doc.keyOf(e);
            if (e.eq < 0 || k.isEmpty() || k.front() == u'[')
                continue; // nothing that could be written back as a key
            moved.append({cp1252::toUpper(k), doc.rawValueOf(e).toString()});
        }
        const QString target = newName.toString();
        for (const auto& [k, v] : moved)
            doc.setValue(target, k, v);
        doc.removeSection(section);
        return true;
    });
}

QStringList IniStore::sectionNames(const QString& path) const
{
    return namesOfSections(d->load(path).doc.get());
}

QStringList IniStore::sectionKeys(const QString& section, const QString& path) const
{
    return keysOfSection(d->load(path).doc.get(), section);
}

QString IniStore::readError(const QString& path) const
{
    const Impl::Loaded l = d->load(path);
    return l.state == FileState::Unreadable ? l.error : QString();
}

int IniStore::removeStaleTemporaries(const QString& path)
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

int IniStore::sectionKeyCount(const QString& section, const QString& path) const
{
    return keyCountOfSection(d->load(path).doc.get(), section);
}

bool readRegularFile(const QString& path, QByteArray* bytes, QString* error)
{
    FileId id;
    QString why;
    if (readWholeFile(QFile::encodeName(path), *bytes, id, why))
        return true;
    // The reasons above speak of a database; these files are not one.
    if (why == kNotRegular)
        why = QStringLiteral("is not a regular file");
    else if (why == tooLarge())
        why = QStringLiteral("is larger than %1 MB").arg(kMaxFileSize / (1024 * 1024));
    bytes->clear();
    *error = why;
    return false;
}

} // namespace orvalink
