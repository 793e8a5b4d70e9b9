#pragma once
// One running program per lock file: the lock itself, and the local socket
// through which a second start brings the first one's window to the front.

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace orvalink {

class InstanceGuard : public QObject {
    Q_OBJECT
public:
    // An empty lockPath guards nothing: every start is the only one.
    explicit InstanceGuard(const QString& lockPath, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // False only when a live process holds the lock. A lock file that
    // cannot be made at all says nothing about another instance.
    bool acquire();
    // Held by this process: listens for later starts, which emit
    // activationRequested.
    void listen();
    // Asks the running instance to come to the front.
    void activateRunning();

Q_SIGNALS:
    void activationRequested();

private:
    const QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace orvalink
