// A simulated element and its agent logic in process: which parameters each
// role answers, what a SET accepts, the reply to each kind of request, the
// counters, the agent restart, the state file and the command line.

#include "Agent.h"
#include "Ber.h"
#include "Element.h"
#include "IniSeed.h"
#include "Options.h"
#include "StateFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink::sim;

// QFETCH as an expression.
#define FETCHED(Type, name) (*static_cast<Type*>(QTest::qData(#name, ::qMetaTypeId<Type>())))

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

Element makeElement(Role role, const char* address = "127.0.0.21")
{
    const QHostAddress a{QString::fromLatin1(address)};
    return Element(role, a, macForAddress(a));
}

SnmpMessage request(quint8 pdu, const QByteArray& community, QList<VarBind> binds)
{
    SnmpMessage m;
    m.pdu = pdu;
    m.community = community;
    m.requestId = 42;
    m.varBinds = std::move(binds);
    return m;
}

VarBind bind(int n, quint8 tag = ber::Null, const QByteArray& value = {})
{
    return VarBind{oidOf(n), tag, value};
}

} // namespace

Q_DECLARE_METATYPE(Role)

class TestSimElement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roleParameterSets_data();
    void roleParameterSets();
    void setValidation_data();
    void setValidation();
    void readEncodings_data();
    void readEncodings();
    void communities_data();
    void communities();
    void setEchoesAndIsAtomic();
    void getNextWalksTheRoleSet();
    void countersMove();
    void agentSettingsApplyOnParameter50();
    void stateFileRoundTrip();
    void stateFileProblems();
    void seedFromDatabase();
    void commandLine_data();
    void commandLine();
};

void TestSimElement::roleParameterSets_data()
{
    QTest::addColumn<Role>("role");
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("answers");
    // What the station's probe and statistics rely on, written out
    // independently of the simulator's table.
    const QSet<int> unused = {28, 29, 44};
    const QSet<int> decoderOnly = {1, 2, 3, 4, 21, 22, 24, 25, 26, 27, 32, 33, 34};
    const QSet<int> encoderOnly = {5, 6, 7, 12};
    for (int n = 0; n <= 52; ++n) {
        const bool exists = n >= 1 && n <= 50 && !unused.contains(n);
        QTest::addRow("encoder %d", n)
            << Role::Encoder << n << (exists && !decoderOnly.contains(n));
        QTest::addRow("decoder %d", n)
            << Role::Decoder << n << (exists && !encoderOnly.contains(n));
    }
}

void TestSimElement::roleParameterSets()
{
    QFETCH(Role, role);
    QFETCH(int, n);
    QFETCH(bool, answers);
    Element e = makeElement(role);
    Value v;
    QCOMPARE(e.get(n, v) == NoError, answers);
    if (answers)
        QVERIFY(v.tag == ber::OctetString || v.tag == ber::IpAddress || v.tag == ber::Gauge32);
}

