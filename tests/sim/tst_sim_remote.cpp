// The simulator's remote protocol: its configuration reply, and what a save
// request changes (with the layouts written out here by hand, not taken from
// the station's code).

#include "Element.h"
#include "Remote.h"

#include <QTest>

using namespace orvalink::sim;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class TestSimRemote : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void repliesByRole();
    void saveRequestIsCheckedTakenAndEchoed();
    void levelDataMoves();
};

void TestSimRemote::repliesByRole()
{
    Element dec(Role::Decoder, QHostAddress(QStringLiteral("10.231.7.2")), hex("2e8bf2070002"));
    RemoteResponder d(dec, RemoteConfig{}, BadReply::None);
    const QByteArray r = d.configReply();
    QCOMPARE(r.size(), 54);
    QCOMPARE(r.left(16), hex("0ae70702 ffffff00 0ae70701 efc00a01"));
    QCOMPARE(r.mid(19, 16), QByteArray("DECODER 2       "));
    QCOMPARE(r.mid(35, 5), hex("02 10070002"));             // role, serial number
    QCOMPARE(r.mid(40, 8), hex("c8 03 33 00 0a 00 3c 1e")); // att, 3.51, sfn, buf, silence
    QCOMPARE(r.at(53), char(0));                            // low latency

    Element enc(Role::Encoder, QHostAddress(QStringLiteral("10.231.7.3")), hex("2e8bf2070003"));
    QCOMPARE(RemoteResponder(enc, RemoteConfig{}, BadReply::None).configReply().mid(35),
             hex("01 10070003 03 32 00 00 00"));
    QCOMPARE(RemoteResponder(enc, RemoteConfig{}, BadReply::Short).configReply().size(), 30);
    QCOMPARE(RemoteResponder(enc, RemoteConfig{}, BadReply::Damaged).configReply().at(16), char(2));
}

void TestSimRemote::saveRequestIsCheckedTakenAndEchoed()
{
    Element dec(Role::Decoder, QHostAddress(QStringLiteral("10.231.7.2")), hex("2e8bf2070002"));
    RemoteResponder d(dec, RemoteConfig{}, BadReply::None);
    // Fault: another length taken as this role's layout.
    QVERIFY(!d.takeSaveRequest(QByteArray(37, '\0')));
    QVERIFY(!d.takeSaveRequest(QByteArray("VOL")));

    // New name, input and TX (kept though the decoder's agent has neither),
    // buffer 22, silence mode 1 and level 154, a timeout out of range, low
    // latency.
    QByteArray q = hex("0ae70702 ffffff00 0ae70701 efc00a02 01 01 01 01") + "Studio B        " +
                   hex("16 01 9a ff 01");
    q[39] = char(221); // above the timeout's range: not taken
    QVERIFY(d.takeSaveRequest(q));
    const QByteArray r = d.configReply();
    QCOMPARE(r.mid(12, 7), hex("efc00a02 01 01 01"));
    QCOMPARE(r.mid(19, 16), QByteArray("Studio B        "));
    QCOMPARE(r.mid(43, 5), hex("01 16 01 9a 1e")); // sfn, buffer, mode, level, old timeout
    QCOMPARE(r.at(53), char(1));

    // What SNMP reads agrees.
    Value v;
    QCOMPARE(dec.get(2, v), int(NoError));
    QCOMPARE(v.bytes, hex("16"));
    QCOMPARE(dec.get(35, v), int(NoError));
    QCOMPARE(v.bytes, QByteArray("Studio B        "));
}

// The level answer is long enough to be taken as level data (more than 1200
// bytes), carries positive samples, and its peak changes with the clock, so
// a meter polling it visibly moves (a constant block would leave the meter
// still and hide a station that stopped reading replies).
void TestSimRemote::levelDataMoves()
{
    Element enc(Role::Encoder, QHostAddress(QStringLiteral("10.231.7.3")), hex("2e8bf2070003"));
    RemoteResponder r(enc, RemoteConfig{}, BadReply::None);
    const auto peak = [](const QByteArray& d) {
        int best = 0;
        for (int i = 0; i + 3 <= d.size(); i += 3) {
            if (quint8(d[i]) < 0x80)
                best =
                    qMax(best, (quint8(d[i]) << 16) | (quint8(d[i + 1]) << 8) | quint8(d[i + 2]));
        }
        return best;
    };
    QList<int> peaks;
    for (qint64 ms = 1000000; ms < 1000000 + 8000; ms += 250) {
        const QByteArray d = r.levelData(ms);
        QCOMPARE(d.size(), 1203);
        peaks << peak(d);
    }
    const auto [low, high] = std::minmax_element(peaks.begin(), peaks.end());
    // From about -24 dBFS up to a peak near full scale within one period.
    QVERIFY2(*low > 8388607 / 100 && *low < 8388607 / 10, qPrintable(QString::number(*low)));
    QVERIFY2(*high > 8388607 / 2, qPrintable(QString::number(*high)));
    QVERIFY(r.levelData(2000000) != r.levelData(2001000));
}

QTEST_GUILESS_MAIN(TestSimRemote)
#include "tst_sim_remote.moc"
