// The main window: start-up sequence, element list, toolbar, pop-up menu and
// the NMS interface choice, on temporary files and scripted message boxes.

#include "app/EventsDock.h"
#include "app/MainWindowControls.h"
#include "app/frmDisclaimer.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "core/InterfaceLister.h"
#include "core/UserSettings.h"
#include "dialogs/frmWaiting.h"
#include "netutil/MacResolver.h"
#include "netutil/Ping.h"
#include "panel/ElementPanel.h"
#include "panel/Fields.h"
#include "panel/PanelControls.h"
#include "remote/MacWait.h"
#include "remote/RemoteProtocol.h"
#include "snmp/SnmpTestUtil.h"
#include "snmp/SnmpTransport.h"
#include "store/EventLog.h"
#include "store/OutcomeChannel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QWheelEvent>

#include <memory>

#include <unistd.h>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

const QString kEmptyDb = QStringLiteral("Local database is empty.");
const QString kNoSelection = QStringLiteral("No device has been selected / loaded. ");
const QString kDeleteQuestion = QStringLiteral("The selected element will be permanently deleted.");

// The test's loopback addresses: 127.0.106.x; the station is host(250).
const orvalink::testing::SimNet kNet{106};
const QString kNms = kNet.host(250);

class FakeLister : public InterfaceLister {
public:
    QStringList list{kNms};
    QStringList addresses() override { return list; }
};

const QByteArray kTwoElements =
    QStringLiteral("[2E8BF2000201]\r\nNAME=DECODER ONE    \r\nROLE=2\r\nIP=%1\r\n"
                   "[2E8BF2000101]\r\nNAME=ENCODER ONE    \r\nROLE=1\r\nIP=%2\r\n")
        .arg(kNet.host(21), kNet.host(11))
        .toLatin1();

// One main window on temporary files.
struct Harness {
    QTemporaryDir dir;
    ScriptedPrompt prompt;
    std::unique_ptr<UserSettings> settings;
    FakeLister lister;
    AppContext ctx;
    std::unique_ptr<frmMain> w;
    int noticesShown = 0;

    Harness()
    {
        settings = std::make_unique<UserSettings>(settingsPath());
        settings->setEula(true);
        ctx.databasePath = dir.filePath(QStringLiteral("nms.ini"));
        ctx.prompt = &prompt;
        ctx.settings = settings.get();
        ctx.interfaces = &lister;
        ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
        ctx.timings.snmpTimeoutMs = 50;
        ctx.timings.snmpSetAllowedMs = 50;
        ctx.timings.remoteSentMs = 50;
        ctx.showNotice = [this](UserSettings&, QWidget*) { ++noticesShown; };
    }
    QString settingsPath() const { return dir.filePath(QStringLiteral("user.ini")); }

    void writeDb(const QByteArray& content)
    {
        QFile f(ctx.databasePath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray readDb() const
    {
        QFile f(ctx.databasePath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    frmMain& make()
    {
        w = std::make_unique<frmMain>(ctx);
        return *w;
    }
    // Builds and starts a window; the database must not be empty unless a
    // message is scripted.
    frmMain& start()
    {
        make();
        const auto result = w->startUp();
        if (result != frmMain::StartResult::Running)
            QTest::qFail("start-up did not finish", __FILE__, __LINE__);
        return *w;
    }
    // Next run of the program: a new window on the same files (the old one
    // releases the instance lock first).
    frmMain& restart()
    {
        w.reset();
        settings = std::make_unique<UserSettings>(settingsPath());
        ctx.settings = settings.get();
        return start();
    }
    QStringList nodeTexts() const
    {
        QStringList t;
        for (int i = 0; i < TreeView1(*w)->topLevelItemCount(); ++i)
            t << TreeView1(*w)->topLevelItem(i)->text(0);
        return t;
    }
    QStringList encoderList() const
    {
        QStringList t;
        for (int i = 0; i < panel(*w)->cmbEncoders->count(); ++i)
            t << panel(*w)->cmbEncoders->itemText(i);
        return t;
    }
    // Clicks node i as the operator would.
    void clickNode(int i)
    {
        if (!w->isVisible()) {
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        }
        QTreeWidgetItem* node = TreeView1(*w)->topLevelItem(i);
        QVERIFY(node);
        const QRect r = TreeView1(*w)->visualItemRect(node);
        QTest::mouseClick(TreeView1(*w)->viewport(), Qt::LeftButton, {}, r.center());
    }
};

QString lockHolderPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tst_app_lockholder");
}

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startModes_data();
    void startModes();
    void noticeFollowsTheStoredTick_data();
    void noticeFollowsTheStoredTick();
    void interfaceList_data();
    void interfaceList();
    void interfaceChoiceAndUdpClient();
    void loadConfigListsInFileOrder();
    void loadConfigSurvivesOddSections();
    void emptyDatabaseMessage_data();
    void emptyDatabaseMessage();
    void unreadableDatabaseIsNoEmptyOne();
    void reloadRequestedDuringLoad();
    void deleteElement_data();
    void deleteElement();
    void toolbarSelectionCheck_data();
    void toolbarSelectionCheck();
    void toolbarButtonsRunTheirCommands();
    void autoDiscoveryAsksFirst();
    void waitingWindowEndsWithTheLookUp();
    void remoteConfirmationShowsInThePanel();
    void levelMeterFollowsThePolling();
    void popupMenuEnabling();
    void deviceWindowsOnlyForShownElement();
    void rightClickActsOnRowUnderCursor();
    void destructiveCommandsHitOnlyTheShownElement();
    void pendingEditsAskBeforeTheyAreLost();
    void shownValuesAreTheSentValues();
    void filterShowsMatchingElements();
    void windowLayoutKeptBetweenRuns();
    void keysRunTheirCommands();
    void secondStartBringsFirstToFront();
    void keyboardNavigationShowsElement();
    void secondInstanceRefused();
    void lockOfEndedProcessIsTaken();
    void oldLockOfLiveProcessStillRefuses();
    void unusableLockPlaceIsNoSecondInstance_data();
    void unusableLockPlaceIsNoSecondInstance();
    void writeFailureIsReported();
    void snmpLeavesFromTheChosenInterface();
    void snmpFailureIsReported();
    void pingButton();
    void outcomesInStatusBarEventsWindowAndLog();
    void everyOperationShowsItsNewestOutcome();
    void historyAndLiveStatusWaitForTheShownWindow();
};

// ---------------------------------------------------------------- start-up

void TestFrmMain::startModes_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("bufferMax");
    QTest::addColumn<bool>("gps");
    QTest::addColumn<bool>("lowLatency");

    const QString gps =
        QStringLiteral("Orvalink SNMP NMS v.3.5.0 [GPSDO version] - Quorvane Broadcast");
    const QString ll =
        QStringLiteral("Orvalink SNMP NMS v.3.5.0 [Low Latency Option] - Quorvane Broadcast");
    const QString plain = QStringLiteral("Orvalink SNMP NMS v.3.5.0 - Quorvane Broadcast");
    QTest::newRow("gps") << "gps" << gps << 23 << true << false;
    QTest::newRow("GPS") << "GPS" << gps << 23 << true << false;
    QTest::newRow("Gps") << "Gps" << gps << 23 << true << false;
    QTest::newRow("LL") << "LL" << ll << 44 << false << true;
    QTest::newRow("ll") << "ll" << ll << 44 << false << true;
    QTest::newRow("GPS LL") << "GPS LL" << plain << 22 << false << false;
    QTest::newRow("LL GPS") << "LL GPS" << plain << 22 << false << false;
    QTest::newRow("GPS with blank") << "GPS " << plain << 22 << false << false;
    QTest::newRow("x") << "x" << plain << 22 << false << false;
    QTest::newRow("GPSX") << "GPSX" << plain << 22 << false << false;
    QTest::newRow("empty") << "" << plain << 22 << false << false;
}

void TestFrmMain::startModes()
{
    QFETCH(QString, word);
    QFETCH(QString, caption);
    QFETCH(int, bufferMax);
    QFETCH(bool, gps);
    QFETCH(bool, lowLatency);

    Harness h;
    h.writeDb(kTwoElements);
    h.ctx.commandWord = word;
    frmMain& w = h.start();
    QCOMPARE(w.windowTitle(), caption);
    QCOMPARE(panel(w)->scrlBuffer->maximum(), bufferMax);
    QCOMPARE(w.flags().GPSMode, gps);
    QCOMPARE(w.flags().LowLatencyActive, lowLatency);
    QVERIFY(h.prompt.done());
}

void TestFrmMain::noticeFollowsTheStoredTick_data()
{
    // Clicks on the check box during the first run, the value stored after
    // each click, and whether the second run shows the notice again.
    QTest::addColumn<QList<bool>>("clicks");
    QTest::addColumn<QStringList>("storedAfterEach");
    QTest::addColumn<bool>("shownAgain");

    QTest::newRow("closed without ticking") << QList<bool>{} << QStringList{} << true;
    QTest::newRow("ticked") << QList<bool>{true} << QStringList{"1"} << false;
    QTest::newRow("ticked then unticked")
        << QList<bool>{true, false} << QStringList{"1", "0"} << true;
    QTest::newRow("ticked, unticked, ticked")
        << QList<bool>{true, false, true} << QStringList{"1", "0", "1"} << false;
}

void TestFrmMain::noticeFollowsTheStoredTick()
{
    QFETCH(QList<bool>, clicks);
    QFETCH(QStringList, storedAfterEach);
    QFETCH(bool, shownAgain);

    Harness h;
    QFile::remove(h.settingsPath()); // first run: no settings at all
    h.settings = std::make_unique<UserSettings>(h.settingsPath());
    h.ctx.settings = h.settings.get();
    h.writeDb(kTwoElements);

    QStringList stored;
    h.ctx.showNotice = [&](UserSettings& s, QWidget* parent) {
        ++h.noticesShown;
        frmDisclaimer notice(s, parent);
        for (bool tick : clicks) {
            QCOMPARE(notice.chkAgree->isChecked(), !tick);
            notice.chkAgree->click();
            QSettings raw(h.settingsPath(), QSettings::IniFormat);
            stored << raw.value(QStringLiteral("Orvalink SNMP/EULA1")).toString();
        }
        notice.cmdClose->click();
        QVERIFY(!notice.isVisible());
    };
    h.start();
    QCOMPARE(h.noticesShown, 1);
    QCOMPARE(stored, storedAfterEach);

    h.restart();
    QCOMPARE(h.noticesShown, shownAgain ? 2 : 1);
    QVERIFY(h.prompt.done());
}

// ------------------------------------------------------------ NMS interface

void TestFrmMain::interfaceList_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("storedAfter");

