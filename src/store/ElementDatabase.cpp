#include "store/ElementDatabase.h"

#include "core/Cp1252.h"
#include "core/Text.h"
#include "store/FileLock.h"
#include "store/IniStore.h"
#include "store/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvalink {

bool IsValidIPAddress(const QString& strIPAddress)
{
    return parseIPv4(strIPAddress);
}

QString Encode_MAC(const QString& srcMAC)
{
    if (srcMAC.length() != 17)
        return QString();
    QString s = srcMAC;
    return s.remove(QLatin1Char(':')).toUpper();
}

QString Decode_MAC(const QString& srcSection)
{
    if (srcSection.length() != 12)
        return QString();
    QChar colon[17];
    for (int i = 0; i < 17; ++i) {
        const QChar c = i % 3 == 2 ? QLatin1Char(':') : srcSection.at(i - i / 3);
        colon[i] = c >= u'a' && c <= u'z' ? QChar(c.unicode() - 32) : c.toUpper();
    }
    return QString(colon, 17);
}

QString Encode_Name(const QString& srcName)
{
    // Character by character: a full Unicode upper-casing can lengthen the
    // text (a sharp s becomes two letters) and the stored form is 16 exactly.
    return cp1252::toUpper(srcName.leftJustified(16, QLatin1Char(' '), true));
}

ElementRole roleFromText(const QString& roleText)
{
    // The numeric value of the text's leading number ("1", " 1", "01",
    // "1.0" all mean 1); a missing or non-numeric role has the value 0.
    if (roleText.size() == 1) // as the program stores it
        return roleText.at(0) == u'1'   ? ElementRole::Encoder
               : roleText.at(0) == u'2' ? ElementRole::Decoder
                                        : ElementRole::Unknown;
    QStringView t(roleText);
    while (!t.isEmpty() && (t.front() == u' ' || t.front() == u'\t'))
        t = t.mid(1);
    qsizetype n = 0;
    if (n < t.size() && (t[n] == u'+' || t[n] == u'-'))
        ++n;
    while (n < t.size() && t[n] >= u'0' && t[n] <= u'9')
        ++n;
    if (n < t.size() && t[n] == u'.') {
        ++n;
        while (n < t.size() && t[n] >= u'0' && t[n] <= u'9')
            ++n;
    }
    bool ok = false;
    const double value = t.left(n).toDouble(&ok);
    if (ok && value == 1.0)
        return ElementRole::Encoder;
    if (ok && value == 2.0)
        return ElementRole::Decoder;
    return ElementRole::Unknown;
}

