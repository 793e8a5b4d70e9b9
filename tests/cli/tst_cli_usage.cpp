// orvalink-cli's command line: every verb's --help, the manual page as the
// one reference of the verbs and options the program takes, and usage
// errors in one form with exit 2. No test here sends anything.

#include "common/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink::testing;

namespace {

// The options named in a help text ("--name"), in order, each once.
QStringList optionsIn(const QString& text)
{
    QStringList out;
    static const QRegularExpression option(QStringLiteral("(?<![A-Za-z-])--([a-z][a-z-]*)"));
    for (auto it = option.globalMatch(text); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (!out.contains(name))
            out << name;
    }
    return out;
}

QString manualPage()
{
    QFile f(qEnvironmentVariable("ORVALINK_SOURCE_DIR") +
            QStringLiteral("/packaging/man/orvalink-cli.1"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

// The verbs the manual page describes: the first word after each ".TP" of
// its VERBS section.
QSet<QString> manualVerbs(const QString& page)
{
    QSet<QString> verbs;
    const qsizetype from = page.indexOf(QStringLiteral("\n.SH VERBS\n"));
    const qsizetype to = page.indexOf(QStringLiteral("\n.SH "), from + 1);
    const QStringList lines = page.mid(from, to - from).split(QLatin1Char('\n'));
    static const QRegularExpression entry(QStringLiteral("^\\.BI?\\s+\"?([a-z-]+)"));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines.at(i) == QLatin1String(".TP")) {
            const auto m = entry.match(lines.at(i + 1));
            if (m.hasMatch())
                verbs.insert(m.captured(1));
        }
    }
    return verbs;
}

} // namespace

class TestCliUsage : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // The verbs of orvalink-cli --help, in its order.
    QStringList programVerbs()
    {
        const ProgramRun r = runCli({QStringLiteral("--help")});
        const QString verbs = r.out.mid(r.out.indexOf(QStringLiteral("\nVerbs:\n")));
        QStringList out;
        static const QRegularExpression line(QStringLiteral("\\n  ([a-z-]+)"));
        for (auto it = line.globalMatch(verbs); it.hasNext();)
            out << it.next().captured(1);
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(binPath("orvalink-cli")).isExecutable())
            QSKIP("orvalink-cli is not built");
        QVERIFY2(!manualPage().isEmpty(), "the manual page cannot be read");
    }

    // Catches: a verb without its own --help (or one that exits non-zero or
    // writes to standard error), a verb or an option the program takes that
    // the manual page does not describe, and a verb or option the manual
    // page describes that the program does not take.
    void helpAndManualAgree()
    {
        const QString page = manualPage();
        const ProgramRun program = runCli({QStringLiteral("--help")});
        QCOMPARE(program.exitCode, 0);
        const QStringList verbs = programVerbs();
        QCOMPARE(verbs.size(), 19);
        QCOMPARE(QSet<QString>(verbs.begin(), verbs.end()), manualVerbs(page));

        QSet<QString> taken;
        for (const QString& o : optionsIn(program.out.left(program.out.indexOf(u"\nVerbs:\n"))))
            taken.insert(o);
        for (const QString& verb : verbs) {
            const ProgramRun r = runCli({verb, QStringLiteral("--help")});
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(verb + u' ' + r.err));
            QVERIFY2(r.out.startsWith(QStringLiteral("Usage: orvalink-cli ") + verb),
                     qPrintable(r.out));
            const qsizetype options = r.out.indexOf(QStringLiteral("\nOptions:\n"));
            QVERIFY2(options > 0, qPrintable(r.out));
            const QString declared = r.out.mid(options).section(QStringLiteral("\n\n"), 0, 0);
            for (const QString& o : optionsIn(declared)) {
                taken.insert(o);
                if (o != QLatin1String("help"))
                    QVERIFY2(page.contains(QStringLiteral("--") + o),
                             qPrintable(
                                 QStringLiteral("%1 --%2 is not in the manual page").arg(verb, o)));
            }
            // The synopsis names only options the verb declares.
            for (const QString& o : optionsIn(r.out.section(QLatin1Char('\n'), 0, 0)))
                QVERIFY2(declared.contains(QStringLiteral("  --") + o),
                         qPrintable(verb + QStringLiteral(": --") + o));
        }
        for (const QString& o : optionsIn(page))
            QVERIFY2(taken.contains(o),
                     qPrintable(QStringLiteral("the manual page describes --%1, which no verb "
                                               "takes")
                                    .arg(o)));
    }

    // Catches: a usage error that exits with another code, says nothing,
    // says it in another form, or is taken for something to do (an option
    // read as an argument or the other way round, a value out of range
    // accepted, a bad --nms that some verb sends from anyway).
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, const QStringList& args, const char* said) {
            QTest::newRow(name) << args << QString::fromUtf8(said);
        };
        row("unknown option", {"apply", "2E:8B:F2:00:0A:1B", "att=1", "--bogus"},
            "apply: unknown option --bogus (see orvalink-cli apply --help)");
        row("missing value", {"ping", "127.0.0.1", "--timeout-ms"}, // text only
            "ping: --timeout-ms needs N (see orvalink-cli ping --help)");
        row("number out of range", {"level", "127.0.0.1", "--count", "0"}, // text only
            "level: --count needs a number from 1 to 100000 (see orvalink-cli level --help)");
        row("number that is none",
            {"monitor", "--listen", "127.0.0.1:0", "--interval=x"}, // text only
            "monitor: --interval needs seconds from 1 to 86400 (see orvalink-cli monitor --help)");
        row("switch with a value", {"diff", "--all=yes"},
            "diff: --all takes no value (see orvalink-cli diff --help)");
        row("too few arguments", {"get", "127.0.0.1", "public"}, // text only
            "get: usage: orvalink-cli get HOST COMMUNITY N [N ...]");
        row("a negative number is an argument",
            {"get", "127.0.0.1", "public", "15", "-1"}, // text only
            "get: N \"-1\" is not a parameter number 0 to 127");
        row("arguments to a verb that takes none", {"list", "x"},
            "list: takes no arguments (see orvalink-cli list --help)");
        row("too many", {"restore", "2E:8B:F2:00:0A:1B", "a.ini", "b.ini"},
            "restore: usage: orvalink-cli restore MAC FILE [--yes] [--spacing-ms N] [--edition "
            "GPS|LL]");
        row("neither MAC nor --all", {"stats"},
            "stats: usage: orvalink-cli stats MAC | --all [--prometheus [--output FILE]]");
        row("empty --output", {"stats", "--all", "--prometheus", "--output", ""},
            "stats: --output needs the path of a file");
        row("a word with one dash is an argument", {"events", "-x"},
            "events: \"-x\" is not a MAC address like 2E:8B:F2:00:0A:1B");
        row("-- ends the options", {"events", "--", "--since"},
            "events: \"--since\" is not a MAC address like 2E:8B:F2:00:0A:1B");
        row("--parallel of one element", {"apply", "2E:8B:F2:00:0A:1B", "att=1", "--parallel", "2"},
            "apply: --parallel is for --where, --macs and --all");
        row("--edition", {"restore", "2E:8B:F2:00:0A:1B", "f.ini", "--edition", "XL"},
            "restore: --edition takes GPS or LL, not \"XL\"");
        row("control characters shown escaped", {"history", "\x1b[2J"},
            "history: \"\\x1b[2J\" is not a MAC address like 2E:8B:F2:00:0A:1B");
        row("program option out of range", {"--port", "70000", "list"}, // text only
            "--port needs a UDP port from 1 to 65535 (see --help)");
        row("unknown verb", {"frob"}, "unknown verb frob (see --help)");
        for (const char* verb : {"probe", "stats", "diff", "discover", "traps", "remote-save"}) {
            QStringList args{"--nms", "10.0.0", verb};
            if (QByteArrayView(verb) == "probe")
                args << "127.0.0.1"; // text only
            else if (QByteArrayView(verb) == "stats" || QByteArrayView(verb) == "diff")
                args << "--all";
            else if (QByteArrayView(verb) == "remote-save")
                args << "2E:8B:F2:00:0A:1B";
            QTest::addRow("bad --nms, %s", verb)
                << args
                << QStringLiteral("%1: --nms \"10.0.0\" is not a dotted IPv4 address")
                       .arg(QLatin1String(verb));
        }
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        const QString db = dir.filePath(QStringLiteral("nms.ini"));
        const ProgramRun r = runCli(QStringList{QStringLiteral("--db"), db} + args, 10000);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, QStringLiteral("orvalink-cli: ") + said + QLatin1Char('\n'));
        QCOMPARE(r.out, QString());
        // Nothing was done: no database and no event log appeared.
        QVERIFY(QDir(dir.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"
