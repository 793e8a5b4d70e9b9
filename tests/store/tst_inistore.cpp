#include "store/IniStore.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvalink;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Overwrites the file's bytes in place (same inode, no truncation).
void overwriteInPlace(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Sets the file's modification time to a fixed moment in the past.
void ageFile(const QString& path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// One step of an editing script: "w|section|key|value", "dk|section|key",
// "ds|section", "rk|section|key|newkey", "rs|section|newsection".
void runStep(IniStore& store, const QString& step, const QString& path)
{
    const QStringList a = step.split(QLatin1Char('|'));
    const QString op = a.value(0);
    if (op == QLatin1String("w"))
        store.write(a.value(1), a.value(2), a.value(3), path);
    else if (op == QLatin1String("dk"))
        store.deleteKey(a.value(1), a.value(2), path);
    else if (op == QLatin1String("ds"))
        store.deleteSection(a.value(1), path);
    else if (op == QLatin1String("rk"))
        store.renameKey(a.value(1), a.value(2), a.value(3), path);
    else if (op == QLatin1String("rs"))
        store.renameSection(a.value(1), a.value(2), path);
    else
        QFAIL(qPrintable(QStringLiteral("bad step ") + step));
}

const QByteArray kMissing("<missing>");

} // namespace

class TestIniStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_dir = QDir(m_tmp->path());
    }

    void read_data();
    void read();
    void edit_data();
    void edit();
    void queries_data();
    void queries();
    void listsAreNotCapped();
    void renameMovesWholeValues();
    void codePageRoundTrip();
    void externalChangesAreSeen_data();
    void externalChangesAreSeen();
    void interruptedWriteKeepsOldFile();
    void realWriteFailures_data();
    void realWriteFailures();
    void unsafeInputIsRefused_data();
    void unsafeInputIsRefused();
    void filesStayPrivate();
    void foreignFilesAreNeverWritten_data();
    void foreignFilesAreNeverWritten();

private:
    QString path(const QString& name = QStringLiteral("nms.ini")) const
    {
        return m_dir.filePath(name);
    }
    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_dir;
};

