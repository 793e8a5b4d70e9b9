// The windows of the probe and the apply, offscreen, driving the real
// operations against orvalink-sim on loopback (a net of its own): field checks
// and colours, button enabling, Close during a probe, "Save changes" from
// the main window through frmSendSNMP, and both on a full disk.

#include "app/MainWindowControls.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "common/SmallDisk.h"
#include "core/InterfaceLister.h"
#include "core/UserSettings.h"
#include "devops/ProbeOperation.h"
#include "dialogs/frmAddNewSNMP.h"
#include "dialogs/frmSendSNMP.h"
#include "panel/Fields.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace orvalink;
using namespace orvalink::testing;
using orvalink::testing::ScriptedPrompt;
using orvalink::testing::SimProcess;

namespace {

const testing::SimNet kNet{140};
const QString kNms = kNet.host(100);
const QString kEncoder = kNet.host(1);
const QString kDecoder = kNet.host(2);

Timings shortTimings()
{
    Timings t;
    t.snmpTimeoutMs = 300;
    t.snmpSetAllowedMs = 60;
    t.applyStartMs = 20;
    t.applyStatusMs = 10;
    return t;
}

class OneLister : public InterfaceLister {
public:
    QStringList addresses() override { return {kNms}; }
};

// ScriptedPrompt with a look at the screen while a box is up.
class PeekingPrompt : public ScriptedPrompt {
public:
    std::function<void(const PromptRequest&)> peek;
    PromptAnswer ask(const PromptRequest& request) override
    {
        if (peek)
            peek(request);
        return ScriptedPrompt::ask(request);
    }
};

template <typename T> T* child(QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QLatin1String(name));
    if (!c)
        QTest::qFail(name, __FILE__, __LINE__);
    return c;
}

} // namespace

class TestDevopsWindows : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    SimProcess sim;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }

