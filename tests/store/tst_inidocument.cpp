#include "store/IniDocument.h"
#include "store/IniStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink;

namespace {

// What a read of key in section gives ("-" for absent), from the document.
QString valueOf(const IniDocument& doc, const QString& section, const QString& key)
{
    const IniDocument::Section* s = doc.find(section);
    IniDocument::KeyLine k;
    if (!s || !doc.findKey(*s, key, &k))
        return QStringLiteral("-");
    return QString::fromLatin1(doc.rawValueOf(k));
}

QStringList sectionNames(const IniDocument& doc)
{
    QStringList names;
    for (const IniDocument::Section& s : doc.sections())
        names.append(doc.nameOf(s));
    return names;
}

} // namespace

class TestIniDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Where a section starts: a "[" first on its line, and nowhere else.
    void sectionsOnOddLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("sections");
        QTest::newRow("bracket inside a value")
            << QByteArray("[A]\r\nNAME=[B]\r\nx [C]\r\n") << QStringList{"A"};
        QTest::newRow("byte-order mark and blanks before the first")
            << QByteArray(" \xEF\xBB\xBF\t[A]\r\nk=v\r\n") << QStringList{"A"};
        QTest::newRow("byte-order mark on a later line is text")
            << QByteArray("[A]\r\n\xEF\xBB\xBF[B]\r\n") << QStringList{"A"};
        QTest::newRow("blanks, vertical tab and form feed before")
            << QByteArray("\v[A]\n \f[B]\n") << QStringList{"A", "B"};
        QTest::newRow("CR alone ends a line in a CRLF file")
            << QByteArray("[A]\r\nk=1\r[B]\r\n") << QStringList{"A", "B"};
        QTest::newRow("no closing bracket: the rest of the line")
            << QByteArray("[ A B \r\n[]\r\n") << QStringList{"A B", ""};
        QTest::newRow("comment line") << QByteArray(";[A]\r\n[B]") << QStringList{"B"};
    }
    void sectionsOnOddLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, sections);
        QCOMPARE(sectionNames(IniDocument(file)), sections);
    }

    // A key is what stands before the first "=", trimmed; a longer key,
    // one further down, or a name that holds "=" is not it.
    void keysAreWholeNames()
    {
        const IniDocument doc(QByteArray("[S]\r\nSNMPIPX=1\r\n  snmpip  = 2 \r\nSNMPIP=3\r\n"
                                         "=empty\r\nA=B=C\r\nlonely\r\n\tb\v=x\r\n"));
        const IniDocument::Section* s = doc.find(QStringLiteral(" s "));
        QVERIFY(s);
        QCOMPARE(valueOf(doc, "S", "SNMPIP"), QStringLiteral(" 2 "));
        QCOMPARE(valueOf(doc, "S", "snmpipx"), QStringLiteral("1"));
        QCOMPARE(valueOf(doc, "S", ""), QStringLiteral("empty"));
        QCOMPARE(valueOf(doc, "S", "A=B"), QStringLiteral("-"));
        QCOMPARE(valueOf(doc, "S", "a"), QStringLiteral("B=C"));
        QCOMPARE(valueOf(doc, "S", "LONELY"), QString());
        QCOMPARE(valueOf(doc, "S", "b"), QStringLiteral("x"));
        QCOMPARE(doc.keyLineCount(*s), 7);

        // Several keys in one look give what one read each gives.
        const QStringView keys[] = {u"a", u"snmpip", u"gw", u"A=B", u"", u"SNMPIPX"};
        IniDocument::KeyLine found[6];
        bool hit[6];
        doc.findKeys(*s, keys, 6, found, hit);
        for (int i = 0; i < 6; ++i) {
            const QString one = valueOf(doc, "S", keys[i].toString());
            QCOMPARE(hit[i] ? QString::fromLatin1(doc.rawValueOf(found[i])) : QStringLiteral("-"),
                     one);
        }
    }

    // Names are compared as the characters the bytes stand for, without
    // regard to case, also beyond ASCII.
    void codePageNamesIgnoreCase()
    {
        const IniDocument doc(QByteArray("[caf\xE9]\r\nk\xFF=1\r\n[\x8A]\r\nk=2\r\n"));
        QCOMPARE(valueOf(doc, QString::fromUtf8("CAFÉ"), QString::fromUtf8("KŸ")),
                 QStringLiteral("1"));
        QCOMPARE(valueOf(doc, QString::fromUtf8("š"), "K"), QStringLiteral("2"));
        QCOMPARE(valueOf(doc, QString::fromUtf8("CAFE"), QString::fromUtf8("KŸ")),
                 QStringLiteral("-"));
    }

    // An edit writes every line with the file's first line end, keeps a
    // missing final one missing, and a section created by one key of a
    // batch takes the next (even when its name has a character the code
    // page lacks).
    void editsKeepTheFilesForm()
    {
        IniDocument mixed(QByteArray("[A]\nk=1\r\nj=2\rl=3"));
        QVERIFY(mixed.setValue(u"a", u"j", "9"));
        QCOMPARE(mixed.bytes(), QByteArray("[A]\nk=1\nj=9\nl=3"));
        QVERIFY(!mixed.setValue(u"A", u"J", "9"));

        IniDocument headerOnly(QByteArray("[A]"));
        QVERIFY(headerOnly.setValue(u"A", u"k", "1"));
        QCOMPARE(headerOnly.bytes(), QByteArray("[A]\r\nK=1"));

        IniDocument fresh;
        QVERIFY(fresh.setValue(u"S\u03A9", u"k", "1"));
        QVERIFY(fresh.setValue(u"S\u03A9", u"j", "2"));
        QCOMPARE(fresh.bytes(), QByteArray("[S?]\r\nK=1\r\nJ=2\r\n"));
        QVERIFY(fresh.removeSection(u"s?"));
        QCOMPARE(fresh.bytes(), QByteArray());
    }

    // The list's batch of keys through the store's snapshot answers as the
    // single reads do, for present, absent and repeated keys.
    void snapshotReadKeysMatchesRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[2E8BF2001A2B]\r\nNAME=\" A \"\r\nROLE=1\r\nname=second\r\nIP=  10.0.0.1\r\n");
        f.close();
        IniStore store;
        const IniStore::Snapshot db = store.snapshot(path);
        const QStringList keys = {"role", "name", "ip", "snmpip", "NAME"};
        const QStringList values = db.readKeys(QStringLiteral("2e8bf2001a2b"), keys);
        QCOMPARE(values.size(), keys.size());
        for (qsizetype i = 0; i < keys.size(); ++i)
            QCOMPARE(values.at(i), db.read(QStringLiteral("2E8BF2001A2B"), keys.at(i), QString()));
        QCOMPARE(db.readKeys(QStringLiteral("000000000000"), keys), QStringList(keys.size()));

        // The whole file in one pass: each name once, as sectionNames()
        // lists them, with the values of its first section.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[B]\r\nk=1\r\n[]\r\nk=0\r\n[a]\r\nk=2\r\n[b]\r\nk=3\r\n[A]\r\n");
        f.close();
        const IniStore::Snapshot again = store.snapshot(path);
        QStringList seen;
        again.forEachSection({QStringLiteral("K"), QStringLiteral("j")},
                             [&](const QString& section, const QStringList& found) {
                                 seen.append(section + QLatin1Char('=') + found.join(u','));
                             });
        QCOMPARE(seen, (QStringList{"B=1,", "a=2,"}));
        QCOMPARE(again.sectionNames(), (QStringList{"B", "a"}));
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
