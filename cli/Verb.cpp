#include "Verb.h"

#include "Cli.h"

namespace orvalink::cli {

namespace {

const VerbOption* findOption(std::span<const VerbOption> options, QStringView name)
{
    for (const VerbOption& o : options) {
        if (name == QLatin1String(o.name))
            return &o;
    }
    return nullptr;
}

const VerbOption* findLetter(std::span<const VerbOption> options, QStringView word)
{
    if (word.size() != 2 || word.at(0) != QLatin1Char('-'))
        return nullptr;
    for (const VerbOption& o : options) {
        if (o.letter && word.at(1) == QLatin1Char(o.letter))
            return &o;
    }
    return nullptr;
}

// Wraps text to lines of at most width characters, each after indent.
QString wrapped(const QString& text, int indent, int width)
{
    QString out;
    QString line;
    for (const QString& w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + w.size() > width - indent) {
            out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + w;
    }
    if (!line.isEmpty())
        out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
    return out;
}

} // namespace

bool VerbArgs::parse(std::span<const VerbOption> options, const QStringList& args,
                     bool stopAtArgument, QString* error)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& word = args.at(i);
        const VerbOption* letter = optionsEnded ? nullptr : findLetter(options, word);
        if (optionsEnded || (!letter && !word.startsWith(QLatin1String("--")))) {
            if (stopAtArgument) {
                m_arguments = args.mid(i);
                return true;
            }
            m_arguments << word;
            continue;
        }
        if (word == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (word == QLatin1String("--help")) {
            m_help = true;
            continue;
        }
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        const QStringView name =
            letter ? QStringView() : QStringView(word).mid(2, eq < 0 ? -1 : eq - 2);
        const VerbOption* option = letter ? letter : findOption(options, name);
        if (!option) {
            *error =
                QStringLiteral("unknown option %1").arg(printable(word.left(eq < 0 ? -1 : eq)));
            return false;
        }
        const QString shown = QStringLiteral("--") + QLatin1String(option->name);
        QString value;
        if (!option->valueName) {
            if (eq >= 0) {
                *error = QStringLiteral("%1 takes no value").arg(shown);
                return false;
            }
        } else if (eq >= 0) {
            value = word.mid(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args.at(++i);
        } else {
            *error = QStringLiteral("%1 needs %2").arg(shown, QLatin1String(option->valueName));
            return false;
        }
        if (option->unit) {
            bool ok = false;
            const qint64 n = value.trimmed().toLongLong(&ok);
            if (!ok || n < option->minimum || n > option->maximum) {
                *error = QStringLiteral("%1 needs %2 from %3 to %4")
                             .arg(shown, QLatin1String(option->unit))
                             .arg(option->minimum)
                             .arg(option->maximum);
                return false;
            }
        }
        m_values.insert(QLatin1String(option->name), value);
    }
    return true;
}

QString verbUsage(const Verb& verb)
{
    QString usage = QStringLiteral("orvalink-cli ") + QLatin1String(verb.name);
    if (*verb.synopsis)
        usage += QLatin1Char(' ') + QLatin1String(verb.synopsis);
    return usage;
}

void printOptions(QTextStream& out, std::span<const VerbOption> options)
{
    for (const VerbOption& o : options) {
        out << "  ";
        if (o.letter)
            out << '-' << o.letter << ", ";
        out << "--" << o.name;
        if (o.valueName)
            out << ' ' << o.valueName;
        out << "\n" << wrapped(QLatin1String(o.description), 6, 78);
    }
}

void printVerbSummary(QTextStream& out, const Verb& verb)
{
    out << "  " << verb.name;
    if (*verb.synopsis)
        out << ' ' << verb.synopsis;
    out << "\n" << wrapped(QLatin1String(verb.summary), 6, 78);
}

void printVerbHelp(QTextStream& out, const Verb& verb)
{
    out << "Usage: " << verbUsage(verb) << "\n\n" << wrapped(QLatin1String(verb.summary), 0, 78);
    out << "\nOptions:\n";
    printOptions(out, verb.options);
    out << "  --help\n      this text\n\n"
        << wrapped(QStringLiteral("The options of orvalink-cli itself (--db, --nms, --port, "
                                  "--wait, -v) come before the verb: see orvalink-cli --help."),
                   0, 78);
}

int usageError(QTextStream& err, const char* verb, const QString& why)
{
    err << "orvalink-cli: ";
    if (verb && *verb)
        err << verb << ": ";
    err << why << "\n";
    err.flush();
    return kExitUsage;
}

int usageError(const Context& ctx, const QString& why)
{
    return usageError(ctx.err, ctx.verb ? ctx.verb->name : nullptr, why);
}

int runVerb(const Context& ctx, const QStringList& args)
{
    const Verb& verb = *ctx.verb;
    VerbArgs parsed;
    QString error;
    const bool ok = parsed.parse(verb.options, args, false, &error);
    if (parsed.helpAsked()) {
        printVerbHelp(ctx.out, verb);
        return 0;
    }
    if (!ok)
        return usageError(
            ctx,
            error + QStringLiteral(" (see orvalink-cli %1 --help)").arg(QLatin1String(verb.name)));
    const qsizetype count = parsed.arguments().size();
    if (verb.maxArguments == 0 && count > 0)
        return usageError(ctx, QStringLiteral("takes no arguments (see orvalink-cli %1 --help)")
                                   .arg(QLatin1String(verb.name)));
    if (count < verb.minArguments || (verb.maxArguments >= 0 && count > verb.maxArguments))
        return usageError(ctx, QStringLiteral("usage: ") + verbUsage(verb));
    return verb.run(ctx, parsed);
}

} // namespace orvalink::cli
