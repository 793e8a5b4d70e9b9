#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvalink;

class TestElementDatabase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void databaseLocation();
    void ipAddress_data();
    void ipAddress();
    void macForms_data();
    void macForms();
    void name_data();
    void name();
    void role_data();
    void role();
    void load_data();
    void load();
};

void TestElementDatabase::ipAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const std::pair<const char*, bool> cases[] = {
        {"192.168.1.15", true},    {"0.0.0.0", true},
        {"255.255.255.255", true}, {"010.001.1.1", true},
        {" 10 . 0.0.1 ", true},    {"000000000000000000000000001.2.3.4", true},
        {"1.2.3", false},          {"1.2.3.4.5", false},
        {"1..3.4", false},         {"256.1.1.1", false},
        {"-1.1.1.1", false},       {"+1.1.1.1", false},
        {"a.b.c.d", false},        {"", false},
        {"1.2.3.4.", false},       {".1.2.3", false},
        {"1.2.3. ", false},        {"99999999999999999999.1.1.1", false},
        {"1.2.3.4\n", false},      {"1.2.3.\t4", false},
        {"1.2.3.0x1", false},      {"1.2.3.1e2", false},
        {"1,2.3.4.5", false},      {"...", false},
    };
    for (const auto& [text, valid] : cases)
        QTest::newRow(text[0] ? text : "(empty)") << QString::fromLatin1(text) << valid;
    QTest::newRow("non-Latin digits") << QString::fromUtf8("١.2.3.4") << false;
}

void TestElementDatabase::ipAddress()
{
    QFETCH(QString, text);
    QTEST(IsValidIPAddress(text), "valid");
}

void TestElementDatabase::macForms_data()
{
    QTest::addColumn<QString>("colon");   // Encode_MAC input
    QTest::addColumn<QString>("section"); // its result
    QTest::newRow("lower case") << "2e:8b:f2:0a:0b:0c"
                                << "2E8BF20A0B0C";
    QTest::newRow("upper case") << "2E:8B:F2:00:1A:2B"
                                << "2E8BF2001A2B";
    QTest::newRow("17 characters without colons") << "2e8bf2001a2b-abcd"
                                                  << "2E8BF2001A2B-ABCD";
    QTest::newRow("16 characters") << "2e:8b:f2:0a:0b:0"
                                   << "";
    QTest::newRow("18 characters") << "2e:8b:f2:0a:0b:0c:"
                                   << "";
    QTest::newRow("panel's empty label") << "-"
                                         << "";
}

void TestElementDatabase::macForms()
{
    QFETCH(QString, colon);
    QFETCH(QString, section);
    QCOMPARE(Encode_MAC(colon), section);
    // Going back gives the upper-case colon form for every real section name.
    if (section.size() == 12)
        QCOMPARE(Decode_MAC(section.toLower()), colon.toUpper());
}

void TestElementDatabase::name_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("padded") << "Studio 1"
                            << "STUDIO 1        ";
    QTest::newRow("empty") << "" << QString(16, QLatin1Char(' '));
    QTest::newRow("16 exactly") << "abcdefghijklmnop"
                                << "ABCDEFGHIJKLMNOP";
    QTest::newRow("20 cut to 16") << "abcdefghijklmnopqrst"
                                  << "ABCDEFGHIJKLMNOP";
    QTest::newRow("blanks kept") << "  a  "
                                 << "  A             ";
    QTest::newRow("accents") << QString::fromUtf8("café") << QString::fromUtf8("CAFÉ            ");
    // Letters whose upper case is longer or outside the code page stay put.
    QTest::newRow("sharp s") << QString::fromUtf8("straße 1234567890")
                             << QString::fromUtf8("STRAßE 123456789");
    QTest::newRow("micro sign") << QString::fromUtf8("5µs")
                                << QString::fromUtf8("5µS             ");
    QTest::newRow("y diaeresis") << QString::fromUtf8("ÿ") << QString::fromUtf8("Ÿ               ");
}