    QStringList many;
    for (int i = 1; i <= 30; ++i)
        many << kNet.host(100 + i);
    const QStringList three{kNet.host(1), kNet.host(2), kNet.host(3)};

    QTest::newRow("loopback only, nothing saved")
        << QStringList{kNet.host(1)} << QString() << 0 << kNet.host(1);
    QTest::newRow("saved is the third") << three << kNet.host(3) << 2 << kNet.host(3);
    QTest::newRow("saved is gone") << three << kNet.host(9) << 0 << kNet.host(1);
    QTest::newRow("saved twice: the last wins")
        << QStringList{kNet.host(1), kNet.host(2), kNet.host(2)} << kNet.host(2) << 2
        << kNet.host(2);
    QTest::newRow("30 addresses, saved is the 25th")
        << many << kNet.host(125) << 24 << kNet.host(125);
    QTest::newRow("30 addresses, saved is gone") << many << kNet.host(1) << 0 << kNet.host(101);
    QTest::newRow("no address at all") << QStringList{} << kNet.host(5) << -1 << kNet.host(5);
}

void TestFrmMain::interfaceList()
{
    QFETCH(QStringList, addresses);
    QFETCH(QString, saved);
    QFETCH(int, selected);
    QFETCH(QString, storedAfter);

    Harness h;
    h.writeDb(kTwoElements);
    h.lister.list = addresses;
    if (!saved.isEmpty())
        h.settings->setNmsIpAddress(saved);
    frmMain& w = h.start();

    QCOMPARE(cmbNMSIPAddr(w)->count(), addresses.size());
    for (int i = 0; i < addresses.size(); ++i)
        QCOMPARE(cmbNMSIPAddr(w)->itemText(i), addresses.at(i));
    QCOMPARE(cmbNMSIPAddr(w)->currentIndex(), selected);
    QCOMPARE(h.settings->nmsIpAddress(), storedAfter);
    QCOMPARE(w.localNmsAddress(), storedAfter);
}

void TestFrmMain::interfaceChoiceAndUdpClient()
{
    Harness h;
    h.writeDb(kTwoElements);
    h.lister.list = QStringList{kNet.host(1), kNet.host(2)};
    h.settings->setNmsIpAddress(kNet.host(1));
    frmMain& w = h.start();
    QCOMPARE(cmbNMSIPAddr(w)->currentIndex(), 0);
    QVERIFY(!control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->isBound());

    // The stored interface again: the endpoint stays as it is.
    control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->setLocalPort(0);
    QVERIFY(control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->open().ok());
    Q_EMIT cmbNMSIPAddr(w)->currentIndexChanged(cmbNMSIPAddr(w)->currentIndex());
    QVERIFY(control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->isBound());
    QCOMPARE(h.settings->nmsIpAddress(), kNet.host(1));

    // Another interface: stored, taken, and the endpoint closed.
    cmbNMSIPAddr(w)->setCurrentIndex(1);
    QVERIFY(!control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->isBound());
    QCOMPARE(h.settings->nmsIpAddress(), kNet.host(2));
    QCOMPARE(w.localNmsAddress(), kNet.host(2));

    // Closing the window closes the endpoint too.
    QVERIFY(control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->open().ok());
    w.show();
    QVERIFY(w.close());
    QVERIFY(!control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->isBound());
    QVERIFY(h.prompt.done());
}

// ------------------------------------------------------------- element list

void TestFrmMain::loadConfigListsInFileOrder()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();

    QCOMPARE(h.nodeTexts(),
             (QStringList{"DECODER ONE [2E:8B:F2:00:02:01]", "ENCODER ONE [2E:8B:F2:00:01:01]"}));
    QCOMPARE(TreeView1(w)->topLevelItem(0)->data(0, ElementTree::kNodeKeyRole).toString(),
             QStringLiteral("2E:8B:F2:00:02:01"));
    QCOMPARE(TreeView1(w)->topLevelItem(0)->data(0, ElementTree::kNodeImageRole).toInt(), 7);
    QCOMPARE(TreeView1(w)->topLevelItem(1)->data(0, ElementTree::kNodeImageRole).toInt(), 6);
    // The encoder node and the other node are drawn from different images.
    QVERIFY(TreeView1(w)->topLevelItem(1)->icon(0).cacheKey() !=
            TreeView1(w)->topLevelItem(0)->icon(0).cacheKey());
    QCOMPARE(h.encoderList(), (QStringList{"<None>", "ENCODER ONE [2E:8B:F2:00:01:01]"}));
    QCOMPARE(lstHidden(w)->count(), 2);
    QCOMPARE(lstHidden(w)->item(0)->text(), QStringLiteral("2E8BF2000201"));
    QCOMPARE(lstHidden(w)->item(1)->text(), QStringLiteral("2E8BF2000101"));
    QVERIFY(lstHidden(w)->isHidden());
    QCOMPARE(frmTreeView(w)->title(), QStringLiteral("Select element: (2 items)"));
    QCOMPARE(panel(w)->vuMeterWidthTwips(), 0);

    // A reload reads the file again: a change made meanwhile shows, and
    // nothing is listed twice.
    h.writeDb(QByteArray(kTwoElements) + "[2E8BF2000102]\r\nNAME=ENCODER TWO\r\nROLE=1\r\n");
    toolbarButton(w, 4)->trigger();
    QCOMPARE(h.nodeTexts().size(), 3);
    QCOMPARE(h.encoderList().size(), 3);
    QCOMPARE(lstHidden(w)->count(), 3);
    QCOMPARE(frmTreeView(w)->title(), QStringLiteral("Select element: (3 items)"));
    QVERIFY(h.prompt.done());
}

void TestFrmMain::loadConfigSurvivesOddSections()
{
    Harness h;
    h.writeDb("[2E8BF2000001]\nNAME=NO ROLE\n"
              "[2E8BF2000002]\nNAME=TEXT ROLE\nROLE=abc\n"
              "[2E8BF2000003]\nNAME=ROLE THREE\nROLE=3\n"
              "[2E8BF2000004]\nROLE=1\n"
              "[2E8BF2000005]\nNAME=LAST\nROLE=2\n");
    frmMain& w = h.start();
    QCOMPARE(h.nodeTexts(),
             (QStringList{"NO ROLE [2E:8B:F2:00:00:01]", "TEXT ROLE [2E:8B:F2:00:00:02]",
                          "ROLE THREE [2E:8B:F2:00:00:03]", " [2E:8B:F2:00:00:04]",
                          "LAST [2E:8B:F2:00:00:05]"}));
    const int images[] = {7, 7, 7, 6, 7};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(TreeView1(w)->topLevelItem(i)->data(0, ElementTree::kNodeImageRole).toInt(),
                 images[i]);
    QCOMPARE(h.encoderList(), (QStringList{"<None>", " [2E:8B:F2:00:00:04]"}));
    QCOMPARE(frmTreeView(w)->title(), QStringLiteral("Select element: (5 items)"));
}

void TestFrmMain::emptyDatabaseMessage_data()
{
    QTest::addColumn<QByteArray>("content"); // "-" for no file
    QTest::newRow("missing file") << QByteArray("-");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("only blank lines and comments") << QByteArray("\r\n; nothing here\r\n\r\n");
}

void TestFrmMain::emptyDatabaseMessage()
{
    QFETCH(QByteArray, content);
    Harness h;
    if (content != "-")
        h.writeDb(content);
    h.prompt.expect(kEmptyDb);
    frmMain& w = h.start();
    QVERIFY(h.prompt.done());
    const PromptRequest& box = h.prompt.shown().first();
    QCOMPARE(box.text, QStringLiteral("Local database is empty.\rPlease click the 'Add New "
                                      "Element' button to add one."));
    QCOMPARE(box.title, QStringLiteral("Information"));
    QCOMPARE(box.icon, PromptIcon::Information);
    QCOMPARE(TreeView1(w)->topLevelItemCount(), 0);
    QCOMPARE(h.encoderList(), QStringList{"<None>"});
    QCOMPARE(frmTreeView(w)->title(), QStringLiteral("Select element: (0 items)"));
    // The message comes before the rest of start-up, which still finishes.
    QCOMPARE(cmbNMSIPAddr(w)->count(), 1);
    // Loading never creates the file.
    QCOMPARE(QFile::exists(h.ctx.databasePath), content != "-");
}

// A file that is no database this program can read is reported with its
// reason, not as an empty database the operator would start to fill.
void TestFrmMain::unreadableDatabaseIsNoEmptyOne()
{
    Harness h;
    h.writeDb(QByteArray("\xFF\xFE[\0A\0]\0", 8));
    h.prompt.expect(QStringLiteral("is UTF-16 text"));
    frmMain& w = h.start();
    QVERIFY(h.prompt.done());
    QCOMPARE(h.prompt.shown().first().icon, PromptIcon::Critical);
    QCOMPARE(TreeView1(w)->topLevelItemCount(), 0);
}