void TestSimElement::setValidation_data()
{
    QTest::addColumn<Role>("role");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("status");
    const Role D = Role::Decoder, E = Role::Encoder;
    const int G = ber::Gauge32, S = ber::OctetString, A = ber::IpAddress;
    QTest::newRow("att 14") << D << 1 << G << hex("0e") << int(NoError);
    QTest::newRow("att 13") << D << 1 << G << hex("0d") << int(BadValue);
    QTest::newRow("att 255 one byte") << D << 1 << G << hex("ff") << int(NoError);
    QTest::newRow("att 256 four bytes") << D << 1 << G << hex("00000100") << int(BadValue);
    QTest::newRow("att as INTEGER") << D << 1 << int(ber::Integer) << hex("20") << int(BadValue);
    QTest::newRow("att empty gauge") << D << 1 << G << QByteArray() << int(BadValue);
    QTest::newRow("buf 44") << D << 2 << G << hex("2c") << int(NoError);
    QTest::newRow("buf 45") << D << 2 << G << hex("2d") << int(BadValue);
    QTest::newRow("sdl 0") << D << 33 << G << hex("00") << int(BadValue);
    QTest::newRow("sdl 154") << D << 33 << G << hex("9a") << int(NoError);
    QTest::newRow("sdt 221") << D << 34 << G << hex("dd") << int(BadValue);
    QTest::newRow("sdm 3") << D << 32 << G << hex("03") << int(BadValue);
    QTest::newRow("input 2") << E << 7 << G << hex("02") << int(BadValue);
    QTest::newRow("sfn 1") << E << 30 << G << hex("01") << int(NoError);
    QTest::newRow("dly 2500000 four bytes") << D << 31 << G << hex("002625a0") << int(NoError);
    QTest::newRow("dly -256") << D << 31 << G << hex("ffffff00") << int(NoError);
    QTest::newRow("dly 2^31 five bytes") << D << 31 << G << hex("0080000000") << int(BadValue);
    QTest::newRow("ip 4 bytes") << E << 14 << A << hex("7f000016") << int(NoError);
    QTest::newRow("ip 3 bytes") << E << 14 << A << hex("7f0000") << int(BadValue);
    QTest::newRow("ip as text") << E << 14 << S << QByteArray("1.2.3.4") << int(BadValue);
    QTest::newRow("name 16") << E << 35 << S << QByteArray("ABCDEF          ") << int(NoError);
    QTest::newRow("name 17") << E << 35 << S << QByteArray(17, 'A') << int(BadValue);
    QTest::newRow("name empty") << E << 35 << S << QByteArray() << int(BadValue);
    QTest::newRow("name blanks") << E << 35 << S << QByteArray(16, ' ') << int(BadValue);
    QTest::newRow("name control byte") << E << 35 << S << QByteArray("AB\nC") << int(BadValue);
    QTest::newRow("ro community 8") << E << 40 << S << QByteArray("abc!!!!!") << int(NoError);
    QTest::newRow("rw community empty") << E << 41 << S << QByteArray() << int(BadValue);
    QTest::newRow("read-only MAC") << E << 15 << S << hex("2e8bf2000000") << int(NoSuchName);
    QTest::newRow("read-only version") << E << 36 << S << QByteArray("9") << int(NoSuchName);
    QTest::newRow("read-only agent mask") << E << 42 << A << hex("ffffff00") << int(NoSuchName);
    QTest::newRow("counter") << D << 4 << G << hex("00") << int(NoSuchName);
    QTest::newRow("unused 44") << E << 44 << A << hex("01020304") << int(NoSuchName);
    QTest::newRow("encoder has no att") << E << 1 << G << hex("20") << int(NoSuchName);
    QTest::newRow("decoder has no tx") << D << 12 << G << hex("01") << int(NoSuchName);
    QTest::newRow("apply 2") << E << 50 << G << hex("02") << int(BadValue);
}

void TestSimElement::setValidation()
{
    QFETCH(Role, role);
    QFETCH(int, n);
    QFETCH(int, tag);
    QFETCH(QByteArray, value);
    QFETCH(int, status);
    Element e = makeElement(role);
    Value before;
    const bool readable = e.get(n, before) == NoError;
    SnmpMessage req = request(ber::SetRequest, "kestrvla", {bind(n, quint8(tag), value)});
    const auto reply = answerRequest(e, req);
    QVERIFY(reply);
    QCOMPARE(int(reply->errorStatus), status);
    if (status != NoError) {
        QCOMPARE(reply->errorIndex, 1);
        QCOMPARE(reply->varBinds, req.varBinds); // an error reply carries the request's bindings
        Value after;
        if (readable && findParam(n)->kind != Kind::Counter) {
            e.get(n, after);
            QCOMPARE(after, before); // nothing changed
        }
    } else {
        QCOMPARE(reply->varBinds, req.varBinds); // echo exactly as sent
    }
}

void TestSimElement::readEncodings_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("set");
    QTest::addColumn<QByteArray>("readTag");
    QTest::addColumn<QByteArray>("readBytes");
    // Value set by a client -> what a later GET returns.
    QTest::newRow("dly 200") << 31 << hex("c8") << hex("42") << hex("00c8");
    QTest::newRow("dly -1500 four bytes") << 31 << hex("fffffa24") << hex("42") << hex("fffffa24");
    QTest::newRow("dly 25000") << 31 << hex("000061a8") << hex("42") << hex("61a8");
    QTest::newRow("att 255") << 1 << hex("ff") << hex("42") << hex("00ff");
    QTest::newRow("short name padded")
        << 35 << QByteArray("NEW NAME") << hex("04") << QByteArray("NEW NAME        ");
    QTest::newRow("community kept with its !")
        << 41 << QByteArray("abc!!!!!") << hex("04") << QByteArray("abc!!!!!");
}

