#pragma once
// A full disk for tests: a small tmpfs mounted on a temporary folder and
// unmounted again at the end. Mounting needs root; mounted() says whether
// it worked, so that a test can skip with its reason.

#include <QProcess>
#include <QTemporaryDir>

namespace orvalink::testing {

class SmallDisk {
public:
    explicit SmallDisk(const QString& size = QStringLiteral("64k"))
    {
        m_mounted = QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                       QStringLiteral("-o"), QStringLiteral("size=") + size,
                                       QStringLiteral("tmpfs"), m_dir.path()}) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_dir.path()});
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace orvalink::testing