private Q_SLOTS:
    void initTestCase()
    {
        if (!testing::mayBindAgentPort())
            QSKIP("the simulated agents need port 161: run as root");
        QVERIFY(sim.start(
            {QStringLiteral("encoder@") + kEncoder, QStringLiteral("decoder@") + kDecoder}));
    }

    // Catches: a field rule that colours without disabling Probe (or the
    // reverse), the progress frame shown before a probe, Probe left disabled
    // after one, a probe going on (and writing) after Close.
    void addNewElement()
    {
        QFile::remove(dbPath());
        IniStore store;
        Database db(store, dbPath());
        ScriptedPrompt prompt;
        SnmpTransport snmp(shortTimings());
        snmp.setLocalAddress(kNms);
        ProbeOperation probe(snmp, db, prompt, shortTimings());
        frmAddNewSNMP dialog(probe);
        dialog.show();
        auto* address = child<QLineEdit>(dialog, "txtSNMPIpAddress");
        auto* community = child<QLineEdit>(dialog, "txtSNMPReadOnlyCommunity");
        auto* cmdProbe = child<QPushButton>(dialog, "cmdProbe");
        auto* progressFrame = child<QGroupBox>(dialog, "fraProgress");
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add new element"));
        QCOMPARE(address->text(), QStringLiteral("192.168.1.15"));
        QCOMPARE(community->text(), ProbeOperation::kDefaultCommunity);
        QVERIFY(cmdProbe->isEnabled());
        QVERIFY(!progressFrame->isVisible());
        const int closedHeight = dialog.height();

        community->setText(QStringLiteral("morqubi"));
        QVERIFY(fields::isMarkedInvalid(community));
        QVERIFY(!cmdProbe->isEnabled());
        address->setText(QStringLiteral("127.0.94."));
        community->setText(QStringLiteral("morqubit"));
        QVERIFY(!fields::isMarkedInvalid(community));
        QVERIFY(fields::isMarkedInvalid(address));
        QVERIFY(!cmdProbe->isEnabled());
        address->setText(QString());
        QVERIFY(!fields::isMarkedInvalid(address));
        QVERIFY(cmdProbe->isEnabled());

        address->setText(kEncoder);
        QTest::mouseClick(cmdProbe, Qt::LeftButton);
        QCOMPARE(child<QLabel>(dialog, "lblStatus")->text(),
                 QStringLiteral("Status: Finished with SUCCESS!"));
        QCOMPARE(child<QProgressBar>(dialog, "pgBar1")->value(), 27);
        QVERIFY(cmdProbe->isEnabled());
        QVERIFY(progressFrame->isVisible());
        QVERIFY(dialog.height() > closedHeight);

        // Close while the decoder's audio source is read: the probe ends
        // there, the window closes, and nothing of it is written.
        address->setText(kDecoder);
        connect(&probe, &ProbeOperation::statusChanged, this, [&](const QString& s) {
            if (s == QLatin1String("Status: Getting device audio source"))
                child<QPushButton>(dialog, "cmdCancel")->click();
        });
        QTest::mouseClick(cmdProbe, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        const QString dec = Encode_MAC(kNet.mac(2));
        QVERIFY(!db.sectionExists(dec));
    }

    // Catches: "Save changes" sending without asking or after a refusal,
    // the window's status line not following the count, the panel not shown
    // again from the database at the same tree position afterwards.
    void saveChangesThroughTheProgressWindow()
    {
        QFile::remove(dbPath());
        PeekingPrompt prompt;
        UserSettings settings(dir.filePath(QStringLiteral("user.ini")));
        settings.setEula(true);
        settings.setNmsIpAddress(kNms);
        OneLister lister;
        AppContext ctx;
        ctx.databasePath = dbPath();
        ctx.prompt = &prompt;
        ctx.settings = &settings;
        ctx.interfaces = &lister;
        ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
        ctx.timings = shortTimings();
        ctx.showNotice = [](UserSettings&, QWidget*) {};
        QString title, firstStatus;
        ctx.runDialog = [&](QDialog& d) {
            if (auto* add = qobject_cast<frmAddNewSNMP*>(&d)) {
                child<QLineEdit>(*add, "txtSNMPIpAddress")->setText(kDecoder);
                child<QPushButton>(*add, "cmdProbe")->click();
                return;
            }
            title = d.windowTitle();
            firstStatus = child<QLabel>(d, "lblStatus")->text();
            d.exec();
        };
        prompt.expect(QStringLiteral("Local database is empty."));
        frmMain w(ctx);
        QCOMPARE(w.startUp(), frmMain::StartResult::Running);
        toolbarButton(w, 1)->trigger(); // Add new element: probes the decoder
        QCOMPARE(TreeView1(w)->topLevelItemCount(), 1);
        QTreeWidgetItem* node = TreeView1(w)->topLevelItem(0);
        TreeView1(w)->setCurrentItem(node);
        elements(w).TreeView1_NodeClick(node);

        panel(w)->txtElementIP->setText(QStringLiteral("127.0.94."));
        prompt.expect(
            QStringLiteral("Please verify that all IP fields are correct!\rCannot save."));
        toolbarButton(w, 5)->trigger();
        QCOMPARE(prompt.shown().last().title, QStringLiteral("Error!"));
        QVERIFY(title.isEmpty());

        panel(w)->txtElementIP->setText(kDecoder);
        panel(w)->txtElementName->setText(QStringLiteral("STUDIO 2"));
        panel(w)->scrlAtten->setValue(255);
        QString statusAtReport;
        prompt.peek = [&](const PromptRequest& r) {
            if (r.text.startsWith(QLatin1String("SUCCESS")))
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* s = qobject_cast<frmSendSNMP*>(top))
                        statusAtReport = child<QLabel>(*s, "lblStatus")->text();
        };
        prompt.expect(QStringLiteral("This configuration will be sent"), PromptAnswer::Yes);
        prompt.expect(QStringLiteral("SUCCESS! 2 parameter changes applied."));
        toolbarButton(w, 5)->trigger();
        QCOMPARE(title, QStringLiteral("Please wait..."));
        QCOMPARE(firstStatus, QStringLiteral("Preparing..."));
        QCOMPARE(statusAtReport, QStringLiteral("2 parameter(s) successful"));
        QVERIFY(prompt.done());

        QCOMPARE(TreeView1(w)->selectedItems().size(), 1);
        QCOMPARE(TreeView1(w)->indexOfTopLevelItem(TreeView1(w)->selectedItems().first()), 0);
        QCOMPARE(TreeView1(w)->topLevelItem(0)->text(0),
                 QStringLiteral("STUDIO 2 [%1]").arg(kNet.mac(2)));
        QCOMPARE(panel(w)->txtElementName->text(), QStringLiteral("STUDIO 2"));
        QCOMPARE(panel(w)->scrlAtten->value(), 255);
    }

    // Catches: a database write that failed (a full disk) after the element
    // answered or took a value shown as a success, or told twice (the main
    // window's own box on top of the device window's).
    void failedWriteIsOneBoxWithItsCause()
    {
        const orvalink::testing::SmallDisk mountPoint;
        if (!mountPoint.mounted())
            QSKIP("mounting a small tmpfs needs root");
        ScriptedPrompt prompt;
        UserSettings settings(dir.filePath(QStringLiteral("user.ini")));
        settings.setEula(true);
        settings.setNmsIpAddress(kNms);
        OneLister lister;
        AppContext ctx;
        ctx.databasePath = mountPoint.filePath(QStringLiteral("nms.ini"));
        ctx.prompt = &prompt;
        ctx.settings = &settings;
        ctx.interfaces = &lister;
        ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
        ctx.timings = shortTimings();
        ctx.showNotice = [](UserSettings&, QWidget*) {};
        QString probed = kDecoder;
        ctx.runDialog = [&](QDialog& d) {
            if (auto* add = qobject_cast<frmAddNewSNMP*>(&d)) {
                child<QLineEdit>(*add, "txtSNMPIpAddress")->setText(probed);
                child<QPushButton>(*add, "cmdProbe")->click();
                return;
            }
            d.exec();
        };
        prompt.expect(QStringLiteral("Local database is empty."));
        frmMain w(ctx);
        QCOMPARE(w.startUp(), frmMain::StartResult::Running);
        toolbarButton(w, 1)->trigger();
        QTreeWidgetItem* node = TreeView1(w)->topLevelItem(0);
        QVERIFY(node);
        TreeView1(w)->setCurrentItem(node);
        elements(w).TreeView1_NodeClick(node);

        QFile filler(mountPoint.filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.close();

        panel(w)->txtElementName->setText(QStringLiteral("STUDIO 3"));
        prompt.expect(QStringLiteral("This configuration will be sent"), PromptAnswer::Yes);
        prompt.expect(QStringLiteral("The element took name=STUDIO 3, but ") + ctx.databasePath +
                      QStringLiteral(" could not be written: No space left on device"));
        toolbarButton(w, 5)->trigger();

        probed = kEncoder;
        prompt.expect(QStringLiteral("The element answered the probe, but ") + ctx.databasePath +
                      QStringLiteral(" could not be written: No space left on device"));
        toolbarButton(w, 1)->trigger();
        QVERIFY(prompt.done());
        QCOMPARE(TreeView1(w)->topLevelItemCount(), 1);
        QCOMPARE(prompt.shown().last().icon, PromptIcon::Critical);
    }
};

QTEST_MAIN(TestDevopsWindows)
#include "tst_devopswindows.moc"