QString roleCaption(ElementRole role)
{
    switch (role) {
    case ElementRole::Encoder:
        return QStringLiteral("ENCODER");
    case ElementRole::Decoder:
        return QStringLiteral("DECODER");
    case ElementRole::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

ElementRole roleOfCaption(const QString& caption)
{
    if (caption == QLatin1String("ENCODER"))
        return ElementRole::Encoder;
    if (caption == QLatin1String("DECODER"))
        return ElementRole::Decoder;
    return ElementRole::Unknown;
}

namespace {

// True for a program installed under a system prefix, whoever runs it: its
// folder is no place for data even where root may write into it.
bool isSystemInstall(const QString& programDir)
{
    QString dir = QFileInfo(programDir).canonicalFilePath();
    if (dir.isEmpty())
        dir = QDir::cleanPath(QFileInfo(programDir).absoluteFilePath());
    for (const QLatin1String prefix : {QLatin1String("/usr"), QLatin1String("/opt")}) {
        if (dir == prefix || dir.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

// Copies from to a new file to (which must not exist) with from's
// permissions, in one step: a half copy never stands at to.
bool copyKeepingMode(const QString& from, const QString& to)
{
    QByteArray bytes;
    QString error;
    if (!readRegularFile(from, &bytes, &error))
        return false;
    safefile::Options options;
    options.mode = safefile::Mode::Given;
    options.permissions = QFileInfo(from).permissions();
    return safefile::replaceFile(to, bytes, options, &error);
}

} // namespace

DatabaseLocation chooseDatabaseLocation(const QString& programDir, const QString& userDataDir,
                                        bool adopt)
{
    const QString beside = QDir(programDir).filePath(QStringLiteral("nms.ini"));
    const QFileInfo folder(programDir);
    const QFileInfo file(beside);
    // A rewrite replaces the file by a new one in the same folder, so the
    // folder must be writable too.
    if (!isSystemInstall(programDir) && folder.isDir() && folder.isWritable() &&
        (!file.exists() || file.isWritable()))
        return {beside, {}};
    QDir().mkpath(userDataDir);
    DatabaseLocation location{QDir(userDataDir).filePath(QStringLiteral("nms.ini")), {}};
    if (!adopt || !file.isFile() || !file.isReadable() || QFileInfo::exists(location.path))
        return location;
    // The elements beside the program go with the database into its new
    // place, once; the original stays as it is. Under the write lock, so
    // that of two programs starting at once only one copies (and tells).
    const FileLock lock(FileLock::lockPathFor(location.path));
    if (lock.isLocked() && !QFileInfo::exists(location.path) &&
        copyKeepingMode(beside, location.path)) {
        location.notice =
            QStringLiteral("The element database %1 cannot be written where it is; it was "
                           "copied to %2, and the program uses that copy from now on. The "
                           "original is left as it was.")
                .arg(QDir::toNativeSeparators(beside), QDir::toNativeSeparators(location.path));
    }
    return location;
}

QString chooseDatabasePath(const QString& programDir, const QString& userDataDir)
{
    return chooseDatabaseLocation(programDir, userDataDir, false).path;
}

namespace {

QString userDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quorvane/Orvalink NMS");
}

} // namespace

DatabaseLocation defaultDatabaseLocation()
{
    return chooseDatabaseLocation(QCoreApplication::applicationDirPath(), userDataFolder(), true);
}

QString defaultDatabasePath()
{
    return chooseDatabasePath(QCoreApplication::applicationDirPath(), userDataFolder());
}

ElementList loadElementList(const IniStore& store, const QString& path)
{
    QList<ElementEntry> entries;
    ElementList list =
        visitElementList(store, path, [&](ElementEntry& e) { entries.append(std::move(e)); });
    list.entries = std::move(entries);
    return list;
}

ElementList visitElementList(const IniStore& store, const QString& path,
                             const std::function<void(ElementEntry&)>& visit)
{
    ElementList list;
    // One look at the file for the whole list: every element comes from the
    // same version of it.
    const IniStore::Snapshot db = store.snapshot(path);
    list.error = db.readError();
    if (!list.error.isEmpty())
        return list;
    const QStringList keys = {QStringLiteral("role"), QStringLiteral("name"), QStringLiteral("ip"),
                              QStringLiteral("snmpip")};
    db.forEachSection(keys, [&](const QString& section, const QStringList& values) {
        list.empty = false;
        ElementEntry e;
        e.section = section;
        e.mac = Decode_MAC(section);
        e.roleText = values.at(0);
        e.name = values.at(1);
        // A missing or garbled role lists the element as one of unknown kind.
        e.role = roleFromText(e.roleText);
        e.nodeText.reserve(e.name.size() + e.mac.size() + 3);
        e.nodeText.append(e.name).append(QLatin1String(" [")).append(e.mac).append(u']');
        e.ip = values.at(2);
        e.snmpIp = values.at(3);
        visit(e);
    });
    return list;
}

QString Database::read(const QString& section, const QString& key, const QString& def) const
{
    return m_store.read(section, key, m_path, def);
}

bool Database::write(const QString& section, const QString& key, const QString& value)
{
    return m_store.write(section, key, value, m_path);
}

bool Database::writeKeys(const QString& section, const QList<QPair<QString, QString>>& keyValues)
{
    return m_store.writeKeys(section, keyValues, m_path);
}

QString Database::lastError() const
{
    return m_store.lastError();
}

bool Database::sectionExists(const QString& section) const
{
    return m_store.sectionExists(section, m_path);
}

const QStringList& elementKeys()
{
    static const QStringList keys = {
        QStringLiteral("name"),   QStringLiteral("ip"),     QStringLiteral("mask"),
        QStringLiteral("gw"),     QStringLiteral("input"),  QStringLiteral("type"),
        QStringLiteral("tx"),     QStringLiteral("remote"), QStringLiteral("multi"),
        QStringLiteral("role"),   QStringLiteral("sn"),     QStringLiteral("ver"),
        QStringLiteral("sfn"),    QStringLiteral("buf"),    QStringLiteral("att"),
        QStringLiteral("sdm"),    QStringLiteral("sdl"),    QStringLiteral("sdt"),
        QStringLiteral("llo"),    QStringLiteral("dly"),    QStringLiteral("snmpip"),
        QStringLiteral("snmpnm"), QStringLiteral("snmpgw"), QStringLiteral("snmpdn"),
        QStringLiteral("snmpro"), QStringLiteral("snmprw"), QStringLiteral("snmptr"),
    };
    return keys;
}

bool sectionIsDamaged(const IniStore& store, const QString& section, const QString& path)
{
    int foreign = 0;
    for (const QString& key : store.sectionKeys(section, path)) {
        if (!elementKeys().contains(key.toLower()) && ++foreign > kMaxForeignKeys)
            return true;
    }
    return false;
}

} // namespace orvalink