void TestIniStore::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray crlf = "[2E8BF2001A2B]\r\nNAME=STUDIO 1        \r\nIp = 10.0.0.5  \r\n"
                            "sn=\"  X1  \"\r\nEMPTY=\r\nQ=\"\"\r\nHALF=\"open\r\nEQ=a=b\r\n";
    QTest::newRow("upper key, lower query") << crlf << "2E8BF2001A2B"
                                            << "name"
                                            << "STUDIO 1";
    QTest::newRow("mixed query") << crlf << "2e8bf2001a2b"
                                 << "NaMe"
                                 << "STUDIO 1";
    QTest::newRow("padded key and value") << crlf << "2E8BF2001A2B"
                                          << "ip"
                                          << "10.0.0.5";
    QTest::newRow("quotes removed, inner blanks kept") << crlf << "2E8BF2001A2B"
                                                       << "SN"
                                                       << "  X1  ";
    QTest::newRow("empty value is not the default") << crlf << "2E8BF2001A2B"
                                                    << "empty"
                                                    << "";
    QTest::newRow("empty quotes") << crlf << "2E8BF2001A2B"
                                  << "q"
                                  << "";
    QTest::newRow("one quote stays") << crlf << "2E8BF2001A2B"
                                     << "half"
                                     << "\"open";
    QTest::newRow("value holding =") << crlf << "2E8BF2001A2B"
                                     << "eq"
                                     << "a=b";
    QTest::newRow("absent key") << crlf << "2E8BF2001A2B"
                                << "gw"
                                << "DEF";
    QTest::newRow("absent section") << crlf << "000000000000"
                                    << "name"
                                    << "DEF";
    QTest::newRow("missing file") << kMissing << "2E8BF2001A2B"
                                  << "name"
                                  << "DEF";

    QTest::newRow("LF file") << QByteArray("[S]\nk=v\n") << "s"
                             << "K"
                             << "v";
    QTest::newRow("no final line end") << QByteArray("[S]\r\nk=v") << "S"
                                       << "k"
                                       << "v";
    QTest::newRow("padded section line") << QByteArray("  [ S1 ]  \r\nk=v\r\n") << "s1"
                                         << "k"
                                         << "v";
    QTest::newRow("comment is not a key") << QByteArray("[S]\r\n;k=v\r\n") << "S"
                                          << ";k"
                                          << "DEF";
    QTest::newRow("keys before any section are ignored") << QByteArray("k=v\r\n[S]\r\n") << "S"
                                                         << "k"
                                                         << "DEF";
    QTest::newRow("line without = is a key without value") << QByteArray("[S]\r\nlonely\r\n") << "S"
                                                           << "lonely"
                                                           << "";
    QTest::newRow("first of two equal keys") << QByteArray("[S]\r\nk=1\r\nK=2\r\n") << "S"
                                             << "k"
                                             << "1";
    QTest::newRow("first of two equal sections")
        << QByteArray("[S]\r\nk=1\r\n[s]\r\nk=2\r\n") << "S"
        << "k"
        << "1";
    QTest::newRow("key only in second of two equal sections")
        << QByteArray("[S]\r\na=1\r\n[s]\r\nk=2\r\n") << "S"
        << "k"
        << "DEF";
    QTest::newRow("byte-order mark before the first section")
        << QByteArray("\xEF\xBB\xBF[S]\r\nk=v\r\n") << "S"
        << "k"
        << "v";
    QTest::newRow("800 characters come back as 749")
        << (QByteArray("[S]\r\nk=") + QByteArray(800, 'x') + "\r\n") << "S"
        << "k" << QString(IniStore::kMaxValueLength, QLatin1Char('x'));
    QTest::newRow("8-bit code page") << QByteArray("[S]\r\nname=CAF\xC9 \x80\x99\r\n") << "S"
                                     << "name" << QString::fromUtf8("CAFÉ €™");
}

void TestIniStore::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    if (file != kMissing)
        writeBytes(path(), file);
    IniStore store;
    QCOMPARE(store.read(section, key, path(), QStringLiteral("DEF")), expected);
}

