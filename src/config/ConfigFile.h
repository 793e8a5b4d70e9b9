#pragma once
// A configuration backup: one element's section of nms.ini in a file of its
// own, with a header of comment lines (";": the INI routines skip them)
// telling when it was read, by which program version, and the element's
// name, address, role and edition when known:
//
//     ; orvalink configuration backup
//     ; time: 2026-12-08T05:40:00Z
//     ; program: orvalink 3.5.0
//     ; name: STUDIO 1
//     ; address: 127.0.104.1
//     ; role: DECODER
//     ; edition: GPS
//     [2E8BF2006801]
//     NAME=STUDIO 1
//     ...
//
// The file is written as nms.ini is (Windows-1252, CRLF, keys upper case),
// completely or not at all, readable by its owner only: it holds the
// element's communities.

#include "store/ElementDatabase.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace orvalink::configfile {

struct Header {
    QDateTime time;
    QString version;
    QString name;
    QString address;
    ElementRole role = ElementRole::Unknown;
    QString edition; // "GPS", "LL" or empty for the plain edition / not known
};

// The whole file.
QByteArray backupText(const QString& section, const QList<QPair<QString, QString>>& keys,
                      const Header& header);
// Writes `text` to path in one step (through SafeFile: a temporary renamed
// over it), mode 0600; false with *error when the file keeps what it held
// before.
bool writeBackup(const QString& path, const QByteArray& text, QString* error);
// The same for many files at once: every file is written to a temporary
// file beside it, all of them reach the disk with one sync of the file
// system, then each is renamed over its target (a backup of 500 elements
// costs one sync, not 500). errors[i] is empty for each file written.
struct PendingFile {
    QString path;
    QByteArray text;
};
QStringList writeBackups(const QList<PendingFile>& files);
// A file name for an element's backup: its section and name, made safe;
// of the name at most kBackupNameChars characters.
inline constexpr int kBackupNameChars = 64;
QString backupFileName(const QString& section, const QString& name);

struct Backup {
    QString section;
    QHash<QString, QString> keys; // lower-case key -> value
    Header header;
    QString error; // why the file cannot be used; empty when it can
    bool ok() const { return error.isEmpty(); }
};
// Reads a backup: exactly one section named by a MAC, its keys, and the
// header's role and edition.
Backup readBackup(const QString& path);

// A stored value in words, with its unit where the panel shows one
// ("-27.5 dB", "40mS", "-20.3dBu"); the value itself for the others.
QString readable(const QString& key, const QString& value, const QString& edition, bool sfn);

} // namespace orvalink::configfile