void TestFrmMain::reloadRequestedDuringLoad()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();

    // A refresh that arrives while the list is being built (events run per
    // element) must neither interleave with it nor be lost: the tree ends up
    // holding exactly what the file holds after the change.
    QTimer::singleShot(0, &w, [&] {
        h.writeDb(QByteArray(kTwoElements) + "[2E8BF2000102]\r\nNAME=LATE\r\nROLE=1\r\n");
        elements(w).RefreshElementList();
    });
    elements(w).Load_Config();
    QCOMPARE(h.nodeTexts(),
             (QStringList{"DECODER ONE [2E:8B:F2:00:02:01]", "ENCODER ONE [2E:8B:F2:00:01:01]",
                          "LATE [2E:8B:F2:00:01:02]"}));
    QCOMPARE(h.encoderList().size(), 3);
    QCOMPARE(lstHidden(w)->count(), 3);
    QCOMPARE(frmTreeView(w)->title(), QStringLiteral("Select element: (3 items)"));
}

void TestFrmMain::deleteElement_data()
{
    QTest::addColumn<bool>("showFirst");
    QTest::addColumn<PromptAnswer>("answer");
    QTest::addColumn<QStringList>("nodesAfter");

    const QStringList both{"DECODER ONE [2E:8B:F2:00:02:01]", "ENCODER ONE [2E:8B:F2:00:01:01]"};
    QTest::newRow("yes") << true << PromptAnswer::Yes
                         << QStringList{"ENCODER ONE [2E:8B:F2:00:01:01]"};
    QTest::newRow("no") << true << PromptAnswer::No << both;
    QTest::newRow("yes with nothing shown") << false << PromptAnswer::Yes << both;
}

void TestFrmMain::deleteElement()
{
    QFETCH(bool, showFirst);
    QFETCH(PromptAnswer, answer);
    QFETCH(QStringList, nodesAfter);

    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    if (showFirst) {
        h.clickNode(0);
        QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:02:01"));
    }
    const QByteArray before = h.readDb();

    h.prompt.expect(kDeleteQuestion, answer);
    toolbarButton(w, 7)->trigger();
    QVERIFY(h.prompt.done());
    const PromptRequest& q = h.prompt.shown().first();
    QCOMPARE(q.title, QStringLiteral("Delete element"));
    QCOMPARE(q.text, QStringLiteral("The selected element will be permanently deleted.\rThere is "
                                    "no way to revert this action. \rAre you sure?"));
    QCOMPARE(q.icon, PromptIcon::Question);
    QCOMPARE(q.buttons, PromptButtons::YesNo);
    QCOMPARE(q.defaultAnswer, PromptAnswer::No);

    QCOMPARE(h.nodeTexts(), nodesAfter);
    if (answer == PromptAnswer::No) {
        QCOMPARE(h.readDb(), before);
        // Nothing reloaded: the panel still shows the element.
        QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:02:01"));
    } else {
        QCOMPARE(h.readDb().contains("[2E8BF2000201]"), !showFirst);
        QVERIFY(h.readDb().contains("[2E8BF2000101]"));
        QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("-"));
    }
}

void TestFrmMain::toolbarSelectionCheck_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("state"); // none, selected-not-shown, shown
    QTest::addColumn<bool>("runs");

    for (int button : {2, 5}) {
        const QByteArray b = QByteArray::number(button);
        QTest::newRow(b + " nothing selected") << button << "none" << false;
        QTest::newRow(b + " selected, panel cleared") << button << "selected" << false;
        QTest::newRow(b + " selected and shown") << button << "shown" << true;
    }
}

void TestFrmMain::toolbarSelectionCheck()
{
    QFETCH(int, button);
    QFETCH(QString, state);
    QFETCH(bool, runs);

    Harness h;
    h.writeDb(kTwoElements);
    int properties = 0;
    h.ctx.runDialog = [&](QDialog& dialog) {
        if (dialog.objectName() == QLatin1String("frmSNMPProperties"))
            ++properties;
    };
    int sends = 0;
    h.ctx.sendConfiguration = [&] { ++sends; };
    frmMain& w = h.start();

    if (state == QLatin1String("shown"))
        h.clickNode(1);
    else if (state == QLatin1String("selected"))
        TreeView1(w)->topLevelItem(1)->setSelected(true);

    if (!runs)
        h.prompt.expect(kNoSelection);
    toolbarButton(w, button)->trigger();
    QVERIFY(h.prompt.done());
    if (!runs) {
        const PromptRequest& box = h.prompt.shown().first();
        QCOMPARE(box.text, QStringLiteral("No device has been selected / loaded. \rPlease, click "
                                          "on a device from the elements list."));
        QCOMPARE(box.icon, PromptIcon::Information);
        QVERIFY(box.title.isEmpty());
    }
    QCOMPARE(properties, (runs && button == 2) ? 1 : 0);
    QCOMPARE(sends, (runs && button == 5) ? 1 : 0);
}

void TestFrmMain::toolbarButtonsRunTheirCommands()
{
    Harness h;
    h.writeDb(kTwoElements);
    // Add new element: the dialog, then a reload that shows what it added.
    QString dialogShown;
    QString title;
    h.ctx.runDialog = [&](QDialog& dialog) {
        dialogShown = dialog.objectName();
        title = dialog.windowTitle();
        if (dialogShown == QLatin1String("frmAddNewSNMP"))
            h.writeDb(QByteArray(kTwoElements) + "[2E8BF2000103]\r\nNAME=ADDED\r\nROLE=1\r\n");
    };
    frmMain& w = h.start();

    // The tips name the keys of the commands that have one.
    const QStringList tips{"Add new element (Ctrl+N)", "Element properties",    QString(),
                           "Refresh list (F5)",        "Save changes (Ctrl+S)", QString(),
                           "Delete device (Del)"};
    for (int i = 1; i <= 7; ++i) {
        QAction* a = toolbarButton(w, i);
        QVERIFY(a);
        QCOMPARE(a->isSeparator(), tips.at(i - 1).isEmpty());
        if (!a->isSeparator()) {
            QCOMPARE(a->toolTip(), tips.at(i - 1));
            QCOMPARE(a->text(), tips.at(i - 1).section(QStringLiteral(" ("), 0, 0));
        }
    }

    h.clickNode(0);
    toolbarButton(w, 1)->trigger();
    QCOMPARE(dialogShown, QStringLiteral("frmAddNewSNMP"));
    QCOMPARE(h.nodeTexts().size(), 3);
    QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("-"));

    // The menu entries run the same commands; "Device properties..." opens
    // its window, titled with the node, only for the element shown.
    dialogShown.clear();
    h.prompt.expect(kNoSelection);
    TreeView1(w)->topLevelItem(1)->setSelected(true);
    action(w, "mnuDeviceSNMPProperties")->trigger();
    QVERIFY(h.prompt.done());
    QVERIFY(dialogShown.isEmpty());
    h.clickNode(1);
    action(w, "mnuDeviceSNMPProperties")->trigger();
    QCOMPARE(dialogShown, QStringLiteral("frmSNMPProperties"));
    QCOMPARE(title, h.nodeTexts().at(1));
    h.prompt.expect(kDeleteQuestion, PromptAnswer::No);
    action(w, "mnuDeviceDelete")->trigger();
    QVERIFY(h.prompt.done());
}

void TestFrmMain::deviceWindowsOnlyForShownElement()
{
    // Get... and Adjust... open their windows for the element shown; once the
    // list is reloaded (the panel cleared) Adjust... is off even though the
    // last element shown was an SFN decoder, and neither opens a window.
    Harness h;
    h.writeDb(QStringLiteral("[2E8BF2000201]\r\nNAME=DECODER ONE    \r\nROLE=2\r\nSFN=1\r\n"
                             "SNMPIP=%1\r\nSNMPRO=morqubit\r\n")
                  .arg(kNet.host(200))
                  .toLatin1());
    QStringList shown;
    h.ctx.runDialog = [&](QDialog& dialog) { shown << dialog.objectName(); };
    frmMain& w = h.start();
    h.clickNode(0);
    QVERIFY(panel(w)->cmdAdjust->isEnabled());
    panel(w)->cmdAdjust->click();
    panel(w)->cmdGetStats->click();
    QCOMPARE(shown, (QStringList{"frmAdjust", "frmStatistics"}));

    elements(w).RefreshElementList();
    QVERIFY(!panel(w)->cmdAdjust->isEnabled());
    QVERIFY(!panel(w)->cmdGetStats->isEnabled());
    Q_EMIT panel(w)->adjustClicked();
    Q_EMIT panel(w)->getStatsClicked();
    QCOMPARE(shown.size(), 2);
}

void TestFrmMain::popupMenuEnabling()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QCOMPARE(mnuHidden(w)->actions().mid(0, 4),
             (QList<QAction*>{action(w, "mnuAddNewDevice"), action(w, "mnuDeviceSNMPProperties"),
                              action(w, "mnuSep1"), action(w, "mnuDeviceDelete")}));
    QCOMPARE(action(w, "mnuAddNewDevice")->text(), QStringLiteral("&New device..."));
    QCOMPARE(action(w, "mnuDeviceSNMPProperties")->text(), QStringLiteral("Device &properties..."));
    QVERIFY(action(w, "mnuSep1")->isSeparator());
    QCOMPARE(action(w, "mnuDeviceDelete")->text(), QStringLiteral("&Delete device..."));

    // Right button released over empty space, nothing selected.
    const QPoint empty(10, TreeView1(w)->viewport()->height() - 5);
    QTest::mouseClick(TreeView1(w)->viewport(), Qt::RightButton, {}, empty);
    QTRY_VERIFY(mnuHidden(w)->isVisible());
    QVERIFY(action(w, "mnuAddNewDevice")->isEnabled());
    QVERIFY(!action(w, "mnuDeviceSNMPProperties")->isEnabled());
    QVERIFY(!action(w, "mnuDeviceDelete")->isEnabled());
    mnuHidden(w)->close();

    // Over empty space the selection stays, but the menu has no element to
    // act on.
    h.clickNode(0);
    QTest::mouseClick(TreeView1(w)->viewport(), Qt::RightButton, {}, empty);
    QTRY_VERIFY(mnuHidden(w)->isVisible());
    QVERIFY(action(w, "mnuAddNewDevice")->isEnabled());
    QVERIFY(!action(w, "mnuDeviceSNMPProperties")->isEnabled());
    QVERIFY(!action(w, "mnuDeviceDelete")->isEnabled());
    mnuHidden(w)->close();
    QCOMPARE(TreeView1(w)->selectedItems(), QList<QTreeWidgetItem*>{TreeView1(w)->topLevelItem(0)});
    QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:02:01"));
}

