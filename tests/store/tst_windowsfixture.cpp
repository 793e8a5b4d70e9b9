// A database as the program on Windows leaves it: CRLF line ends, Windows-1252
// text, keys in mixed case, quoted and padded values, blank and comment lines,
// and more elements than the old section list could hold.

#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QString kMunich = QStringLiteral("2E8BF210A777"); // element 7, 8-bit name
const QString kTenth = QStringLiteral("2E8BF210AAAA");  // element 10, mixed-case keys

} // namespace

class TestWindowsFixture : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void listsEveryElement();
    void reads_data();
    void reads();
    void rewriteChangesOnlyWhatWasAsked_data();
    void rewriteChangesOnlyWhatWasAsked();

private:
    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_original;
};

void TestWindowsFixture::init()
{
    const QString source = QFINDTESTDATA("data/windows-nms.ini");
    QVERIFY(!source.isEmpty());
    m_original = readBytes(source);
    QVERIFY(m_original.contains("\r\n"));
    m_path = m_dir.filePath(QStringLiteral("nms.ini"));
    QFile::remove(m_path);
    QFile f(m_path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(m_original);
}

void TestWindowsFixture::listsEveryElement()
{
    IniStore store;
    const ElementList list = loadElementList(store, m_path);
    QVERIFY(!list.empty);
    QCOMPARE(list.entries.size(), 59);
    QCOMPARE(list.entries.at(0).nodeText, QStringLiteral("STUDIO 01 [2E:8B:F2:10:A1:11]"));
    QCOMPARE(list.entries.at(6).nodeText, QString::fromUtf8("MÜNCHEN CAFÉ €1 [2E:8B:F2:10:A7:77]"));
    // The 58th and 59th elements are there, in file order.
    QCOMPARE(list.entries.at(57).nodeText, QStringLiteral("STUDIO 58 [2E:8B:F2:10:DD:DA]"));
    QCOMPARE(list.entries.at(58).nodeText, QStringLiteral("STUDIO 59 [2E:8B:F2:10:DE:EB]"));
    int encoders = 0;
    for (const ElementEntry& e : list.entries)
        encoders += e.isEncoder() ? 1 : 0;
    QCOMPARE(encoders, 30);
    QVERIFY(list.entries.at(9).role == ElementRole::Decoder); // "Role=2"
}

void TestWindowsFixture::reads_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("padded name") << "2E8BF210A111"
                                 << "name"
                                 << "STUDIO 01";
    QTest::newRow("quoted padded name keeps its padding") << "2E8BF210A333"
                                                          << "NAME"
                                                          << "STUDIO 03       ";
    QTest::newRow("blanks around =") << "2E8BF210A444"
                                     << "ip"
                                     << "10.20.0.5";
    QTest::newRow("mixed-case key") << kTenth << "SNMPRO"
                                    << "rdcommun";
    QTest::newRow("lower-case section") << kTenth.toLower() << "role"
                                        << "2";
    QTest::newRow("encoder has no buffer") << "2E8BF210A111"
                                           << "buf"
                                           << "<none>";
}

void TestWindowsFixture::reads()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    IniStore store;
    QTEST(store.read(section, key, m_path, QStringLiteral("<none>")), "expected");
}

void TestWindowsFixture::rewriteChangesOnlyWhatWasAsked_data()
{
    QTest::addColumn<QString>("op");
    // The first copy of "from" after the section line of "section" is
    // replaced by "to"; the rest of the file stays byte for byte.
    QTest::addColumn<QString>("section");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");

    QTest::newRow("replace a value") << "write-name"
                                     << "2E8BF210A111" << QByteArray("NAME=STUDIO 01       \r\n")
                                     << QByteArray("NAME=STUDIO ONE      \r\n");
    QTest::newRow("replace under a mixed-case key")
        << "write-tenth" << kTenth << QByteArray("Snmprw=wrcommun\r\nSnmpnm=255.255.0.0\r\n")
        << QByteArray("Snmprw=newwrite\r\nSnmpnm=255.255.0.0\r\n");
    QTest::newRow("add a key before the blank line")
        << "add-tenth" << kTenth << QByteArray("Role=2\r\n\r\n[")
        << QByteArray("Role=2\r\nSRV=1\r\n\r\n[");
    QTest::newRow("8-bit name rewritten") << "write-munich" << kMunich
                                          << QByteArray("NAME=M\xDCNCHEN CAF\xC9 \x80"
                                                        "1 \r\n")
                                          << QByteArray("NAME=M\xDCNCHEN \x80"
                                                        "2      \r\n");
}

void TestWindowsFixture::rewriteChangesOnlyWhatWasAsked()
{
    QFETCH(QString, op);
    QFETCH(QString, section);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    IniStore store;
    if (op == QLatin1String("write-name"))
        store.write(QStringLiteral("2E8BF210A111"), QStringLiteral("name"),
                    Encode_Name(QStringLiteral("Studio one")), m_path);
    else if (op == QLatin1String("write-tenth"))
        store.write(kTenth, QStringLiteral("snmprw"), QStringLiteral("newwrite"), m_path);
    else if (op == QLatin1String("add-tenth"))
        store.write(kTenth, QStringLiteral("srv"), QStringLiteral("1"), m_path);
    else if (op == QLatin1String("write-munich"))
        store.write(kMunich, QStringLiteral("name"), Encode_Name(QString::fromUtf8("München €2")),
                    m_path);
    const qsizetype header = m_original.indexOf('[' + section.toLatin1() + "]\r\n");
    QVERIFY(header >= 0);
    const qsizetype at = m_original.indexOf(from, header);
    QVERIFY(at >= 0);
    QByteArray expected = m_original;
    expected.replace(at, from.size(), to);
    QCOMPARE(readBytes(m_path), expected);
}

QTEST_GUILESS_MAIN(TestWindowsFixture)
#include "tst_windowsfixture.moc"
