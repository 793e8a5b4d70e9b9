#pragma once
// Auto Discovery: the element database is replaced by the elements that
// answer a broadcast. The previous content is first kept as nms.ini.bak
// beside it (owner-only, synced and read back); then the database is
// emptied, the paging text is broadcast from the remote endpoint (port 2976
// of the NMS interface), and the configuration replies of the next three
// seconds create the new sections.
//
// The previous content survives every failure: when no element is stored,
// when an element cannot be stored, or when the discovery is cancelled, the
// database is put back as it was and the operator is told. A path that is
// not a readable file (a pipe, a device, a folder, ...) is refused before
// anything is touched, and a backup is never replaced by an empty database.
//
// frmPaging shows it; the command line runs it with runBlocking().

#include "core/Timings.h"

#include <QByteArray>
#include <QFileDevice>
#include <QObject>
#include <QString>

class QTimer;

namespace orvalink {

class RemoteProtocol;

class DiscoveryOperation : public QObject {
    Q_OBJECT
public:
    enum class Result {
        Started,        // start() only: the broadcast left; finished() follows the collection
        Found,          // at least one element was stored
        NoAnswer,       // no element was stored: the previous database is back
        WriteFailed,    // an element could not be stored: the previous database is back
        Cancelled,      // cancel() during the collection: the previous database is back
        RestoreFailed,  // as the three above, but the previous database could not be put
                        // back: it is in the backup
        Busy,           // a discovery is already running
        Refused,        // the database's path is not a file that can be read; nothing changed
        NotSent,        // the endpoint or the broadcast failed; the database is as it was
        BackupFailed,   // nms.ini.bak could not be written and checked; nothing changed
        DatabaseFailed, // the new, empty database could not be made; the old one is as it was
    };

    DiscoveryOperation(RemoteProtocol& protocol, const Timings& timings, QObject* parent = nullptr);
    ~DiscoveryOperation() override;

    // For tests: where the paging text goes (255.255.255.255 port 1901).
    void setPagingTarget(const QString& host, quint16 port);

    // Checks, backup, new database, broadcast, and the start of Timer1.
    // Anything but Started has shown its message and emitted finished().
    Result start();
    // start() and a wait with the event loop running until finished();
    // returns how the discovery ended.
    Result runBlocking();
    // Ends a running discovery at once: the previous database is put back.
    void cancel();
    bool isRunning() const { return m_running; }
    Result result() const { return m_result; }
    // Elements stored by this discovery.
    int found() const { return m_found; }
    // Why the last discovery found none, in the words told to the operator
    // (first line); empty after Found.
    QString cause() const { return m_cause; }

    static QString backupPath(const QString& databasePath);

    QTimer* Timer1 = nullptr;

Q_SIGNALS:
    void finished(DiscoveryOperation::Result result);

private:
    Result fail(Result result, const QString& message);
    bool backUp(QString* error);
    bool emptyDatabase(QString* error);
    bool restore(QString* error);
    void Timer1_Timer();
    void repliesHandled();
    void conclude();
    void endWith(Result result, const QString& cause);

    RemoteProtocol& m_protocol;
    QString m_pagingHost;
    quint16 m_pagingPort;
    QString m_savedHost;
    quint16 m_savedPort = 0;
    bool m_running = false;
    bool m_closing = false;
    Result m_result = Result::Started;
    int m_found = 0;
    QString m_writeError;
    QString m_cause;
    // The database as it was before the discovery.
    bool m_hadDatabase = false;
    QByteArray m_previous;
    QFileDevice::Permissions m_permissions;
};

} // namespace orvalink
