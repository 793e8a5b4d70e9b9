#include "store/ElementDatabase.h"

#include "store/IniStore.h"

#include <QCoreApplication>
#include <QDir>

namespace orvalink {

bool isValidIPAddress(const QString& strIPAddress)
{
    if (strIPAddress.isEmpty())
        return false;
    const QStringList parts = strIPAddress.split(QLatin1Char('.'));
    for (const QString& raw : parts) {
        const QString part = raw.trimmed();
        if (part.isEmpty())
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        // Digits only, so only the length can overflow: leading zeros are fine.
        bool ok = false;
        const qulonglong v = part.length() > 18 ? 256 : part.toULongLong(&ok);
        if (v > 255)
            return false;
    }
    return parts.size() == 4;
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
    QStringList pairs;
    for (int i = 0; i < 12; i += 2)
        pairs.append(srcSection.mid(i, 2).toUpper());
    return pairs.join(QLatin1Char(':'));
}

QString encodeName(const QString& srcName)
{
    return srcName.leftJustified(16, QLatin1Char(' '), true).toUpper();
}

QString defaultDatabasePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("nms.ini"));
}

ElementList loadElementList(const IniStore& store, const QString& path)
{
    ElementList list;
    const QStringList sections = store.sectionNames(path);
    list.empty = sections.isEmpty();
    list.entries.reserve(sections.size());
    for (const QString& section : sections) {
        ElementEntry e;
        e.section = section;
        e.mac = decodeMac(section);
        e.roleText = store.read(section, QStringLiteral("role"), path, QString());
        e.name = store.read(section, QStringLiteral("name"), path, QString());
        // Only a role of exactly 1 or 2 names a kind; a missing or garbled role
        // is listed as an element of unknown kind.
        bool ok = false;
        const int role = e.roleText.toInt(&ok);
        if (ok && role == 1)
            e.role = ElementRole::Encoder;
        else if (ok && role == 2)
            e.role = ElementRole::Decoder;
        e.nodeText = e.name + QStringLiteral(" [") + e.mac + QLatin1Char(']');
        list.entries.append(e);
    }
    return list;
}

} // namespace orvalink