void TestFrmMain::rightClickActsOnRowUnderCursor()
{
    // Fault: the menu deleted the element shown in the panel, not the one
    // right-clicked. The right-clicked row is shown first, so the delete
    // removes it, and the status bar names it.
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    h.clickNode(0);
    const QRect second = TreeView1(w)->visualItemRect(TreeView1(w)->topLevelItem(1));
    QTest::mouseClick(TreeView1(w)->viewport(), Qt::RightButton, {}, second.center());
    QTRY_VERIFY(mnuHidden(w)->isVisible());
    QCOMPARE(TreeView1(w)->selectedItems(), QList<QTreeWidgetItem*>{TreeView1(w)->topLevelItem(1)});
    QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:01:01"));
    QCOMPARE(panel(w)->lblElementType->text(), QStringLiteral("ENCODER"));
    QVERIFY(action(w, "mnuDeviceDelete")->isEnabled());
    mnuHidden(w)->close();

    h.prompt.expect(kDeleteQuestion, PromptAnswer::Yes);
    action(w, "mnuDeviceDelete")->trigger();
    QVERIFY(h.prompt.done());
    QCOMPARE(h.nodeTexts(), QStringList{"DECODER ONE [2E:8B:F2:00:02:01]"});
    QVERIFY(h.readDb().contains("[2E8BF2000201]"));
    QVERIFY(!h.readDb().contains("[2E8BF2000101]"));
    QCOMPARE(lastOutcome(w), QStringLiteral("Deleted ENCODER ONE"));
    QCOMPARE(statusLabel(w, "lblStatusCount")->text(), QStringLiteral("1 element"));
    QCOMPARE(statusLabel(w, "lblStatusInterface")->text(), QStringLiteral("Interface: ") + kNms);
    QCOMPARE(statusLabel(w, "lblStatusDatabase")->toolTip(),
             QDir::toNativeSeparators(h.ctx.databasePath));
}

void TestFrmMain::destructiveCommandsHitOnlyTheShownElement()
{
    // A damaged section (more than 24 keys that none of our operations
    // writes) that the panel refuses to show.
    QByteArray damaged = "[2E8BF2000301]\r\nNAME=DAMAGED\r\nROLE=1\r\n";
    for (int i = 0; i <= kMaxForeignKeys; ++i)
        damaged += "K" + QByteArray::number(i) + "=1\r\n";
    const QString refused = QStringLiteral("Cannot load this element info.");
    const QString encoderMac = QStringLiteral("2E:8B:F2:00:01:01");
    Harness h;
    h.writeDb(QByteArray(kTwoElements) + damaged);
    frmMain& w = h.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTreeWidget* tree = TreeView1(w);
    const auto selected = [tree] { return tree->selectedItems(); };
    QByteArray full = h.readDb();

    {
        // (a) Fault: a right click or a key on a refused row left it
        // highlighted, the menu opened with every entry enabled, and its
        // delete removed the element the panel still showed.
        h.clickNode(1);
        h.prompt.expect(refused);
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {},
                          tree->visualItemRect(tree->topLevelItem(2)).center());
        QVERIFY(h.prompt.done());
        QVERIFY(!mnuHidden(w)->isVisible());
        QCOMPARE(selected(), QList<QTreeWidgetItem*>{tree->topLevelItem(1)});
        QCOMPARE(panel(w)->lblElementMAC->text(), encoderMac);

        h.clickNode(1);
        h.prompt.expect(refused);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QVERIFY(h.prompt.done());
        QCOMPARE(selected(), QList<QTreeWidgetItem*>{tree->topLevelItem(1)});
        QCOMPARE(panel(w)->lblElementMAC->text(), encoderMac);

        // Nothing shown: the refused row takes no selection either.
        elements(w).RefreshElementList();
        h.prompt.expect(refused);
        h.clickNode(2);
        QVERIFY(h.prompt.done());
        QVERIFY(selected().isEmpty());
        QCOMPARE(h.readDb(), full);
    }
    {
        // (b) Fault: with the filter hiding the shown element, Delete
        // deleted that invisible element.
        h.clickNode(0);
        full = h.readDb(); // showing a decoder may store its attenuation floor
        txtFilter(w)->setText(QStringLiteral("ENCODER"));
        QVERIFY(tree->topLevelItem(0)->isHidden());
        h.prompt.expect(kNoSelection);
        toolbarButton(w, 7)->trigger();
        QVERIFY(h.prompt.done());
        QCOMPARE(h.readDb(), full);
        QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:02:01"));
        txtFilter(w)->clear();
    }
    {
        // (c) Fault: Delete pressed in a drop-down or a scroll bar of the
        // panel opened the delete question.
        const QList<QWidget*> fields{panel(w)->cmbSilDetMode, panel(w)->scrlBuffer};
        for (QWidget* field : fields) {
            field->setFocus();
            QTRY_VERIFY(field->hasFocus());
            QTest::keyClick(field, Qt::Key_Delete);
        }
        QVERIFY(h.prompt.done());
        QCOMPARE(h.readDb(), full);
        // In the tree it still deletes the shown element.
        tree->setFocus();
        h.prompt.expect(kDeleteQuestion, PromptAnswer::Yes);
        QTest::keyClick(tree, Qt::Key_Delete);
        QVERIFY(h.prompt.done());
        QVERIFY(!h.readDb().contains("[2E8BF2000201]"));
        QVERIFY(h.readDb().contains("[2E8BF2000301]"));
    }
}

void TestFrmMain::keyboardNavigationShowsElement()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    h.clickNode(0);
    QTest::keyClick(TreeView1(w), Qt::Key_Down);
    QCOMPARE(TreeView1(w)->selectedItems(), QList<QTreeWidgetItem*>{TreeView1(w)->topLevelItem(1)});
    QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:01:01"));
    QCOMPARE(panel(w)->lblElementType->text(), QStringLiteral("ENCODER"));
}