void TestIniStore::edit_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file: CRLF, upper-case key, value unchanged")
        << kMissing << QStringList{"w|2E8BF2001A2B|name|STUDIO 1        "}
        << QByteArray("[2E8BF2001A2B]\r\nNAME=STUDIO 1        \r\n");
    QTest::newRow("replace in place keeps spelling and neighbours")
        << QByteArray("; db\r\n\r\n[S]\r\nName = old\r\nip=1\r\n\r\n[T]\r\nx=1\r\n")
        << QStringList{"w|s|NAME|new"}
        << QByteArray("; db\r\n\r\n[S]\r\nName =new\r\nip=1\r\n\r\n[T]\r\nx=1\r\n");
    QTest::newRow("new key goes after the section's last key")
        << QByteArray("[S]\r\na=1\r\n\r\n; about T\r\n[T]\r\nx=1\r\n") << QStringList{"w|S|b|2"}
        << QByteArray("[S]\r\na=1\r\nB=2\r\n\r\n; about T\r\n[T]\r\nx=1\r\n");
    QTest::newRow("new key in a section without keys")
        << QByteArray("[S]\r\n[T]\r\n") << QStringList{"w|S|b|2"}
        << QByteArray("[S]\r\nB=2\r\n[T]\r\n");
    QTest::newRow("new section at the end, LF kept")
        << QByteArray("[S]\na=1\n") << QStringList{"w|T|k|v"} << QByteArray("[S]\na=1\n[T]\nK=v\n");
    // CR alone ends a line too: read as one line, the second section was
    // lost and the write added it a second time.
    QTest::newRow("CR line ends: found in place, CR kept")
        << QByteArray("[S]\ra=1\r[T]\rb=1\r") << QStringList{"w|T|b|2"}
        << QByteArray("[S]\ra=1\r[T]\rb=2\r");
    QTest::newRow("no final line end stays so")
        << QByteArray("[S]\r\na=1") << QStringList{"w|S|a|2"} << QByteArray("[S]\r\na=2");
    QTest::newRow("line without = gets its value")
        << QByteArray("[S]\r\nk\r\n") << QStringList{"w|S|K|v"} << QByteArray("[S]\r\nk=v\r\n");
    QTest::newRow("delete key removes every copy")
        << QByteArray("[S]\r\nk=1\r\na=2\r\nK=3\r\n") << QStringList{"dk|S|k"}
        << QByteArray("[S]\r\na=2\r\n");
    QTest::newRow("delete section removes its comments and every copy")
        << QByteArray("[A]\r\nx=1\r\n[S]\r\n; note\r\nk=1\r\n\r\n[B]\r\ny=2\r\n[s]\r\nk=2\r\n")
        << QStringList{"ds|S"} << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    QTest::newRow("delete on a missing file creates nothing")
        << kMissing << QStringList{"ds|S", "dk|S|k", "rk|S|k|n", "rs|S|T"} << kMissing;
    QTest::newRow("absent key or section: nothing changes")
        << QByteArray("[S]\r\nk=1\r\n")
        << QStringList{"dk|S|x", "dk|X|k", "ds|X", "rk|S|x|y", "rs|X|Y"}
        << QByteArray("[S]\r\nk=1\r\n");
    QTest::newRow("rename key: new first, old gone")
        << QByteArray("[S]\r\nold=  v  \r\nz=1\r\n") << QStringList{"rk|S|OLD|new"}
        << QByteArray("[S]\r\nz=1\r\nNEW=  v  \r\n");
    QTest::newRow("rename key onto an existing key")
        << QByteArray("[S]\r\na=1\r\nb=2\r\n") << QStringList{"rk|S|a|b"}
        << QByteArray("[S]\r\nb=1\r\n");
    QTest::newRow("rename key to itself in another case keeps it")
        << QByteArray("[S]\r\nName=X\r\n") << QStringList{"rk|S|name|name"}
        << QByteArray("[S]\r\nNAME=X\r\n");
    QTest::newRow("rename section: upper-case keys, whole values, no = lines dropped")
        << QByteArray("[old]\r\nip=1.2.3.4\r\nurl=a=b=c\r\nbare\r\n; c\r\n[Z]\r\nq=1\r\n")
        << QStringList{"rs|OLD|new"}
        << QByteArray("[Z]\r\nq=1\r\n[new]\r\nIP=1.2.3.4\r\nURL=a=b=c\r\n");
    QTest::newRow("rename section into an existing one")
        << QByteArray("[A]\r\nk=1\r\nn=2\r\n[B]\r\nK=9\r\n") << QStringList{"rs|A|B"}
        << QByteArray("[B]\r\nK=1\r\nN=2\r\n");
    QTest::newRow("rename section to itself in another case keeps it")
        << QByteArray("[abc]\r\nk=1\r\n") << QStringList{"rs|abc|ABC"}
        << QByteArray("[ABC]\r\nk=1\r\n");
    QTest::newRow("rename of a section without keys deletes it")
        << QByteArray("[A]\r\n[B]\r\nk=1\r\n") << QStringList{"rs|A|C"}
        << QByteArray("[B]\r\nk=1\r\n");
}

void TestIniStore::edit()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, after);
    if (before != kMissing)
        writeBytes(path(), before);
    IniStore store;
    QSignalSpy failed(&store, &IniStore::writeFailed);
    for (const QString& step : steps)
        runStep(store, step, path());
    QCOMPARE(readBytes(path()), after);
    QCOMPARE(failed.count(), 0);
}

