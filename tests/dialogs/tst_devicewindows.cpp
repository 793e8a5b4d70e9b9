// The device windows with their operations against orvalink-sim on loopback
// (127.0.103.x), with shortened intervals: Device SNMP properties, Statistics
// and SFN adjustment, and the texts and rates they compute.

#include "core/Prompt.h"
#include "devops/ProbeOperation.h"
#include "devops/SfnAdjustOperation.h"
#include "devops/SnmpPropertiesOperation.h"
#include "devops/StatisticsOperation.h"
#include "dialogs/frmAdjust.h"
#include "dialogs/frmSNMPProperties.h"
#include "dialogs/frmStatistics.h"
#include "panel/Fields.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "snmp/SnmpTestUtil.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.103.x.
const SimNet kNet{103};
quint16 agentPort()
{
    return kNet.agentPort();
}
const QColor kRed(255, 0, 0);

// Every exchange passes through here on its way to the real transport, so a
// test sees what was sent; a parameter can be refused as an agent error.
class RecordingClient : public SnmpClient {
public:
    struct Call {
        bool set = false;
        QString community;
        quint8 n = 0;
        QString value; // sent (SET) or received (GET)
    };
    explicit RecordingClient(SnmpClient& inner) : m_inner(inner) {}
    SnmpResult GetSNMP(const QString& h, const QString& c, quint8 n) override
    {
        SnmpResult r = m_inner.GetSNMP(h, c, n);
        calls.append({false, c, n, r.value});
        return r;
    }
    SnmpResult SetSNMP(const QString& h, const QString& c, quint8 n, quint8 tag,
                       const QString& v) override
    {
        calls.append({true, c, n, v});
        if (n == refuse) {
            SnmpResult r;
            r.outcome = SnmpOutcome::NoValue;
            return r;
        }
        return m_inner.SetSNMP(h, c, n, tag, v);
    }
    QList<quint8> sets() const
    {
        QList<quint8> out;
        for (const Call& c : calls)
            if (c.set)
                out << c.n;
        return out;
    }
    QList<quint8> gets() const
    {
        QList<quint8> out;
        for (const Call& c : calls)
            if (!c.set)
                out << c.n;
        return out;
    }
    QString got(quint8 n) const
    {
        for (const Call& c : calls)
            if (!c.set && c.n == n)
                return c.value;
        return QString();
    }
    QList<Call> calls;
    int refuse = -1;

private:
    SnmpClient& m_inner;
};

struct View : ElementView {
    ShownElement element;
    ShownElement shownElement() const override { return element; }
};

bool isRed(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText) == kRed;
}

} // namespace

class TestDeviceWindows : public QObject {
    Q_OBJECT
    SimProcess sim;
    QTemporaryDir dir;
    IniStore store;
    std::unique_ptr<Database> db;
    std::unique_ptr<SnmpTransport> snmp;
    std::unique_ptr<RecordingClient> client;
    ScriptedPrompt prompt;
    Timings timings;