void TestSimElement::readEncodings()
{
    QFETCH(int, n);
    QFETCH(QByteArray, set);
    QFETCH(QByteArray, readTag);
    Element e = makeElement(Role::Decoder);
    const quint8 tag = n == 35 || n == 41 ? ber::OctetString : ber::Gauge32;
    QCOMPARE(e.checkSet(n, {tag, set}), int(NoError));
    e.applySet(n, {tag, set});
    Value v;
    QCOMPARE(e.get(n, v), int(NoError));
    QCOMPARE(v.tag, quint8(readTag[0]));
    QCOMPARE(v.bytes, FETCHED(QByteArray, readBytes));
}

void TestSimElement::communities_data()
{
    QTest::addColumn<int>("pdu");
    QTest::addColumn<QByteArray>("community");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("replied");
    QTest::addColumn<int>("status");
    const int get = ber::GetRequest, set = ber::SetRequest;
    QTest::newRow("get read") << get << QByteArray("morqubit") << 0 << true << int(NoError);
    QTest::newRow("get write") << get << QByteArray("kestrvla") << 0 << true << int(NoError);
    QTest::newRow("get wrong") << get << QByteArray("morqubiT") << 0 << false << 0;
    QTest::newRow("get prefix") << get << QByteArray("morqubi") << 0 << false << 0;
    QTest::newRow("set write") << set << QByteArray("kestrvla") << 0 << true << int(NoError);
    QTest::newRow("set read") << set << QByteArray("morqubit") << 0 << true << int(NoSuchName);
    QTest::newRow("set wrong") << set << QByteArray("xxxxxxxx") << 0 << false << 0;
    QTest::newRow("v2c get") << get << QByteArray("morqubit") << 1 << false << 0;
    QTest::newRow("response pdu") << int(ber::GetResponse) << QByteArray("morqubit") << 0 << false
                                  << 0;
}

void TestSimElement::communities()
{
    QFETCH(int, pdu);
    QFETCH(QByteArray, community);
    QFETCH(bool, replied);
    Element e = makeElement(Role::Encoder);
    SnmpMessage req =
        request(quint8(pdu), community,
                {pdu == ber::SetRequest ? bind(35, ber::OctetString, "CHANGED") : bind(35)});
    req.version = FETCHED(int, version);
    bool changed = true;
    const auto reply = answerRequest(e, req, &changed);
    QCOMPARE(bool(reply), replied);
    if (reply) {
        QCOMPARE(int(reply->errorStatus), FETCHED(int, status));
        QCOMPARE(reply->requestId, req.requestId);
        QCOMPARE(reply->community, req.community);
        QCOMPARE(int(reply->pdu), int(ber::GetResponse));
    }
    Value name;
    e.get(35, name);
    QCOMPARE(changed, name.bytes.startsWith("CHANGED"));
}

void TestSimElement::setEchoesAndIsAtomic()
{
    Element e = makeElement(Role::Decoder);
    // Second binding out of range: the first must not be taken either.
    auto reply = answerRequest(
        e, request(ber::SetRequest, "kestrvla",
                   {bind(1, ber::Gauge32, hex("20")), bind(33, ber::Gauge32, hex("00"))}));
    QVERIFY(reply);
    QCOMPARE(int(reply->errorStatus), int(BadValue));
    QCOMPARE(reply->errorIndex, 2);
    Value att;
    e.get(1, att);
    QCOMPARE(att.bytes, hex("00c8")); // still the default 200

    reply = answerRequest(
        e, request(ber::SetRequest, "kestrvla",
                   {bind(1, ber::Gauge32, hex("00000020")), bind(33, ber::Gauge32, hex("05"))}));
    QVERIFY(reply);
    QCOMPARE(int(reply->errorStatus), int(NoError));
    QCOMPARE(reply->varBinds[0].value, hex("00000020")); // echoed as sent, not re-encoded
    e.get(1, att);
    QCOMPARE(att.bytes, hex("20"));

    // A new write community takes effect for the next request.
    QVERIFY(answerRequest(
        e, request(ber::SetRequest, "kestrvla", {bind(41, ber::OctetString, "newwrite")})));
    QVERIFY(!answerRequest(
        e, request(ber::SetRequest, "kestrvla", {bind(1, ber::Gauge32, hex("30"))})));
    QCOMPARE(
        answerRequest(e, request(ber::SetRequest, "newwrite", {bind(1, ber::Gauge32, hex("30"))}))
            ->errorStatus,
        0);
}