void TestIniStore::queries_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<bool>("sectionExists");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<long>("number"); // readLong with default -7

    const QByteArray f = "[S]\r\nN=42abc\r\nBig=99999999999\r\nNeg=-5\r\nE=\r\nQ=\"12\"\r\n"
                         "; note\r\nbare\r\n\r\n[Empty]\r\n\r\n; only a comment\r\n";
    QTest::newRow("leading digits")
        << f << "s"
        << "n" << true << true << QStringList{"N", "Big", "Neg", "E", "Q", "bare"} << 42L;
    QTest::newRow("saturated") << f << "S"
                               << "big" << true << true
                               << QStringList{"N", "Big", "Neg", "E", "Q", "bare"} << 4294967295L;
    QTest::newRow("sign is not a digit")
        << f << "S"
        << "neg" << true << true << QStringList{"N", "Big", "Neg", "E", "Q", "bare"} << 0L;
    QTest::newRow("empty value exists, reads the default")
        << f << "S"
        << "e" << true << true << QStringList{"N", "Big", "Neg", "E", "Q", "bare"} << -7L;
    QTest::newRow("quoted number")
        << f << "S"
        << "q" << true << true << QStringList{"N", "Big", "Neg", "E", "Q", "bare"} << 12L;
    QTest::newRow("absent key") << f << "S"
                                << "zz" << false << true
                                << QStringList{"N", "Big", "Neg", "E", "Q", "bare"} << -7L;
    QTest::newRow("section line without keys") << f << "empty"
                                               << "k" << false << false << QStringList{} << -7L;
    QTest::newRow("absent section") << f << "none"
                                    << "k" << false << false << QStringList{} << -7L;
    QTest::newRow("missing file") << kMissing << "S"
                                  << "n" << false << false << QStringList{} << -7L;
}

void TestIniStore::queries()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    if (file != kMissing)
        writeBytes(path(), file);
    IniStore store;
    QTEST(store.keyExists(section, key, path()), "keyExists");
    QTEST(store.sectionExists(section, path()), "sectionExists");
    QTEST(store.sectionKeys(section, path()), "keys");
    QFETCH(QStringList, keys);
    QCOMPARE(store.sectionKeyCount(section, path()), keys.size());
    QTEST(store.readLong(section, key, path(), -7), "number");
}

void TestIniStore::listsAreNotCapped()
{
    // 300 sections and a section of 40 long key lines: far beyond the old
    // fixed read buffers.
    QByteArray file;
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("2E8BF2%1").arg(i, 6, 16, QLatin1Char('0')).toUpper();
        expected.append(name);
        file += '[' + name.toLatin1() + "]\r\nROLE=1\r\n";
    }
    file += "[2e8bf2000000]\r\nDUP=1\r\n[]\r\nX=1\r\n[LONG]\r\n";
    for (int i = 0; i < 40; ++i)
        file += "KEY" + QByteArray::number(i) + '=' + QByteArray(60, 'v') + "\r\n";
    writeBytes(path(), file);
    expected.append(QStringLiteral("LONG"));

    IniStore store;
    QCOMPARE(store.sectionNames(path()), expected);
    QCOMPARE(store.sectionKeyCount(QStringLiteral("LONG"), path()), 40);
    QCOMPARE(store.sectionKeys(QStringLiteral("LONG"), path()).last(), QStringLiteral("KEY39"));
    QCOMPARE(store.sectionNames(path(QStringLiteral("absent.ini"))), QStringList{});
}

void TestIniStore::renameMovesWholeValues()
{
    // A rename must not lose what a read would cut: long values, padding.
    const QByteArray longValue(2000, 'L');
    QByteArray file = "[A]\r\nLONG=" + longValue + "\r\nPAD=X   \r\n";
    for (int i = 0; i < 40; ++i)
        file += "K" + QByteArray::number(i) + '=' + QByteArray(30, 'k') + "\r\n";
    writeBytes(path(), file);

    IniStore store;
    store.renameKey(QStringLiteral("A"), QStringLiteral("long"), QStringLiteral("big"), path());
    QVERIFY(readBytes(path()).contains("\r\nBIG=" + longValue + "\r\n"));
    store.renameSection(QStringLiteral("A"), QStringLiteral("B"), path());
    QCOMPARE(store.sectionKeyCount(QStringLiteral("B"), path()), 42);
    QVERIFY(!store.sectionExists(QStringLiteral("A"), path()));
    QVERIFY(readBytes(path()).contains("\r\nBIG=" + longValue + "\r\n"));
    QVERIFY(readBytes(path()).contains("\r\nPAD=X   \r\n"));
}

