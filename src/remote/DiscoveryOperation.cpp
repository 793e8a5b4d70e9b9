#include "remote/DiscoveryOperation.h"

#include "core/Prompt.h"
#include "remote/RemoteCodec.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace orvalink {

DiscoveryOperation::DiscoveryOperation(RemoteProtocol& protocol, const Timings& timings,
                                       QObject* parent)
    : QObject(parent), Timer1(new QTimer(this)), m_protocol(protocol),
      m_pagingHost(remote::kBroadcastAddress), m_pagingPort(remote::kPagingPort)
{
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(timings.pagingMs);
    connect(Timer1, &QTimer::timeout, this, &DiscoveryOperation::Timer1_Timer);
}

void DiscoveryOperation::setPagingTarget(const QString& host, quint16 port)
{
    m_pagingHost = host;
    m_pagingPort = port;
}

QString DiscoveryOperation::backupPath(const QString& databasePath)
{
    return databasePath + QStringLiteral(".bak");
}

DiscoveryOperation::Result DiscoveryOperation::fail(Result result, const QString& message)
{
    if (!message.isEmpty())
        m_protocol.prompt().tell(PromptIcon::Critical, message, QStringLiteral("Auto Discovery"));
    Q_EMIT finished();
    return result;
}

bool DiscoveryOperation::backUp(QString* error)
{
    const QString path = m_protocol.database().path();
    m_hadDatabase = QFileInfo::exists(path);
    if (!m_hadDatabase)
        return true;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = source.errorString();
        return false;
    }
    // Written whole or not at all: a half-written backup of a good database
    // is worse than the previous backup.
    QSaveFile backup(backupPath(path));
    if (!backup.open(QIODevice::WriteOnly) || backup.write(source.readAll()) < 0 ||
        !backup.commit()) {
        *error = backup.errorString();
        return false;
    }
    return true;
}

bool DiscoveryOperation::recreate(QString* error)
{
    QFile file(m_protocol.database().path());
    // Truncating in place keeps the file if a new one could not be made.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void DiscoveryOperation::restoreBackup()
{
    const QString path = m_protocol.database().path();
    if (!m_hadDatabase) {
        QFile::remove(path);
        return;
    }
    QFile backup(backupPath(path));
    QSaveFile file(path);
    if (backup.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly)) {
        file.write(backup.readAll());
        file.commit();
    }
}

DiscoveryOperation::Result DiscoveryOperation::start()
{
    if (m_running || m_protocol.AutoDiscoverAwaiting)
        return Result::Busy;
    RemoteEndpoint& endpoint = m_protocol.endpoint();
    const QString path = m_protocol.database().path();

    // The replies come to port 2976 of the NMS interface: the endpoint is
    // bound there before anything is deleted.
    m_savedHost = endpoint.remoteHost();
    m_savedPort = endpoint.remotePort();
    if (const RemoteSendResult bound = endpoint.open(); !bound.ok()) {
        m_protocol.reportSendFailure(bound);
        return fail(Result::NotSent, QString());
    }

    QString error;
    if (!backUp(&error))
        return fail(Result::BackupFailed,
                    QStringLiteral("The element database could not be kept as %1: %2")
                            .arg(QDir::toNativeSeparators(backupPath(path)), error) +
                        QStringLiteral("\rNothing was deleted."));
    if (!recreate(&error)) {
        restoreBackup();
        return fail(Result::DatabaseFailed,
                    QStringLiteral("A new element database could not be made at %1: %2")
                        .arg(QDir::toNativeSeparators(path), error));
    }

    endpoint.setRemote(m_pagingHost, m_pagingPort);
    Timer1->start();
    m_running = true;
    m_protocol.AutoDiscoverAwaiting = true;
    const RemoteSendResult sent = endpoint.sendToRemote(remote::kPagingText);
    if (!sent.ok()) {
        Timer1->stop();
        m_running = false;
        m_protocol.AutoDiscoverAwaiting = false;
        endpoint.setRemote(m_savedHost, m_savedPort);
        // No element heard anything: the database is not lost to it.
        restoreBackup();
        m_protocol.reportSendFailure(sent);
        return fail(Result::NotSent, QString());
    }
    return Result::Started;
}

DiscoveryOperation::Result DiscoveryOperation::runBlocking()
{
    QEventLoop loop;
    connect(this, &DiscoveryOperation::finished, &loop, &QEventLoop::quit);
    const Result result = start();
    if (result == Result::Started && m_running)
        loop.exec();
    return result;
}

void DiscoveryOperation::Timer1_Timer()
{
    Timer1->stop();
    m_protocol.endpoint().setRemote(m_savedHost, m_savedPort);
    m_protocol.AutoDiscoverAwaiting = false;
    m_running = false;
    Q_EMIT finished();
}

} // namespace orvalink
