#include "StateFile.h"

#include "Element.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

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
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

} // namespace orvalink::sim
