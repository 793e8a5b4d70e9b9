// Live status and alarms in the main window, against simulated elements on
// loopback: the tree's states and tooltips, the status bar, the event log,
// the Alarms window, traps on the trap port of the user settings.

#include "app/AlarmsDock.h"
#include "app/MainWindowControls.h"
#include "app/StatusView.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "core/InterfaceLister.h"
#include "core/UserSettings.h"
#include "monitor/AlarmBook.h"
#include "snmp/SnmpTransport.h"
#include "store/EventLog.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <csignal>
#include <memory>

using namespace orvalink;
using namespace orvalink::testing;
using orvalink::testing::ScriptedPrompt;
using orvalink::testing::SimNet;
using orvalink::testing::SimProcess;

namespace {

// The test's simulated elements: 127.0.153.x; the station is host(100).
const SimNet kNet{153};
const QString kNms = kNet.host(100);
const quint16 kTrapPort = kNet.port(2);

class FakeLister : public InterfaceLister {
public:
    QStringList addresses() override { return {kNms}; }
};

QByteArray section(int last, const char* name)
{
    return QStringLiteral("[%1]\r\nNAME=%2\r\nROLE=1\r\nSNMPIP=%3\r\nSNMPRO=morqubit\r\n")
        .arg(kNet.section(last), QLatin1String(name), kNet.host(last))
        .toLatin1();
}

QTreeWidgetItem* node(QTreeWidget* tree, const QString& name)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i)->text(0).startsWith(name))
            return tree->topLevelItem(i);
    }
    return nullptr;
}

QString state(QTreeWidget* tree, const QString& name)
{
    QTreeWidgetItem* n = node(tree, name);
    return n ? n->data(0, StatusView::kNodeStateRole).toString() : QString();
}

bool logged(frmMain& w, const QString& operation, const QString& outcome, const QString& text)
{
    for (const Event& e : control<EventLog>(w)->read()) {
        if (e.operation == operation && e.outcome == outcome && e.cause.contains(text))
            return true;
    }
    return false;
}

} // namespace

class TstLiveStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Catches: a live element not shown up (or a silent one not down), a
    // tooltip without the last answer and round trip or the down time, a
    // state change that reaches neither the status bar nor the event log,
    // an unreachable element or a linkDown trap (on the trap port of the
    // user settings) that raises no alarm in the Alarms window, the status
    // bar's count or the tree's badge, View > "Poll element status" not
    // stopping the polls or not kept, and alarms lost at the next start.
    void treeStatusBarEventsAndAlarms()
    {
        const quint16 port = kNet.agentPort();
        SimProcess sim;
        QVERIFY2(sim.start(port, {QStringLiteral("encoder@") + kNet.host(1),
                                  QStringLiteral("encoder@") + kNet.host(2),
                                  QStringLiteral("--silent"), kNet.host(2),
                                  QStringLiteral("--trap-port"), QString::number(kTrapPort)}),
                 qPrintable(sim.errors()));

        QTemporaryDir dir;
        ScriptedPrompt prompt;
        FakeLister lister;
        auto settings = std::make_unique<UserSettings>(dir.filePath(QStringLiteral("user.ini")));
        settings->setEula(true);
        settings->setNmsIpAddress(kNms);
        settings->setTrapPort(kTrapPort);
        AppContext ctx;
        ctx.databasePath = dir.filePath(QStringLiteral("nms.ini"));
        ctx.prompt = &prompt;
        ctx.settings = settings.get();
        ctx.interfaces = &lister;
        ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
        ctx.snmpLocalPort = kNet.port(3);
        ctx.snmpAgentPort = port;
        ctx.liveStatus = true;
        ctx.timings.snmpTimeoutMs = 300;
        ctx.timings.statusIntervalMs = 300;
        ctx.timings.statusReplyMs = 300;
        ctx.timings.statusRetries = 0;
        QFile db(ctx.databasePath);
        QVERIFY(db.open(QIODevice::WriteOnly));
        db.write(section(1, "LIVE") + section(2, "SILENT"));
        db.close();

        auto w = std::make_unique<frmMain>(ctx);
        QCOMPARE(w->startUp(), frmMain::StartResult::Running);
        QVERIFY(showAndStart(*w));
        QTreeWidget* tree = TreeView1(*w);
        QTRY_COMPARE_WITH_TIMEOUT(state(tree, QStringLiteral("LIVE")), QStringLiteral("up"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(state(tree, QStringLiteral("SILENT")), QStringLiteral("down"),
                                  5000);
        QVERIFY(node(tree, QStringLiteral("LIVE"))
                    ->toolTip(0)
                    .contains(QRegularExpression(QStringLiteral(
                        "^Up: last answer \\d\\d:\\d\\d:\\d\\d, round trip \\d+ ms$"))));
        const QString silentTip = node(tree, QStringLiteral("SILENT"))->toolTip(0);
        QVERIFY2(silentTip.contains(QRegularExpression(
                     QStringLiteral("^Down since \\d\\d:\\d\\d: no reply from ") + kNet.host(2))),
                 qPrintable(silentTip));
        QVERIFY2(silentTip.contains(QStringLiteral("Alarm (critical)")), qPrintable(silentTip));
        QCOMPARE(node(tree, QStringLiteral("SILENT"))->data(0, StatusView::kNodeAlarmRole),
                 QVariant(QStringLiteral("critical")));
        QVERIFY(logged(*w, QStringLiteral("status"), QStringLiteral("down"),
                       QStringLiteral("down: no reply from ") + kNet.host(2)));
        QVERIFY(logged(*w, QStringLiteral("alarm"), QStringLiteral("raised"),
                       QStringLiteral("unreachable")));
        auto* count = w->findChild<QLabel*>(QStringLiteral("lblStatusAlarms"));
        QVERIFY(count);
        QCOMPARE(count->text(), QStringLiteral("1 active alarm"));

        // A state change reaches the status bar: LIVE falls silent.
        action(*w, "mnuShowAlarms")->trigger();
        QVERIFY(!control<AlarmsDock>(*w, QStringLiteral("alarmsDock"))->isHidden());
        sim.stop();
        QTRY_COMPARE_WITH_TIMEOUT(
            lastOutcome(*w), QStringLiteral("LIVE: down: no reply from ") + kNet.host(1), 5000);
        QVERIFY(logged(*w, QStringLiteral("status"), QStringLiteral("down"), kNet.host(1)));
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("2 active alarms"), 3000);
        // ...and answers again: "up again after ..." in the status bar.
        QVERIFY2(sim.start(port, {QStringLiteral("encoder@") + kNet.host(1),
                                  QStringLiteral("encoder@") + kNet.host(2),
                                  QStringLiteral("--silent"), kNet.host(2),
                                  QStringLiteral("--trap-port"), QString::number(kTrapPort)}),
                 qPrintable(sim.errors()));
        QTRY_VERIFY_WITH_TIMEOUT(logged(*w, QStringLiteral("status"), QStringLiteral("up"),
                                        QStringLiteral("up again after ")),
                                 5000);
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("1 active alarm"), 3000);

        // A trap on the port of the settings: LIVE's link goes down.
        const SnmpResult set = control<SnmpTransport>(*w)->SetSNMP(
            kNet.host(1), QStringLiteral("kestrvla"), 39, 0x40, kNms);
        QVERIFY2(set.hasValue(), qPrintable(set.reason));
        QVERIFY(::kill(pid_t(sim.processId()), SIGUSR1) == 0);
        auto* table = control<AlarmsDock>(*w, QStringLiteral("alarmsDock"))
                          ->findChild<QTableWidget*>(QStringLiteral("tblAlarms"));
        QVERIFY(table);
        const auto cell = [table](int row, int column) {
            const QTableWidgetItem* item = table->item(row, column);
            return item ? item->text() : QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("2 active alarms"), 5000);
        QTRY_COMPARE(cell(1, AlarmsDock::What), QStringLiteral("link down (interface 1)"));
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(cell(0, AlarmsDock::Severity), QStringLiteral("critical"));
        QTRY_COMPARE(node(tree, QStringLiteral("LIVE"))->data(0, StatusView::kNodeAlarmRole),
                     QVariant(QStringLiteral("major")));
        // Acknowledged, it stays until the link is up again.
        table->selectRow(1);
        control<AlarmsDock>(*w, QStringLiteral("alarmsDock"))
            ->findChild<QPushButton*>(QStringLiteral("cmdAcknowledge"))
            ->click();
        QTRY_COMPARE(cell(1, AlarmsDock::Acknowledged), QStringLiteral("yes"));

        // Polling off: no poll leaves, the tree says so, and the choice is kept.
        action(*w, "mnuPollStatus")->trigger();
        QVERIFY(!settings->statusPolling());
        QCOMPARE(state(tree, QStringLiteral("LIVE")), QStringLiteral("off"));
        QTest::qWait(ctx.timings.statusIntervalMs * 2);
        const qsizetype polls = sim.requests(QStringLiteral("GET")).count(15);
        QTest::qWait(ctx.timings.statusIntervalMs * 3);
        QCOMPARE(sim.requests(QStringLiteral("GET")).count(15), polls);

        // The next start: the same alarms, polling still off.
        w.reset();
        settings = std::make_unique<UserSettings>(dir.filePath(QStringLiteral("user.ini")));
        ctx.settings = settings.get();
        w = std::make_unique<frmMain>(ctx);
        QCOMPARE(w->startUp(), frmMain::StartResult::Running);
        QVERIFY(showAndStart(*w));
        QVERIFY(!action(*w, "mnuPollStatus")->isChecked());
        QCOMPARE(statusView(*w).alarms().count(), 2);
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("lblStatusAlarms"))->text(),
                 QStringLiteral("2 active alarms"));
    }
};

QTEST_MAIN(TstLiveStatus)
#include "tst_livestatus.moc"
