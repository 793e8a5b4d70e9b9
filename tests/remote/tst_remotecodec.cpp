// The remote protocol's bytes: every request, the dispatch by length, the
// decoding and checking of configuration replies, and the MAC text forms.

#include "netutil/MacResolver.h"
#include "remote/ConfigReply.h"
#include "remote/RemoteCodec.h"

#include <QTest>

using namespace orvalink;
using namespace orvalink::remote;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A decoder's 54-byte reply: 10.231.0.2/24, gateway .1, group 239.192.10.1,
// input 1, type 0, tx 1, "DEC TWO", serial 0x10000002, attenuation 200,
// version 3.51, SFN 1, buffer 10, silence 2/60/30, low latency 1.
QByteArray decoderReply()
{
    return hex("0ae70002 ffffff00 0ae70001 efc00a01 01 00 01") + "DEC TWO         " +
           hex("02 10000002 c8 03 33 01 0a 02 3c 1e 0000000000 01");
}

// An encoder's 45-byte reply: unicast to 10.231.0.100, version 3.50, llo 1.
QByteArray encoderReply()
{
    return hex("0ae70003 ffffff00 0ae70001 0ae70064 00 01 00") + "ENC THREE       " +
           hex("01 10000003 03 32 00 07 01");
}

SaveSettings encoderSettings()
{
    SaveSettings s;
    s.roleCaption = QStringLiteral("ENCODER");
    s.ip = QStringLiteral("10.231.0.3");
    s.mask = QStringLiteral("255.255.255.0");
    s.gw = QStringLiteral("10.231.0.1");
    s.remote = QStringLiteral("10.231.0.100");
    s.input = 1;
    s.type = 0;
    s.tx = 0;
    s.sfn = true;
    s.name = QStringLiteral("studio a");
    s.lowLatency = true;
    return s;
}

class FakeTable : public MacResolver {
public:
    int lookups = 0;
    QByteArray hardware;

protected:
    bool lookup(quint32, QByteArray* out) override
    {
        ++lookups;
        *out = hardware;
        return !hardware.isEmpty();
    }
};

} // namespace

class TestRemoteCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestsByteForByte();
    void saveRequestLengthFollowsRoleAndVersion();
    void saveRequestRefusesWhatABytecannotHold();
    void dispatchByLength();
    void repliesDecodeByRole();
    void shortReplyNeverBorrowsEarlierFields();
    void checksInOrder();
    void macTextAndResolution();
};

void TestRemoteCodec::requestsByteForByte()
{
    QCOMPARE(levelRequest(), hex("564f4c"));
    QCOMPARE(commandRequest(0x5A), hex("5a00"));
    QCOMPARE(kPagingText.size(), 32);

    // Fault: a field at the wrong offset or an unpadded name.
    SaveSettings d;
    d.roleCaption = QStringLiteral("DECODER");
    d.ip = QStringLiteral("10.231.0.2");
    d.mask = QStringLiteral("255.255.255.0");
    d.gw = QStringLiteral("010.231.0.1"); // leading zeros are the same address
    d.remote = QStringLiteral("239.192.10.1");
    d.input = 1;
    d.type = 1;
    d.tx = 1;
    d.sfn = true;
    d.name = QStringLiteral(" Dec Two");
    d.buffer = 22;
    d.silDetMode = 2;
    d.silDetLevel = 154;
    d.silDetTime = 220;
    d.lowLatency = true;
    const SaveRequest r = buildSaveRequest(d);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.bytes, hex("0ae70002 ffffff00 0ae70001 efc00a01 01 01 01 01") +
                          QByteArray(" DEC TWO        ") + hex("16 02 9a dc 01"));
}

void TestRemoteCodec::saveRequestLengthFollowsRoleAndVersion()
{
    // Fault: the version read as text ("3.5" < "3.49") or the wrong default.
    const struct {
        const char* role;
        const char* version;
        int length;
    } cases[] = {
        {"ENCODER", "2.0", 37}, {"ENCODER", "3.48", 37}, {"ENCODER", "3.49", 38},
        {"ENCODER", "3.5", 38}, {"UNKNOWN", "3.49", 38}, {"ENCODER", ".", 37},
        {"DECODER", "2.0", 41},
    };
    for (const auto& c : cases) {
        SaveSettings s = encoderSettings();
        s.roleCaption = QLatin1String(c.role);
        s.version = QLatin1String(c.version);
        const SaveRequest r = buildSaveRequest(s);
        QVERIFY(r.ok());
        QCOMPARE(r.bytes.size(), c.length);
    }
    SaveSettings s = encoderSettings();
    s.version = QStringLiteral("3.49");
    const QByteArray b = buildSaveRequest(s).bytes;
    QCOMPARE(b.mid(16, 4), hex("01 00 00 01"));
    QCOMPARE(b.mid(20, 16), QByteArray("STUDIO A        "));
    QCOMPARE(b.mid(36), hex("01 01")); // low latency, then the constant 1
}

