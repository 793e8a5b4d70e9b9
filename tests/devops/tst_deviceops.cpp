// The probe and the apply against orvalink-sim on loopback (127.0.93.x),
// with shortened waits: what reaches the device, in which order, and what
// ends up in nms.ini.

#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "core/Pause.h"
#include "devops/ApplyOperation.h"
#include "devops/ProbeOperation.h"
#include "snmp/ParameterTable.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalink;
using orvalink::testing::ScriptedPrompt;
using orvalink::testing::SimNet;
using orvalink::testing::SimProcess;

namespace {

// The test's simulated elements: 127.0.93.x; the station is host(100).
const SimNet kNet{93};
const QString kNms = kNet.host(100);
const QString kCommunity = QStringLiteral("morqubit");

// The section of the element the simulator serves at 127.0.93.last.
QString sectionOf(int last)
{
    return QStringLiteral("2E8BF2005D%1").arg(last, 2, 16, QLatin1Char('0')).toUpper();
}

Timings shortTimings()
{
    Timings t;
    t.snmpTimeoutMs = 300;
    t.snmpSetAllowedMs = 60;
    return t;
}

// The real transport, except that the element's agent is told to restart
// (parameter 50 set to 1) just before parameter `before` is asked.
class RestartBefore : public SnmpClient {
public:
    RestartBefore(SnmpTransport& transport, quint8 before) : m_t(transport), m_before(before) {}
    SnmpResult GetSNMP(const QString& host, const QString& community, quint8 n) override
    {
        if (n == m_before)
            m_t.SetSNMP(host, QStringLiteral("kestrvla"), 50, snmptag::Gauge, QStringLiteral("1"));
        return m_t.GetSNMP(host, community, n);
    }
    SnmpResult SetSNMP(const QString& host, const QString& community, quint8 n, quint8 tag,
                       const QString& value) override
    {
        return m_t.SetSNMP(host, community, n, tag, value);
    }

private:
    SnmpTransport& m_t;
    quint8 m_before;
};

// Loses the replies to the last `count` parameters of a probe: the
// requests go out, but no answer comes back for them.
class LoseLastReplies : public SnmpClient {
public:
    LoseLastReplies(SnmpTransport& transport, int count) : m_t(transport), m_count(count) {}
    SnmpResult GetSNMP(const QString& host, const QString& community, quint8 n) override
    {
        const auto steps = probeSteps();
        for (qsizetype i = qsizetype(steps.size()) - m_count; i < qsizetype(steps.size()); ++i) {
            if (steps[size_t(i)].n == n) {
                SnmpResult lost;
                lost.outcome = SnmpOutcome::NoAnswer;
                return lost;
            }
        }
        return m_t.GetSNMP(host, community, n);
    }
    SnmpResult SetSNMP(const QString& host, const QString& community, quint8 n, quint8 tag,
                       const QString& value) override
    {
        return m_t.SetSNMP(host, community, n, tag, value);
    }

private:
    SnmpTransport& m_t;
    int m_count;
};

} // namespace

