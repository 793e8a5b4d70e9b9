#pragma once
// The one way this program reads and replaces its own files (nms.ini, its
// copy in another folder, configuration backups, alarms.json, the backup
// discovery keeps, and every file a command writes with --output).
//
// Reading: only a regular file (or a link to one) of at most kMaxFileSize
// bytes is read; a folder, a pipe, a socket or a device is refused without
// blocking on it, and nothing beyond the limit is read.
//
// Replacing: the new content goes into a temporary beside the file, named
// after it, the program's marker and six random letters and digits
// ("nms.ini.~orvalink-tmp-Xy3k9Q"), created readable by its owner only (a
// new file of Mode::KeepOrShared: as the umask lets a new file be) and
// locked while it is written. It takes the mode the caller asks for, is
// written whole, synced, and then renamed over the file: a reader sees the
// old file or the new one, never a part. A replace that fails removes its
// temporary and leaves the file as it was. A symbolic link is followed: the
// file it points to is replaced, the link stays.

#include <QByteArray>
#include <QFileDevice>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvalink::safefile {

// The largest file read: far above any real database (2,000 elements take
// less than 1 MB), low enough that a wrong file cannot exhaust memory.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

// What identifies one version of a file: where it lives, its size and its
// stamps (to the nanosecond where the system gives them).
struct FileId {
    quint64 dev = 0;
    quint64 ino = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    bool operator==(const FileId&) const = default;
};

enum class StatResult { Present, Missing, Folder, Special, Failed };

// The identity of the file at native (a path in the system's encoding),
// without opening it; error says why when Failed.
StatResult statFile(const QByteArray& native, FileId& id, QString& error);
// The clock the file system stamps files with, at its own coarse
// resolution: a file stamped before this moment cannot change again without
// a later stamp.
qint64 fileClockNowNs();

// Reasons a read is refused, as predicates of "the element database ...".
QString cannotRead(const QString& why);
QString notRegularFile();
QString tooLarge();

// Reads the regular file at native whole, with its identity. False with a
// reason in the words above ("is a folder", notRegularFile(), tooLarge(),
// cannotRead(...)).
bool readWholeFile(const QByteArray& native, QByteArray& bytes, FileId& id, QString& error);

// The mode a replaced file gets.
enum class Mode {
    KeepOrPrivate, // an existing file's mode, owner and group; a new one owner-only
    Private,       // always readable and writable by its owner only
    KeepOrShared,  // an existing file's mode; a new one as the umask lets a new file be
    Given,         // Options::permissions
};

// For tests: a write that stops after afterBytes bytes of the new content,
// as a full disk (the temporary is removed) or a killed program (the
// temporary stays behind) would stop it.
struct Fault {
    qint64 afterBytes = -1; // -1: no fault
    bool kills = false;
};

struct Options {
    Mode mode = Mode::KeepOrPrivate;
    QFileDevice::Permissions permissions; // for Mode::Given
    // Also sync the folder after the rename, so that the rename itself
    // survives a power cut.
    bool syncFolder = false;
    Fault fault;
};

// Replaces the file at path by bytes, completely or not at all. False with
// *error (the system's words) when the file keeps what it held.
bool replaceFile(const QString& path, const QByteArray& bytes, const Options& options,
                 QString* error);

// Many files at once: every temporary is written first, all of them reach
// the disk with one sync of each file system, then each is renamed over its
// file and the folders are synced (a backup of 500 elements costs one sync,
// not 500). The result holds one error per file, empty for each written.
struct PendingFile {
    QString path;
    QByteArray bytes;
};
QStringList replaceFiles(const QList<PendingFile>& files, const Options& options);

// Removes the temporaries an interrupted replace of path left beside it
// (only names with the program's marker), unless a running write still
// holds them and only while no other program holds the write lock of path.
// Returns how many were removed.
int removeStaleTemporaries(const QString& path);

} // namespace orvalink::safefile

namespace orvalink {

// Reads a file this program keeps beside the database (events.log,
// alarms.json, a backup) whole, with the database's care: a regular file of
// at most 64 MB, never blocking on a pipe or a device. False with *error, a
// predicate ("is a folder", "is not a regular file", "cannot be read
// (...)"), otherwise; a missing file is one that cannot be read.
bool readRegularFile(const QString& path, QByteArray* bytes, QString* error);

} // namespace orvalink
