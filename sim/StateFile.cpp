#include "StateFile.h"

#include "Element.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace orvalink::sim {

namespace {
const QString kElements = QStringLiteral("elements");
}

bool StateFile::load(QString* error)
{
    m_entries = {};
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject() ||
        !doc.object().value(kElements).isObject()) {
        if (error)
            *error = QStringLiteral("%1 is not a simulator state file (%2); it is left untouched")
                         .arg(m_path, parseError.error != QJsonParseError::NoError
                                          ? parseError.errorString()
                                          : QStringLiteral("no \"elements\" object"));
        return false;
    }
    m_entries = doc.object().value(kElements).toObject();
    return true;
}

QStringList StateFile::restore(Element& element) const
{
    const QJsonValue entry = m_entries.value(element.macText());
    if (entry.isUndefined())
        return {};
    const QString who = element.macText() + QStringLiteral(": ");
    if (!entry.isObject())
        return {who + QStringLiteral("stored entry is not an object, defaults used")};
    const QJsonObject object = entry.toObject();
    if (object.value(QStringLiteral("role")).toString() != roleName(element.role()))
        return {who + QStringLiteral("stored as another role, defaults used")};
    QStringList problems = element.fromJson(object);
    for (QString& p : problems)
        p.prepend(who);
    return problems;
}

bool StateFile::save(const QList<const Element*>& elements, QString* error)
{
    for (const Element* e : elements)
        m_entries[e->macText()] = e->toJson();
    QJsonObject root;
    root[kElements] = m_entries;
    // The file holds the elements' communities: it is created readable by
    // its owner only (its temporary too), and a rewrite keeps the mode,
    // owner and group the file was given.
    struct stat old {};
    const bool exists = ::stat(QFile::encodeName(m_path).constData(), &old) == 0;
    QSaveFile file(m_path);
    const mode_t mask = ::umask(077);
    const bool opened = file.open(QIODevice::WriteOnly);
    ::umask(mask);
    if (opened && exists) {
        if (::fchown(file.handle(), old.st_uid, old.st_gid) != 0 &&
            ::fchown(file.handle(), uid_t(-1), old.st_gid) != 0) {
            // Not allowed: the file becomes ours, with its old mode.
        }
        ::fchmod(file.handle(), old.st_mode & 07777);
    }
    if (!opened || file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 ||
        !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

} // namespace orvalink::sim