void TestFrmMain::pendingEditsAskBeforeTheyAreLost()
{
    // Fault: an edited field was lost without a word when another element
    // was shown, the list refreshed or the window closed.
    const QString discard = QStringLiteral("Discard the changes to DECODER ONE?");
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    h.clickNode(0);
    QVERIFY(!panel(w)->hasPendingEdits());
    QVERIFY(!panel(w)->txtElementName->font().bold());
    panel(w)->txtElementName->setText(QStringLiteral("RENAMED"));
    QVERIFY(panel(w)->hasPendingEdits());
    QVERIFY(panel(w)->txtElementName->font().bold());
    QVERIFY(!panel(w)->txtElementIP->font().bold());
    panel(w)->scrlSilDetLevel->setValue(panel(w)->scrlSilDetLevel->value() + 1);
    QVERIFY(panel(w)->lblSilDetLevel->font().bold());

    // No: the edits, the element and the highlight stay.
    h.prompt.expect(discard, PromptAnswer::No);
    h.clickNode(1);
    h.prompt.expect(discard, PromptAnswer::No);
    menuCommand(w, QStringLiteral("actRefreshList"))->trigger();
    h.prompt.expect(discard, PromptAnswer::No);
    QVERIFY(!w.close());
    // A right click on another row asks too; kept edits mean no menu.
    h.prompt.expect(discard, PromptAnswer::No);
    QTest::mouseClick(TreeView1(w)->viewport(), Qt::RightButton, {},
                      TreeView1(w)->visualItemRect(TreeView1(w)->topLevelItem(1)).center());
    QVERIFY(!mnuHidden(w)->isVisible());
    QVERIFY(h.prompt.done());
    QVERIFY(w.isVisible());
    QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:02:01"));
    QCOMPARE(panel(w)->txtElementName->text(), QStringLiteral("RENAMED"));
    QCOMPARE(TreeView1(w)->currentItem(), TreeView1(w)->topLevelItem(0));
    const PromptRequest& asked = h.prompt.shown().first();
    QCOMPARE(asked.buttons, PromptButtons::YesNo);
    QCOMPARE(asked.defaultAnswer, PromptAnswer::No);

    // Yes: the other element is shown, and nothing is pending any more.
    h.prompt.expect(discard, PromptAnswer::Yes);
    h.clickNode(1);
    QVERIFY(h.prompt.done());
    QCOMPARE(panel(w)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:01:01"));
    QVERIFY(!panel(w)->hasPendingEdits());
    QVERIFY(!panel(w)->txtElementName->font().bold());
    // Editing back to the shown value is no edit.
    panel(w)->txtElementName->setText(QStringLiteral("X"));
    panel(w)->txtElementName->setText(QStringLiteral("ENCODER ONE"));
    QVERIFY(!panel(w)->hasPendingEdits());
    menuCommand(w, QStringLiteral("actRefreshList"))->trigger();
    QVERIFY(h.prompt.done());
}

void TestFrmMain::shownValuesAreTheSentValues()
{
    // Faults: a value on screen that is not the value a command sends, or
    // a value that changes or counts as edited without the operator.
    Harness h;
    h.writeDb(QStringLiteral("[2E8BF2000201]\r\nNAME=DECODER ONE    \r\nROLE=2\r\nIP=%1\r\n"
                             "MASK=255.0.0.0\r\nGW=%3\r\nMULTI=239.1.2.3\r\nTYPE=0\r\nATT=200\r\n"
                             "SDL=37\r\nSDT=43\r\nSFN=1\r\nDLY=3000000\r\nSNMPIP=%1\r\n"
                             "SNMPRO=morqubit\r\nSNMPRW=kestrvla12\r\nSNMPTR=127.000.000.0100\r\n"
                             "[2E8BF2000101]\r\nNAME=ENCODER ONE    \r\nROLE=1\r\nIP=%2\r\n")
                  .arg(kNet.host(21), kNet.host(11), kNet.host(1))
                  .toLatin1());
    QStringList faults;
    const auto check = [&](bool ok, const char* fault) {
        if (!ok)
            faults << QString::fromLatin1(fault);
    };
    h.ctx.runDialog = [&](QDialog& dialog) {
        if (dialog.objectName() == QLatin1String("frmAdjust")) {
            auto* set = dialog.findChild<QPushButton*>("cmdSet");
            auto* shown = dialog.findChild<QLabel*>("lblAdditionalDelay");
            check(shown->text() == QLatin1String("3 mS, 0 uS, 0 nS") && !set->isEnabled(),
                  "(a) Set offered while the read-out is not the delay it would send");
            dialog.findChild<QScrollBar*>("scrlAdditionalDelay")->setValue(24000);
            check(shown->text() == QLatin1String("2 mS, 400 uS, 0 nS") && set->isEnabled(),
                  "(a) Set not offered once the operator moved the bar");
        } else if (dialog.objectName() == QLatin1String("frmSNMPProperties")) {
            auto* rw = dialog.findChild<QLineEdit*>("txtSNMPRWCommunity");
            auto* trap = dialog.findChild<QLineEdit*>("txtSNMPTrapIP");
            auto* modify = dialog.findChild<QPushButton*>("cmdModify");
            check(rw->text() == QLatin1String("kestrvla12") &&
                      trap->text() == QLatin1String("127.000.000.0100") &&
                      fields::isMarkedInvalid(rw) && fields::isMarkedInvalid(trap) &&
                      !modify->isEnabled(),
                  "(g) a stored text longer than its field cut silently, Modify offered");
            rw->setText(QStringLiteral("kestrvla"));
            trap->setText(kNet.host(100));
            rw->setCursorPosition(8);
            QTest::keyClick(rw, Qt::Key_X);
            check(modify->isEnabled() && rw->text() == QLatin1String("kestrvla"),
                  "(g) the field's limit not back once the operator fixed the text");
        }
    };
    frmMain& w = h.start();
    w.resize(720, 420);
    h.clickNode(0);
    const auto shownPanel = panel(w);
    const PanelOfWindow& p = *shownPanel;
    p.cmdAdjust->click();
    menuCommand(w, QStringLiteral("actDeviceProperties"))->trigger();

    // (b) "Save changes" on a decoder fills the hidden audio-input list; no
    // edit the operator can see, so leaving the element asks nothing.
    h.prompt.expect(QStringLiteral("This configuration will be sent"), PromptAnswer::No);
    menuCommand(w, QStringLiteral("actSaveChanges"))->trigger();
    check(!p.hasPendingEdits(), "(b) the hidden audio-input list counted as an edit");

    // (c) The wheel over a bar or a list without focus is the panel's
    // scrolling: left for the scroll area, the setting unchanged.
    const auto wheel = [](QWidget* target) {
        QWheelEvent e(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &e);
        return e.isAccepted();
    };
    TreeView1(w)->setFocus();
    for (QWidget* control : std::initializer_list<QWidget*>{p.scrlAtten, p.cmbAudioType,
                                                            p.scrlSilDetLevel, p.Slider1}) {
        const int before = control->property("value").isValid()
                               ? control->property("value").toInt()
                               : control->property("currentIndex").toInt();
        const bool taken = wheel(control);
        const int after = control->property("value").isValid()
                              ? control->property("value").toInt()
                              : control->property("currentIndex").toInt();
        check(!taken && before == after, "(c) an unfocused control took the wheel");
        check(control->focusPolicy() == Qt::StrongFocus, "(c) the wheel gives the focus");
    }
    p.scrlAtten->setFocus();
    wheel(p.scrlAtten);
    check(p.scrlAtten->value() != 200, "(c) a focused bar ignores the wheel");

    // (d) An encoder after a decoder shows none of the decoder's silence
    // detector in its greyed controls.
    h.prompt.expect(QStringLiteral("Discard the changes"), PromptAnswer::Yes);
    h.clickNode(1);
    check(p.lblSilDetLevel->text() == QLatin1String("-dBu") &&
              p.lblSilDetTime->text() == QLatin1String("-Sec") &&
              p.cmbSilDetMode->currentIndex() == -1,
          "(d) an encoder shows the previous decoder's silence detector");
    QVERIFY(h.prompt.done());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestFrmMain::filterShowsMatchingElements()
{
    Harness h;
    h.writeDb(QByteArray(kTwoElements) +
              QStringLiteral("[2E8BF2000301]\r\nNAME=STUDIO B\r\nROLE=1\r\nIP=10.0.0.5\r\n"
                             "SNMPIP=%1\r\n")
                  .arg(kNet.host(99))
                  .toLatin1());
    frmMain& w = h.start();
    auto visible = [&] {
        QStringList t;
        for (int i = 0; i < TreeView1(w)->topLevelItemCount(); ++i)
            if (!TreeView1(w)->topLevelItem(i)->isHidden())
                t << TreeView1(w)->topLevelItem(i)->text(0).section(QLatin1Char(' '), 0, 1);
        return t;
    };
    const QStringList all{"DECODER ONE", "ENCODER ONE", "STUDIO B"};
    struct Case {
        QString text;
        QStringList shown;
    };
    const Case cases[] = {
        {"one", {"DECODER ONE", "ENCODER ONE"}}, // name, any case
        {"00:01:01", {"ENCODER ONE"}},           // MAC as shown
        {"2e8bf2000301", {"STUDIO B"}},          // MAC as stored
        {kNet.host(21), {"DECODER ONE"}},        // the element's address
        {kNet.host(99), {"STUDIO B"}},           // its agent's address
        {"nothing like it", {}},
    };
    for (const Case& c : cases) {
        txtFilter(w)->setText(c.text);
        QCOMPARE(visible(), c.shown);
        // The caption counts every element, shown or not.
        QCOMPARE(frmTreeView(w)->title(), QStringLiteral("Select element: (3 items)"));
    }
    // A reload keeps the filter applied.
    txtFilter(w)->setText(QStringLiteral("studio"));
    elements(w).RefreshElementList();
    QCOMPARE(visible(), QStringList{"STUDIO B"});
    // Escape in the field shows everything again.
    QTest::keyClick(txtFilter(w), Qt::Key_Escape);
    QVERIFY(txtFilter(w)->text().isEmpty());
    QCOMPARE(visible(), all);
}

void TestFrmMain::windowLayoutKeptBetweenRuns()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // It fits a 1366x768 screen at 125% (1093x614 device-independent
    // pixels, less the title bar and the task bar).
    const QSize least = w.minimumSizeHint();
    QVERIFY2(least.width() <= 1093 && least.height() <= 560,
             qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
    // The tree takes what the window gains.
    const int treeBefore = splitter(w)->sizes().at(0);
    const int panelBefore = splitter(w)->sizes().at(1);
    w.resize(w.width() + 200, w.height());
    QTRY_COMPARE(splitter(w)->sizes().at(0), treeBefore + 200);
    QCOMPARE(splitter(w)->sizes().at(1), panelBefore);

    w.resize(1010, 640);
    QTRY_COMPARE(w.size(), QSize(1010, 640));
    const QList<int> split{splitter(w)->sizes().at(0) - 40, splitter(w)->sizes().at(1) + 40};
    splitter(w)->setSizes(split);
    QCOMPARE(splitter(w)->sizes(), split);
    QVERIFY(!panel(w)->levelControlOffered());
    action(w, "mnuShowLevelControl")->trigger();
    QVERIFY(panel(w)->levelControlOffered());
    QVERIFY(w.close());

    frmMain& again = h.restart();
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.size(), QSize(1010, 640));
    QCOMPARE(splitter(again)->sizes(), split);
    QVERIFY(action(again, "mnuShowLevelControl")->isChecked());
    QVERIFY(panel(again)->levelControlOffered());
}

void TestFrmMain::keysRunTheirCommands()
{
    Harness h;
    h.writeDb(kTwoElements);
    QString dialogShown;
    QString about;
    h.ctx.runDialog = [&](QDialog& dialog) {
        dialogShown = dialog.objectName();
        if (auto* box = qobject_cast<QMessageBox*>(&dialog))
            about = box->text();
    };
    frmMain& w = h.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    // Every command is in a menu, with its key.
    const QStringList menus{"&File", "&Element", "&View", "&Help"};
    QStringList titles;
    for (QAction* a : w.menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, menus);
    QCOMPARE(menuCommand(w, QStringLiteral("actSaveChanges"))->shortcut(),
             QKeySequence(QKeySequence::Save));

    h.prompt.expect(kNoSelection);
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(h.prompt.done());

    h.writeDb(QByteArray(kTwoElements) + "[2E8BF2000103]\r\nNAME=ADDED\r\nROLE=1\r\n");
    QTest::keyClick(&w, Qt::Key_F5);
    QCOMPARE(h.nodeTexts().size(), 3);

    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(dialogShown, QStringLiteral("frmAddNewSNMP"));

    // Help > About names the version, the toolkit and the database in use.
    menuCommand(w, QStringLiteral("actAbout"))->trigger();
    QVERIFY(about.contains(QStringLiteral("3.5.0")));
    QVERIFY(about.contains(QString::fromLatin1(qVersion())));
    QVERIFY(about.contains(QDir::toNativeSeparators(h.ctx.databasePath)));

    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(txtFilter(w)->hasFocus());
    // Delete in the filter edits the filter; in the tree it deletes.
    txtFilter(w)->setText(QStringLiteral("ab"));
    txtFilter(w)->setCursorPosition(0);
    QTest::keyClick(txtFilter(w), Qt::Key_Delete);
    QCOMPARE(txtFilter(w)->text(), QStringLiteral("b"));
    txtFilter(w)->clear();
    h.clickNode(2);
    TreeView1(w)->setFocus();
    h.prompt.expect(kDeleteQuestion, PromptAnswer::Yes);
    QTest::keyClick(TreeView1(w), Qt::Key_Delete);
    QVERIFY(h.prompt.done());
    QCOMPARE(h.nodeTexts().size(), 2);
    QCOMPARE(lastOutcome(w), QStringLiteral("Deleted ADDED"));
}

void TestFrmMain::secondStartBringsFirstToFront()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& first = h.start();
    first.show();
    QVERIFY(QTest::qWaitForWindowExposed(&first));
    first.hide();

    frmMain second(h.ctx);
    h.prompt.expect(QStringLiteral("is already running"));
    QCOMPARE(second.startUp(), frmMain::StartResult::AlreadyRunning);
    QVERIFY(h.prompt.done());
    QTRY_VERIFY(first.isVisible());
}

