#pragma once
// Backup, restore and bulk apply of element configurations, the same for
// `orvalink-cli backup|restore|apply --all` and the window's Element menu:
// what an element's full read means, which backup file an element may take,
// what a restore would change, and a bulk apply over many elements through
// the multi-element engine (ConfigSweep) with the storing rules of "Save
// changes". Texts are plain; each side makes them printable its own way.

#include "config/ConfigFile.h"
#include "config/ConfigSweep.h"
#include "devops/ApplyOperation.h"
#include "devops/ElementView.h"
#include "store/ElementDatabase.h"
#include "store/EventLog.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace orvalink {

class Database;

namespace configtransfer {

// "NAME [MAC]": an element in the texts below.
QString label(const QString& name, const QString& mac);
// This program's version as a backup file's header names it.
QString programVersion();
// Every parameter the probe reads: what a backup and a restore read.
QList<quint8> probeReads();
// Why an element's reads are not complete, in the log's words.
QString readFailure(const ConfigJob& job);

// Whether the agent at `host`, whose MAC (parameter 15) reads `answered`,
// is the element stored in `section`: empty when it is, else "the element
// at HOST is MAC, not MAC" ("unknown" when it gave no MAC). Every path that
// sends to a stored element asks this first: a stale agent address may
// belong to another element now.
QString identityRefusal(const QString& host, const QString& answered, const QString& section);
// The same once a sweep has read parameter 15 of job; a read that got no
// reply is told as readFailure() tells it.
QString identityRefusal(const ConfigJob& job);

// The element's configuration as the probe stores it, from one full read;
// false with *why when the element did not answer every parameter, is
// another element than the one stored, or its role cannot be told.
bool deviceKeys(const ConfigJob& job, QList<QPair<QString, QString>>* keys, ElementRole* role,
                QString* why);

// ---- backup ----
// The backup file of an element after its full read; false with *why.
bool backupText(const ConfigJob& job, const QDateTime& time, const QString& edition,
                QByteArray* text, QString* why);

// Backup of many elements into one folder, the same for `orvalink-cli
// backup` and Export all: every element is read first (side by side on
// `sweep`, which the caller has bound), then each file is written
// completely or not at all. Per element, where its file goes and why it
// was not written (empty when it was).
struct BackupRun {
    QList<ConfigJob> jobs;
    QStringList paths;
    QStringList failures;
    QString socketError; // the sweep could not run: nothing was read
    int written() const;
    // "N of M configurations written to DIR".
    QString summary(const QString& dir) const;
    // The one "backup" event both sides post: "N of M configurations
    // written to DIR", with the elements not written and why.
    Event event(const QString& dir) const;
};
BackupRun backupAll(ConfigSweep& sweep, const Database& database,
                    const QList<ElementEntry>& elements, const QString& dir, const QDateTime& time,
                    const QString& edition);

// ---- restore ----
// Why `backup` may not be restored to the element in `section` (stored with
// `storedRole`) in this edition: unreadable file, a key twice, another
// element, another role, another edition, a key the role needs missing, a
// value the panel's editors would not take or that fails the checks of
// "Save changes". Nothing is sent before all of them passed. Empty when it
// may; *values then holds the file's values.
QString restoreRefusal(const configfile::Backup& backup, const Database& database,
                       const QString& section, ElementRole storedRole, const QString& edition,
                       EditedValues* values);
// The same check once the element answered with its own role.
QString deviceRoleRefusal(const configfile::Backup& backup, ElementRole deviceRole);

struct RestoreChange {
    QString key;
    QString device; // what the element holds (stored form)
    QString file;   // what the file holds
};
struct RestorePlan {
    QList<RestoreChange> changes; // in the apply order, each key once
    // Keys the element already holds as the file does, whose stored value
    // differs: to be stored as the element holds them.
    QList<QPair<QString, QString>> matching;
    QList<ConfigJob::Set> sets;     // the SETs of the changes, the retry step included
    QHash<QString, QString> before; // key -> the element's value before
};
// What restoring `backup` changes on an element that holds `device`.
RestorePlan restorePlan(const Database& database, const ShownElement& shown,
                        const EditedValues& values, const configfile::Backup& backup,
                        const QHash<QString, QString>& device);
// ---- bulk apply ----
// The KEY=VALUE pairs of a bulk apply for `elementCount` elements, taken as
// the panel's editors take them; empty when all were taken, else why not.
QString takePairs(const QStringList& pairs, qsizetype elementCount, const QString& edition,
                  EditedValues* values, QStringList* keys);

struct BulkPlan {
    QList<ConfigJob> jobs;                            // elements with something to send, each
                                                      // reading its MAC before its SETs
    QList<QList<ApplyOperation::Difference>> pending; // per job, what it sends
    QList<QHash<QString, QString>> before;            // per job, key -> stored value
    QStringList nothing;                              // labels of elements with nothing to send
    QStringList refused;                              // why an element cannot take the values
};
// Every element must take every key (its role and tx), pass the checks of
// "Save changes" and have an SNMP address; refused lists those that do not.
BulkPlan bulkPlan(const Database& database, const QList<ElementEntry>& elements,
                  const EditedValues& values, const QStringList& keys);

struct BulkElementResult {
    bool ok = false;
    int confirmed = 0;
    int wanted = 0;
    QStringList causes; // why not ok
};
struct BulkHooks {
    // A SET the element confirmed and that was stored.
    std::function<void(const ConfigJob&, const QString& key, const QString& before,
                       const QString& after)>
        confirmed;
    // An element has ended (in the order they end).
    std::function<void(const ConfigJob&, const BulkElementResult&)> finished;
};
// Runs the plan's jobs on `sweep`: an element whose agent answers with
// another MAC than its own, or not at all, is sent nothing and ends with
// identityRefusal() as its cause (its MAC is asked once: a lost reply costs
// one wait, as a SET without a reply does); each confirmed value is stored
// at once (a value that cannot be stored ends that element, never the
// others). False with sweep.error() when the socket cannot be opened.
bool runBulk(ConfigSweep& sweep, Database& database, BulkPlan& plan, const BulkHooks& hooks);

} // namespace configtransfer
} // namespace orvalink
