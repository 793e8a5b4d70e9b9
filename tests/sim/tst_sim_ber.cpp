// The simulator's BER codec: what it accepts, what it refuses, and the exact
// bytes it writes.

#include "Ber.h"

#include <QTest>

using namespace orvalink::sim;

// QFETCH as an expression.
#define FETCHED(Type, name) (*static_cast<Type*>(QTest::qData(#name, ::qMetaTypeId<Type>())))

namespace {
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

class TestSimBer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsesRequests_data();
    void parsesRequests();
    void refusesMalformed_data();
    void refusesMalformed();
    void encodesIntegers_data();
    void encodesIntegers();
    void encodesUnsigned_data();
    void encodesUnsigned();
    void decodesUnsigned_data();
    void decodesUnsigned();
    void encodesLengths_data();
    void encodesLengths();
    void oidRoundTrip_data();
    void oidRoundTrip();
    void encodesResponseExactly();
};

void TestSimBer::parsesRequests_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<qint64>("requestId");
    QTest::addColumn<int>("pdu");
    QTest::addColumn<quint32>("parameter");
    QTest::addColumn<int>("valueTag");
    QTest::addColumn<QByteArray>("value");

    // The station's own GET template: single-byte lengths, one-byte id.
    QTest::newRow("station GET 15")
        << hex("302b 020100 0408 6d6f727175626974 a01c 020101 020100 020100 3011 300f"
               " 060b 2b0601040182db33010f00 0500")
        << qint64(1) << int(ber::GetRequest) << 15u << int(ber::Null) << QByteArray();
    // Request-id 250 sent as one byte reads back as -6: a faithful echo
    // re-encodes it to the same single byte.
    QTest::newRow("one-byte id FA")
        << hex("302b 020100 0408 6d6f727175626974 a01c 0201fa 020100 020100 3011 300f"
               " 060b 2b0601040182db33010f00 0500")
        << qint64(-6) << int(ber::GetRequest) << 15u << int(ber::Null) << QByteArray();
    QTest::newRow("long forms, two-byte id")
        << hex("30 81 3e 020100 0408 6b65737472766c61 a3 81 2e 020200fa 020100 020100 3081 21 301f"
               " 060b 2b0601040182db330123 00 0410 4e4557204e414d452020202020202020")
        << qint64(250) << int(ber::SetRequest) << 35u << int(ber::OctetString)
        << QByteArray("NEW NAME        ");
    QTest::newRow("padded id 02 04 00 00 00 80")
        << hex("302e 020100 0408 6d6f727175626974 a01f 020400000080 020100 020100 3011 300f"
               " 060b 2b0601040182db33010100 0500")
        << qint64(128) << int(ber::GetRequest) << 1u << int(ber::Null) << QByteArray();
    QTest::newRow("gauge SET")
        << hex("3030 020100 0408 6b65737472766c61 a321 020107 020100 020100 3016 3014"
               " 060b 2b0601040182db33011f00 4205 00ffffff00")
        << qint64(7) << int(ber::SetRequest) << 31u << int(ber::Gauge32) << hex("00ffffff00");
}

void TestSimBer::parsesRequests()
{
    QFETCH(QByteArray, datagram);
    SnmpMessage m;
    QString why;
    QVERIFY2(parseMessage(datagram, m, &why), qPrintable(why));
    QCOMPARE(m.requestId, FETCHED(qint64, requestId));
    QCOMPARE(int(m.pdu), FETCHED(int, pdu));
    QCOMPARE(m.varBinds.size(), 1);
    const QList<quint32> oid = {1, 3, 6, 1, 4, 1, 44467, 1, FETCHED(quint32, parameter), 0};
    QCOMPARE(m.varBinds[0].oid, oid);
    QCOMPARE(int(m.varBinds[0].tag), FETCHED(int, valueTag));
    QCOMPARE(m.varBinds[0].value, FETCHED(QByteArray, value));
}

void TestSimBer::refusesMalformed_data()
{
    QTest::addColumn<QByteArray>("datagram");
    const QByteArray good =
        hex("302b 020100 0408 6d6f727175626974 a01c 020101 020100 020100 3011 300f"
            " 060b 2b0601040182db33010f00 0500");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << hex("30");
    QTest::newRow("truncated by one") << good.chopped(1);
    QTest::newRow("trailing byte") << good + hex("00");
    QTest::newRow("outer length too long") << QByteArray(good).replace(1, 1, hex("2c"));
    QTest::newRow("indefinite length") << hex("3080 020100 0000");
    QTest::newRow("five length bytes") << hex("3085 0000000003 020100");
    QTest::newRow("length past end, long form") << hex("3082 ffff 020100");
    QTest::newRow("not a sequence") << hex("0403 414243");
    QTest::newRow("unknown PDU A4") << QByteArray(good).replace(15, 1, hex("a4"));
    QTest::newRow("empty version integer") << hex("3002 0200");
    QTest::newRow("oid arc overflow")
        << hex("3028 020100 0408 6d6f727175626974 a019 020101 020100 020100 300e 300c"
               " 0608 2b8fffffffff7f00 0500");
    QTest::newRow("oid unfinished arc")
        << hex("3022 020100 0408 6d6f727175626974 a013 020101 020100 020100 3008 3006"
               " 0602 2b81 0500");
    QTest::newRow("varbind without value")
        << hex("3029 020100 0408 6d6f727175626974 a01a 020101 020100 020100 300f 300d"
               " 060b 2b0601040182db33010f00");
    QTest::newRow("high tag number") << hex("3f01 00");
}