void TestIniStore::codePageRoundTrip()
{
    // Every byte value in a value survives a rewrite of another key.
    QByteArray all;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all += char(b);
    }
    const QByteArray before = "[S]\r\nRAW=" + all + "\r\nK=1\r\n";
    writeBytes(path(), before);
    IniStore store;
    store.write(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"), path());
    QCOMPARE(readBytes(path()), QByteArray("[S]\r\nRAW=" + all + "\r\nK=2\r\n"));

    // Text written goes out in the code page; what it cannot hold becomes "?".
    store.write(QStringLiteral("S"), QStringLiteral("name"), QString::fromUtf8("Ä€œ✓"), path());
    QVERIFY(readBytes(path()).contains("NAME=\xC4\x80\x9C?\r\n"));
    QCOMPARE(store.read(QStringLiteral("S"), QStringLiteral("NAME"), path(), QString()),
             QString::fromUtf8("Ä€œ?"));
}

void TestIniStore::externalChangesAreSeen_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("other store") << "store";
    QTest::newRow("same size, in place, same moment") << "inplace";
    QTest::newRow("same size, in place, old file") << "inplace-old";
    QTest::newRow("same size, stamp put back") << "inplace-restamp";
    // Every stamp of the two versions ties, as on a file system with coarse
    // stamps: only the rule that a file stamped in the current tick is read
    // again (not trusted from its identity) sees this change.
    QTest::newRow("same size, same coarse stamps") << "inplace-coarse";
    QTest::newRow("different size") << "truncate";
    QTest::newRow("replaced by rename") << "rename";
    QTest::newRow("deleted") << "delete";
}

void TestIniStore::externalChangesAreSeen()
{
    QFETCH(QString, how);
    const QByteArray before = "[S]\r\nNAME=AAAA\r\n";
    const QByteArray after = "[S]\r\nNAME=BBBB\r\n";
    writeBytes(path(), before);
    if (how == QLatin1String("inplace-old") || how == QLatin1String("inplace-restamp"))
        ageFile(path(), 1000000000);

    IniStore store;
    if (how == QLatin1String("inplace-coarse"))
        store.simulateStampResolution(qint64(1000000) * 1000000000); // about 11.6 days
    const QString s = QStringLiteral("S");
    const QString k = QStringLiteral("name");
    QCOMPARE(store.read(s, k, path(), QString()), QStringLiteral("AAAA"));
    QCOMPARE(store.read(s, k, path(), QString()), QStringLiteral("AAAA")); // from the copy
    // A batch of reads begun before the change keeps the version it began
    // with: a list never mixes two versions of the file.
    const IniStore::Snapshot held = store.snapshot(path());

    if (how == QLatin1String("store")) {
        IniStore other;
        other.write(s, k, QStringLiteral("BBBB"), path());
    } else if (how.startsWith(QLatin1String("inplace"))) {
        overwriteInPlace(path(), after);
        if (how == QLatin1String("inplace-restamp"))
            ageFile(path(), 1000000000);
    } else if (how == QLatin1String("truncate")) {
        writeBytes(path(), "[S]\r\nNAME=BBBB\r\nIP=1\r\n");
    } else if (how == QLatin1String("rename")) {
        writeBytes(path(QStringLiteral("new.ini")), after);
        QVERIFY(QFile::remove(path()));
        QVERIFY(QFile::rename(path(QStringLiteral("new.ini")), path()));
    } else if (how == QLatin1String("delete")) {
        QVERIFY(QFile::remove(path()));
        QCOMPARE(store.snapshot(path()).read(s, k, QStringLiteral("DEF")), QStringLiteral("DEF"));
        QCOMPARE(store.read(s, k, path(), QStringLiteral("DEF")), QStringLiteral("DEF"));
        return;
    }
    // A batch begun after the change sees it, though it looks at the file
    // only once (the stamps may all tie with the old version's).
    QCOMPARE(store.snapshot(path()).read(s, k, QString()), QStringLiteral("BBBB"));
    QCOMPARE(held.read(s, k, QString()), QStringLiteral("AAAA"));
    QCOMPARE(store.read(s, k, path(), QString()), QStringLiteral("BBBB"));

    // Our own write starts from what is on disk now, not from the old copy.
    store.write(s, QStringLiteral("ip"), QStringLiteral("2"), path());
    QCOMPARE(store.read(s, k, path(), QString()), QStringLiteral("BBBB"));
}