void TestRemoteCodec::saveRequestRefusesWhatABytecannotHold()
{
    // Fault: -1 or 256 silently stored as 255 or 0 in the element.
    SaveSettings noSelection = encoderSettings();
    noSelection.tx = -1;
    const SaveRequest a = buildSaveRequest(noSelection);
    QVERIFY(!a.ok());
    QVERIFY(a.bytes.isEmpty());
    QVERIFY(a.error.contains(QStringLiteral("TX Type")));

    SaveSettings badPart = encoderSettings();
    badPart.remote = QStringLiteral("10.231.0.300");
    QVERIFY(buildSaveRequest(badPart).error.contains(QStringLiteral("Remote / Multicast IP")));

    SaveSettings decoder = encoderSettings();
    decoder.roleCaption = QStringLiteral("DECODER");
    decoder.silDetMode = -1;
    QVERIFY(!buildSaveRequest(decoder).ok());
}

void TestRemoteCodec::dispatchByLength()
{
    // Fault: an off-by-one at either border, or 3-byte echoes of "VOL"
    // taken as replies.
    const struct {
        qsizetype length;
        DatagramKind kind;
    } cases[] = {
        {0, DatagramKind::ConfigReply}, {2, DatagramKind::ConfigReply},
        {3, DatagramKind::Ignored},     {54, DatagramKind::ConfigReply},
        {55, DatagramKind::Ignored},    {1200, DatagramKind::Ignored},
        {1201, DatagramKind::Level},
    };
    for (const auto& c : cases)
        QCOMPARE(classifyDatagram(c.length), c.kind);
}

void TestRemoteCodec::repliesDecodeByRole()
{
    const ConfigReply d = decodeConfigReply(decoderReply());
    QCOMPARE(d.UDP_Response_IP, QStringLiteral("10.231.0.2"));
    QCOMPARE(d.remote, QStringLiteral("239.192.10.1"));
    QCOMPARE(d.name, QStringLiteral("DEC TWO         "));
    QCOMPARE(d.role, 2);
    QCOMPARE(d.sn, 0x10000002);
    QCOMPARE(d.att, 200);
    QCOMPARE(d.version(), QStringLiteral("3.51"));
    QCOMPARE(d.sfn, 1);
    QCOMPARE(d.buf, 10);
    QCOMPARE((QList<int>{d.sdm, d.sdl, d.sdt, d.llo}), (QList<int>{2, 60, 30, 1}));

    const ConfigReply e = decodeConfigReply(encoderReply());
    QCOMPARE(e.version(), QStringLiteral("3.50"));
    QCOMPARE(e.buf, 7);
    QCOMPARE(e.llo, 1);
    QCOMPARE(e.att, 0);

    // A decoder reply of 46 to 53 bytes keeps llo from byte 45.
    const ConfigReply cut = decodeConfigReply(decoderReply().left(50));
    QCOMPARE(cut.llo, 10);
    QCOMPARE(cut.sdt, 30);
    // Of 41 bytes: attenuation only, the version stays 2.0, buffer 1.
    const ConfigReply d41 = decodeConfigReply(decoderReply().left(41));
    QCOMPARE(d41.att, 200);
    QCOMPARE(d41.version(), QStringLiteral("2.0"));
    QCOMPARE(d41.buf, 1);
}

void TestRemoteCodec::shortReplyNeverBorrowsEarlierFields()
{
    // Fault: one shared record overwritten field by field, so that a short
    // reply of one element carries the serial number, role and settings of
    // the element that answered before it.
    const ConfigReply full = decodeConfigReply(decoderReply());
    QVERIFY(replyCheckFailure(full).isEmpty());
    const ConfigReply shortOne = decodeConfigReply(encoderReply().left(30));
    QCOMPARE(shortOne.name, QStringLiteral("ENC THREE  ")); // bytes 20 to 30
    QCOMPARE(shortOne.role, 0);
    QCOMPARE(shortOne.sn, 0);
    QCOMPARE(shortOne.att, 0);
    QCOMPARE(shortOne.version(), QStringLiteral("2.0"));
    QCOMPARE(replyCheckFailure(shortOne),
             QStringLiteral("An error occured while retrieving 'Serial Number':"));
    // A serial number that does not fit 31 bits is no serial number.
    QByteArray negative = encoderReply();
    negative[36] = char(0x80);
    QVERIFY(replyCheckFailure(decodeConfigReply(negative)).contains(QStringLiteral("Serial")));
}

