#include "store/IniStore.h"

#include "core/Cp1252.h"
#include "store/FileLock.h"
#include "store/IniDocument.h"
#include "store/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <limits>
#include <memory>
#include <optional>
#include <utility>

namespace orvalink {

using safefile::FileId;
using safefile::StatResult;

namespace {

bool hasLineBreakOrNul(QStringView s)
{
    for (const QChar c : s) {
        if (c == u'\n' || c == u'\r' || c == u'\0')
            return true;
    }
    return false;
}

bool isSpaceByte(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The value as a reader sees it: blanks around it removed, then one pair of
// enclosing double quotes removed, at most IniStore::kMaxValueLength
// characters.
QByteArrayView cookValue(QByteArrayView v)
{
    while (!v.isEmpty() && isSpaceByte(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && isSpaceByte(v.back()))
        v.chop(1);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.sliced(1, v.size() - 2);
    return v.first(qMin<qsizetype>(v.size(), IniStore::kMaxValueLength));
}

using Document = IniDocument;
using Section = IniDocument::Section;
using Entry = IniDocument::KeyLine;

enum class FileState { Missing, Present, Unreadable };

struct CacheEntry {
    FileId id;
    QByteArray raw; // the file's bytes, shared with the document's
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
        const StatResult r = safefile::statFile(native, id, error);
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
    const qint64 startNs = coarse(safefile::fileClockNowNs());
    FileId id;
    QByteArray bytes;
    if (!safefile::readWholeFile(QFile::encodeName(path), bytes, id, error))
        return false;
    id.mtimeNs = coarse(id.mtimeNs);
    id.ctimeNs = coarse(id.ctimeNs);
    error = IniDocument::whyNotText(bytes);
    if (!error.isEmpty())
        return false;
    if (!entry.raw.isNull() && entry.raw == bytes) {
        entry.id = id; // same content: keep the parsed copy
    } else {
        entry.raw = bytes;
        entry.doc = std::make_shared<const Document>(bytes);
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
        return {FileState::Unreadable, nullptr, safefile::notRegularFile()};
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
    e.doc = std::make_shared<const Document>(bytes);
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
    const QByteArray bytes = doc.bytes();
    safefile::Options options; // a new file owner-only: it holds the elements' communities
    options.fault = {faultAfterBytes, faultKills};
    QString error;
    if (!safefile::replaceFile(key, bytes, options, &error)) {
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
    Entry e;
    if (!s || !doc->findKey(*s, key, &e))
        return def;
    return cp1252::decode(cookValue(doc->rawValueOf(e)));
}

long readNumber(const Document* doc, const QString& section, const QString& key, long def)
{
    const Section* s = doc ? doc->find(section) : nullptr;
    Entry e;
    if (!s || !doc->findKey(*s, key, &e))
        return def;
    const QByteArrayView v = cookValue(doc->rawValueOf(e));
    if (v.isEmpty())
        return def;
    constexpr quint64 kMax = std::numeric_limits<quint32>::max();
    quint64 n = 0;
    for (const char c : v) {
        if (c < '0' || c > '9')
            break;
        n = qMin(kMax, n * 10 + quint64(c - '0'));
    }
    return long(n);
}

bool hasKey(const Document* doc, const QString& section, const QString& key)
{
    // Same answer as reading with two different defaults and comparing.
    const Section* s = doc ? doc->find(section) : nullptr;
    Entry e;
    return s && doc->findKey(*s, key, &e);
}

bool hasKeyLines(const Document* doc, const QString& section)
{
    const Section* s = doc ? doc->find(section) : nullptr;
    return s && doc->keyLineCount(*s) > 0;
}

QStringList namesOfSections(const Document* doc)
{
    QStringList names;
    if (!doc)
        return names;
    names.reserve(qsizetype(doc->sections().size()));
    for (const Section& s : doc->sections()) {
        if (s.nameSize > 0 && s.first)
            names.append(doc->nameOf(s));
    }
    return names;
}

QStringList keysOfSection(const Document* doc, const QString& section)
{
    QStringList keys;
    const Section* s = doc ? doc->find(section) : nullptr;
    if (!s)
        return keys;
    doc->forEachKeyLine(*s, [&](const Entry& e) {
        keys.append(doc->keyOf(e));
        return true;
    });
    return keys;
}

int keyCountOfSection(const Document* doc, const QString& section)
{
    const Section* s = doc ? doc->find(section) : nullptr;
    return s ? doc->keyLineCount(*s) : 0;
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

namespace {

QStringList valuesOf(const Document& doc, const Section& s, const QStringList& keys)
{
    QStringList values(keys.size());
    QVarLengthArray<QStringView, 8> names(keys.begin(), keys.end());
    QVarLengthArray<Entry, 8> found(keys.size());
    QVarLengthArray<bool, 8> hit(keys.size());
    doc.findKeys(s, names.constData(), names.size(), found.data(), hit.data());
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (hit[i])
            values[i] = cp1252::decode(cookValue(doc.rawValueOf(found[i])));
    }
    return values;
}

} // namespace

QStringList IniStore::Snapshot::readKeys(const QString& section, const QStringList& keys) const
{
    const Document* doc = m_data ? m_data->doc.get() : nullptr;
    const Section* s = doc ? doc->find(section) : nullptr;
    return s ? valuesOf(*doc, *s, keys) : QStringList(keys.size());
}

void IniStore::Snapshot::forEachSection(
    const QStringList& keys,
    const std::function<void(const QString& section, const QStringList& values)>& visit) const
{
    const Document* doc = m_data ? m_data->doc.get() : nullptr;
    if (!doc)
        return;
    for (const Section& s : doc->sections()) {
        if (s.nameSize > 0 && s.first)
            visit(doc->nameOf(s), valuesOf(*doc, s, keys));
    }
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
    const QStringView s = IniDocument::trimmed(section);
    if (s.isEmpty())
        return QStringLiteral("empty section name");
    if (hasLineBreakOrNul(section) || s.contains(u']'))
        return QStringLiteral("section name \"%1\" cannot be stored").arg(section);
    return {};
}

QString checkKey(const QString& key)
{
    const QStringView k = IniDocument::trimmed(key);
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
            changed = doc.setValue(section, key, cp1252::encode(value)) || changed;
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
        Entry e;
        if (!s || !doc.findKey(*s, key, &e))
            return false;
        const QByteArray value = doc.rawValueOf(e).toByteArray();
        const QString upper = cp1252::toUpper(IniDocument::trimmed(newKey));
        if (doc.keyOf(e).compare(upper, Qt::CaseInsensitive) == 0) {
            // Same key: writing the new name and deleting the old would
            // delete the key itself. Re-spell it instead.
            const QByteArray line = cp1252::encode(upper) + '=' + value;
            if (doc.lineOf(e) == QByteArrayView(line))
                return false;
            doc.replaceLine(e.begin, line);
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
        const QStringView newName = IniDocument::trimmed(newSection);
        if (QStringView(doc.nameOf(*s)).compare(newName, Qt::CaseInsensitive) == 0) {
            const QByteArray header = '[' + cp1252::encode(newName) + ']';
            if (doc.headerOf(*s) == QByteArrayView(header))
                return false;
            doc.replaceLine(s->headerBegin, header);
            return true;
        }
        QList<QPair<QString, QByteArray>> moved;
        doc.forEachKeyLine(*s, [&](const Entry& e) {
            const QString k = doc.keyOf(e);
            if (e.eq >= 0 && !k.isEmpty() && k.front() != u'[') // else nothing to write back
                moved.append({cp1252::toUpper(k), doc.rawValueOf(e).toByteArray()});
            return true;
        });
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
    return safefile::removeStaleTemporaries(path);
}

int IniStore::sectionKeyCount(const QString& section, const QString& path) const
{
    return keyCountOfSection(d->load(path).doc.get(), section);
}

} // namespace orvalink