void TestIniStore::interruptedWriteKeepsOldFile()
{
    const QByteArray before = "; keep me\r\n[S]\r\nNAME=OLD\r\n";
    writeBytes(path(), before);
    IniStore store;
    QSignalSpy failed(&store, &IniStore::writeFailed);
    const QString s = QStringLiteral("S");

    store.injectWriteFault(8); // the disk fills up after 8 bytes
    store.write(s, QStringLiteral("name"), QStringLiteral("NEW"), path());
    store.write(s, QStringLiteral("ip"), QStringLiteral("1.2.3.4"), path());
    store.deleteSection(s, path());
    QCOMPARE(readBytes(path()), before);
    // No leftovers; the lock file stays for the next writer.
    QCOMPARE(m_dir.entryList(QDir::Files | QDir::Hidden), (QStringList{"nms.ini", "nms.ini.lock"}));
    QCOMPARE(failed.count(), 1); // reported once, not once per write
    QCOMPARE(failed.at(0).at(0).toString(), path());
    QVERIFY(!failed.at(0).at(1).toString().isEmpty());
    QCOMPARE(store.read(s, QStringLiteral("name"), path(), QString()), QStringLiteral("OLD"));

    store.injectWriteFault(-1);
    store.write(s, QStringLiteral("name"), QStringLiteral("NEW"), path());
    QCOMPARE(readBytes(path()), QByteArray("; keep me\r\n[S]\r\nNAME=NEW\r\n"));
    QCOMPARE(failed.count(), 1);

    // After a success, the next failure is reported again.
    store.injectWriteFault(0);
    store.write(s, QStringLiteral("name"), QStringLiteral("NEWER"), path());
    QCOMPARE(failed.count(), 2);
    QCOMPARE(readBytes(path()), QByteArray("; keep me\r\n[S]\r\nNAME=NEW\r\n"));
}

void TestIniStore::realWriteFailures_data()
{
    QTest::addColumn<QString>("target"); // relative to the temporary folder
    QTest::newRow("folder does not exist") << "no-such-folder/nms.ini";
    QTest::newRow("folder is a file") << "plain-file/nms.ini";
    QTest::newRow("path is a folder") << "a-folder";
}