class TestDeviceOps : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<IniStore> store;
    std::unique_ptr<Database> db;
    std::unique_ptr<SnmpTransport> snmp;
    ScriptedPrompt prompt;
    SimProcess sim;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    QString stored(const QString& section, const QString& key)
    {
        return db->read(section, key, QStringLiteral("<none>"));
    }

    ProbeOperation::Result probe(int last)
    {
        ProbeOperation op(*snmp, *db, prompt, shortTimings());
        return op.run(kNet.host(last), kCommunity);
    }

    // What the panel shows for a stored element: every editor.
    EditedValues shownValues(const QString& section)
    {
        EditedValues v;
        v.name = db->read(section, QStringLiteral("name"));
        v.ip = db->read(section, QStringLiteral("ip"));
        v.mask = db->read(section, QStringLiteral("mask"));
        v.gw = db->read(section, QStringLiteral("gw"));
        const bool decoder = db->read(section, QStringLiteral("role")) == QLatin1String("2");
        const int tx = db->read(section, QStringLiteral("tx"), QStringLiteral("0")).toInt();
        v.remoteIP = db->read(section, decoder || tx == 1 ? QStringLiteral("multi")
                                                          : QStringLiteral("remote"));
        auto number = [&](const char* key, const char* def) {
            return db->read(section, QLatin1String(key), QLatin1String(def)).toInt();
        };
        v.input = number("input", "0");
        v.type = number("type", "0");
        v.tx = tx;
        v.sfn = number("sfn", "0");
        v.llo = number("llo", "0");
        v.att = number("att", "255");
        v.buf = number("buf", "0");
        v.sdl = number("sdl", "1");
        v.sdt = number("sdt", "1");
        v.sdm = number("sdm", "0");
        return v;
    }
    ShownElement shown(const QString& section, const QString& role)
    {
        return ShownElement{Decode_MAC(section), section, QString(), role};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!testing::mayBindAgentPort())
            QSKIP("the simulated agents need port 161: run as root");
        QVERIFY(dir.isValid());
    }
    void init()
    {
        QFile::remove(dbPath());
        store = std::make_unique<IniStore>();
        db = std::make_unique<Database>(*store, dbPath());
        snmp = std::make_unique<SnmpTransport>(shortTimings());
        snmp->setLocalAddress(kNms);
        prompt.clear();
    }
    void cleanup()
    {
        sim.stop();
        QVERIFY2(prompt.done(), "a scripted message box was not shown");
    }

    // Catches: reads out of order, a status or progress step lost, a key
    // written under the wrong name or a decoder key kept for an encoder, the
    // typed community and address not stored, the role rule inverted.
    void probeOfAnEncoderAndADecoder()
    {
        QVERIFY(sim.start({QStringLiteral("encoder@") + kNet.host(1),
                           QStringLiteral("decoder@") + kNet.host(2)}));
        ProbeOperation op(*snmp, *db, prompt, shortTimings());
        QStringList statuses;
        QList<int> progress;
        connect(&op, &ProbeOperation::statusChanged, this,
                [&](const QString& s) { statuses << s; });
        connect(&op, &ProbeOperation::progressChanged, this, [&](int v) { progress << v; });
        QCOMPARE(op.run(kNet.host(1), kCommunity), ProbeOperation::Result::Success);

        QList<int> order;
        for (const OperationStep& s : probeSteps())
            order << s.n;
        QCOMPARE(sim.requests(QStringLiteral("GET")), order);
        QCOMPARE(statuses.size(), 27); // start, 25 reads, the end
        QCOMPARE(statuses.first(), QStringLiteral("Status: Starting..."));
        QCOMPARE(statuses.last(), QStringLiteral("Status: Finished with SUCCESS!"));
        QCOMPARE(progress.first(), 1);
        QCOMPARE(progress.mid(progress.size() - 2), (QList<int>{26, 27}));
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));

        const QString enc = sectionOf(1);
        QCOMPARE(op.section(), enc);
        QCOMPARE(stored(enc, QStringLiteral("role")), QStringLiteral("1"));
        QCOMPARE(stored(enc, QStringLiteral("name")), QStringLiteral("ENCODER 1"));
        QCOMPARE(stored(enc, QStringLiteral("ver")), QStringLiteral("3.50"));
        QCOMPARE(stored(enc, QStringLiteral("snmpro")), kCommunity);
        QCOMPARE(stored(enc, QStringLiteral("snmpip")), kNet.host(1));
        QCOMPARE(stored(enc, QStringLiteral("snmprw")), QStringLiteral("kestrvla"));
        QCOMPARE(stored(enc, QStringLiteral("remote")), kNms);
        QCOMPARE(stored(enc, QStringLiteral("multi")), QStringLiteral("239.192.10.1"));
        QCOMPARE(stored(enc, QStringLiteral("tx")), QStringLiteral("0"));
        for (const char* key : {"att", "buf", "sdm", "sdl", "sdt"})
            QCOMPARE(stored(enc, QLatin1String(key)), QStringLiteral("<none>"));

        QCOMPARE(probe(2), ProbeOperation::Result::Success);
        const QString dec = sectionOf(2);
        QCOMPARE(stored(dec, QStringLiteral("role")), QStringLiteral("2"));
        QCOMPARE(stored(dec, QStringLiteral("att")), QStringLiteral("200"));
        QCOMPARE(stored(dec, QStringLiteral("remote")), QStringLiteral("<none>"));
        QCOMPARE(stored(dec, QStringLiteral("input")), QStringLiteral("<none>"));
    }

    // Catches: a role guessed when both kinds of parameters answer, and the
    // keys read before the role decision thrown away.
    void probeOfADeviceAnsweringEverything()
    {
        QVERIFY(
            sim.start({QStringLiteral("--answer-all"), QStringLiteral("encoder@") + kNet.host(3)}));
        ProbeOperation op(*snmp, *db, prompt, shortTimings());
        QCOMPARE(op.run(kNet.host(3), kCommunity), ProbeOperation::Result::RoleUndetermined);
        QCOMPARE(op.statusText(), QStringLiteral("Status: FAIL - Problem determing role."));
        QCOMPARE(stored(sectionOf(3), QStringLiteral("role")), QStringLiteral("<none>"));
        QCOMPARE(stored(sectionOf(3), QStringLiteral("att")), QStringLiteral("200"));
        QCOMPARE(stored(sectionOf(3), QStringLiteral("snmptr")), QStringLiteral("0.0.0.0"));
    }

    // Catches: anything written before the MAC is known to be ours, a silent
    // address waited on more than once, an empty address reaching the socket.
    void probeEndsEarlyWithoutWriting()
    {
        QVERIFY(sim.start(
            {QStringLiteral("encoder@") + kNet.host(4) + QStringLiteral("/00:11:22:33:44:55")}));
        ProbeOperation op(*snmp, *db, prompt, shortTimings());
        QCOMPARE(op.run(kNet.host(4), kCommunity), ProbeOperation::Result::NotOurDevice);
        QCOMPARE(op.statusText(), QStringLiteral("Status: FAIL - Not a Quorvane device."));

        QElapsedTimer t;
        t.start();
        QCOMPARE(op.run(kNet.host(9), kCommunity), ProbeOperation::Result::NoResponse);
        QVERIFY2(t.elapsed() < 2 * shortTimings().snmpTimeoutMs,
                 qPrintable(QString::number(t.elapsed())));
        QCOMPARE(op.statusText(), QStringLiteral("Status: FAIL - No, or invalid response!"));
        QVERIFY(!QFile::exists(dbPath()));

        SnmpTransport unbound(shortTimings());
        ProbeOperation noAddress(unbound, *db, prompt, shortTimings());
        QCOMPARE(noAddress.run(QString(), kCommunity), ProbeOperation::Result::NotSent);
        QVERIFY(!unbound.isBound());
        QVERIFY(noAddress.statusText().startsWith(QStringLiteral("Status: FAIL")));
    }

    // Catches: a value written by a cancelled probe, or the probe going on.
    void cancelStopsAfterTheCurrentExchange()
    {
        QVERIFY(sim.start({QStringLiteral("encoder@") + kNet.host(5)}));
        ProbeOperation op(*snmp, *db, prompt, shortTimings());
        connect(&op, &ProbeOperation::statusChanged, this, [&](const QString& s) {
            if (s == QLatin1String("Status: Getting device audio source"))
                op.cancel();
        });
        QCOMPARE(op.run(kNet.host(5), kCommunity), ProbeOperation::Result::Cancelled);
        QVERIFY(!db->sectionExists(sectionOf(5)));
        QCOMPARE(sim.requests(QStringLiteral("GET")).last(), 7);
    }

    // The spacing after a SET (and every other wait the operations give a
    // length) never ends before its length: a coarse timer may fire up to
    // 5% early, and a device that needs its time then refuses the next SET.
    void pauseNeverEndsEarly()
    {
        Pause pause;
        for (const int ms : {97, 133, 230, 310}) {
            QElapsedTimer t;
            t.start();
            QVERIFY(pause.wait(ms));
            QVERIFY2(t.nsecsElapsed() >= qint64(ms) * 1000000,
                     qPrintable(
                         QStringLiteral("%1 ms ended after %2 ns").arg(ms).arg(t.nsecsElapsed())));
        }
    }

    // Catches: steps sent out of the apply order or for the wrong role, the
    // spacing skipped, an unchanged editor sent, a stored value that is not a
    // number taken as equal, numbers compared as text.
    void applyEveryDecoderEditorInOrder()
    {
        QVERIFY(sim.start({QStringLiteral("decoder@") + kNet.host(6)}));
        QCOMPARE(probe(6), ProbeOperation::Result::Success);
        const QString dec = sectionOf(6);
        db->write(dec, QStringLiteral("sdm"), QStringLiteral("auto")); // hand-edited
        db->write(dec, QStringLiteral("buf"), QStringLiteral("010"));  // the same number
        EditedValues v = shownValues(dec);
        v.buf = 10;
        v.sdm = 0; // differs from "auto": sent
        v.name = QStringLiteral("STUDIO 6");
        v.ip = kNet.host(6);
        v.mask = QStringLiteral("255.255.0.0");
        v.gw = kNet.host(254);
        v.type = 1;
        v.remoteIP = QStringLiteral("239.1.1.6");
        v.sfn = 1;
        v.llo = 1;
        v.att = 255;
        v.sdl = 100;
        v.sdt = 200;
        v.input = 1; // not sent to a decoder
        v.tx = 1;    // not sent to a decoder

        ApplyOperation op(*snmp, *db, prompt, shortTimings());
        const int before = sim.requests(QStringLiteral("SET")).size();
        prompt.expect(QStringLiteral("SUCCESS! 11 parameter changes applied."));
        // On the wire: from the reply to a SET to the next SET, never less
        // than the spacing (a coarse timer may end up to 5% early).
        QElapsedTimer t;
        QList<QPair<bool, qint64>> wire; // sent?, ns since start
        snmp->setTap([&](const DatagramEvent& e) {
            if (e.ignored.isEmpty())
                wire.append({e.sent, t.nsecsElapsed()});
        });
        t.start();
        QCOMPARE(op.run(shown(dec, QStringLiteral("DECODER")), v),
                 ApplyOperation::Result::AllApplied);
        snmp->setTap({});
        QVERIFY(t.elapsed() >= 11 * shortTimings().snmpSetAllowedMs);
        for (qsizetype i = 2; i < wire.size(); ++i) {
            if (wire.at(i).first && !wire.at(i - 1).first) {
                const qint64 gap = wire.at(i).second - wire.at(i - 1).second;
                QVERIFY2(gap >= qint64(shortTimings().snmpSetAllowedMs) * 1000000,
                         qPrintable(QStringLiteral("%1 ns").arg(gap)));
            }
        }

        QList<int> expected;
        StepContext c;
        c.role = ElementRole::Decoder;
        for (const OperationStep& s : selectSteps(applySteps(), c))
            if (s.n != 14 && s.n != 2 && !expected.contains(s.n))
                expected << s.n;
        QCOMPARE(sim.requests(QStringLiteral("SET")).mid(before), expected);
        QCOMPARE(stored(dec, QStringLiteral("name")), QStringLiteral("STUDIO 6"));
        QFile file(dbPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("NAME=STUDIO 6        ")); // padded to 16
        QCOMPARE(stored(dec, QStringLiteral("multi")), QStringLiteral("239.1.1.6"));
        QCOMPARE(stored(dec, QStringLiteral("remote")), QStringLiteral("<none>"));
        QCOMPARE(stored(dec, QStringLiteral("sdm")), QStringLiteral("0"));
        QCOMPARE(stored(dec, QStringLiteral("buf")), QStringLiteral("010"));

        // The device now holds what the database holds.
        QList<ApplyOperation::Difference> diff;
        QVERIFY(op.compareWithDevice(dec, &diff));
        QVERIFY2(diff.isEmpty(), qPrintable(diff.value(0).key));

        // Nothing differs any more: nothing is sent.
        prompt.expect(QStringLiteral("No changes found. Nothing to apply."));
        const int sets = sim.requests(QStringLiteral("SET")).size();
        QCOMPARE(op.run(shown(dec, QStringLiteral("DECODER")), shownValues(dec)),
                 ApplyOperation::Result::NothingToApply);
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), sets);
    }

    // Catches: the multicast group sent to the unicast parameter or stored
    // under remote, tx sent after the address.
    void encoderSwitchedToMulticast()
    {
        QVERIFY(sim.start({QStringLiteral("encoder@") + kNet.host(7)}));
        QCOMPARE(probe(7), ProbeOperation::Result::Success);
        const QString enc = sectionOf(7);
        const QString remote = stored(enc, QStringLiteral("remote"));
        EditedValues v = shownValues(enc);
        v.tx = 1;
        v.remoteIP = QStringLiteral("239.7.7.7");
        ApplyOperation op(*snmp, *db, prompt, shortTimings());
        prompt.expect(QStringLiteral("SUCCESS! 2 parameter changes applied."));
        QCOMPARE(op.run(shown(enc, QStringLiteral("ENCODER")), v),
                 ApplyOperation::Result::AllApplied);
        QCOMPARE(sim.requests(QStringLiteral("SET")), (QList<int>{12, 10}));
        QCOMPARE(stored(enc, QStringLiteral("multi")), QStringLiteral("239.7.7.7"));
        QCOMPARE(stored(enc, QStringLiteral("remote")), remote);
        QCOMPARE(snmp->GetSNMP(kNet.host(7), kCommunity, 10).value, QStringLiteral("239.7.7.7"));
    }

    // Catches: a refused value stored or counted, the second attenuation try
    // missing, the counts of the partial report.
    void decoderRefusingAttenuationTwice()
    {
        QVERIFY(sim.start({QStringLiteral("--refuse-set"), QStringLiteral("1"),
                           QStringLiteral("decoder@") + kNet.host(8)}));
        QCOMPARE(probe(8), ProbeOperation::Result::Success);
        const QString dec = sectionOf(8);
        EditedValues v = shownValues(dec);
        v.att = 14;
        v.buf = 3;
        ApplyOperation op(*snmp, *db, prompt, shortTimings());
        prompt.expect(QStringLiteral("Failed setting Device audio attenuation!"));
        prompt.expect(QStringLiteral("Failed setting audio attenuation!"));
        prompt.expect(
            QStringLiteral("Some errors occured. Only 1 of 3 parameters changes applied."));
        QCOMPARE(op.run(shown(dec, QStringLiteral("DECODER")), v),
                 ApplyOperation::Result::SomeFailed);
        QCOMPARE(sim.requests(QStringLiteral("SET")), (QList<int>{1, 2, 1}));
        QCOMPARE(stored(dec, QStringLiteral("att")), QStringLiteral("200"));
        QCOMPARE(stored(dec, QStringLiteral("buf")), QStringLiteral("3"));
        QCOMPARE(int(op.toBeChanged()), 3);
        QCOMPARE(int(op.succeeded()), 1);
    }

    // Catches: a run that stops at the first silence, an unanswered value
    // stored, a name typed with a blank taken as confirmed.
    void deviceFallingSilentHalfway()
    {
        // The probe takes 26 requests; the 27th (the first SET) is the last answered.
        QVERIFY(sim.start({QStringLiteral("--stop-after"), QStringLiteral("27"),
                           QStringLiteral("encoder@") + kNet.host(10)}));
        QCOMPARE(probe(10), ProbeOperation::Result::Success);
        const QString enc = sectionOf(10);
        EditedValues v = shownValues(enc);
        v.name = QStringLiteral("NEW NAME");
        v.gw = kNet.host(1);
        v.llo = 1;
        ApplyOperation op(*snmp, *db, prompt, shortTimings());
        prompt.expect(QStringLiteral("Failed setting ETH gateway!"));
        prompt.expect(QStringLiteral("Failed setting Low Latency option!"));
        prompt.expect(
            QStringLiteral("Some errors occured. Only 1 of 3 parameters changes applied."));
        QCOMPARE(op.run(shown(enc, QStringLiteral("ENCODER")), v),
                 ApplyOperation::Result::SomeFailed);
        QCOMPARE(stored(enc, QStringLiteral("name")), QStringLiteral("NEW NAME"));
        QCOMPARE(stored(enc, QStringLiteral("gw")), QStringLiteral("127.0.0.1")); // text only
        QCOMPARE(stored(enc, QStringLiteral("llo")), QStringLiteral("0"));
        QList<ApplyOperation::Difference> diff;
        QVERIFY(!op.compareWithDevice(enc, &diff));

        sim.start({QStringLiteral("encoder@") + kNet.host(10)});
        v = shownValues(enc);
        v.name = QStringLiteral(" LEADING");
        prompt.expect(QStringLiteral("Failed setting Device name!"));
        prompt.expect(QStringLiteral("Only 0 of 1"));
        QCOMPARE(op.run(shown(enc, QStringLiteral("ENCODER")), v),
                 ApplyOperation::Result::SomeFailed);
        QCOMPARE(stored(enc, QStringLiteral("name")), QStringLiteral("NEW NAME"));
    }

    // Catches: an element that stopped answering midway (or restarted)
    // stored with a role guessed from the answers it never gave, and a
    // known element's section overwritten, or a new one created, by half a
    // probe.
    void probeOfAnElementThatStopsAnswering()
    {
        Timings quick = shortTimings();
        quick.snmpTimeoutMs = 100;
        SnmpTransport transport(quick);
        transport.setLocalAddress(kNms);
        // Silent from parameter 32 on: every decoder parameter unanswered.
        QVERIFY(sim.start({QStringLiteral("--stop-after"), QStringLiteral("6"),
                           QStringLiteral("decoder@") + kNet.host(11)}));
        QVERIFY(db->writeKeys(sectionOf(11), {{QStringLiteral("name"), QStringLiteral("KNOWN")},
                                              {QStringLiteral("role"), QStringLiteral("2")}}));
        const QByteArray before = [&] {
            QFile f(dbPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        ProbeOperation stopped(transport, *db, prompt, quick);
        QCOMPARE(stopped.run(kNet.host(11), kCommunity), ProbeOperation::Result::NoResponse);
        QCOMPARE(stopped.statusText(), QStringLiteral("Status: FAIL - No, or invalid response!"));
        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);

        // Restarting from parameter 42 on, for longer than the probe lasts.
        QVERIFY(sim.start({QStringLiteral("--restart-ms"), QStringLiteral("5000"),
                           QStringLiteral("decoder@") + kNet.host(12)}));
        RestartBefore restarting(transport, 42);
        ProbeOperation restarted(restarting, *db, prompt, quick);
        QCOMPARE(restarted.run(kNet.host(12), kCommunity), ProbeOperation::Result::NoResponse);
        QVERIFY(!db->sectionExists(sectionOf(12)));
    }

    // Catches: a probe whose last reply alone was lost failing with
    // nothing stored (a lost datagram is not an element that stopped
    // answering; there is no retry, and what answered is stored), and one
    // whose last three parameters gave nothing stored all the same.
    void probeWithItsLastRepliesLost()
    {
        QVERIFY(sim.start({QStringLiteral("decoder@") + kNet.host(13)}));
        LoseLastReplies lastLost(*snmp, 1);
        ProbeOperation one(lastLost, *db, prompt, shortTimings());
        QCOMPARE(one.run(kNet.host(13), kCommunity), ProbeOperation::Result::Success);
        QVERIFY(db->sectionExists(sectionOf(13)));
        QCOMPARE(stored(sectionOf(13), QStringLiteral("role")), QStringLiteral("2"));

        QVERIFY(store->deleteSection(sectionOf(13), dbPath()));
        LoseLastReplies threeLost(*snmp, ProbeOperation::kSilentAtEndMeansStopped);
        ProbeOperation three(threeLost, *db, prompt, shortTimings());
        QCOMPARE(three.run(kNet.host(13), kCommunity), ProbeOperation::Result::NoResponse);
        QVERIFY(!db->sectionExists(sectionOf(13)));
    }

    // Catches: the checks in the wrong order, a decoder refused for its
    // hidden audio source, values the panel's editors cannot hold taken
    // from the command line.
    void checksBeforeSending()
    {
        db->write(sectionOf(1), QStringLiteral("role"), QStringLiteral("2"));
        const ShownElement decoder = shown(sectionOf(1), QStringLiteral("DECODER"));
        const ShownElement encoder = shown(sectionOf(1), QStringLiteral("ENCODER"));
        EditedValues good = shownValues(sectionOf(1));
        good.name = QStringLiteral("A");
        good.ip = good.gw = good.remoteIP = QStringLiteral("127.0.0.1"); // text only
        good.mask = QStringLiteral("255.255.255.0");
        good.input = -1;
        good.type = 0;
        good.tx = -1;

        EditedValues v = good;
        QCOMPARE(ApplyOperation::checkEdits(decoder, v, *db), QString());
        QCOMPARE(*v.input, 0);
        v = good;
        QCOMPARE(ApplyOperation::checkEdits(encoder, v, *db),
                 QStringLiteral("Please verify that all audio fields are correct!"));
        v = good;
        v.name = QString();
        v.gw = QStringLiteral("1.2.3.");
        QCOMPARE(ApplyOperation::checkEdits(decoder, v, *db),
                 QStringLiteral("Please verify that the name field is correct!"));
        v.name = QStringLiteral("A");
        QCOMPARE(ApplyOperation::checkEdits(decoder, v, *db),
                 QStringLiteral("Please verify that all IP fields are correct!"));
        // A mask whose bits are not ones then zeros, a name the devices'
        // code page cannot hold: refused before anything is sent.
        v = good;
        v.mask = QStringLiteral("255.0.255.0");
        QCOMPARE(ApplyOperation::checkEdits(decoder, v, *db),
                 QStringLiteral("Please verify that all IP fields are correct!"));
        v = good;
        v.name = QString::fromUtf8("STUDIO \u03A9");
        QCOMPARE(ApplyOperation::checkEdits(decoder, v, *db),
                 QStringLiteral("Please verify that the name field is correct!"));
        v = good;
        QCOMPARE(ApplyOperation::checkEdits(shown(QString(), QString()), v, *db),
                 QStringLiteral("No Network Element selected!"));
        QFile::remove(dbPath());
        QCOMPARE(ApplyOperation::checkEdits(decoder, v, *db),
                 QStringLiteral("The local database in your computer, is corrupted!"));

        EditedValues cli;
        QCOMPARE(ApplyOperation::takeValue(cli, QStringLiteral("att"), QStringLiteral("14"), 22),
                 QString());
        QCOMPARE(*cli.att, 14);
        QVERIFY(!ApplyOperation::takeValue(cli, QStringLiteral("att"), QStringLiteral("13"), 22)
                     .isEmpty());
        QVERIFY(!ApplyOperation::takeValue(cli, QStringLiteral("buf"), QStringLiteral("23"), 22)
                     .isEmpty());
        QCOMPARE(ApplyOperation::takeValue(cli, QStringLiteral("buf"), QStringLiteral("44"), 44),
                 QString());
        QVERIFY(!ApplyOperation::takeValue(cli, QStringLiteral("sdm"), QStringLiteral("-1"), 22)
                     .isEmpty());
        QVERIFY(!ApplyOperation::takeValue(cli, QStringLiteral("ver"), QStringLiteral("1"), 22)
                     .isEmpty());
        QVERIFY(!ApplyOperation::takeValue(cli, QStringLiteral("name"),
                                           QString(17, QLatin1Char('A')), 22)
                     .isEmpty());
        QCOMPARE(
            ApplyOperation::takeValue(cli, QStringLiteral("NAME"), QStringLiteral("studio 1"), 22),
            QString());
        QCOMPARE(*cli.name, QStringLiteral("STUDIO 1"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceOps)
#include "tst_deviceops.moc"
