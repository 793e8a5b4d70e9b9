#include "config/ConfigFile.h"

#include "core/Cp1252.h"
#include "core/Readouts.h"
#include "core/StartMode.h"
#include "store/IniStore.h"
#include "store/SafeFile.h"

#include <QRegularExpression>

namespace orvalink::configfile {

QByteArray backupText(const QString& section, const QList<QPair<QString, QString>>& keys,
                      const Header& header)
{
    // A header value never ends its line.
    auto clean = [](QString v) {
        return v.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
    };
    QString text = QStringLiteral("; orvalink configuration backup\r\n");
    text += QStringLiteral("; time: ") +
            header.time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")) +
            QStringLiteral("\r\n");
    text += QStringLiteral("; program: orvalink ") + clean(header.version) + QStringLiteral("\r\n");
    text += QStringLiteral("; name: ") + clean(header.name) + QStringLiteral("\r\n");
    text += QStringLiteral("; address: ") + clean(header.address) + QStringLiteral("\r\n");
    text += QStringLiteral("; role: ") + roleCaption(header.role) + QStringLiteral("\r\n");
    if (!header.edition.isEmpty())
        text += QStringLiteral("; edition: ") + clean(header.edition) + QStringLiteral("\r\n");
    text += QLatin1Char('[') + section + QStringLiteral("]\r\n");
    for (const auto& [key, value] : keys)
        text += cp1252::toUpper(key) + QLatin1Char('=') + clean(value) + QStringLiteral("\r\n");
    return cp1252::encode(text);
}

bool writeBackup(const QString& path, const QByteArray& text, QString* error)
{
    const QStringList errors = writeBackups({PendingFile{path, text}});
    *error = errors.value(0);
    return error->isEmpty();
}

QStringList writeBackups(const QList<PendingFile>& files)
{
    QList<safefile::PendingFile> pending;
    pending.reserve(files.size());
    for (const PendingFile& file : files)
        pending.append({file.path, file.text});
    // Owner only from its creation: the file holds communities.
    safefile::Options options;
    options.mode = safefile::Mode::Private;
    options.syncFolder = true;
    return safefile::replaceFiles(pending, options);
}

QString backupFileName(const QString& section, const QString& name)
{
    QString safe = name.trimmed();
    safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]+")), QStringLiteral("_"));
    // A name edited by hand may be of any length; a file name may not (255
    // bytes): the name part is bounded, the section (the MAC) stays whole.
    safe.truncate(kBackupNameChars);
    return section + (safe.isEmpty() ? QString() : QLatin1Char('-') + safe) +
           QStringLiteral(".ini");
}

Backup readBackup(const QString& path)
{
    Backup b;
    // A pipe or a device chosen by mistake is refused, never waited on.
    QByteArray bytes;
    if (!readRegularFile(path, &bytes, &b.error))
        return b;
    const QString text = cp1252::decode(bytes.left(1024 * 1024));
    static const QRegularExpression headerLine(
        QStringLiteral("^;\\s*(role|edition|name|address|program):\\s*(.*?)\\s*$"),
        QRegularExpression::MultilineOption);
    for (auto it = headerLine.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QString field = m.captured(1);
        const QString value = m.captured(2);
        if (field == QLatin1String("role"))
            b.header.role = value == QLatin1String("ENCODER")   ? ElementRole::Encoder
                            : value == QLatin1String("DECODER") ? ElementRole::Decoder
                                                                : ElementRole::Unknown;
        else if (field == QLatin1String("edition"))
            b.header.edition = value.toUpper();
        else if (field == QLatin1String("name"))
            b.header.name = value;
        else if (field == QLatin1String("address"))
            b.header.address = value;
        else
            b.header.version = value;
    }
    IniStore store;
    const QStringList sections = store.sectionNames(path);
    if (sections.size() != 1 || Encode_MAC(Decode_MAC(sections.first())) != sections.first()) {
        b.error =
            QStringLiteral("not a configuration backup (one section named by a MAC expected)");
        return b;
    }
    b.section = sections.first();
    for (const QString& key : store.sectionKeys(b.section, path)) {
        // Which of two values would be meant cannot be told: refused.
        if (b.keys.contains(key.toLower())) {
            b.error = QStringLiteral("the key %1 stands twice in the file").arg(key);
            b.keys.clear();
            return b;
        }
        b.keys.insert(key.toLower(), store.read(b.section, key, path, QString()));
    }
    // The role the section stores wins over the header's words.
    const ElementRole stored = roleFromText(b.keys.value(QStringLiteral("role")));
    if (stored != ElementRole::Unknown)
        b.header.role = stored;
    return b;
}

QString readable(const QString& key, const QString& value, const QString& edition, bool sfn)
{
    const std::optional<int> n = readouts::storedInteger(value);
    const QString point = QStringLiteral(".");
    if (!n)
        return value;
    if (key == QLatin1String("att"))
        return readouts::attenuationText(*n, point);
    if (key == QLatin1String("buf")) {
        const AppFlags flags = startModeFor(edition).flags;
        return readouts::latencyText(*n, flags.GPSMode || sfn, flags.startedLowLatency, point);
    }
    if (key == QLatin1String("sdl"))
        return readouts::silenceLevelText(*n, point);
    if (key == QLatin1String("sdt"))
        return readouts::silenceTimeText(*n, point);
    if (key == QLatin1String("sfn") || key == QLatin1String("llo"))
        return *n ? QStringLiteral("on") : QStringLiteral("off");
    if (key == QLatin1String("tx"))
        return *n ? QStringLiteral("multicast") : QStringLiteral("unicast");
    return value;
}

} // namespace orvalink::configfile