void TestElementDatabase::name()
{
    QFETCH(QString, in);
    const QString out = Encode_Name(in);
    QCOMPARE(out.size(), 16);
    QTEST(out, "out");
}

void TestElementDatabase::role_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<ElementRole>("role");
    QTest::newRow("1") << "1" << ElementRole::Encoder;
    QTest::newRow("2") << "2" << ElementRole::Decoder;
    QTest::newRow("01") << "01" << ElementRole::Encoder;
    QTest::newRow("1.0") << "1.0" << ElementRole::Encoder;
    QTest::newRow("leading number") << "2 (decoder)" << ElementRole::Decoder;
    QTest::newRow("1.5") << "1.5" << ElementRole::Unknown;
    QTest::newRow("3") << "3" << ElementRole::Unknown;
    QTest::newRow("-1") << "-1" << ElementRole::Unknown;
    QTest::newRow("0") << "0" << ElementRole::Unknown;
    QTest::newRow("missing") << "" << ElementRole::Unknown;
    QTest::newRow("text") << "ENCODER" << ElementRole::Unknown;
    QTest::newRow("sign only") << "+" << ElementRole::Unknown;
}

void TestElementDatabase::role()
{
    QFETCH(QString, text);
    QTEST(roleFromText(text), "role");
}

void TestElementDatabase::load_data()
{
    QTest::addColumn<QByteArray>("file"); // "<missing>" for no file
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QStringList>("nodes"); // node texts in order
    QTest::addColumn<QString>("encoders");  // 'E' encoder, 'D' decoder, '?' unknown per node

    QTest::newRow("missing file") << QByteArray("<missing>") << true << QStringList{} << "";
    QTest::newRow("empty file") << QByteArray() << true << QStringList{} << "";
    QTest::newRow("comments only")
        << QByteArray("; nothing\r\n\r\n") << true << QStringList{} << "";
    QTest::newRow("decoder then encoder, file order")
        << QByteArray("[2E8BF2000002]\r\nROLE=2\r\nNAME=DEC             \r\n"
                      "[2E8BF2000001]\r\nrole=1\r\nName=\"ENC A\"\r\n")
        << false << QStringList{"DEC [2E:8B:F2:00:00:02]", "ENC A [2E:8B:F2:00:00:01]"} << "DE";
    QTest::newRow("roles 3, garbled, missing; no name")
        << QByteArray("[2E8BF2000003]\r\nROLE=3\r\nNAME=X\r\n"
                      "[2E8BF2000004]\r\nROLE=abc\r\nNAME=Y\r\n"
                      "[2E8BF2000005]\r\nNAME=Z\r\n"
                      "[2E8BF2000006]\r\nROLE=1\r\n")
        << false
        << QStringList{"X [2E:8B:F2:00:00:03]", "Y [2E:8B:F2:00:00:04]", "Z [2E:8B:F2:00:00:05]",
                       " [2E:8B:F2:00:00:06]"}
        << "???E";
    QTest::newRow("section name that is not a MAC")
        << QByteArray("[junk]\r\nROLE=1\r\nNAME=J\r\n") << false << QStringList{"J []"} << "E";
}

void TestElementDatabase::load()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, nodes);
    QFETCH(QString, encoders);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    if (file != "<missing>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    IniStore store;
    const ElementList list = loadElementList(store, path);
    QTEST(list.empty, "empty");
    QStringList texts;
    QString kinds;
    for (const ElementEntry& e : list.entries) {
        texts.append(e.nodeText);
        kinds += e.role == ElementRole::Encoder   ? u'E'
                 : e.role == ElementRole::Decoder ? u'D'
                                                  : u'?';
        QCOMPARE(e.isEncoder(), e.role == ElementRole::Encoder);
        QCOMPARE(e.mac, Decode_MAC(e.section));
    }
    QCOMPARE(texts, nodes);
    QCOMPARE(kinds, encoders);
}