// --------------------------------------------------------- single instance

void TestFrmMain::secondInstanceRefused()
{
    Harness h;
    h.writeDb(kTwoElements);
    h.settings->setEula(false);
    QProcess holder;
    holder.start(lockHolderPath(), {h.ctx.lockPath});
    QVERIFY2(holder.waitForReadyRead(10000), qPrintable(holder.errorString()));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

    h.prompt.expect(QStringLiteral("already running"));
    frmMain& w = h.make();
    QCOMPARE(w.startUp(), frmMain::StartResult::AlreadyRunning);
    QVERIFY(h.prompt.done());
    const PromptRequest& box = h.prompt.shown().first();
    QCOMPARE(box.title, QStringLiteral("Quorvane Orvalink NMS"));
    QCOMPARE(box.text, QStringLiteral("Quorvane Orvalink SNMP NMS is already running (check the "
                                      "icon in system tray)!"));
    QCOMPARE(box.icon, PromptIcon::Information);
    // Nothing of the rest of start-up ran.
    QCOMPARE(h.noticesShown, 0);
    QCOMPARE(TreeView1(w)->topLevelItemCount(), 0);
    QCOMPARE(cmbNMSIPAddr(w)->count(), 0);

    // The first instance is not disturbed and, once it ends, a start works.
    QCOMPARE(holder.state(), QProcess::Running);
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    h.prompt.clear();
    h.restart();
    QCOMPARE(h.noticesShown, 1);
}

void TestFrmMain::lockOfEndedProcessIsTaken()
{
    // A program that crashed leaves its lock file behind: that must not keep
    // the operator from starting again.
    Harness h;
    h.writeDb(kTwoElements);
    QProcess holder;
    holder.start(lockHolderPath(), {h.ctx.lockPath});
    QVERIFY(holder.waitForReadyRead(10000));
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(QFile::exists(h.ctx.lockPath));
    h.start();
    QVERIFY(h.prompt.done());
}

void TestFrmMain::oldLockOfLiveProcessStillRefuses()
{
    // However long the first instance has been running, it keeps the lock.
    Harness h;
    h.writeDb(kTwoElements);
    QProcess holder;
    holder.start(lockHolderPath(), {h.ctx.lockPath});
    QVERIFY(holder.waitForReadyRead(10000));
    {
        QFile lock(h.ctx.lockPath);
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
    }
    h.prompt.expect(QStringLiteral("already running"));
    QCOMPARE(h.make().startUp(), frmMain::StartResult::AlreadyRunning);
    QVERIFY(h.prompt.done());
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
}

void TestFrmMain::unusableLockPlaceIsNoSecondInstance_data()
{
    QTest::addColumn<QString>("lockName"); // relative to the temporary folder
    QTest::newRow("folder missing") << "no-such-folder/nms.lock";
    QTest::newRow("below a plain file") << "user.ini/nms.lock";
}

void TestFrmMain::unusableLockPlaceIsNoSecondInstance()
{
    // When the lock file cannot be made at all, nothing tells of another
    // instance: start-up goes on instead of claiming one is running.
    QFETCH(QString, lockName);
    Harness h;
    h.writeDb(kTwoElements);
    h.ctx.lockPath = h.dir.filePath(lockName);
    frmMain& w = h.make();
    QCOMPARE(w.startUp(), frmMain::StartResult::Running);
    QVERIFY(h.prompt.done());
    QCOMPARE(TreeView1(w)->topLevelItemCount(), 2);
}

void TestFrmMain::writeFailureIsReported()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    // A database path below a plain file cannot be written, not even by root.
    const QString blocked = h.dir.filePath(QStringLiteral("nms.ini/nms.ini"));
    h.prompt.expect(QStringLiteral("Could not save the element database"));
    control<IniStore>(w, QStringLiteral("store"))
        ->write(QStringLiteral("2E8BF2000201"), QStringLiteral("name"), QStringLiteral("X"),
                blocked);
    QVERIFY(h.prompt.done());
    const PromptRequest& box = h.prompt.shown().first();
    QCOMPARE(box.icon, PromptIcon::Critical);
    QVERIFY(box.text.contains(QDir::toNativeSeparators(blocked)));
}

void TestFrmMain::snmpLeavesFromTheChosenInterface()
{
    Harness h;
    h.writeDb(kTwoElements);
    h.lister.list = QStringList{kNet.host(1), kNet.host(2)};
    h.settings->setNmsIpAddress(kNet.host(1));
    // A silent agent on loopback, on the port given to the program: the
    // request must come from the chosen interface, and the call ends empty
    // after the (shortened) wait.
    QUdpSocket agent;
    QVERIFY(agent.bind(QHostAddress(kNet.host(1)), 0));
    h.ctx.snmpLocalPort = 0;
    h.ctx.snmpAgentPort = agent.localPort();
    frmMain& w = h.start();
    cmbNMSIPAddr(w)->setCurrentIndex(1);

    QCOMPARE(control<SnmpTransport>(w)->GetSNMP(kNet.host(1), QStringLiteral("public01"), 15).value,
             QString());
    // The operator sees in the status bar who stayed silent.
    QCOMPARE(lastOutcome(w), QStringLiteral("No reply from ") + kNet.host(1));
    QTRY_VERIFY(agent.hasPendingDatagrams());
    const QNetworkDatagram request = agent.receiveDatagram();
    QCOMPARE(request.senderAddress(), QHostAddress(kNet.host(2)));
    QVERIFY(request.data().contains("public01"));
    QVERIFY(h.prompt.done());
}

void TestFrmMain::snmpFailureIsReported()
{
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    // Refused before anything is sent; the operator is told, once.
    h.prompt.expect(QStringLiteral("not an IPv4 address"));
    QCOMPARE(control<SnmpTransport>(w)
                 ->GetSNMP(QStringLiteral("no.such.host"), QStringLiteral("public01"), 15)
                 .value,
             QString());
    QVERIFY(h.prompt.done());
    QCOMPARE(h.prompt.shown().first().icon, PromptIcon::Critical);
}

namespace {
// Records what the ping button showed while the echo was under way.
class ProbingPinger : public Pinger {
public:
    std::function<void()> duringEcho;
    QString pinged;
    bool StartSockets() override { return true; }
    qint32 SendEcho(const QString& address, EchoReply& record) override
    {
        pinged = address;
        if (duringEcho)
            duringEcho();
        record.status = 0;
        record.roundTripMs = 7;
        return 0;
    }
    void StopSockets() override {}
};
} // namespace

// The ping button pings the shown element's agent address, shows "Trying..."
// while it waits, and does nothing with no element shown.
void TestFrmMain::pingButton()
{
    Harness h;
    ProbingPinger pinger;
    h.ctx.pinger = &pinger;
    h.writeDb(QByteArray(kTwoElements)
                  .replace("ROLE=2\r\n", "ROLE=2\r\nSNMPIP=" + kNet.host(29).toLatin1() + "\r\n"));
    frmMain& w = h.start();
    QPushButton* button = panel(w)->cmdPing;

    button->click();
    QVERIFY(pinger.pinged.isEmpty());

    h.clickNode(0);
    QString during;
    pinger.duringEcho = [&] { during = button->text() + QLatin1Char('|') + button->toolTip(); };
    button->click();
    QCOMPARE(pinger.pinged, kNet.host(29));
    QCOMPARE(during, QStringLiteral("Trying...|Ping to ") + kNet.host(29));
    QCOMPARE(button->text(), QStringLiteral("7 ms"));
    QCOMPARE(panel(w)->pingColour(), QColor(0, 255, 0));
    QVERIFY(h.prompt.done());
}

// ------------------------------------------------------------ remote protocol

void TestFrmMain::autoDiscoveryAsksFirst()
{
    // Faults: discovery, which empties the database, was offered to every
    // operator; on a loopback NMS interface it emptied the list and then
    // found nothing. The paging window is recorded, not run: its broadcast
    // must not leave this machine.
    Harness h;
    h.writeDb(kTwoElements);
    QStringList shown;
    h.ctx.runDialog = [&](QDialog& dialog) { shown << dialog.objectName(); };
    frmMain& w = h.start();
    QAction* fileEntry = menuCommand(w, QStringLiteral("actAutoDiscovery"));

    // Hidden until View > "Show remote protocol commands"; kept per user.
    QVERIFY(!action(w, "cmdAutoDiscovery")->isVisible() && !fileEntry->isVisible());
    action(w, "mnuShowRemoteCommands")->trigger();
    QVERIFY(action(w, "cmdAutoDiscovery")->isVisible() && fileEntry->isVisible());
    // An interface that is no loopback, chosen further down.
    h.lister.list << QStringLiteral("0.0.0.0");
    frmMain& again = h.restart();
    QVERIFY(action(again, "cmdAutoDiscovery")->isVisible());
    // After the seven buttons, which stay as they are.
    const QList<QAction*> actions = Toolbar1(again)->actions();
    QVERIFY(actions.indexOf(action(again, "cmdAutoDiscovery")) >
            actions.indexOf(toolbarButton(again, 7)));

    // On loopback: refused before the question, the list or the panel.
    h.clickNode(0);
    const QByteArray before = h.readDb();
    h.prompt.expect(QStringLiteral("it is a loopback address"));
    action(again, "cmdAutoDiscovery")->trigger();
    QVERIFY(h.prompt.done());
    QVERIFY(shown.isEmpty());
    QCOMPARE(h.readDb(), before);
    QCOMPARE(h.nodeTexts().size(), 2);
    QCOMPARE(panel(again)->lblElementMAC->text(), QStringLiteral("2E:8B:F2:00:02:01"));

    // Elsewhere it asks first (No as the default) and then runs.
    cmbNMSIPAddr(again)->setCurrentIndex(1);
    QCOMPARE(again.localNmsAddress(), QStringLiteral("0.0.0.0"));
    h.prompt.expect(QStringLiteral("Performing an 'Auto Discovery' will delete the local database "
                                   "in your computer and create a new one, based on the Network "
                                   "Elements found (if any). \rAre you sure?"),
                    PromptAnswer::No);
    fileEntry = menuCommand(again, QStringLiteral("actAutoDiscovery"));
    fileEntry->trigger();
    QVERIFY(h.prompt.done());
    QCOMPARE(h.prompt.shown().last().defaultAnswer, PromptAnswer::No);
    // The question says where the present database is kept.
    QVERIFY(h.prompt.shown().last().text.endsWith(
        QDir::toNativeSeparators(h.ctx.databasePath + QStringLiteral(".bak.")).prepend(' ')));
    QVERIFY(shown.isEmpty());
    QVERIFY(panel(again)->lblElementMAC->text() != QStringLiteral("-"));

    h.prompt.expect(QStringLiteral("Are you sure?"), PromptAnswer::Yes);
    remoteCommands(again).AutoDiscover();
    QCOMPARE(shown, QStringList{QStringLiteral("frmPaging")});
    QCOMPARE(panel(again)->lblElementMAC->text(), QStringLiteral("-"));

    // An empty database: no question.
    h.writeDb(QByteArray());
    h.prompt.expect(kEmptyDb);
    elements(again).RefreshElementList();
    h.prompt.expect(kEmptyDb);
    remoteCommands(again).AutoDiscover();
    QCOMPARE(shown.size(), 2);
    QVERIFY(h.prompt.done());
}