    QString probe(int last)
    {
        ProbeOperation p(*snmp, *db, prompt, timings);
        if (p.run(kNet.host(last), QStringLiteral("morqubit")) != ProbeOperation::Result::Success)
            return QString();
        return p.section();
    }
    View viewOf(const QString& section, const QString& role)
    {
        View v;
        v.element.section = section;
        v.element.mac = Decode_MAC(section);
        v.element.nodeText = db->read(section, QStringLiteral("name")) + QStringLiteral(" [") +
                             v.element.mac + QLatin1Char(']');
        v.element.roleCaption = role;
        return v;
    }
    // A section for an element nobody answers for.
    QString silentElement(const QString& role, const QString& sfn)
    {
        const QString section = QStringLiteral("2E8BF2006709");
        db->write(section, QStringLiteral("name"), Encode_Name(QStringLiteral("SILENT")));
        db->write(section, QStringLiteral("role"), role);
        db->write(section, QStringLiteral("sfn"), sfn);
        db->write(section, QStringLiteral("snmpip"), kNet.host(9));
        db->write(section, QStringLiteral("snmpro"), QStringLiteral("morqubit"));
        return section;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(binDir() + QStringLiteral("/orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("--restart-ms"), QStringLiteral("50"),
                                         QStringLiteral("encoder@") + kNet.host(1),
                                         QStringLiteral("decoder@") + kNet.host(2),
                                         QStringLiteral("decoder@") + kNet.host(3),
                                         QStringLiteral("encoder@") + kNet.host(9),
                                         QStringLiteral("--silent"), kNet.host(9)}),
                 qPrintable(sim.errors()));
        timings.snmpTimeoutMs = 150;
        timings.snmpSetAllowedMs = 120;
        timings.statusClearMs = 150;
        timings.statsFirstRefreshMs = 30;
        timings.sfnAutoRefreshMs = 80;
    }
    void init()
    {
        QFile::remove(dir.filePath(QStringLiteral("nms.ini")));
        db = std::make_unique<Database>(store, dir.filePath(QStringLiteral("nms.ini")));
        snmp = std::make_unique<SnmpTransport>(timings);
        snmp->setLocalAddress(kNet.host(250));
        snmp->setPorts(test::freeLoopbackPort(kNet.host(250)), agentPort());
        client = std::make_unique<RecordingClient>(*snmp);
        prompt.clear();
    }
    void cleanup() { QVERIFY(prompt.done()); }

    // FormatDuration's forms, the position a delay stands at (halves to the
    // even number), and the rate texts under the statistics.
    void textsAndRates()
    {
        QCOMPARE(FormatDuration(265), QStringLiteral("265 nS"));
        QCOMPARE(FormatDuration(395833), QStringLiteral("395 uS, 833 nS"));
        QCOMPARE(FormatDuration(1000000), QStringLiteral("1 mS, 0 uS, 0 nS"));
        QCOMPARE(FormatDuration(0), QStringLiteral("0 nS"));
        QCOMPARE(FormatDuration(-1500), QStringLiteral("-1 uS, 500 nS"));
        QCOMPARE(FormatDuration(std::numeric_limits<qint64>::min()).left(1), QStringLiteral("-"));
        QCOMPARE(sfn::positionForDelay(12345), 123);
        QCOMPARE(sfn::positionForDelay(250), 2);
        QCOMPARE(sfn::positionForDelay(350), 4);
        QCOMPARE(sfn::positionForDelay(3000000), sfn::kMaxPosition);
        QCOMPARE(sfn::positionForDelay(-5), 0);

        QCOMPARE(counterRateText("1000", 0, "13040", 10000, true), QStringLiteral("+1,204/s"));
        QCOMPARE(counterRateText("7", 0, "9", 5000, true), QStringLiteral("+0.4/s"));
        QCOMPARE(counterRateText("7", 0, "7", 5000, true), QStringLiteral("+0/s"));
        QCOMPARE(counterRateText("500", 0, "100", 1000, true), QStringLiteral("reset"));
        QCOMPARE(counterRateText("500", 0, "100", 1000, false), QStringLiteral("-400/s"));
        // Counter64 values near the top keep their exact difference.
        QCOMPARE(counterRateText("18446744073709550615", 0, "18446744073709551615", 1000, true),
                 QStringLiteral("+1,000/s"));
        QCOMPARE(counterRateText("x", 0, "5", 1000, true), QString());
    }

    // Modify: a trap-only change is one SET and no box; a new RW community
    // is used for the agent settings of the same Modify; a refused 50, a
    // leading-zero address and an empty field store nothing.
    void snmpProperties()
    {
        const QString section = probe(3);
        QVERIFY(!section.isEmpty());
        View view = viewOf(section, QStringLiteral("DECODER"));
        SnmpPropertiesOperation op(*client, *db, prompt, timings);
        frmSNMPProperties w(op, view, timings);
        auto field = [&](const char* name) { return w.findChild<QLineEdit*>(name); };
        auto* modify = w.findChild<QPushButton*>("cmdModify");
        auto* status = w.findChild<QLabel*>("lblStatus");
        QCOMPARE(w.windowTitle(), view.element.nodeText);
        QCOMPARE(field("txtSNMPAgentIP")->text(), kNet.host(3));
        QCOMPARE(field("txtSNMPRWCommunity")->text(), QStringLiteral("kestrvla"));
        QVERIFY(modify->isEnabled());
        field("txtSNMPROCommunity")->setText(QStringLiteral("morqubi"));
        QVERIFY(!modify->isEnabled());
        QVERIFY(fields::isMarkedInvalid(field("txtSNMPROCommunity")));
        field("txtSNMPROCommunity")->setText(QStringLiteral("morqubit"));
        QVERIFY(modify->isEnabled());

        field("txtSNMPTrapIP")->setText(kNet.host(200));
        modify->click();
        QCOMPARE(client->sets(), QList<quint8>{39});
        QCOMPARE(db->read(section, QStringLiteral("snmptr")), kNet.host(200));
        QCOMPARE(status->text(), QStringLiteral("SUCCESS!"));
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0, 192, 0));
        QTRY_VERIFY_WITH_TIMEOUT(status->text().isEmpty(), 2000);

        client->calls.clear();
        field("txtSNMPRWCommunity")->setText(QStringLiteral("newrwcom"));
        field("txtSNMPAgentMask")->setText(QStringLiteral("255.255.0.0"));
        prompt.expect(SnmpPropertiesOperation::kRestarting);
        modify->click();
        QCOMPARE(client->sets(), (QList<quint8>{41, 48, 46, 47, 49, 50}));
        QCOMPARE(client->calls.first().community, QStringLiteral("kestrvla"));
        QCOMPARE(client->calls.last().community, QStringLiteral("newrwcom"));
        QCOMPARE(db->read(section, QStringLiteral("snmprw")), QStringLiteral("newrwcom"));
        QCOMPARE(db->read(section, QStringLiteral("snmpnm")), QStringLiteral("255.255.0.0"));
        QVERIFY(prompt.done());
        QTest::qWait(200); // the agent restarts

        client->calls.clear();
        client->refuse = param::AgentRestart;
        field("txtSNMPAgentDNS")->setText(kNet.host(53));
        prompt.expect(SnmpPropertiesOperation::kApplyFailed);
        modify->click();
        QVERIFY(prompt.done());
        QCOMPARE(client->sets(), (QList<quint8>{48, 46, 47, 49, 50}));
        QVERIFY(db->read(section, QStringLiteral("snmpdn")) != kNet.host(53));
        client->refuse = -1;

        client->calls.clear();
        field("txtSNMPAgentIP")->setText(QStringLiteral("127.0.093.3"));
        QVERIFY(modify->isEnabled());
        prompt.expect(SnmpPropertiesOperation::kSetFailed);
        modify->click();
        QVERIFY(prompt.done());
        QCOMPARE(client->sets(), (QList<quint8>{48, 46, 47, 49}));
        QCOMPARE(db->read(section, QStringLiteral("snmpip")), kNet.host(3));
        field("txtSNMPAgentIP")->setText(kNet.host(3));
        field("txtSNMPAgentDNS")->setText(db->read(section, QStringLiteral("snmpdn")));

        // An emptied trap field cannot be sent; it must not count as echoed.
        client->calls.clear();
        field("txtSNMPTrapIP")->clear();
        modify->click();
        QCOMPARE(status->text(), QStringLiteral("FAILED..."));
        QVERIFY(isRed(status));
        QCOMPARE(db->read(section, QStringLiteral("snmptr")), kNet.host(200));
    }

    // Statistics: an encoder with sfn 0 reads six counters, a decoder with
    // sfn 1 all ten (its audio ones from 4 and 3), a silent element shows
    // ERROR; rates appear from the second refresh, Refresh is off meanwhile.
    // Faults: a reading without its unit or a count without thousands
    // separators, and a rate under the clock difference or the delay, which
    // are readings and not counts of events.
    void statistics()
    {
        const QString encoder = probe(1);
        const QString decoder = probe(2);
        QVERIFY(snmp->SetSNMP(kNet.host(2), QStringLiteral("kestrvla"), 30, snmptag::Gauge,
                              QStringLiteral("1"))
                    .hasValue());
        db->write(decoder, QStringLiteral("sfn"), QStringLiteral("1"));
        const QRegularExpression frames(QStringLiteral("^\\d{1,3}(,\\d{3})* frames$"));
        const QRegularExpression packets(QStringLiteral("^\\d{1,3}(,\\d{3})* packets$"));
        const char* const ptp[] = {"lblPTPRxOK", "lblPTPRxErr", "lblPTPClkAdj", "lblPTPLatency"};
        const char* const always[] = {"lblMACTxOK",  "lblMACTxErr",        "lblMACRxOK",
                                      "lblMACRxErr", "lblAudioRxFramesOK", "lblAudioRxFramesErr"};

        {
            View view = viewOf(encoder, QStringLiteral("ENCODER"));
            StatisticsOperation op(*client, *db, timings);
            frmStatistics w(op, view, timings);
            auto* refresh = w.findChild<QPushButton*>("cmdRefreshStats");
            int redSeen = 0;
            bool refreshOffMeanwhile = true;
            connect(&op, &StatisticsOperation::readingStarted, this, [&](const QString& key) {
                redSeen += int(key == QLatin1String("mac_tx_frames_ok") &&
                               isRed(w.findChild<QLabel*>("lblMACTxOK")));
                refreshOffMeanwhile &= !refresh->isEnabled();
            });
            QCOMPARE(w.findChild<QWidget*>("frmStats")->property("title").toString(),
                     QStringLiteral("ENCODER 1:"));
            QTRY_VERIFY(refresh->isEnabled() && client->gets().size() == 6);
            for (const char* name : always)
                QVERIFY2(frames.match(w.findChild<QLabel*>(name)->text()).hasMatch(),
                         qPrintable(w.findChild<QLabel*>(name)->text()));
            QVERIFY(w.findChild<QLabel*>("lblMACTxOK")->text().contains(QLatin1Char(',')));
            for (const char* name : ptp)
                QCOMPARE(w.findChild<QLabel*>(name)->text(), QStringLiteral("-"));
            QCOMPARE(client->gets(), (QList<quint8>{20, 19, 17, 16, 6, 5}));
            QVERIFY(!isRed(w.findChild<QLabel*>("lblMACTxOK")));
            QVERIFY(w.findChild<QLabel*>("RateMACTxOK")->text().isEmpty());
            QTest::qWait(50);
            refresh->click();
            QVERIFY(refreshOffMeanwhile);
            QCOMPARE(redSeen, 2);
            QVERIFY2(QRegularExpression(QStringLiteral("^\\+[\\d,.]+/s$"))
                         .match(w.findChild<QLabel*>("RateMACTxOK")->text())
                         .hasMatch(),
                     qPrintable(w.findChild<QLabel*>("RateMACTxOK")->text()));
        }
        {
            client->calls.clear();
            View view = viewOf(decoder, QStringLiteral("DECODER"));
            StatisticsOperation op(*client, *db, timings);
            frmStatistics w(op, view, timings);
            QTRY_COMPARE(client->gets().size(), 10);
            QTRY_VERIFY(w.findChild<QPushButton*>("cmdRefreshStats")->isEnabled());
            QCOMPARE(client->gets(), (QList<quint8>{20, 19, 17, 16, 4, 3, 23, 21, 22, 27}));
            auto text = [&](const char* name) { return w.findChild<QLabel*>(name)->text(); };
            QVERIFY2(packets.match(text("lblPTPRxOK")).hasMatch(), qPrintable(text("lblPTPRxOK")));
            QVERIFY2(packets.match(text("lblPTPRxErr")).hasMatch(),
                     qPrintable(text("lblPTPRxErr")));
            QCOMPARE(text("lblPTPClkAdj"), client->got(22) + QStringLiteral(" ns"));
            const qint64 delayNs = client->got(27).toLongLong();
            QCOMPARE(text("lblPTPLatency"), QStringLiteral("%1.%2 \u00b5s")
                                                .arg(delayNs / 1000)
                                                .arg(delayNs % 1000, 3, 10, QLatin1Char('0')));
            QTest::qWait(50);
            w.findChild<QPushButton*>("cmdRefreshStats")->click();
            QVERIFY(!text("RatePTPRxOK").isEmpty());
            QCOMPARE(text("RatePTPClkAdj"), QString());
            QCOMPARE(text("RatePTPLatency"), QString());
        }
        {
            client->calls.clear();
            const QString silent = silentElement(QStringLiteral("1"), QStringLiteral("0"));
            View view = viewOf(silent, QStringLiteral("ENCODER"));
            StatisticsOperation op(*client, *db, timings);
            frmStatistics w(op, view, timings);
            QTRY_COMPARE(w.findChild<QLabel*>("lblAudioRxFramesErr")->text(),
                         QStringLiteral("ERROR"));
            for (const char* name : always)
                QCOMPARE(w.findChild<QLabel*>(name)->text(), QStringLiteral("ERROR"));
            QCOMPARE(w.findChild<QLabel*>("lblPTPRxOK")->text(), QStringLiteral("-"));

            // Closing during a refresh ends it after the read under way; the
            // window closes then, with nothing left running.
            client->calls.clear();
            w.show();
            connect(
                &op, &StatisticsOperation::readingStarted, &w, [&] { w.close(); },
                Qt::SingleShotConnection);
            w.findChild<QPushButton*>("cmdRefreshStats")->click();
            QCOMPARE(client->gets().size(), 1);
            QVERIFY(!op.isRunning());
            QVERIFY(!w.isVisible());
        }
    }

    // SFN adjustment: opening from the stored delay, a refresh with its sums
    // and plot, the automatic refresh and what ends it, Set unchanged and
    // from 250, a silent element, and delays outside the bar's range.
    void sfnAdjustment()
    {
        const QString decoder = probe(2);
        QVERIFY(snmp->SetSNMP(kNet.host(2), QStringLiteral("kestrvla"), 30, snmptag::Gauge,
                              QStringLiteral("1"))
                    .hasValue());
        QVERIFY(snmp->SetSNMP(kNet.host(2), QStringLiteral("kestrvla"), 31, snmptag::Gauge,
                              QStringLiteral("0"))
                    .hasValue());
        db->write(decoder, QStringLiteral("sfn"), QStringLiteral("1"));
        db->write(decoder, QStringLiteral("dly"), QStringLiteral("12345"));
        View view = viewOf(decoder, QStringLiteral("DECODER"));
        SfnAdjustOperation op(*client, *db, prompt, timings);
        frmAdjust w(op, view, timings);
        auto label = [&](const char* name) { return w.findChild<QLabel*>(name)->text(); };
        auto* bar = w.findChild<QScrollBar*>("scrlAdditionalDelay");
        auto* autoBox = w.findChild<QCheckBox*>("chkAutoUpdate");
        auto* timer1 = w.findChild<QTimer*>("Timer1");
        auto* set = w.findChild<QPushButton*>("cmdSet");
        auto* chart = w.findChild<QChartView*>("plotLatency")->chart();
        QCOMPARE(bar->value(), 123);
        QCOMPARE(label("lblAdditionalDelay"), QStringLiteral("12 uS, 300 nS"));
        QCOMPARE(label("lblCurrentDelayMIN"), QStringLiteral("-"));

        w.findChild<QPushButton*>("cmdRefresh")->click();
        QCOMPARE(client->gets(), (QList<quint8>{26, 25, 24, 31}));
        const qint64 min = client->got(26).toLongLong();
        const qint64 max = client->got(25).toLongLong();
        const qint64 avg = client->got(24).toLongLong();
        QVERIFY2(min > 0 && min <= avg && avg <= max, qPrintable(client->got(24)));
        QCOMPARE(label("lblCurrentDelayMIN"), FormatDuration(min));
        QCOMPARE(label("lblDelaySumMAX"), FormatDuration(max + 265 + 395833));
        QCOMPARE(label("lblFixedLatencyAUDIO"), QStringLiteral("395 uS, 833 nS"));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(label("lblAdditionalDelay"), QStringLiteral("0 nS"));
        const auto series = chart->series();
        QCOMPARE(series.size(), 4);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(static_cast<QLineSeries*>(series.at(i))->count(), 1);
        QCOMPARE(static_cast<QLineSeries*>(series.at(3))->at(0).y(), 0.0);

        // Automatic refresh, ended by an operator's move of the delay.
        client->calls.clear();
        autoBox->click();
        QVERIFY(timer1->isActive());
        QTRY_VERIFY(client->gets().count(26) >= 2 && !op.isRunning());
        bar->setValue(500);
        QVERIFY(!autoBox->isChecked());
        QVERIFY(!timer1->isActive());
        QCOMPARE(label("lblAdditionalDelay"), QStringLiteral("50 uS, 0 nS"));
        QCOMPARE(static_cast<QLineSeries*>(chart->series().at(3))->at(0).y(), 50.0);

        // Set with the stored delay: nothing is sent.
        db->write(decoder, QStringLiteral("dly"), QStringLiteral("50000"));
        client->calls.clear();
        prompt.expect(SfnAdjustOperation::kNothingChanged);
        set->click();
        QVERIFY(prompt.done());
        QVERIFY(client->sets().isEmpty());

        // Set from 250: 25000 sent and stored, the message after the spacing,
        // the buttons off until then.
        bar->setValue(250);
        bool offWhileSpacing = false;
        connect(&op, &SfnAdjustOperation::delayStored, this, [&] {
            offWhileSpacing =
                !set->isEnabled() && !w.findChild<QPushButton*>("cmdRefresh")->isEnabled();
        });
        prompt.expect(SfnAdjustOperation::kApplied);
        QElapsedTimer t;
        t.start();
        set->click();
        QVERIFY(t.elapsed() >= timings.snmpSetAllowedMs - 10);
        QVERIFY(prompt.done());
        QVERIFY(offWhileSpacing);
        QVERIFY(set->isEnabled());
        QCOMPARE(client->calls.last().value, QStringLiteral("25000"));
        QCOMPARE(db->read(decoder, QStringLiteral("dly")), QStringLiteral("25000"));
        QCOMPARE(w.findChild<QLineEdit*>("txtHiddenDelay")->text(), QStringLiteral("25000"));

        // Delays from the device outside 0 .. 2,500,000 ns: held at the end,
        // shown as they are.
        QVERIFY(snmp->SetSNMP(kNet.host(2), QStringLiteral("kestrvla"), 31, snmptag::Gauge,
                              QStringLiteral("3000000"))
                    .hasValue());
        w.findChild<QPushButton*>("cmdRefresh")->click();
        QCOMPARE(bar->value(), sfn::kMaxPosition);
        QCOMPARE(label("lblAdditionalDelay"), QStringLiteral("3 mS, 0 uS, 0 nS"));
        QVERIFY(snmp->SetSNMP(kNet.host(2), QStringLiteral("kestrvla"), 31, snmptag::Gauge,
                              QString::number(quint32(-1500)))
                    .hasValue());
        w.findChild<QPushButton*>("cmdRefresh")->click();
        QCOMPARE(bar->value(), 0);
        QCOMPARE(label("lblAdditionalDelay"), QStringLiteral("-1 uS, 500 nS"));
        QVERIFY(snmp->SetSNMP(kNet.host(2), QStringLiteral("kestrvla"), 31, snmptag::Gauge,
                              QStringLiteral("0"))
                    .hasValue());
    }

    // A stored delay outside the range opens held at the end; a silent
    // element turns all six measurements and the delay to ERROR.
    void sfnOutOfRangeAndSilent()
    {
        const QString silent = silentElement(QStringLiteral("2"), QStringLiteral("1"));
        db->write(silent, QStringLiteral("dly"), QStringLiteral("3000000"));
        View view = viewOf(silent, QStringLiteral("DECODER"));
        SfnAdjustOperation op(*client, *db, prompt, timings);
        frmAdjust w(op, view, timings);
        auto label = [&](const char* name) { return w.findChild<QLabel*>(name)->text(); };
        auto* bar = w.findChild<QScrollBar*>("scrlAdditionalDelay");
        QCOMPARE(bar->value(), sfn::kMaxPosition);
        QCOMPARE(label("lblAdditionalDelay"), QStringLiteral("3 mS, 0 uS, 0 nS"));
        w.findChild<QPushButton*>("cmdRefresh")->click();
        for (const char* name :
             {"lblCurrentDelayMIN", "lblCurrentDelayMAX", "lblCurrentDelayAVG", "lblDelaySumMIN",
              "lblDelaySumMAX", "lblDelaySumAVG", "lblAdditionalDelay"})
            QCOMPARE(label(name), QStringLiteral("ERROR"));
        QCOMPARE(bar->value(), 0);
        // "&Set" would send the bar's 0 under an unread delay.
        QVERIFY(!w.findChild<QPushButton*>("cmdSet")->isEnabled());

        // Not a DECODER with SFN in the database: nothing is read.
        db->write(silent, QStringLiteral("sfn"), QStringLiteral("0"));
        client->calls.clear();
        w.findChild<QPushButton*>("cmdRefresh")->click();
        QVERIFY(client->calls.isEmpty());
    }
};

QTEST_MAIN(TestDeviceWindows)
#include "tst_devicewindows.moc"
