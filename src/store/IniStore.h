#pragma once
// INI file access for the element database. Every call works on the file as
// it is on disk at that moment: a parsed copy is kept per path but is checked
// against the file's identity, size and modification time before each use,
// so a change made by another program is always seen.
//
// Only a regular file (or a link to one) of at most 64 MB is read; a file
// with a UTF-16 or UTF-32 byte-order mark or holding a NUL byte (no text) is
// refused, and a UTF-8 byte-order mark is skipped.
//
// Reading and writing the file go through SafeFile: writes replace the file
// atomically (temporary file, then rename); a new file is readable by its
// owner only, a rewritten one keeps its mode, owner and group (where
// allowed). The text is an IniDocument. Several programs may write one file:
// each write holds an advisory lock on "nms.ini.lock" (see FileLock, kept in
// place) around reading the file again, editing it and renaming the new copy
// over it, so no write loses another's. A lock not had within
// FileLock::kDefaultTimeoutMs fails the write; one left by a killed program
// is let go by the system. Reads take no lock. A write
// that fails changes nothing on disk and is reported once through
// writeFailed() until a later write to that file succeeds again. A write is
// refused the same way when its section, key or value would break the line
// structure of the file (a line break or NUL anywhere, "]" in a section
// name, "=" in a key, a key starting with "[" or ";"), and when the file
// exists but cannot be read (rewriting it would lose its content).
//
// Where a name occurs more than once, reads and writes use its first
// occurrence; deleting a section or a key removes every occurrence.
//
// Files are read and written as Windows-1252 text; CRLF, LF and CR line
// ends are all accepted, and rewritten files keep the line ends they had
// (CRLF for a new file).

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace orvalink {

class IniStore : public QObject {
    Q_OBJECT
public:
    // The largest value text a read returns (the old 750-character read
    // buffer, less its terminating NUL).
    static constexpr int kMaxValueLength = 749;

    explicit IniStore(QObject* parent = nullptr);
    ~IniStore() override;

    // Value of key in section, trimmed and unquoted; def when the section or
    // the key is absent. Key and section are matched without regard to case.
    QString read(const QString& section, const QString& key, const QString& path,
                 const QString& def) const;
    // Sets key (stored in upper case) of section, creating file, section and
    // key as needed; an existing key is replaced in place. True when the file
    // now holds the value; false when the write was refused or failed
    // (lastError() says why), and then nothing on disk changed.
    bool write(const QString& section, const QString& key, const QString& value,
               const QString& path);
    // Sets several keys of one section in a single rewrite: all of them or,
    // when it fails, none.
    bool writeKeys(const QString& section, const QList<QPair<QString, QString>>& keyValues,
                   const QString& path);
    // True also when there was nothing to delete.
    bool deleteSection(const QString& section, const QString& path);
    bool deleteKey(const QString& section, const QString& key, const QString& path);
    // Why the last write, key deletion or section deletion failed; empty when
    // it succeeded.
    QString lastError() const;
    bool keyExists(const QString& section, const QString& key, const QString& path) const;
    // True when the section holds at least one key line.
    bool sectionExists(const QString& section, const QString& path) const;
    // Leading decimal digits of the value as an unsigned number (0 when it
    // starts with anything else, at most 4294967295); def when the key is
    // absent or its value is empty.
    long readLong(const QString& section, const QString& key, const QString& path, long def) const;
    // Moves the key's stored value, unchanged, to newKey (in upper case) and
    // removes the old key; nothing happens when the key is absent. A new name
    // that differs only in case re-spells the key and keeps it.
    void renameKey(const QString& section, const QString& key, const QString& newKey,
                   const QString& path);
    // Moves every key line of section into newSection (key names in upper
    // case, values unchanged even when they hold "=") and removes section.
    // A line without "=" has no value to move and is dropped with the old
    // section. A new name that differs only in case re-spells the section.
    void renameSection(const QString& section, const QString& newSection, const QString& path);
    // All section names in file order, each name once (a repeated section
    // line adds nothing; an empty name is left out). None when the file is
    // missing. The list is not limited in length.
    QStringList sectionNames(const QString& path) const;
    // Key names of a section as stored in the file, in file order. Every
    // line of the section that is not blank, a comment (";") or a section
    // line counts as a key line, also one without "=".
    QStringList sectionKeys(const QString& section, const QString& path) const;
    int sectionKeyCount(const QString& section, const QString& path) const;

    // One consistent view of the file for a batch of reads. Taking it checks
    // the file once, as any read does (a change made before it was taken is
    // always seen); its reads then answer from that one parsed copy, with
    // no further look at the disk, and never mix two versions of the file.
    // A change made after it was taken is seen by the next snapshot or read:
    // take one per batch (a list, a panel's fill), not one per program.
    // Its answers are those of the IniStore calls of the same names.
    class Snapshot {
    public:
        Snapshot();
        QString read(const QString& section, const QString& key, const QString& def) const;
        long readLong(const QString& section, const QString& key, long def) const;
        // The values of several keys of one section, each as read() gives
        // it with an empty default, found in one look through the section.
        QStringList readKeys(const QString& section, const QStringList& keys) const;
        // Every section as sectionNames() gives them, in file order, with
        // the values of keys in it as readKeys() gives them: a whole list
        // in one pass over the file.
        void forEachSection(const QStringList& keys,
                            const std::function<void(const QString& section,
                                                     const QStringList& values)>& visit) const;
        bool keyExists(const QString& section, const QString& key) const;
        bool sectionExists(const QString& section) const;
        QStringList sectionNames() const;
        QStringList sectionKeys(const QString& section) const;
        int sectionKeyCount(const QString& section) const;
        // Why the file could not be read when the snapshot was taken; empty
        // when it was read or did not exist.
        QString readError() const;

    private:
        friend class IniStore;
        struct Data;
        std::shared_ptr<const Data> m_data;
    };
    Snapshot snapshot(const QString& path) const;

    // Why the file at path cannot be read (a folder, not a regular file,
    // too large, UTF-16 text, no permission, a symbolic link loop, ...);
    // empty when it can be read or does not exist. Reads of such a file give
    // their defaults, and writes to it are refused.
    QString readError(const QString& path) const;

    // Removes the temporaries that an interrupted write of the file at path
    // left beside it ("nms.ini.~orvalink-tmp-" and six letters and digits;
    // nothing else), unless a running write still holds them; nothing while
    // another program holds the write lock. Run once at start-up; returns how
    // many were removed.
    static int removeStaleTemporaries(const QString& path);

    enum class WriteFault {
        DiskFull, // the write fails and its temporary is removed
        Killed,   // the program ends mid-write: its temporary stays behind
    };
    // For tests only: every later write stops after failAfterBytes bytes of
    // the new file have been written and fails as kind says. A negative
    // value turns the fault off again.
    void injectWriteFault(qint64 failAfterBytes, WriteFault kind = WriteFault::DiskFull);
    // How long a write waits for another program's write to end before it
    // fails (default FileLock::kDefaultTimeoutMs); tests shorten it.
    void setLockTimeout(int ms);
    // For tests only: file stamps and the file clock are read as a file
    // system that stamps files to this resolution would give them (FAT keeps
    // 2 s, ext3 1 s), so that two changes can share every stamp. 0 turns it
    // off.
    void simulateStampResolution(qint64 resolutionNs);

Q_SIGNALS:
    // Emitted once when writing path fails, not again until a write succeeds.
    void writeFailed(const QString& path, const QString& reason);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace orvalink