void TestSimElement::getNextWalksTheRoleSet()
{
    Element e = makeElement(Role::Encoder);
    QList<int> seen;
    QList<quint32> oid = {1, 3, 6, 1, 4, 1, 44467};
    for (int guard = 0; guard < 100; ++guard) {
        const auto reply = answerRequest(
            e, request(ber::GetNextRequest, "morqubit", {VarBind{oid, ber::Null, {}}}));
        QVERIFY(reply);
        if (reply->errorStatus != 0) {
            QCOMPARE(int(reply->errorStatus), int(NoSuchName));
            break;
        }
        oid = reply->varBinds[0].oid;
        seen << parameterOf(oid);
    }
    QCOMPARE(seen, e.parameterNumbers());
    QVERIFY(!seen.contains(1) && !seen.contains(32) && seen.contains(7) && seen.last() == 50);
}

void TestSimElement::countersMove()
{
    qint64 now = 0;
    Element d = makeElement(Role::Decoder);
    d.setClock([&] { return now; });
    auto read = [&](int n) {
        Value v;
        if (d.get(n, v) != NoError)
            return qint64(-1);
        quint32 u = 0;
        ber::decodeUnsigned(v.bytes, u);
        return qint64(u);
    };
    // PTP values are still while PTP is off.
    for (int n : {21, 22, 23, 24, 25, 26, 27})
        QCOMPARE(read(n), 0);
    const qint64 ok0 = read(4), mac0 = read(17);
    now = 10000;
    QVERIFY(read(4) >= ok0 + 9000);
    QVERIFY(read(17) > mac0);
    QVERIFY(read(3) <= read(4));

    d.applySet(30, {ber::Gauge32, hex("01")});
    const qint64 ptp0 = read(23);
    // Also when the three reads of one refresh straddle a second.
    for (qint64 t = 20000; t < 120000; t += 997) {
        now = t;
        const qint64 mn = read(26);
        now = t + 450;
        const qint64 avg = read(24);
        now = t + 900;
        const qint64 mx = read(25);
        QVERIFY2(mn > 0 && mn <= avg && avg <= mx,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(mn).arg(avg).arg(mx)));
    }
    QVERIFY(read(23) > ptp0);
    // Counters stay positive 32-bit values, which every Gauge form decodes.
    now = qint64(1) << 42;
    QVERIFY(read(4) < (qint64(1) << 31));
}

void TestSimElement::agentSettingsApplyOnParameter50()
{
    Element e = makeElement(Role::Encoder, "127.0.0.30");
    auto set = [&](int n, quint8 tag, const QByteArray& v) {
        return answerRequest(e, request(ber::SetRequest, "kestrvla", {bind(n, tag, v)}))
            ->errorStatus;
    };
    QCOMPARE(set(48, ber::IpAddress, hex("7f00001f")), 0);
    QCOMPARE(set(46, ber::IpAddress, hex("ffff0000")), 0);
    QCOMPARE(set(47, ber::IpAddress, hex("7f000001")), 0);
    QCOMPARE(set(49, ber::IpAddress, hex("7f000002")), 0);
    Value mask;
    e.get(42, mask);
    QCOMPARE(mask.bytes, hex("ff000000")); // not yet applied
    QVERIFY(!e.takeRestartRequest());
    QCOMPARE(set(50, ber::Gauge32, hex("00")), 0); // 0 applies nothing
    QVERIFY(!e.takeRestartRequest());
    QCOMPARE(e.agentAddress(), QHostAddress(QStringLiteral("127.0.0.30")));

    QCOMPARE(set(50, ber::Gauge32, hex("01")), 0);
    QVERIFY(e.takeRestartRequest());
    QVERIFY(!e.takeRestartRequest());
    QCOMPARE(e.agentAddress(), QHostAddress(QStringLiteral("127.0.0.31")));
    const QList<QPair<int, QByteArray>> expected = {
        {42, hex("ffff0000")}, {43, hex("7f000001")}, {45, hex("7f000002")}};
    for (const auto& [n, bytes] : expected) {
        Value v;
        e.get(n, v);
        QCOMPARE(v.bytes, bytes);
    }
    Value apply;
    e.get(50, apply);
    QCOMPARE(apply.bytes, hex("00"));
}

