#include "IniSeed.h"

#include "Element.h"

#include <QFile>

namespace orvalink::sim {

namespace {

// Database key -> state-file setting, for the values an element answers.
struct KeyMap {
    const char* ini;
    const char* setting;
    bool number;
};
const KeyMap kKeys[] = {
    {"ATT", "att", true},           {"BUF", "buf", true},         {"INPUT", "input", true},
    {"TYPE", "type", true},         {"LLO", "llo", true},         {"TX", "tx", true},
    {"SFN", "sfn", true},           {"DLY", "dly", true},         {"SDM", "sdm", true},
    {"SDL", "sdl", true},           {"SDT", "sdt", true},         {"MULTI", "multi", false},
    {"REMOTE", "remote", false},    {"GW", "gw", false},          {"IP", "ip", false},
    {"MASK", "mask", false},        {"NAME", "name", false},      {"SN", "serial", false},
    {"SNMPRO", "snmpro", false},    {"SNMPRW", "snmprw", false},  {"SNMPTR", "trap", false},
    {"SNMPNM", "agentMask", false}, {"SNMPGW", "agentGw", false}, {"SNMPDN", "agentDns", false},
};

QString chopBlanks(QString s)
{
    while (!s.isEmpty() && (s.back() == QLatin1Char(' ') || s.back() == QLatin1Char('\t') ||
                            s.back() == QLatin1Char('\r')))
        s.chop(1);
    return s;
}

} // namespace

bool IniSeed::load(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--from-ini %1: %2").arg(path, f.errorString());
        return false;
    }
    parse(f.readAll());
    return true;
}

void IniSeed::parse(const QByteArray& content)
{
    m_sections.clear();
    QHash<QString, QString>* current = nullptr;
    const QList<QByteArray> lines = content.split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromLatin1(raw);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            const qsizetype end = trimmed.indexOf(QLatin1Char(']'));
            if (end > 1)
                current = &m_sections[trimmed.mid(1, end - 1).trimmed().toUpper()];
            else
                current = nullptr;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq <= 0 || trimmed.startsWith(QLatin1Char(';')))
            continue;
        const QString key = line.left(eq).trimmed().toUpper();
        if (!current->contains(key)) // the first of two equal keys counts
            current->insert(key, chopBlanks(line.mid(eq + 1)).trimmed());
    }
}

QJsonObject IniSeed::settingsFor(const QString& section) const
{
    QJsonObject settings;
    const auto it = m_sections.constFind(section.toUpper());
    if (it == m_sections.cend())
        return settings;
    const QHash<QString, QString>& keys = *it;
    for (const KeyMap& k : kKeys) {
        const QString value = keys.value(QString::fromLatin1(k.ini));
        if (value.isEmpty())
            continue;
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (k.number)
            settings.insert(QString::fromLatin1(k.setting),
                            ok ? QJsonValue(double(n)) : QJsonValue(value));
        else
            settings.insert(QString::fromLatin1(k.setting), value);
    }
    // VER is the version, a point and the revision: "3.50".
    const QString ver = keys.value(QStringLiteral("VER"));
    if (const qsizetype dot = ver.indexOf(QLatin1Char('.')); dot > 0) {
        settings.insert(QStringLiteral("version"), ver.left(dot));
        settings.insert(QStringLiteral("revision"), ver.mid(dot + 1));
    }
    return settings;
}

QStringList IniSeed::seed(Element& element) const
{
    const QString section = QString::fromLatin1(element.mac().toHex().toUpper());
    const QJsonObject settings = settingsFor(section);
    if (settings.isEmpty())
        return {QStringLiteral("%1: no section %2 in the database; defaults kept")
                    .arg(element.macText(), section)};
    QStringList problems;
    const QStringList rejected =
        element.fromJson(QJsonObject{{QStringLiteral("settings"), settings}});
    for (const QString& p : rejected)
        problems << element.macText() + QStringLiteral(": ") + p;
    return problems;
}

} // namespace orvalink::sim
