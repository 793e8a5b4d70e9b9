// Feeds arbitrary files to the INI store: every read must end, a batch of
// keys reads as the single reads do, a file it refuses is never written, and a write into a file it
// reads keeps every other section and key and reads back what was written.

#include "store/IniStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace orvalink;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // On a memory file system where there is one: every input is a write.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/fuzz-ini-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/fuzz-ini-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            abort();
    }

    IniStore store;
    const QStringList before = store.sectionNames(path);
    for (const QString& s : before) {
        if (s.isEmpty())
            abort();
    }
    QList<QStringList> keysBefore;
    for (const QString& s : before)
        keysBefore.append(store.sectionKeys(s, path));
    // The keys of a section read in one look give what one read each gives.
    const IniStore::Snapshot snapshot = store.snapshot(path);
    for (qsizetype i = 0; i < before.size(); ++i) {
        const QStringList values = snapshot.readKeys(before.at(i), keysBefore.at(i));
        for (qsizetype k = 0; k < values.size(); ++k) {
            if (values.at(k) != snapshot.read(before.at(i), keysBefore.at(i).at(k), QString()))
                abort();
        }
    }

    const QString section = QStringLiteral("FUZZ0SECTION");
    store.write(section, QStringLiteral("k"), QStringLiteral("written"), path);
    // A file the store refuses stays as it was.
    if (!store.readError(path).isEmpty()) {
        if (readAll(path) != bytes)
            abort();
        return 0;
    }

    IniStore fresh; // nothing cached: what is on disk
    if (fresh.read(section, QStringLiteral("K"), path, QString()) != QStringLiteral("written"))
        abort();
    const QStringList after = fresh.sectionNames(path);
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (before.at(i).compare(section, Qt::CaseInsensitive) == 0)
            continue;
        if (!after.contains(before.at(i)) ||
            fresh.sectionKeys(before.at(i), path) != keysBefore.at(i))
            abort();
    }
    return 0;
}