void TestSimElement::stateFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.json"));
    {
        // An entry of an element that is not running now must survive.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"elements":{"2E:8B:F2:99:99:99":{"role":"decoder","settings":{"att":99}}}})");
    }
    Element d = makeElement(Role::Decoder, "127.0.0.22");
    for (const auto& [n, tag, v] :
         QList<std::tuple<int, quint8, QByteArray>>{{1, ber::Gauge32, hex("0f")},
                                                    {31, ber::Gauge32, hex("fffffa24")},
                                                    {35, ber::OctetString, "NAMÉ"},
                                                    {40, ber::OctetString, "abc!!!!!"},
                                                    {11, ber::IpAddress, hex("efc00a02")}}) {
        QCOMPARE(d.checkSet(n, {tag, v}), int(NoError));
        d.applySet(n, {tag, v});
    }
    StateFile state(path);
    QString error;
    QVERIFY2(state.load(&error), qPrintable(error));
    QVERIFY2(state.save({&d}, &error), qPrintable(error));

    StateFile again(path);
    QVERIFY(again.load(&error));
    Element back = makeElement(Role::Decoder, "127.0.0.22");
    QCOMPARE(again.restore(back), QStringList());
    for (int n : {1, 31, 35, 40, 11, 15, 41}) {
        Value a, b;
        d.get(n, a);
        back.get(n, b);
        QCOMPARE(b, a);
    }
    QVERIFY(again.save({&back}, &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject elements =
        QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("elements")).toObject();
    QCOMPARE(elements.value(QStringLiteral("2E:8B:F2:99:99:99"))
                 .toObject()
                 .value(QStringLiteral("settings"))
                 .toObject()
                 .value(QStringLiteral("att"))
                 .toInt(),
             99);
}

void TestSimElement::stateFileProblems()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.json"));
    const QByteArray broken = "{\"elements\": [1, 2";
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(broken);
    }
    StateFile state(path);
    QString error;
    QVERIFY(!state.load(&error));
    QVERIFY(error.contains(QStringLiteral("untouched")));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), broken);
    }

    // Out-of-range or foreign values are reported and the defaults kept.
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(
            R"({"elements":{"2E:8B:F2:00:00:16":{"role":"decoder","agent":"nonsense",)"
            R"("settings":{"att":300,"sdl":"7","name":"","mask":"1.2.3.999","bogus":1,"buf":5}}}})");
    }
    QVERIFY(state.load(&error));
    Element d = makeElement(Role::Decoder, "127.0.0.22");
    const QStringList problems = state.restore(d);
    QCOMPARE(problems.size(), 6);
    Value v;
    d.get(1, v);
    QCOMPARE(v.bytes, hex("00c8"));
    d.get(2, v);
    QCOMPARE(v.bytes, hex("05"));
    QCOMPARE(d.agentAddress(), QHostAddress(QStringLiteral("127.0.0.22")));

    // Stored under another role: not used at all.
    Element e(Role::Encoder, QHostAddress(QStringLiteral("127.0.0.22")),
              macForAddress(QHostAddress(QStringLiteral("127.0.0.22"))));
    QCOMPARE(state.restore(e).size(), 1);
}

