#include "app/AppContext.h"

#include <QDir>
#include <QStandardPaths>

namespace orvalink {

QString defaultLockPath()
{
    // The session's per-user runtime folder when there is one; otherwise the
    // temporary folder, with the user's name in the file name.
#ifdef Q_OS_UNIX
    const bool haveRuntimeDir = !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR");
#else
    const bool haveRuntimeDir = true;
#endif
    if (haveRuntimeDir) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!dir.isEmpty())
            return QDir(dir).filePath(QStringLiteral("orvalink-nms.lock"));
    }
    QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    user.remove(QLatin1Char('/')).remove(QLatin1Char('\\'));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("orvalink-nms-%1.lock").arg(user));
}

} // namespace orvalink
