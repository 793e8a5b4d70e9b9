#include "remote/DiscoveryOperation.h"

#include "core/Prompt.h"
#include "remote/RemoteCodec.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"
#include "store/FileLock.h"
#include "store/IniStore.h"
#include "store/SafeFile.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace orvalink {

namespace {

const QString kTitle = QStringLiteral("Auto Discovery");
constexpr auto kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file at path replaced in one step by bytes, with the given mode. On
// failure the file is as it was.
bool replaceWhole(const QString& path, const QByteArray& bytes,
                  QFileDevice::Permissions permissions, QString* error)
{
    safefile::Options options;
    options.mode = safefile::Mode::Given;
    options.permissions = permissions;
    return safefile::replaceFile(path, bytes, options, error);
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

DiscoveryOperation::DiscoveryOperation(RemoteProtocol& protocol, const Timings& timings,
                                       QObject* parent)
    : QObject(parent), Timer1(new QTimer(this)), m_protocol(protocol),
      m_pagingHost(remote::kBroadcastAddress), m_pagingPort(remote::kPagingPort)
{
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(timings.pagingMs);
    connect(Timer1, &QTimer::timeout, this, &DiscoveryOperation::Timer1_Timer);
    connect(&m_protocol, &RemoteProtocol::elementDiscovered, this, [this] {
        if (m_running)
            ++m_found;
    });
    connect(&m_protocol, &RemoteProtocol::discoveryWriteFailed, this,
            [this](const QString&, const QString& reason) {
                if (m_running && m_writeError.isEmpty())
                    m_writeError = reason.isEmpty() ? QStringLiteral("unknown cause") : reason;
            });
    connect(&m_protocol, &RemoteProtocol::discoveryRepliesHandled, this,
            &DiscoveryOperation::repliesHandled);
}

DiscoveryOperation::~DiscoveryOperation()
{
    // Never left half done: a discovery cut short by its owner ends as a
    // cancelled one.
    if (m_running)
        cancel();
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
    m_result = result;
    m_cause = message.section(QLatin1Char('\r'), 0, 0);
    if (!message.isEmpty())
        m_protocol.prompt().tell(PromptIcon::Critical, message, kTitle);
    Q_EMIT finished(result);
    return result;
}

bool DiscoveryOperation::backUp(QString* error)
{
    const QString path = m_protocol.database().path();
    m_hadDatabase = QFileInfo::exists(path);
    m_previous.clear();
    m_permissions = kOwnerOnly;
    if (!m_hadDatabase)
        return true;
    if (!readRegularFile(path, &m_previous, error))
        return false;
    m_permissions = QFileInfo(path).permissions();
    // An empty database has nothing to keep, and the backup may hold the
    // only copy of an earlier one.
    if (m_previous.isEmpty())
        return true;
    // Owner-only, as the database: it holds the elements' communities.
    const QString backup = backupPath(path);
    if (!replaceWhole(backup, m_previous, kOwnerOnly, error))
        return false;
    QByteArray written;
    QString unused;
    if (!readRegularFile(backup, &written, &unused) || written != m_previous) {
        *error = QStringLiteral("what was read back differs from the database");
        return false;
    }
    return true;
}

bool DiscoveryOperation::emptyDatabase(QString* error)
{
    return replaceWhole(m_protocol.database().path(), QByteArray(), m_permissions, error);
}

bool DiscoveryOperation::restore(QString* error)
{
    const QString path = m_protocol.database().path();
    FileLock lock(FileLock::lockPathFor(path));
    if (!lock.isLocked()) {
        *error = lock.error();
        return false;
    }
    if (!m_hadDatabase) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            *error = QStringLiteral("the new database cannot be removed");
            return false;
        }
        return true;
    }
    return replaceWhole(path, m_previous, m_permissions, error);
}