void TestIniStore::realWriteFailures()
{
    QFETCH(QString, target);
    writeBytes(path(QStringLiteral("plain-file")), "not a folder");
    QVERIFY(m_dir.mkpath(QStringLiteral("a-folder")));
    const QString p = path(target);

    IniStore store;
    QSignalSpy failed(&store, &IniStore::writeFailed);
    store.write(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"), p);
    store.write(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w"), p);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), p);
    QCOMPARE(store.read(QStringLiteral("S"), QStringLiteral("k"), p, QStringLiteral("D")),
             QStringLiteral("D"));
    QCOMPARE(readBytes(path(QStringLiteral("plain-file"))), QByteArray("not a folder"));
    QVERIFY(QFileInfo(path(QStringLiteral("a-folder"))).isDir());
}

void TestIniStore::unsafeInputIsRefused_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("value with a section line") << "S"
                                               << "name"
                                               << "X\r\n[EVIL]\r\nROLE=1";
    QTest::newRow("value with LF") << "S"
                                   << "name"
                                   << "A\nB";
    QTest::newRow("value with NUL") << "S"
                                    << "name" << QString(QChar(0));
    QTest::newRow("key with =") << "S"
                                << "a=b"
                                << "v";
    QTest::newRow("key like a section") << "S"
                                        << "[T]"
                                        << "v";
    QTest::newRow("key like a comment") << "S"
                                        << ";k"
                                        << "v";
    QTest::newRow("empty key") << "S"
                               << "  "
                               << "v";
    QTest::newRow("section with ]") << "A]B"
                                    << "k"
                                    << "v";
    QTest::newRow("empty section") << ""
                                   << "k"
                                   << "v";
}

void TestIniStore::unsafeInputIsRefused()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray before = "[S]\r\nNAME=OK\r\n";
    writeBytes(path(), before);
    IniStore store;
    QSignalSpy failed(&store, &IniStore::writeFailed);
    store.write(section, key, value, path());
    QCOMPARE(readBytes(path()), before);
    QCOMPARE(failed.count(), 1);
    // Renames to such names are refused the same way.
    store.renameKey(QStringLiteral("S"), QStringLiteral("name"), key + QStringLiteral("\n"),
                    path());
    store.renameSection(QStringLiteral("S"), section + QStringLiteral("]"), path());
    QCOMPARE(readBytes(path()), before);
}

