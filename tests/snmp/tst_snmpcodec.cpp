// Requests byte for byte, value encoding and refusal, and the reading of
// agent replies (well-formed, unusual and broken).

#include "SnmpTestUtil.h"

#include "snmp/SnmpCodec.h"
#include "snmp/SnmpMatch.h"
#include "store/ElementDatabase.h"

#include <QTest>

using namespace orvalink;
using namespace orvalink::test;

class TestSnmpCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void getRequestExample()
    {
        const SnmpEncodeResult r = encodeGetRequest(QStringLiteral("morqubit"), 15, 1);
        QVERIFY(r.ok());
        QCOMPARE(r.datagram.size(), 45);
        QCOMPARE(r.datagram, hex("30 2B 02 01 00 04 08") + QByteArray("morqubit") +
                                 hex("A0 1C 02 01 01 02 01 00 02 01 00 30 11 30 0F 06 0B"
                                     " 2B 06 01 04 01 82 DB 33 01 0F 00 05 00"));
    }

    void setRequestNameExample()
    {
        const SnmpEncodeResult r =
            encodeSetRequest(QStringLiteral("kestrvla"), 35, 0x04, QStringLiteral("STUDIO A"), 7);
        QVERIFY(r.ok());
        QCOMPARE(r.datagram.size(), 61);
        QCOMPARE(r.datagram, hex("30 3B 02 01 00 04 08") + QByteArray("kestrvla") +
                                 hex("A3 2C 02 01 07 02 01 00 02 01 00 30 21 30 1F 06 0B"
                                     " 2B 06 01 04 01 82 DB 33 01 23 00 04 10") +
                                 QByteArray("STUDIO A        "));
    }

    // The value part of a SET (tag, length, bytes); "-" means refused.
    void setValue_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        // tag and length in hex, then the bytes of a text
        const auto text = [](const char* head, const char* bytes) {
            return QString::fromLatin1(head + QByteArray(bytes).toHex());
        };

        QTest::newRow("gauge 0") << 1 << 0x42 << "0"
                                 << "420100";
        QTest::newRow("gauge 255") << 1 << 0x42 << "255"
                                   << "4201ff";
        QTest::newRow("gauge 256") << 31 << 0x42 << "256"
                                   << "420400000100";
        QTest::newRow("gauge max") << 31 << 0x42 << "4294967295"
                                   << "4204ffffffff";
        QTest::newRow("gauge blanks") << 31 << 0x42 << " 12 "
                                      << "42010c";
        QTest::newRow("gauge leading zeros") << 31 << 0x42 << "000000000000000000000300"
                                             << "42040000012c";
        QTest::newRow("gauge 2^32 refused") << 31 << 0x42 << "4294967296"
                                            << "-";
        QTest::newRow("gauge huge refused") << 31 << 0x42 << "99999999999999999999999"
                                            << "-";
        QTest::newRow("gauge negative refused") << 31 << 0x42 << "-1"
                                                << "-";
        QTest::newRow("gauge text refused") << 31 << 0x42 << "12a"
                                            << "-";
        QTest::newRow("gauge empty refused") << 31 << 0x42 << ""
                                             << "-";
        QTest::newRow("gauge fraction refused") << 31 << 0x42 << "1.5"
                                                << "-";

        QTest::newRow("ip example") << 14 << 0x40 << "192.168.1.15"
                                    << "4004c0a8010f";
        QTest::newRow("ip zeros and blanks") << 14 << 0x40 << " 010.0.0.001"
                                             << "40040a000001";
        QTest::newRow("ip three parts refused") << 14 << 0x40 << "10.0.1"
                                                << "-";
        QTest::newRow("ip five parts refused") << 14 << 0x40 << "10.0.1.2.3"
                                               << "-";
        QTest::newRow("ip part above 255 refused") << 14 << 0x40 << "10.0.1.256"
                                                   << "-";
        QTest::newRow("ip empty part refused") << 14 << 0x40 << "10..1.2"
                                               << "-";
        QTest::newRow("ip empty refused") << 14 << 0x40 << ""
                                          << "-";

        QTest::newRow("name padded") << 35 << 0x04 << "ABCDEF" << text("0410", "ABCDEF          ");
        QTest::newRow("name trimmed") << 35 << 0x04 << "  AB  " << text("0410", "AB              ");
        QTest::newRow("name of 16")
            << 35 << 0x04 << "ABCDEFGHIJKLMNOP" << text("0410", "ABCDEFGHIJKLMNOP");
        QTest::newRow("name of 17 refused") << 35 << 0x04 << "ABCDEFGHIJKLMNOPQ"
                                            << "-";
        QTest::newRow("name latin-1")
            << 35 << 0x04 << QString::fromUtf8("\xc3\x84") << text("0410", "\xc4               ");
        // Bytes 80..9F are the code page of nms.ini, not C1 controls.
        QTest::newRow("name euro and oe") << 35 << 0x04 << QString::fromUtf8("\xe2\x82\xac\xc5\x93")
                                          << text("0410", "\x80\x9c              ");
        QTest::newRow("name outside the code page refused")
            << 35 << 0x04 << QString::fromUtf8("\xc4\x80") << "-";
        QTest::newRow("community C1 control refused") << 41 << 0x04 << QString(QChar(0x80)) << "-";
        QTest::newRow("community 41 of 8") << 41 << 0x04 << "kestrvla" << text("0408", "kestrvla");
        QTest::newRow("community 40 of 3") << 40 << 0x04 << "abc" << text("0408", "abc!!!!!");
        QTest::newRow("community 41 of 9 refused") << 41 << 0x04 << "kestrvlaX"
                                                   << "-";
        QTest::newRow("other text as is") << 38 << 0x04 << " SN-1 "
                                          << "0404534e2d31";
        QTest::newRow("other tag, no value") << 9 << 0x05 << "1"
                                             << "0500";
    }
    void setValue()
    {
        QFETCH(int, n);
        QFETCH(int, tag);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const SnmpEncodeResult r =
            encodeSetRequest(QStringLiteral("kestrvla"), quint8(n), quint8(tag), value, 9);
        if (expected == QLatin1String("-")) {
            QVERIFY2(!r.ok(), qPrintable(r.datagram.toHex()));
            QVERIFY(!r.error.isEmpty());
            return;
        }
        QVERIFY2(r.ok(), qPrintable(r.error));
        const QByteArray& d = r.datagram;
        QCOMPARE(d.mid(43).toHex(), expected.toLatin1());
        // Every length byte agrees with the value length.
        const int v = int(d.size()) - 45;
        QCOMPARE(quint8(d.at(1)), quint8(35 + 8 + v));
        QCOMPARE(quint8(d.at(16)), quint8(28 + v));
        QCOMPARE(quint8(d.at(27)), quint8(17 + v));
        QCOMPARE(quint8(d.at(29)), quint8(15 + v));
        QCOMPARE(quint8(d.at(15)), quint8(0xA3));
    }

    // The encoder and the address fields agree on what an address is.
    void ipAgreesWithFieldCheck_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* t : {"1.2.3.4", "255.255.255.255", "0.0.0.0", " 1 . 2 . 3 . 4 ", "1.2.3",
                              "1.2.3.4.", "a.b.c.d", "1.2.3.-4", "300.1.1.1", "1.2.3.4 5", "", ".",
                              "01.002.0003.0000004", "1.2.3.99999999999999999999"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }
    void ipAgreesWithFieldCheck()
    {
        QFETCH(QString, text);
        QByteArray value;
        QString error;
        QCOMPARE(encodeSetValue(14, 0x40, text, &value, &error), IsValidIPAddress(text));
    }

    // Addresses are read as decimal parts, never as shorthand or octal.
    void hostAddressText()
    {
        quint32 a = 0;
        QVERIFY(parseIPv4(QStringLiteral("010.0.0.011"), &a));
        QCOMPARE(a, 0x0A00000Bu);
        QVERIFY(!parseIPv4(QStringLiteral("127.1"), &a));
        QVERIFY(!parseIPv4(QStringLiteral("0x7f.0.0.1"), &a));
    }

    void requestRefusals_data()
    {
        QTest::addColumn<QString>("community");
        QTest::addColumn<int>("n");
        QTest::addColumn<bool>("ok");
        QTest::newRow("blanks trimmed") << "  morqubit " << 15 << true;
        QTest::newRow("empty") << "" << 15 << false;
        QTest::newRow("only blanks") << "    " << 15 << false;
        QTest::newRow("longest that fits") << QString(92, QLatin1Char('c')) << 15 << true;
        QTest::newRow("too long") << QString(93, QLatin1Char('c')) << 15 << false;
        QTest::newRow("parameter 127") << "morqubit" << 127 << true;
        QTest::newRow("parameter 128") << "morqubit" << 128 << false;
    }
    void requestRefusals()
    {
        QFETCH(QString, community);
        QFETCH(int, n);
        QFETCH(bool, ok);
        const SnmpEncodeResult r = encodeGetRequest(community, quint8(n), 3);
        QCOMPARE(r.ok(), ok);
        if (ok) {
            QCOMPARE(quint8(r.datagram.at(1)), quint8(r.datagram.size() - 2));
            QCOMPARE(r.datagram.mid(7, r.datagram.at(6)), trimBlanks(community).toLatin1());
        }
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("expected");

        auto reply = [](quint8 n, quint8 tag, const char* value) {
            ReplySpec s;
            s.n = n;
            s.tag = tag;
            s.value = hex(value);
            return s;
        };
        QTest::newRow("mac") << buildReply(reply(15, 0x04, "2E 8B F2 00 0A 1B"))
                             << "2E:8B:F2:00:0A:1B";
        QTest::newRow("mac param, 5 bytes")
            << buildReply(reply(15, 0x04, "20 41 42 43 20")) << "ABC";
        QTest::newRow("6 bytes, other param")
            << buildReply(reply(38, 0x04, "41 42 43 44 45 46")) << "ABCDEF";
        QTest::newRow("text in the code page")
            << buildReply(reply(35, 0x04, "80 20 8A 9F"))
            << QString::fromUtf8("\xe2\x82\xac \xc5\xa0\xc5\xb8");
        QTest::newRow("text trimmed")
            << buildReply(reply(35, 0x04, "20 20 4E 4D 20 53 20 20")) << "NM S";
        QTest::newRow("empty string") << buildReply(reply(35, 0x04, "")) << "";
        QTest::newRow("ip") << buildReply(reply(14, 0x40, "C0 A8 01 0F")) << "192.168.1.15";
        QTest::newRow("ip of 2 bytes") << buildReply(reply(14, 0x40, "01 02")) << "1.2";
        QTest::newRow("ip of 1 byte") << buildReply(reply(14, 0x40, "01")) << "";
        QTest::newRow("gauge 1") << buildReply(reply(9, 0x42, "FF")) << "255";
        QTest::newRow("gauge 2") << buildReply(reply(9, 0x42, "01 00")) << "256";
        QTest::newRow("gauge 3") << buildReply(reply(9, 0x42, "FF FF FF")) << "16777215";
        QTest::newRow("gauge 4 signed") << buildReply(reply(9, 0x42, "FF FF FF FF")) << "-1";
        QTest::newRow("gauge 4 top") << buildReply(reply(9, 0x42, "7F FF FF FF")) << "2147483647";
        QTest::newRow("gauge 5 canonical")
            << buildReply(reply(31, 0x42, "00 B2 D0 5E 00")) << "3000000000";
        QTest::newRow("gauge 5 max")
            << buildReply(reply(31, 0x42, "00 FF FF FF FF")) << "4294967295";
        QTest::newRow("gauge 5 not zero-led")
            << buildReply(reply(31, 0x42, "01 00 00 00 00")) << "";
        QTest::newRow("gauge 0 bytes") << buildReply(reply(31, 0x42, "")) << "";
        QTest::newRow("gauge 6 bytes") << buildReply(reply(31, 0x42, "00 00 00 00 00 01")) << "";
        QTest::newRow("null value") << buildReply(reply(31, 0x05, "")) << "";
        // Counters as agents serve them: every integer type is a number, the
        // unsigned ones with or without the zero byte in front, INTEGER
        // signed; a value wider than its type is none.
        QTest::newRow("counter32") << buildReply(reply(16, 0x41, "05")) << "5";
        QTest::newRow("counter32 top bit, zero in front")
            << buildReply(reply(17, 0x41, "00 FF FF FF FF")) << "4294967295";
        QTest::newRow("counter32 top bit, no zero")
            << buildReply(reply(17, 0x41, "FF FF FF FF")) << "4294967295";
        QTest::newRow("counter32 above 32 bits")
            << buildReply(reply(17, 0x41, "01 00 00 00 00")) << "";
        QTest::newRow("counter32 empty") << buildReply(reply(17, 0x41, "")) << "";
        QTest::newRow("integer negative") << buildReply(reply(22, 0x02, "FF 38")) << "-200";
        QTest::newRow("integer lowest")
            << buildReply(reply(22, 0x02, "80 00 00 00")) << "-2147483648";
        QTest::newRow("timeticks") << buildReply(reply(20, 0x43, "01 00")) << "256";
        QTest::newRow("counter64 highest")
            << buildReply(reply(17, 0x46, "00 FF FF FF FF FF FF FF FF")) << "18446744073709551615";
        QTest::newRow("counter64 above 64 bits")
            << buildReply(reply(17, 0x46, "01 00 00 00 00 00 00 00 00")) << "";

        ReplySpec err = reply(9, 0x42, "01");
        err.errorStatus = 2;
        QTest::newRow("agent error") << buildReply(err) << "";
        ReplySpec request = reply(9, 0x42, "01");
        request.pduTag = 0xA3;
        QTest::newRow("a request, not a reply") << buildReply(request) << "";
        ReplySpec wideId = reply(9, 0x42, "01");
        wideId.requestId = hex("FF 80");
        QTest::newRow("request-id in two bytes") << buildReply(wideId) << "1";
        ReplySpec shortCommunity = reply(14, 0x40, "0A 00 00 01");
        shortCommunity.community = "pub";
        QTest::newRow("community of 3") << buildReply(shortCommunity) << "10.0.0.1";
        ReplySpec longCommunity = shortCommunity;
        longCommunity.community = QByteArray(40, 'x');
        QTest::newRow("community of 40") << buildReply(longCommunity) << "10.0.0.1";
        ReplySpec longForm = reply(15, 0x04, "2E 8B F2 00 0A 1B");
        longForm.longForm = true;
        QTest::newRow("long-form lengths") << buildReply(longForm) << "2E:8B:F2:00:0A:1B";

        QByteArray past = buildReply(reply(35, 0x04, "41 42 43 44"));
        past[past.size() - 5] = char(0x10); // value length beyond the datagram
        QTest::newRow("value past the end") << past << "";
        QByteArray fixed44 = buildReply(reply(35, 0x04, ""));
        QCOMPARE(fixed44.size(), 45);
        QTest::newRow("45 bytes, empty string") << fixed44 << "";
        QTest::newRow("44 bytes") << fixed44.left(44) << "";
        QTest::newRow("empty datagram") << QByteArray() << "";
        QTest::newRow("indefinite length") << hex("30 80 02 01 00 00 00") << "";
        QTest::newRow("huge length") << hex("30 84 FF FF FF FF 02 01 00") << "";
        QTest::newRow("not a sequence") << hex("04 02 41 42") << "";
    }
    void decode()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        QCOMPARE(decodeSnmpResponse(datagram), expected);
    }

    // The reader hands the transport what it needs to match a reply.
    void replyFields()
    {
        ReplySpec s;
        s.n = 33;
        s.tag = 0x42;
        s.value = hex("25");
        s.requestId = hex("00 C8");
        const SnmpReply r = parseSnmpReply(buildReply(s));
        QVERIFY(r.valid);
        QCOMPARE(r.requestId, 200);
        QCOMPARE(r.errorStatus, 0);
        QCOMPARE(r.parameter, 33);
        QCOMPARE(r.community, QByteArray("morqubit"));
        QCOMPARE(r.text, QStringLiteral("37"));

        s.n = 0;
        QByteArray foreignOid = buildReply(s);
        foreignOid[foreignOid.indexOf(hex("82 DB 33")) + 1] = char(0xDC);
        QCOMPARE(parseSnmpReply(foreignOid).parameter, -1);
    }

    // A datagram is read once for every exchange: a one-variable exchange
    // takes its first variable even when a later one is damaged, a GET of
    // several takes no variable of a damaged list, and the one match accepts
    // for each only what it asked (a GET of several also when the agent
    // fails it with an error status, which the sweep then handles).
    void oneReadingServesEveryExchange()
    {
        const QHostAddress agent(QStringLiteral("127.0.0.1"));
        const auto message = [](quint8 errorStatus, const QByteArray& bindings) {
            const QByteArray pdu = tlv(0x02, hex("07")) +
                                   tlv(0x02, QByteArray(1, char(errorStatus))) +
                                   tlv(0x02, hex(errorStatus ? "02" : "00")) + tlv(0x30, bindings);
            return tlv(0x30, tlv(0x02, hex("00")) + tlv(0x04, "morqubit") + tlv(0xA2, pdu));
        };
        const auto binding = [](quint8 n, const QByteArray& value) {
            return tlv(0x30, tlv(0x06, oidOf(n)) + tlv(0x42, value));
        };
        const AwaitedReply one = awaitedReplyOf(
            encodeGetRequest(QStringLiteral("morqubit"), 33, 7).datagram, agent, 161);
        const AwaitedReply several = awaitedReplyOf(
            encodeGetRequest(QStringLiteral("morqubit"), QList<quint8>{33, 34}, 7).datagram, agent,
            161);
        QCOMPARE(several.parameters, (QList<int>{33, 34}));

        const SnmpReading damaged =
            readSnmpDatagram(message(0, binding(33, hex("25")) + tlv(0x30, tlv(0x04, "x"))));
        QVERIFY(damaged.first.valid);
        QCOMPARE(damaged.first.text, QStringLiteral("37"));
        QVERIFY(!damaged.all.valid);
        QVERIFY(damaged.all.varbinds.isEmpty());
        QCOMPARE(replyMismatch(one, damaged, agent, 161), QString());
        QCOMPARE(replyMismatch(several, damaged, agent, 161),
                 QStringLiteral("not a GetResponse with a variable"));

        const SnmpReading failed =
            readSnmpDatagram(message(2, binding(33, hex("25")) + binding(34, hex("01"))));
        QCOMPARE(replyMismatch(several, failed, agent, 161), QString());
        QCOMPARE(varbindMismatch(several, failed.all), QString());
        QVERIFY(failed.all.varbinds.at(1).text.isEmpty());
        QCOMPARE(replyMismatch(one, failed, agent, 162),
                 QStringLiteral("other sender (awaiting 127.0.0.1:161)"));
        const SnmpReading other = readSnmpDatagram(message(0, binding(34, hex("01"))));
        QCOMPARE(replyMismatch(one, other, agent, 161),
                 QStringLiteral("other parameter (awaiting 33)"));
    }

    // Every cut-off prefix of a good reply is no value, never a wrong one.
    void truncatedReplies()
    {
        for (const char* value : {"2E 8B F2 00 0A 1B", "00 B2 D0 5E 00", "C0 A8 01 0F"}) {
            ReplySpec s;
            s.tag = QByteArray(value).startsWith("2E")   ? 0x04
                    : QByteArray(value).startsWith("00") ? 0x42
                                                         : 0x40;
            s.value = hex(value);
            for (bool longForm : {false, true}) {
                s.longForm = longForm;
                const QByteArray whole = buildReply(s);
                QVERIFY(!decodeSnmpResponse(whole).isEmpty());
                for (int n = 0; n < whole.size(); ++n)
                    QVERIFY2(decodeSnmpResponse(whole.left(n)).isEmpty(),
                             qPrintable(whole.left(n).toHex()));
            }
        }
    }

    void requestIdMatching_data()
    {
        QTest::addColumn<qint64>("echoed");
        QTest::addColumn<int>("sent");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same") << qint64(1) << 1 << true;
        QTest::newRow("other") << qint64(2) << 1 << false;
        QTest::newRow("128 as unsigned") << qint64(128) << 128 << true;
        QTest::newRow("128 as signed") << qint64(-128) << 128 << true;
        QTest::newRow("250 as signed") << qint64(-6) << 250 << true;
        QTest::newRow("signed of another") << qint64(-6) << 249 << false;
        QTest::newRow("small id has no signed twin") << qint64(-255) << 1 << false;
        QTest::newRow("off by 256") << qint64(257) << 1 << false;
    }
    void requestIdMatching()
    {
        QFETCH(qint64, echoed);
        QFETCH(int, sent);
        QFETCH(bool, matches);
        QCOMPARE(requestIdMatches(echoed, quint8(sent)), matches);
    }
};

QTEST_GUILESS_MAIN(TestSnmpCodec)
#include "tst_snmpcodec.moc"