void TestFrmMain::waitingWindowEndsWithTheLookUp()
{
    class SlowTable : public MacResolver {
    public:
        int answerOnLookup = 0; // 0: never
        int lookups = 0;

    protected:
        bool lookup(quint32, QByteArray* out) override
        {
            if (++lookups != answerOnLookup)
                return false;
            *out = QByteArray::fromHex("2e8bf2000102");
            return true;
        }
    };
    Timings t;
    t.getMacMs = 5;
    SlowTable table;
    table.answerOnLookup = 2;
    {
        MacWait wait(table, t);
        frmWaiting window(wait, kNet.host(12));
        QCOMPARE(window.windowTitle(), QStringLiteral("Waiting remote response..."));
        window.exec();
        QCOMPARE(wait.result(), QStringLiteral("2E:8B:F2:00:01:02"));
        QCOMPARE(wait.getMACTimeoutCount, quint8(0));
        QCOMPARE(table.lookups, 2);
    }
    // Never found: the 21st tick still looks, then the window gives up.
    table.answerOnLookup = 0;
    table.lookups = 0;
    MacWait wait(table, t);
    frmWaiting window(wait, kNet.host(12));
    window.exec();
    QCOMPARE(wait.result(), QString());
    QCOMPARE(table.lookups, 21);
}

void TestFrmMain::remoteConfirmationShowsInThePanel()
{
    // The main window's side of a save confirmation: the panel's values are
    // what the reply is compared with, the waiting window finds the MAC, and
    // the confirmed read-outs reach the panel.
    class Table : public MacResolver {
    protected:
        bool lookup(quint32 address, QByteArray* out) override
        {
            if (address != QHostAddress(kNet.host(11)).toIPv4Address())
                return false;
            *out = QByteArray::fromHex("2e8bf2000101");
            return true;
        }
    };
    Table table;
    Harness h;
    h.ctx.macResolver = &table;
    h.ctx.timings.getMacMs = 5;
    QStringList shown;
    h.ctx.runDialog = [&](QDialog& dialog) {
        shown << dialog.objectName();
        dialog.exec();
    };
    h.writeDb(QStringLiteral("[2E8BF2000101]\r\nNAME=ENCODER ONE    \r\nROLE=1\r\nIP=%1\r\n"
                             "MASK=255.0.0.0\r\nGW=%2\r\nREMOTE=%3\r\nINPUT=1\r\nTYPE=0\r\n"
                             "TX=0\r\nVER=3.50\r\n")
                  .arg(kNet.host(11), kNet.host(1), kNet.host(21))
                  .toLatin1());
    frmMain& w = h.start();
    h.clickNode(0);
    QCOMPARE(remoteCommands(w).remotePanelState().remote, kNet.host(21));

    const auto octets = [](int last) {
        const quint32 a = QHostAddress(kNet.host(last)).toIPv4Address();
        return QByteArray::fromHex(QByteArray::number(a, 16).rightJustified(8, '0'));
    };
    const QByteArray reply = octets(11) + QByteArray::fromHex("ff000000") + octets(1) + octets(21) +
                             QByteArray::fromHex("01 00 00") + "ENCODER ONE     " +
                             QByteArray::fromHex("01 00000101 03 33 00 00 00");
    h.prompt.expect(QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    remoteCommands(w).protocol().HandleRemoteReply(reply);
    QVERIFY(h.prompt.done());
    QCOMPARE(shown, QStringList{QStringLiteral("frmWaiting")});
    QCOMPARE(panel(w)->lblSerialNumber->text(), QStringLiteral("257"));
    QCOMPARE(panel(w)->lblVersion->text(), QStringLiteral("3.51"));
    QVERIFY(h.readDb().contains("VER=3.51\r\n"));
    QCOMPARE(h.nodeTexts(), QStringList{QStringLiteral("ENCODER ONE [2E:8B:F2:00:01:01]")});
}

void TestFrmMain::levelMeterFollowsThePolling()
{
    // The meter end to end: the ticked box polls the shown element (its
    // stored "ip"), the element's level datagram on the endpoint moves the
    // bar, and unticking blanks the meter at once, also for a datagram that
    // was still on its way. Catches a meter that is never fed, requests sent
    // to another element, and a late datagram drawn after polling stopped.
    QUdpSocket element;
    const QString address = kNet.host(77);
    if (!element.bind(QHostAddress(address), 2977))
        QSKIP("port 2977 on the test's own address is taken by another program");
    const auto levelBlock = [](quint32 peak) {
        QByteArray d;
        for (int i = 0; i < 401; ++i) {
            const quint32 v = i == 200 ? peak : 0x800000; // the rest negative
            d.append(char(v >> 16)).append(char(v >> 8)).append(char(v));
        }
        return d;
    };
    QStringList asked;
    QHostAddress station;
    bool answering = true;
    connect(&element, &QUdpSocket::readyRead, &element, [&] {
        while (element.hasPendingDatagrams()) {
            const QNetworkDatagram d = element.receiveDatagram();
            asked << QString::fromLatin1(d.data());
            station = d.senderAddress();
            if (answering)
                element.writeDatagram(levelBlock(4194304), station, quint16(d.senderPort()));
        }
    });

    Harness h;
    h.writeDb(QStringLiteral("[2E8BF2000101]\r\nNAME=ENCODER ONE    \r\nROLE=1\r\nIP=%1\r\n"
                             "SNMPIP=%1\r\n[2E8BF2000201]\r\nNAME=OTHER          \r\nROLE=2\r\n"
                             "IP=%2\r\nSNMPIP=%2\r\n")
                  .arg(address, kNet.host(21))
                  .toLatin1());
    frmMain& w = h.start();
    control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->setLocalPort(0);
    action(w, "mnuShowLevelControl")->setChecked(true);
    h.clickNode(0);
    const auto shownPanel = panel(w);
    const PanelOfWindow& p = *shownPanel;
    QVERIFY(p.chkGetVolume->isVisible());

    p.chkGetVolume->click();
    QVERIFY(p.tmrVolume->isActive());
    QTRY_COMPARE(p.vuMeterWidthTwips(), 1050);
    QCOMPARE(p.lblVolume->text(), QStringLiteral("-6dBFS"));
    QVERIFY(asked.size() >= 1);
    QCOMPARE(asked.first(), QStringLiteral("VOL"));

    // Unticked while the next answer is on its way.
    answering = false;
    element.writeDatagram(levelBlock(0x7FFFFF), station,
                          control<RemoteEndpoint>(w, QStringLiteral("udpClient"))->boundPort());
    p.chkGetVolume->click();
    QCOMPARE(p.vuMeterWidthTwips(), 0);
    QCOMPARE(p.lblVolume->text(), QStringLiteral("-oodBFS"));
    QTRY_COMPARE(p.self->audioPeak(), 0x7FFFFF); // it arrived...
    QCOMPARE(p.vuMeterWidthTwips(), 0);          // ...and only blanked the meter
    const qsizetype polls = asked.size();
    QTest::qWait(150);
    QCOMPARE(asked.size(), polls);

    // A reload stops the polling as well.
    answering = true;
    p.chkGetVolume->click();
    QTRY_VERIFY(p.vuMeterWidthTwips() > 0);
    elements(w).RefreshElementList();
    QVERIFY(!p.tmrVolume->isActive());
    QCOMPARE(p.lblVolume->text(), QStringLiteral("-oodBFS"));
    QVERIFY(h.prompt.done());
}

void TestFrmMain::outcomesInStatusBarEventsWindowAndLog()
{
    // Faults: the status bar and the "Events" window telling different
    // things, an outcome not kept in events.log or not shown again at the
    // next start, a log that cannot be written silently losing the event.
    Harness h;
    h.writeDb(kTwoElements);
    frmMain& w = h.start();
    auto* dock = w.findChild<EventsDock*>(QStringLiteral("dockEvents"));
    QVERIFY(dock);
    QVERIFY(!dock->isVisible());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.menuBar()
                ->findChild<QMenu*>(QStringLiteral("mnuView"))
                ->actions()
                .contains(action(w, "mnuShowEvents")));
    action(w, "mnuShowEvents")->trigger();
    QVERIFY(dock->isVisible());
    auto* table = dock->findChild<QTableView*>(QStringLiteral("tblEvents"));
    QVERIFY(table);

    h.clickNode(1);
    h.prompt.expect(kDeleteQuestion, PromptAnswer::Yes);
    action(w, "mnuDeviceDelete")->trigger();
    QVERIFY(h.prompt.done());
    Event set;
    set.operation = QStringLiteral("set");
    set.outcome = QStringLiteral("ok");
    set.mac = QStringLiteral("2E:8B:F2:00:02:01");
    set.name = QStringLiteral("STUDIO A ENC");
    set.key = QStringLiteral("att");
    set.oldValue = QStringLiteral("255");
    set.newValue = QStringLiteral("200");
    w.postOutcome(set);
    QCOMPARE(lastOutcome(w), QStringLiteral("STUDIO A ENC att 255 -> 200"));

    const auto cell = [table](int row, int column) {
        return table->model()->index(row, column).data().toString();
    };
    QCOMPARE(table->model()->rowCount(), 2);
    QCOMPARE(cell(0, EventTableModel::Element), QStringLiteral("ENCODER ONE [2E:8B:F2:00:01:01]"));
    QCOMPARE(cell(0, EventTableModel::Operation), QStringLiteral("delete"));
    QCOMPARE(cell(0, EventTableModel::Outcome), QStringLiteral("ok"));
    QCOMPARE(cell(1, EventTableModel::Cause), QStringLiteral("att 255 -> 200"));
    const QList<Event> logged = EventLog(EventLog::pathFor(h.ctx.databasePath)).read();
    QCOMPARE(logged.size(), 2);
    QCOMPARE(OutcomeChannel::statusText(logged.at(0)), QStringLiteral("Deleted ENCODER ONE"));
    QCOMPARE(logged.at(1).key, QStringLiteral("att"));

    // The next start shows what the last one logged.
    frmMain& again = h.restart();
    QVERIFY(showAndStart(again));
    QAbstractItemModel* rows = again.findChild<QTableView*>(QStringLiteral("tblEvents"))->model();
    QCOMPARE(rows->rowCount(), 2);
    QCOMPARE(rows->index(1, EventTableModel::Cause).data().toString(),
             QStringLiteral("att 255 -> 200"));

    // A log that cannot be written: the outcome is still shown, and the
    // status bar's tip says the log did not take it.
    const QString logPath = EventLog::pathFor(h.ctx.databasePath);
    QVERIFY(QFile::remove(logPath));
    QVERIFY(QDir().mkdir(logPath));
    again.postOutcome(QStringLiteral("No reply from ") + kNet.host(1));
    QCOMPARE(lastOutcome(again), QStringLiteral("No reply from ") + kNet.host(1));
    QCOMPARE(rows->rowCount(), 3);
    QVERIFY2(statusLabel(again, "lblStatusOutcome")
                 ->toolTip()
                 .startsWith(QStringLiteral("Not written to the event log: ")),
             qPrintable(statusLabel(again, "lblStatusOutcome")->toolTip()));
}