// The database holds the elements' communities: no other local user may
// read it, nor a temporary that a killed write left behind.
void TestIniStore::filesStayPrivate()
{
    const mode_t oldMask = ::umask(022);
    const auto restoreMask = qScopeGuard([&] { ::umask(oldMask); });
    const auto statOf = [](const QString& p) {
        struct stat st {};
        if (::stat(QFile::encodeName(p).constData(), &st) != 0)
            st.st_mode = 0;
        return st;
    };
    IniStore store;
    const QString s = QStringLiteral("S");
    const QString k = QStringLiteral("K");
    store.write(s, k, QStringLiteral("1"), path());
    QCOMPARE(statOf(path()).st_mode & 07777, 0600u);

    QCOMPARE(statOf(path(QStringLiteral("nms.ini.lock"))).st_mode & 07777, 0600u);

    // Killed halfway: the temporary is private as well, and the clean-up at
    // the next start removes it and an old one of another mode, but no file
    // of the operator's, whatever its name, nor the temporary of a write
    // still running.
    store.injectWriteFault(5, IniStore::WriteFault::Killed);
    store.write(s, k, QStringLiteral("2"), path());
    store.injectWriteFault(-1);
    const QString temp = QStringLiteral("nms.ini.~orvalink-tmp-");
    QStringList left = m_dir.entryList({temp + QLatin1Char('*')}, QDir::Files);
    QCOMPARE(left.size(), 1);
    QCOMPARE(statOf(path(left.first())).st_mode & 07777, 0600u);
    QCOMPARE(readBytes(path()), QByteArray("[S]\r\nK=1\r\n"));
    writeBytes(path(temp + QStringLiteral("aB3dE5")), "old");
    const QStringList operators{"nms.ini.aB3dE5", "nms.ini.backup", "nms.ini.bak001",
                                "nms.ini.copy01", "nms.ini.old123"};
    for (const QString& name : operators)
        writeBytes(path(name), "copy");
    writeBytes(path(temp + QStringLiteral("Lk9Xy2")), "running");
    QFile running(path(temp + QStringLiteral("Lk9Xy2")));
    QVERIFY(running.open(QIODevice::ReadOnly));
    QCOMPARE(::flock(running.handle(), LOCK_EX), 0);
    QCOMPARE(IniStore::removeStaleTemporaries(path()), 2);
    left = m_dir.entryList({QStringLiteral("nms.ini*")}, QDir::Files);
    QStringList kept =
        QStringList{"nms.ini", "nms.ini.lock", temp + QStringLiteral("Lk9Xy2")} + operators;
    left.sort();
    kept.sort();
    QCOMPARE(left, kept);

    // A rewrite keeps the mode, and the owner and group where it may (root).
    QCOMPARE(::chmod(QFile::encodeName(path()).constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(QFile::encodeName(path()).constData(), 1, 1), 0);
    // Through a symbolic link the file it points to is rewritten.
    QVERIFY(QFile::link(path(), path(QStringLiteral("link.ini"))));
    store.write(s, k, QStringLiteral("3"), path(QStringLiteral("link.ini")));
    QCOMPARE(readBytes(path()), QByteArray("[S]\r\nK=3\r\n"));
    QVERIFY(QFileInfo(path(QStringLiteral("link.ini"))).isSymLink());
    const struct stat after = statOf(path());
    QCOMPARE(after.st_mode & 07777, 0640u);
    if (root) {
        QCOMPARE(after.st_uid, uid_t(1));
        QCOMPARE(after.st_gid, gid_t(1));
    }
}

// Files that are no database this store can read are never read as an
// empty one, and never written: writing would destroy what they hold.
void TestIniStore::foreignFilesAreNeverWritten_data()
{
    QTest::addColumn<QByteArray>("file"); // the bytes, or "<loop>", "<fifo>", "<large>"
    QTest::addColumn<QString>("reason");  // in the error
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0", 18) << "UTF-16";
    QTest::newRow("UTF-16 big-endian") << QByteArray("\xFE\xFF\0[\0S\0]", 8) << "UTF-16";
    QTest::newRow("UTF-32") << QByteArray("\xFF\xFE\0\0[\0\0\0", 8) << "UTF-32";
    QTest::newRow("symbolic link loop") << QByteArray("<loop>") << "symbolic links";
    QTest::newRow("named pipe") << QByteArray("<fifo>") << "not a regular file";
    QTest::newRow("beyond 64 MB") << QByteArray("<large>") << "larger than 64 MB";
    // A program or random bytes: no text, however few NULs.
    QByteArray binary(4096, '\x9c');
    binary[0] = '[';
    binary[2000] = '\0';
    QTest::newRow("NUL bytes") << binary << "not a text file";
}

void TestIniStore::foreignFilesAreNeverWritten()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    const QByteArray native = QFile::encodeName(path());
    if (file == "<loop>") {
        QVERIFY(QFile::link(path(), path()));
    } else if (file == "<fifo>") {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (file == "<large>") {
        writeBytes(path(), "[S]\r\nk=v\r\n");
        QVERIFY(QFile::resize(path(), 64 * 1024 * 1024 + 1)); // sparse: costs no disk
    } else {
        writeBytes(path(), file);
    }
    struct stat before {};
    ::lstat(native.constData(), &before);

    IniStore store;
    QSignalSpy failed(&store, &IniStore::writeFailed);
    QVERIFY2(store.readError(path()).contains(reason), qPrintable(store.readError(path())));
    QCOMPARE(store.sectionNames(path()), QStringList{});
    QCOMPARE(store.read(QStringLiteral("S"), QStringLiteral("k"), path(), QStringLiteral("D")),
             QStringLiteral("D"));
    store.write(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w"), path());
    store.deleteSection(QStringLiteral("S"), path());
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().at(1).toString().contains(reason));
    struct stat after {};
    ::lstat(native.constData(), &after);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    if (!file.startsWith('<'))
        QCOMPARE(readBytes(path()), file);

    // Control characters other than NUL are text: an escape sequence in a
    // name is read (and left to the terminal output to make harmless).
    if (reason == QLatin1String("not a text file")) {
        writeBytes(path(), "[\x1b[31mX\x07]\r\nk=\x01v\r\n");
        QCOMPARE(store.readError(path()), QString());
        QCOMPARE(store.sectionNames(path()), QStringList{QStringLiteral("\x1b[31mX\x07")});
    }
}

QTEST_GUILESS_MAIN(TestIniStore)
#include "tst_inistore.moc"