void TestSimElement::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QString>("mac");   // of the last element
    auto row = [](const char* name, QStringList args, const char* error, const char* mac = "") {
        QTest::newRow(name) << args << QString::fromLatin1(error) << QString::fromLatin1(mac);
    };
    row("counter type", {"--counter-type", "counter32", "encoder@127.0.0.21"}, "",
        "2E:8B:F2:00:00:15");
    row("unknown counter type", {"--counter-type", "float", "encoder@127.0.0.21"},
        "--counter-type: 'float' is not gauge, counter32, timeticks, integer or counter64");
    row("silent element", {"encoder@127.0.0.21", "--silent", "127.0.0.21"}, "",
        "2E:8B:F2:00:00:15");
    row("silent non-element", {"encoder@127.0.0.21", "--silent", "127.0.0.22"},
        "--silent: 127.0.0.22 is not an element's address");
    row("derived MAC", {"encoder@127.0.0.21"}, "", "2E:8B:F2:00:00:15");
    row("derived MAC high octets", {"--port", "1161", "DECODER@127.1.2.250"}, "",
        "2E:8B:F2:01:02:FA");
    row("given MAC", {"decoder@127.0.0.22/2e-8b-f2-00-00-16"}, "", "2E:8B:F2:00:00:16");
    row("inline values", {"--port=2000", "--delay=5", "encoder@127.0.0.21"}, "",
        "2E:8B:F2:00:00:15");
    row("outside address", {"encoder@192.0.2.1"}, "not an address of this host");
    row("bad role", {"router@127.0.0.1"}, "role must be");
    row("no role", {"127.0.0.1"}, "ROLE@ADDR");
    row("bad address", {"encoder@127.0.0.256"}, "not a dotted IPv4");
    row("hostname", {"encoder@localhost"}, "not a dotted IPv4");
    row("bad MAC", {"encoder@127.0.0.21/2E:8B:F2:00:00"}, "not a MAC");
    row("no element", {"--verbose"}, "no element");
    row("twice", {"encoder@127.0.0.21", "decoder@127.0.0.21"}, "given twice");
    row("same MAC",
        {"encoder@127.0.0.21/2E:8B:F2:00:00:01", "decoder@127.0.0.22/2E:8B:F2:00:00:01"},
        "given twice");
    row("port 0", {"--port", "0", "encoder@127.0.0.21"}, "not a number");
    row("port missing", {"encoder@127.0.0.21", "--port"}, "needs a value");
    row("loss 101", {"--loss", "101", "encoder@127.0.0.21"}, "percentage");
    row("drop-every 0", {"--drop-every", "0", "encoder@127.0.0.21"}, "not a number");
    row("from-port same", {"--port", "5000", "--from-port", "5000", "encoder@127.0.0.21"},
        "must differ");
    row("flag with value", {"--wrong-id=1", "encoder@127.0.0.21"}, "takes no value");
    row("unknown option", {"--frobnicate", "encoder@127.0.0.21"}, "unknown option");
}

void TestSimElement::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    Options o;
    QString message;
    const bool ok = parseOptions(args, o, &message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QVERIFY2(message.contains(error), qPrintable(message));
        return;
    }
    QCOMPARE(QString::fromLatin1(o.elements.last().mac.toHex(':').toUpper()),
             FETCHED(QString, mac));
}

void TestSimElement::seedFromDatabase()
{
    // Fault: the demo's devices answered the simulator's own defaults, so a
    // probe or an apply against them disagreed with the demo database.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[2E8BF2000201]\r\nname=tx site   \r\nIP=127.0.0.21\r\nROLE=2\r\nATT=200\r\n"
                "BUF=3\r\nSN=DEMO-0201\r\nVER=3.50\r\nSNMPRW=kestrvla\r\nSNMPTR=127.0.0.1\r\n"
                "SDL=999\r\nIP=10.9.9.9\r\n[2E8BF2000101]\r\nNAME=OTHER\r\n");
    }
    IniSeed seed;
    QString error;
    QVERIFY2(seed.load(path, &error), qPrintable(error));
    Element d(Role::Decoder, QHostAddress(QStringLiteral("127.0.0.22")),
              parseMac(QStringLiteral("2E:8B:F2:00:02:01")));
    // SDL 999 is out of range: reported, default kept.
    const QStringList problems = seed.seed(d);
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().contains(QStringLiteral("sdl")));
    auto text = [&](int n) {
        Value v;
        d.get(n, v);
        return v.bytes;
    };
    QCOMPARE(text(35), QByteArray("tx site").leftJustified(16, ' ')); // key in any case
    QCOMPARE(text(14), hex("7f000015"));                              // the first of two IP keys
    QCOMPARE(text(1), hex("00c8"));
    QCOMPARE(text(2), hex("03"));
    QCOMPARE(text(38), QByteArray("DEMO-0201"));
    QCOMPARE(text(36) + '.' + text(37), QByteArray("3.50"));
    QCOMPARE(text(39), hex("7f000001"));
    QCOMPARE(d.agentAddress(), QHostAddress(QStringLiteral("127.0.0.22")));

    // An element without a section keeps its defaults, and says so.
    Element other = makeElement(Role::Encoder, "127.0.0.23");
    const Value before = [&] {
        Value v;
        other.get(35, v);
        return v;
    }();
    QCOMPARE(seed.seed(other).size(), 1);
    Value after;
    other.get(35, after);
    QCOMPARE(after, before);

    QVERIFY(!seed.load(dir.filePath(QStringLiteral("missing.ini")), &error));
    QVERIFY(error.contains(QStringLiteral("missing.ini")));
}

QTEST_GUILESS_MAIN(TestSimElement)

#include "tst_sim_element.moc"