void TestFrmMain::everyOperationShowsItsNewestOutcome()
{
    // Faults: an operation whose outcome never reaches the status bar (an
    // older failure staying there after a success), a SET the element
    // confirmed missing from the log or without its value before, and an
    // event a CLI run appends never shown in the "Events" window, or shown
    // twice.
    using namespace orvalink::testing;
    if (!QFileInfo(binPath("orvalink-sim")).isExecutable())
        QSKIP("orvalink-sim is not built");
    const QString answering = kNet.host(1);
    const QString silent = kNet.host(9);
    SimProcess sim;
    QVERIFY2(sim.start(kNet.agentPort(),
                       {QStringLiteral("decoder@") + answering, QStringLiteral("encoder@") + silent,
                        QStringLiteral("--silent"), silent}),
             qPrintable(sim.errors()));
    Harness h;
    h.ctx.snmpLocalPort = test::freeLoopbackPort(kNms);
    h.ctx.snmpAgentPort = kNet.agentPort();
    h.ctx.timings.snmpTimeoutMs = 100;
    h.ctx.timings.applyStartMs = 10;
    h.ctx.timings.applyStatusMs = 10;
    h.ctx.timings.eventsFollowMs = 20;
    QString probed;
    h.ctx.runDialog = [&](QDialog& dialog) {
        if (dialog.objectName() == QLatin1String("frmAddNewSNMP")) {
            dialog.findChild<QLineEdit*>("txtSNMPIpAddress")->setText(probed);
            dialog.findChild<QPushButton*>("cmdProbe")->click();
        } else if (dialog.objectName() == QLatin1String("frmSNMPProperties")) {
            dialog.findChild<QLineEdit*>("txtSNMPTrapIP")->setText(kNet.host(77));
            dialog.findChild<QPushButton*>("cmdModify")->click();
        } else {
            dialog.exec();
        }
    };
    h.prompt.expect(kEmptyDb);
    frmMain& w = h.start();
    probed = answering;
    menuCommand(w, QStringLiteral("actAddNewElement"))->trigger();
    QCOMPARE(TreeView1(w)->topLevelItemCount(), 1);
    probed = silent;
    menuCommand(w, QStringLiteral("actAddNewElement"))->trigger();
    QVERIFY2(lastOutcome(w).startsWith(QStringLiteral("Probe of ") + silent + " failed"),
             qPrintable(lastOutcome(w)));

    // Save changes: one SET, confirmed, with the stored value before it.
    h.clickNode(0);
    const QString name = panel(w)->txtElementName->text().trimmed();
    const int attBefore = panel(w)->scrlAtten->value();
    const int attAfter = attBefore == 200 ? 201 : 200;
    panel(w)->scrlAtten->setValue(attAfter);
    h.prompt.expect(QStringLiteral("This configuration will be sent"), PromptAnswer::Yes);
    h.prompt.expect(QStringLiteral("SUCCESS! 1 parameter changes applied."));
    menuCommand(w, QStringLiteral("actSaveChanges"))->trigger();
    QCOMPARE(lastOutcome(w), QStringLiteral("Save changes to %1: 1 value(s) confirmed").arg(name));

    const QString trapBefore = control<IniStore>(w, QStringLiteral("store"))
                                   ->read(Encode_MAC(panel(w)->lblElementMAC->text()),
                                          QStringLiteral("snmptr"), h.ctx.databasePath, QString());
    menuCommand(w, QStringLiteral("actDeviceProperties"))->trigger();
    QCOMPARE(lastOutcome(w), QStringLiteral("SNMP properties of %1 succeeded").arg(name));
    menuCommand(w, QStringLiteral("actRefreshList"))->trigger();
    QCOMPARE(lastOutcome(w), QStringLiteral("Refreshed: 1 elements"));
    QVERIFY(h.prompt.done());

    const QString logPath = EventLog::pathFor(h.ctx.databasePath);
    QStringList sets;
    for (const Event& e : EventLog(logPath).read()) {
        if (e.isSet())
            sets << OutcomeChannel::statusText(e);
    }
    QCOMPARE(sets, (QStringList{
                       QStringLiteral("%1 att %2 -> %3").arg(name).arg(attBefore).arg(attAfter),
                       QStringLiteral("%1 snmptr %2 -> %3").arg(name, trapBefore, kNet.host(77))}));

    // Another program's line reaches the window once; the window's own
    // lines are not read back as new ones.
    QAbstractItemModel* rows = w.findChild<QTableView*>(QStringLiteral("tblEvents"))->model();
    const int shown = rows->rowCount();
    QCOMPARE(shown, EventLog(logPath).read().size());
    Event cli;
    cli.operation = QStringLiteral("set");
    cli.outcome = QStringLiteral("ok");
    cli.name = name;
    cli.key = QStringLiteral("buf");
    cli.oldValue = QStringLiteral("10");
    cli.newValue = QStringLiteral("12");
    QVERIFY(EventLog(logPath).append(cli));
    QTRY_COMPARE(rows->rowCount(), shown + 1);
    QCOMPARE(rows->index(shown, EventTableModel::Cause).data().toString(),
             QStringLiteral("buf 10 -> 12"));
    QTest::qWait(100);
    QCOMPARE(rows->rowCount(), shown + 1);
}

// Faults: a window that binds the trap port, opens the poll socket or reads
// the event history before it is on the screen (start-up waits for them,
// and the design binds no port before the window is up), or that never
// starts them once it is shown.
void TestFrmMain::historyAndLiveStatusWaitForTheShownWindow()
{
    Harness h;
    h.writeDb("[2E8BF2000201]\r\nNAME=DECODER ONE    \r\nROLE=2\r\nSNMPIP=" +
              kNet.host(21).toLatin1() + "\r\n");
    Event earlier;
    earlier.operation = QStringLiteral("refresh");
    earlier.outcome = QStringLiteral("ok");
    earlier.cause = QStringLiteral("1 elements");
    QVERIFY(EventLog(EventLog::pathFor(h.ctx.databasePath)).append(earlier));
    quint16 trapPort = 0;
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(kNms), 0));
        trapPort = probe.localPort();
    }
    h.settings->setTrapPort(trapPort);
    h.settings->setStatusPolling(false); // no poll leaves
    h.ctx.liveStatus = true;
    const auto trapPortFree = [trapPort] {
        QUdpSocket other;
        return other.bind(QHostAddress(kNms), trapPort, QAbstractSocket::DontShareAddress);
    };

    frmMain& w = h.start();
    QAbstractItemModel* rows = control<QTableView>(w, QStringLiteral("tblEvents"))->model();
    QCOMPARE(rows->rowCount(), 0);
    QVERIFY(!statusView(w).isStarted());
    QVERIFY(trapPortFree());

    QVERIFY(showAndStart(w));
    QTRY_VERIFY(statusView(w).isStarted());
    QCOMPARE(rows->rowCount(), 1);
    QCOMPARE(rows->index(0, EventTableModel::Cause).data().toString(), earlier.cause);
    QVERIFY(!trapPortFree());
    // Shown again later: nothing starts twice.
    w.hide();
    QVERIFY(showAndStart(w));
    QCOMPARE(rows->rowCount(), 1);
    QVERIFY(h.prompt.done());
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