void TestRemoteCodec::checksInOrder()
{
    // Fault: a check skipped or reported under another field's name.
    const struct {
        int offset; // 0-based byte to damage
        char value;
        const char* field;
    } cases[] = {
        {0, char(0), nullptr}, // 0.231.0.3 is a valid dotted address
        {16, 2, "Audio Input"},  {17, 2, "Audio Type"}, {18, 2, "TX Type"},
        {35, 3, "Element Type"}, {35, 0, nullptr},      {36, 0, nullptr},
    };
    for (const auto& c : cases) {
        QByteArray r = encoderReply();
        r[c.offset] = c.value;
        const QString failure = replyCheckFailure(decodeConfigReply(r));
        if (c.field)
            QCOMPARE(failure, QStringLiteral("An error occured while retrieving '%1':")
                                  .arg(QLatin1String(c.field)));
        else
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    // Serial 00 00 00 00 is refused, 00 00 00 01 taken.
    QByteArray r = encoderReply();
    r.replace(36, 4, hex("00000000"));
    QVERIFY(replyCheckFailure(decodeConfigReply(r)).contains(QStringLiteral("Serial Number")));
    r.replace(36, 4, hex("00000001"));
    QVERIFY(replyCheckFailure(decodeConfigReply(r)).isEmpty());
    // The first failing address is the one reported: no mask, no gateway.
    QCOMPARE(replyCheckFailure(decodeConfigReply(r.left(6))),
             QStringLiteral("An error occured while retrieving 'Element Mask':"));
    QCOMPARE(replyCheckFailure(decodeConfigReply(r.left(10))),
             QStringLiteral("An error occured while retrieving 'Element GW':"));
    QCOMPARE(replyCheckFailure(decodeConfigReply(r.left(14))),
             QStringLiteral("An error occured while retrieving 'Remote / Multicast IP':"));
    QCOMPARE(replyCheckFailure(decodeConfigReply(QByteArray())),
             QStringLiteral("An error occured while retrieving 'Element IP':"));
}

void TestRemoteCodec::macTextAndResolution()
{
    QCOMPARE(FormatMAC(hex("001a2b3c4d5e"), QStringLiteral(":")),
             QStringLiteral("00:1A:2B:3C:4D:5E"));
    QCOMPARE(FormatMAC(hex("001a2b3c4d"), QStringLiteral(":")), QString());

    FakeTable table;
    table.hardware = hex("2e8bf2e70002");
    QString mac = QStringLiteral("unchanged");
    // Fault: 0.0.0.0 (or a text that is no address) sent to the table.
    QVERIFY(!table.ResolveMAC(QStringLiteral("0.0.0.0"), QStringLiteral(":"), &mac));
    QVERIFY(!table.ResolveMAC(QStringLiteral("10.231.0"), QStringLiteral(":"), &mac));
    QCOMPARE(table.lookups, 0);
    QVERIFY(table.ResolveMAC(QStringLiteral("10.231.0.2"), QStringLiteral(":"), &mac));
    QCOMPARE(mac, QStringLiteral("2E:8B:F2:E7:00:02"));
    QCOMPARE(table.sRemoteMacAddress2, mac);
    // A zero hardware address is no answer and changes nothing.
    table.hardware = hex("000000000001");
    QVERIFY(!table.ResolveMAC(QStringLiteral("10.231.0.2"), QStringLiteral(":"), &mac));
    QCOMPARE(table.sRemoteMacAddress2, QStringLiteral("2E:8B:F2:E7:00:02"));

    // Only complete entries of the kernel's table count.
    const QByteArray proc =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "10.231.0.2       0x1         0x0         00:00:00:00:00:00     *        eth0\n"
        "10.231.0.3       0x1         0x2         2e:8b:f2:e7:00:03     *        eth0\n";
    QByteArray hw;
    QVERIFY(!NeighbourTableResolver::findInTable(proc, 0x0AE70002, &hw));
    QVERIFY(NeighbourTableResolver::findInTable(proc, 0x0AE70003, &hw));
    QCOMPARE(hw, hex("2e8bf2e70003"));
}

QTEST_GUILESS_MAIN(TestRemoteCodec)
#include "tst_remotecodec.moc"
