#include "store/ElementDatabase.h"

#include "core/Text.h"
#include "store/Cp1252.h"
#include "store/IniStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvalink {

bool isValidIPAddress(const QString& strIPAddress)
{
    return parseIPv4(strIPAddress);
}

QString encodeMac(const QString& srcMAC)
{
    if (srcMAC.length() != 17)
        return QString();
    QString s = srcMAC;
    return s.remove(QLatin1Char(':')).toUpper();
}

QString decodeMac(const QString& srcSection)
{
    if (srcSection.length() != 12)
        return QString();
    QString colon(17, QLatin1Char(':'));
    for (int i = 0; i < 12; ++i)
        colon[i + i / 2] = srcSection.at(i).toUpper();
    return colon;
}

QString encodeName(const QString& srcName)
{
    // Character by character: a full Unicode upper-casing can lengthen the
    // text (a sharp s becomes two letters) and the stored form is 16 exactly.
    return cp1252::toUpper(srcName.leftJustified(16, QLatin1Char(' '), true));
}

ElementRole roleFromText(const QString& roleText)
{
    // The numeric value of the text's leading number ("1", " 1", "01",
    // "1.0" all mean 1); a missing or non-numeric role has the value 0.
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

QString chooseDatabasePath(const QString& programDir, const QString& userDataDir)
{
    const QString beside = QDir(programDir).filePath(QStringLiteral("nms.ini"));
    const QFileInfo folder(programDir);
    const QFileInfo file(beside);
    // A rewrite replaces the file by a new one in the same folder, so the
    // folder must be writable too.
    if (folder.isDir() && folder.isWritable() && (!file.exists() || file.isWritable()))
        return beside;
    QDir().mkpath(userDataDir);
    return QDir(userDataDir).filePath(QStringLiteral("nms.ini"));
}

QString defaultDatabasePath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Quorvane/Orvalink NMS");
    return chooseDatabasePath(QCoreApplication::applicationDirPath(), data);
}

ElementList loadElementList(const IniStore& store, const QString& path)
{
    ElementList list;
    list.error = store.readError(path);
    if (!list.error.isEmpty())
        return list;
    const QStringList sections = store.sectionNames(path);
    list.empty = sections.isEmpty();
    list.entries.reserve(sections.size());
    for (const QString& section : sections) {
        ElementEntry e;
        e.section = section;
        e.mac = decodeMac(section);
        e.roleText = store.read(section, QStringLiteral("role"), path, QString());
        e.name = store.read(section, QStringLiteral("name"), path, QString());
        // A missing or garbled role lists the element as one of unknown kind.
        e.role = roleFromText(e.roleText);
        e.nodeText = e.name + QStringLiteral(" [") + e.mac + QLatin1Char(']');
        e.ip = store.read(section, QStringLiteral("ip"), path, QString());
        e.snmpIp = store.read(section, QStringLiteral("snmpip"), path, QString());
        list.entries.append(e);
    }
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

} // namespace orvalink
