#pragma once
// INI file access for the element database. Every call works on the file as
// it is on disk at that moment: a parsed copy is kept per path but is checked
// against the file's identity, size and modification time before each use,
// so a change made by another program is always seen.
//
// Writes replace the file atomically (temporary file, then rename). A write
// that fails changes nothing on disk and is reported once through
// writeFailed() until a later write to that file succeeds again.
//
// Files are read and written as Windows-1252 text; CRLF and LF line ends are
// both accepted, and rewritten files keep the line ends they had (CRLF for a
// new file).

#include <QObject>
#include <QString>
#include <QStringList>
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
    // key as needed; an existing key is replaced in place.
    void write(const QString& section, const QString& key, const QString& value,
               const QString& path);
    void deleteSection(const QString& section, const QString& path);
    void deleteKey(const QString& section, const QString& key, const QString& path);
    bool keyExists(const QString& section, const QString& key, const QString& path) const;
    // True when the section holds at least one key line.
    bool sectionExists(const QString& section, const QString& path) const;
    // Leading decimal digits of the value as an unsigned number; def when absent.
    long readLong(const QString& section, const QString& key, const QString& path,
                  long def) const;
    void renameKey(const QString& section, const QString& key, const QString& newKey,
                   const QString& path);
    void renameSection(const QString& section, const QString& newSection, const QString& path);
    // All section names in file order (none when the file is missing).
    QStringList sectionNames(const QString& path) const;
    // Key names of a section as stored in the file, in file order.
    QStringList sectionKeys(const QString& section, const QString& path) const;
    int sectionKeyCount(const QString& section, const QString& path) const;

Q_SIGNALS:
    // Emitted once when writing path fails, not again until a write succeeds.
    void writeFailed(const QString& path, const QString& reason);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace orvalink