// An installed program cannot write beside itself: every write would fail.
// The database then lives in the user's data folder, which is made. Caught
// besides: a program under a system prefix writing beside itself because
// root may (/usr/bin/nms.ini), and an nms.ini beside a program that cannot
// write there ignored, so that the operator sees an empty list.
void TestElementDatabase::databaseLocation()
{
    QTemporaryDir tmp;
    const QString program = tmp.filePath(QStringLiteral("bin"));
    const QString data = tmp.filePath(QStringLiteral("share/Quorvane/Orvalink NMS"));
    QVERIFY(QDir().mkpath(program));
    QCOMPARE(chooseDatabasePath(program, data), program + QStringLiteral("/nms.ini"));
    QVERIFY(!QFileInfo::exists(data));

    // Not a folder one may write in (here: not a folder at all).
    QFile plain(tmp.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QCOMPARE(chooseDatabasePath(plain.fileName(), data), data + QStringLiteral("/nms.ini"));
    QVERIFY(QFileInfo(data).isDir());

    // Installed under a system prefix: never beside the program, even where
    // the one running it may write there.
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/opt/orvalink/bin"})
        QCOMPARE(chooseDatabasePath(QLatin1String(dir), data), data + QStringLiteral("/nms.ini"));

    // A folder the user cannot write in, holding a readable nms.ini: copied
    // once, with its mode, and the original left alone. Root may write
    // anywhere, so as root the check runs in a child process as "nobody".
    const QString locked = tmp.filePath(QStringLiteral("locked"));
    const QString userData = tmp.filePath(QStringLiteral("home/data"));
    QVERIFY(QDir().mkpath(locked));
    QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("home"))));
    const QByteArray content = "[2E8BF2000001]\r\nNAME=STUDIO\r\n";
    QFile original(locked + QStringLiteral("/nms.ini"));
    QVERIFY(original.open(QIODevice::WriteOnly) && original.write(content) == content.size());
    original.close();
    QCOMPARE(::chmod(QFile::encodeName(original.fileName()).constData(), 0644), 0);
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(tmp.path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(tmp.filePath(QStringLiteral("home"))).constData(), 0777), 0);
    const QString copy = userData + QStringLiteral("/nms.ini");
    const auto check = [&]() -> QString {
        const DatabaseLocation first = chooseDatabaseLocation(locked, userData, true);
        if (first.path != copy)
            return QStringLiteral("first use: ") + first.path;
        if (!first.notice.contains(copy))
            return QStringLiteral("no notice: ") + first.notice;
        QFile f(copy);
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != content)
            return QStringLiteral("copy differs");
        struct stat st {};
        if (::stat(QFile::encodeName(copy).constData(), &st) != 0 || (st.st_mode & 07777) != 0644)
            return QStringLiteral("mode not kept");
        const DatabaseLocation second = chooseDatabaseLocation(locked, userData, true);
        if (second.path != copy || !second.notice.isEmpty())
            return QStringLiteral("told twice");
        return {};
    };
    QString failure;
    if (::geteuid() != 0) {
        failure = check();
    } else {
        int result[2];
        QCOMPARE(::pipe(result), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(result[0]);
            QByteArray out = "setuid failed";
            if (::setgid(65534) == 0 && ::setuid(65534) == 0)
                out = check().toUtf8();
            if (::write(result[1], out.constData(), size_t(out.size())) < 0)
                ::_exit(2);
            ::_exit(0);
        }
        ::close(result[1]);
        char buffer[512];
        ssize_t n = 0;
        QByteArray out;
        while ((n = ::read(result[0], buffer, sizeof buffer)) > 0)
            out.append(buffer, n);
        ::close(result[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        failure = QString::fromUtf8(out);
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0755), 0);
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), content);
}

QTEST_GUILESS_MAIN(TestElementDatabase)
#include "tst_elementdatabase.moc"