void TestSimBer::refusesMalformed()
{
    QFETCH(QByteArray, datagram);
    SnmpMessage m;
    QVERIFY(!parseMessage(datagram, m));
}

void TestSimBer::encodesIntegers_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0") << qint64(0) << hex("00");
    QTest::newRow("127") << qint64(127) << hex("7f");
    QTest::newRow("128") << qint64(128) << hex("0080");
    QTest::newRow("250") << qint64(250) << hex("00fa");
    QTest::newRow("-1") << qint64(-1) << hex("ff");
    QTest::newRow("-6") << qint64(-6) << hex("fa");
    QTest::newRow("-129") << qint64(-129) << hex("ff7f");
    QTest::newRow("2^31") << qint64(0x80000000ll) << hex("0080000000");
}

void TestSimBer::encodesIntegers()
{
    QFETCH(qint64, value);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ber::encodeInteger(value), bytes);
    qint64 back = 0;
    QVERIFY(ber::decodeInteger(bytes, back));
    QCOMPARE(back, value);
}

void TestSimBer::encodesUnsigned_data()
{
    // Canonical Gauge32 content: the station reads 1 byte as is, 2 bytes as
    // a*256+b and 3-4 bytes as signed 32-bit, so values below 2^31 come out
    // right in every form.
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0") << 0u << hex("00");
    QTest::newRow("127") << 127u << hex("7f");
    QTest::newRow("128") << 128u << hex("0080");
    QTest::newRow("200") << 200u << hex("00c8");
    QTest::newRow("256") << 256u << hex("0100");
    QTest::newRow("32768") << 32768u << hex("008000");
    QTest::newRow("2500000") << 2500000u << hex("2625a0");
    QTest::newRow("2^31-1") << 0x7fffffffu << hex("7fffffff");
    QTest::newRow("2^32-1") << 0xffffffffu << hex("00ffffffff");
}

void TestSimBer::encodesUnsigned()
{
    QFETCH(quint32, value);
    QCOMPARE(ber::encodeUnsigned(value), FETCHED(QByteArray, bytes));
}

void TestSimBer::decodesUnsigned_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("value");
    // Clients send Gauge values as plain 4-byte big-endian numbers too.
    QTest::newRow("4 bytes 256") << hex("00000100") << true << 256u;
    QTest::newRow("4 bytes top bit") << hex("ffffff00") << true << 0xffffff00u;
    QTest::newRow("5 bytes leading zero") << hex("00ffffffff") << true << 0xffffffffu;
    QTest::newRow("6 bytes leading zeros") << hex("0000000000ff") << true << 255u;
    QTest::newRow("5 bytes too big") << hex("0100000000") << false << 0u;
    QTest::newRow("empty") << QByteArray() << false << 0u;
}

void TestSimBer::decodesUnsigned()
{
    QFETCH(QByteArray, bytes);
    quint32 v = 0;
    QFETCH(bool, ok);
    QCOMPARE(ber::decodeUnsigned(bytes, v), ok);
    if (ok)
        QCOMPARE(v, FETCHED(quint32, value));
}

void TestSimBer::encodesLengths_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("127") << 127 << hex("7f");
    QTest::newRow("128") << 128 << hex("8180");
    QTest::newRow("255") << 255 << hex("81ff");
    QTest::newRow("256") << 256 << hex("820100");
    QTest::newRow("65536") << 65536 << hex("83010000");
}

void TestSimBer::encodesLengths()
{
    QFETCH(int, length);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ber::encodeLength(length), bytes);
    // And the reader takes the same header back.
    QByteArray element = hex("04") + bytes + QByteArray(length, 'x');
    ber::Tlv t;
    QVERIFY(ber::readTlv(element, t));
    QCOMPARE(t.content.size(), qsizetype(length));
    QCOMPARE(t.size, element.size());
}

void TestSimBer::oidRoundTrip_data()
{
    QTest::addColumn<QList<quint32>>("arcs");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("parameter 50") << QList<quint32>{1, 3, 6, 1, 4, 1, 44467, 1, 50, 0}
                                  << hex("2b0601040182db3301 32 00");
    QTest::newRow("2.999") << QList<quint32>{2, 999} << hex("8837");
    QTest::newRow("max arc") << QList<quint32>{1, 3, 0xffffffffu} << hex("2b 8fffffff7f");
}

void TestSimBer::oidRoundTrip()
{
    QFETCH(QList<quint32>, arcs);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ber::encodeOid(arcs), bytes);
    QList<quint32> back;
    QVERIFY(ber::decodeOid(bytes, back));
    QCOMPARE(back, arcs);
}

void TestSimBer::encodesResponseExactly()
{
    // A GetResponse to the station's GET 15 must keep the station's fixed
    // offsets: error-status at 22, n at 41, tag at 43, length at 44.
    SnmpMessage m;
    m.community = "morqubit";
    m.requestId = 1;
    m.varBinds = {
        VarBind{{1, 3, 6, 1, 4, 1, 44467, 1, 15, 0}, ber::OctetString, hex("2e8bf2000a1b")}};
    const QByteArray out = encodeMessage(m);
    QCOMPARE(out, hex("3031 020100 0408 6d6f727175626974 a222 020101 020100 020100 3017 3015"
                      " 060b 2b0601040182db33010f00 0406 2e8bf2000a1b"));
    QCOMPARE(int(quint8(out[22])), 0);
    QCOMPARE(int(quint8(out[41])), 15);
    QCOMPARE(int(quint8(out[43])), 0x04);
    QCOMPARE(int(quint8(out[44])), 6);
}

QTEST_APPLESS_MAIN(TestSimBer)
#include "tst_sim_ber.moc"