DiscoveryOperation::Result DiscoveryOperation::start()
{
    if (m_running || m_protocol.AutoDiscoverAwaiting)
        return fail(Result::Busy, QString());
    RemoteEndpoint& endpoint = m_protocol.endpoint();
    const QString path = m_protocol.database().path();
    const QString backup = backupPath(path);
    m_found = 0;
    m_writeError.clear();

    // A pipe, a device, a folder, a link loop or text that cannot be read:
    // refused before anything is touched.
    IniStore& store = m_protocol.database().store();
    for (const QString& file : {path, backup}) {
        const QString why = store.readError(file);
        if (!why.isEmpty())
            return fail(Result::Refused,
                        QStringLiteral("%1 cannot be used: %2").arg(native(file), why) +
                            QStringLiteral("\rNothing was changed."));
    }

    // The replies come to port 2976 of the NMS interface: the endpoint is
    // bound there before anything is deleted.
    m_savedHost = endpoint.remoteHost();
    m_savedPort = endpoint.remotePort();
    if (const RemoteSendResult bound = endpoint.open(); !bound.ok()) {
        m_protocol.reportSendFailure(bound);
        fail(Result::NotSent, QString());
        m_cause = bound.reason;
        return Result::NotSent;
    }

    {
        // No other writer between the copy and the emptying.
        FileLock lock(FileLock::lockPathFor(path));
        if (!lock.isLocked())
            return fail(Result::BackupFailed, QStringLiteral("The element database %1 is busy: %2")
                                                      .arg(native(path), lock.error()) +
                                                  QStringLiteral("\rNothing was changed."));
        QString error;
        if (!backUp(&error))
            return fail(Result::BackupFailed,
                        QStringLiteral("The element database could not be kept as %1: %2")
                                .arg(native(backup), error) +
                            QStringLiteral("\rNothing was changed."));
        if (!emptyDatabase(&error))
            return fail(Result::DatabaseFailed,
                        QStringLiteral("A new element database could not be made at %1: %2")
                                .arg(native(path), error) +
                            QStringLiteral("\rThe previous one is as it was."));
    }

    endpoint.setRemote(m_pagingHost, m_pagingPort);
    m_running = true;
    m_closing = false;
    m_result = Result::Started;
    m_protocol.beginDiscovery();
    Timer1->start();
    const RemoteSendResult sent = endpoint.sendToRemote(remote::kPagingText);
    if (!sent.ok()) {
        Timer1->stop();
        m_running = false;
        m_protocol.cancelDiscovery();
        endpoint.setRemote(m_savedHost, m_savedPort);
        // No element heard anything: the database is not lost to it.
        QString error;
        const bool back = restore(&error);
        m_protocol.reportSendFailure(sent);
        fail(back ? Result::NotSent : Result::RestoreFailed,
             back ? QString()
                  : QStringLiteral("The previous element database could not be put back "
                                   "at %1: %2\rIt is kept as %3.")
                        .arg(native(path), error, native(backup)));
        m_cause = sent.reason;
        return m_result;
    }
    return Result::Started;
}

DiscoveryOperation::Result DiscoveryOperation::runBlocking()
{
    QEventLoop loop;
    connect(this, &DiscoveryOperation::finished, &loop, &QEventLoop::quit);
    if (start() == Result::Started && m_running)
        loop.exec();
    return m_result;
}

void DiscoveryOperation::Timer1_Timer()
{
    Timer1->stop();
    if (!m_running)
        return;
    m_protocol.endpoint().setRemote(m_savedHost, m_savedPort);
    // The replies that arrived in time may still wait behind a message box:
    // the discovery ends when the last of them has been handled.
    m_closing = true;
    m_protocol.closeDiscovery();
}

void DiscoveryOperation::repliesHandled()
{
    if (m_running && m_closing)
        conclude();
}

void DiscoveryOperation::conclude()
{
    m_closing = false;
    if (!m_writeError.isEmpty())
        endWith(Result::WriteFailed,
                QStringLiteral("A Network Element could not be stored in the new element "
                               "database: %1")
                    .arg(m_writeError));
    else if (m_found == 0)
        endWith(Result::NoAnswer, QStringLiteral("No Network Element was found."));
    else
        endWith(Result::Found, QString());
}

void DiscoveryOperation::cancel()
{
    if (!m_running)
        return;
    Timer1->stop();
    m_protocol.cancelDiscovery();
    m_protocol.endpoint().setRemote(m_savedHost, m_savedPort);
    endWith(Result::Cancelled, QStringLiteral("The discovery was interrupted."));
}

void DiscoveryOperation::endWith(Result result, const QString& cause)
{
    m_running = false;
    m_closing = false;
    const QString path = m_protocol.database().path();
    if (result != Result::Found) {
        QString error;
        if (restore(&error)) {
            m_protocol.prompt().tell(PromptIcon::Warning,
                                     cause + QStringLiteral("\rThe previous element database was "
                                                            "put back."),
                                     kTitle);
        } else {
            result = Result::RestoreFailed;
            m_protocol.prompt().tell(
                PromptIcon::Critical,
                cause +
                    QStringLiteral("\rThe previous element database could not be put back "
                                   "at %1: %2")
                        .arg(native(path), error) +
                    (m_previous.isEmpty()
                         ? QString()
                         : QStringLiteral("\rIt is kept as %1.").arg(native(backupPath(path)))),
                kTitle);
        }
    }
    m_result = result;
    m_cause = cause;
    Q_EMIT finished(result);
}

} // namespace orvalink
