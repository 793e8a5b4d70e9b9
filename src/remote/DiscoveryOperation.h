#pragma once
// Auto Discovery: the element database is replaced by the elements that
// answer a broadcast. The previous file is first kept as nms.ini.bak beside
// it; then the database is emptied, the paging text is broadcast from the
// remote endpoint (port 2976 of the NMS interface), and the configuration
// replies of the next three seconds create the new sections.
//
// frmPaging shows it; the command line runs it with runBlocking().

#include "core/Timings.h"

#include <QObject>
#include <QString>

class QTimer;

namespace orvalink {

class RemoteProtocol;

class DiscoveryOperation : public QObject {
    Q_OBJECT
public:
    enum class Result {
        Started,       // the broadcast left; finished() follows after the collection
        Busy,          // a discovery is already running
        NotSent,       // the endpoint or the broadcast failed; the database is as it was
        BackupFailed,  // nms.ini.bak could not be written; nothing was changed
        DatabaseFailed // the new, empty database could not be made; the old one is back
    };

    DiscoveryOperation(RemoteProtocol& protocol, const Timings& timings, QObject* parent = nullptr);

    // For tests: where the paging text goes (255.255.255.255 port 1901).
    void setPagingTarget(const QString& host, quint16 port);

    // Backup, new database, broadcast, and the start of Timer1. Anything but
    // Started has shown its message and finished at once.
    Result start();
    // start() and a wait with the event loop running until finished().
    Result runBlocking();
    bool isRunning() const { return m_running; }

    static QString backupPath(const QString& databasePath);

    QTimer* Timer1 = nullptr;

Q_SIGNALS:
    void finished();

private:
    Result fail(Result result, const QString& message);
    bool backUp(QString* error);
    bool recreate(QString* error);
    void restoreBackup();
    void Timer1_Timer();

    RemoteProtocol& m_protocol;
    QString m_pagingHost;
    quint16 m_pagingPort;
    QString m_savedHost;
    quint16 m_savedPort = 0;
    bool m_running = false;
    bool m_hadDatabase = false;
};

} // namespace orvalink
