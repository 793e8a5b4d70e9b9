// The main window's configuration commands against orvalink-sim on loopback
// (127.0.107.x): Export configuration, Import configuration, Apply to
// selected, and Delete under a selection of several rows.

#include "app/MainWindowControls.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompt.h"
#include "common/SimProcess.h"
#include "core/InterfaceLister.h"
#include "core/UserSettings.h"
#include "snmp/SnmpTestUtil.h"
#include "store/EventLog.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

// The test's simulated elements: 127.0.107.x; the station is host(250).
const SimNet kNet{107};
const QString kNms = kNet.host(250);
quint16 agentPort()
{
    return kNet.agentPort();
}

class FakeLister : public InterfaceLister {
public:
    QStringList addresses() override { return {kNms}; }
};

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

// A backup without its time line (two reads are never at the same second).
QString withoutTime(QString text)
{
    static const QRegularExpression time(QStringLiteral("; time: [^\r\n]*\r\n"));
    return text.remove(time);
}

QStringList tableRow(const QTableWidget* table, int row)
{
    QStringList out;
    for (int c = 0; c < table->columnCount(); ++c)
        out << (table->item(row, c) ? table->item(row, c)->text() : QString());
    return out;
}

} // namespace

class TestConfigWindow : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString dbPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    ProgramRun cli(const QStringList& args)
    {
        return runCli(QStringList{QStringLiteral("--db"), dbPath(), QStringLiteral("--nms"), kNms,
                                  QStringLiteral("--port"), QString::number(agentPort())} +
                      args);
    }
    // The stored value of key in the element's section.
    QString stored(int last, const QString& key) const
    {
        const QString text = readText(dbPath());
        const qsizetype at = text.indexOf(QLatin1Char('[') + kNet.section(last) + QLatin1Char(']'));
        const qsizetype end = text.indexOf(QLatin1Char('['), at + 1);
        const QRegularExpression re(QStringLiteral("\\n%1=([^\\r\\n]*)").arg(key.toUpper()));
        const auto m = re.match(text.mid(at, end < 0 ? -1 : end - at));
        return m.hasMatch() ? m.captured(1) : QString();
    }

private Q_SLOTS:
    // Catches, by part:
    // export: a file that differs from what `orvalink-cli backup` writes
    //   (a parameter missing, another header), that others may read, a
    //   failed write reported as written, a silent element counted as
    //   exported by Export all;
    // import: another element's file taken, a change sent before the
    //   operator saw the list or after
    //   Cancel, a value the element already holds sent again, a change not
    //   confirmed yet stored, a confirmed change missing from the log;
    // apply to selected: a silent element that stops the others or is
    //   counted as done, a value stored that no element confirmed, no total;
    // Delete: with two rows selected it deletes (or asks about) one of them,
    //   and the panel does not follow the current row of a selection.
    void exportImportApplyDelete()
    {
        if (!QFileInfo(binPath("orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        SimProcess sim;
        QVERIFY2(sim.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(1),
                                         QStringLiteral("decoder@") + kNet.host(2),
                                         QStringLiteral("decoder@") + kNet.host(9),
                                         QStringLiteral("--silent"), kNet.host(9)}),
                 qPrintable(sim.errors()));
        for (const int i : {1, 2})
            QCOMPARE(cli({QStringLiteral("probe"), kNet.host(i)}).exitCode, 0);
        {
            // Stored as it was before it fell silent.
            QFile f(dbPath());
            QVERIFY(f.open(QIODevice::Append));
            f.write(QStringLiteral("[%1]\r\nNAME=DECODER 9\r\nROLE=2\r\nATT=200\r\nSNMPIP=%2\r\n")
                        .arg(kNet.section(9), kNet.host(9))
                        .toLatin1());
        }

        ScriptedPrompt prompt;
        UserSettings settings(dir.filePath(QStringLiteral("user.ini")));
        settings.setEula(true);
        settings.setNmsIpAddress(kNms);
        FakeLister lister;
        AppContext ctx;
        ctx.databasePath = dbPath();
        ctx.prompt = &prompt;
        ctx.settings = &settings;
        ctx.interfaces = &lister;
        ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
        ctx.showNotice = [](UserSettings&, QWidget*) {};
        ctx.snmpLocalPort = test::freeLoopbackPort(kNms);
        ctx.snmpAgentPort = agentPort();
        // Long enough for a reply while the whole suite runs side by side.
        ctx.timings.snmpTimeoutMs = 600;
        ctx.timings.snmpSetAllowedMs = 50;
        ctx.timings.applyStartMs = 10;
        ctx.timings.applyStatusMs = 10;
        QString chosen;
        ctx.chooseFile = [&](const AppContext::FileQuestion&) { return chosen; };
        bool sendChanges = false;
        QList<QStringList> changes;
        QStringList progressRows;
        QString progressTotal;
        ctx.runDialog = [&](QDialog& dialog) {
            const QString name = dialog.objectName();
            if (name == QLatin1String("ConfigChangesDialog")) {
                auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tblChanges"));
                changes.clear();
                for (int r = 0; r < table->rowCount(); ++r)
                    changes << tableRow(table, r);
                dialog
                    .findChild<QPushButton*>(sendChanges ? QStringLiteral("cmdOK")
                                                         : QStringLiteral("cmdCancel"))
                    ->click();
            } else if (name == QLatin1String("ApplySelectedDialog")) {
                dialog.findChild<QComboBox*>(QStringLiteral("cmbKey"))
                    ->setCurrentText(QStringLiteral("att"));
                dialog.findChild<QLineEdit*>(QStringLiteral("txtValue"))
                    ->setText(QStringLiteral("170"));
                dialog.findChild<QPushButton*>(QStringLiteral("cmdAdd"))->click();
                dialog.findChild<QPushButton*>(QStringLiteral("cmdApply"))->click();
            } else if (name == QLatin1String("ConfigProgressDialog")) {
                dialog.show();
                auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cmdClose"));
                QTRY_VERIFY_WITH_TIMEOUT(close->isEnabled() || !dialog.isVisible(), 10000);
                auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tblProgress"));
                progressRows.clear();
                for (int r = 0; r < table->rowCount(); ++r)
                    progressRows << tableRow(table, r).join(QLatin1Char('|'));
                progressTotal = dialog.findChild<QLabel*>(QStringLiteral("lblTotal"))->text();
                dialog.accept();
            } else {
                dialog.exec();
            }
        };
        frmMain w(ctx);
        QCOMPARE(w.startUp(), frmMain::StartResult::Running);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* tree = TreeView1(w);
        QCOMPARE(tree->topLevelItemCount(), 3);
        const auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
            QTreeWidgetItem* node = tree->topLevelItem(row);
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers,
                              tree->visualItemRect(node).center());
        };

        // Export: the same file as the command line's backup, owner only.
        click(0);
        QCOMPARE(panel(w)->lblElementMAC->text(), kNet.mac(1));
        chosen = dir.filePath(QStringLiteral("window.ini"));
        menuCommand(w, QStringLiteral("actExportConfiguration"))->trigger();
        QVERIFY2(lastOutcome(w).startsWith(QStringLiteral("Backup of DECODER 1: written to")),
                 qPrintable(lastOutcome(w)));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("cli"))));
        QCOMPARE(cli({QStringLiteral("backup"), kNet.mac(1), QStringLiteral("--dir"),
                      dir.filePath(QStringLiteral("cli"))})
                     .exitCode,
                 0);
        const QStringList cliFiles =
            QDir(dir.filePath(QStringLiteral("cli"))).entryList(QDir::Files);
        QCOMPARE(cliFiles.size(), 1);
        const QString exported = readText(chosen);
        QVERIFY(exported.contains(QStringLiteral("\r\nATT=200\r\n")));
        QCOMPARE(withoutTime(exported),
                 withoutTime(readText(dir.filePath(QStringLiteral("cli/")) + cliFiles.first())));
        QCOMPARE(int(QFile::permissions(chosen) & 0x00FF), 0); // nothing for group or others

        // A file that cannot be written is a failure, never "written".
        chosen = dir.filePath(QStringLiteral("missing/window.ini"));
        prompt.expect(QStringLiteral("was not written"));
        menuCommand(w, QStringLiteral("actExportConfiguration"))->trigger();
        QVERIFY2(lastOutcome(w).startsWith(QStringLiteral("Backup of DECODER 1 failed: ")),
                 qPrintable(lastOutcome(w)));
        chosen = dir.filePath(QStringLiteral("window.ini"));

        // Export all: the silent element is named with its cause, not counted.
        chosen = dir.filePath(QStringLiteral("all"));
        QVERIFY(QDir().mkpath(chosen));
        prompt.expect(QStringLiteral("2 of 3 configurations written"));
        menuCommand(w, QStringLiteral("actExportAll"))->trigger();
        QCOMPARE(QDir(chosen).entryList(QDir::Files).size(), 2);
        QVERIFY2(
            prompt.shown().last().text.contains(
                QStringLiteral("DECODER 9 [%1]: no reply from %2").arg(kNet.mac(9), kNet.host(9))),
            qPrintable(prompt.shown().last().text));
        chosen = dir.filePath(QStringLiteral("window.ini"));

        // Another element's file is refused before the element is read.
        click(1);
        qsizetype gets = sim.requests(QStringLiteral("GET")).size();
        prompt.expect(QStringLiteral("the file is the configuration of %1, not of %2")
                          .arg(kNet.mac(1), kNet.mac(2)));
        menuCommand(w, QStringLiteral("actImportConfiguration"))->trigger();
        QCOMPARE(sim.requests(QStringLiteral("GET")).size(), gets);
        QVERIFY(prompt.done());

        // Import: the element changed behind the window's back.
        QCOMPARE(cli({QStringLiteral("apply"), kNet.mac(1), QStringLiteral("att=150"),
                      QStringLiteral("sdl=50"), QStringLiteral("--yes"),
                      QStringLiteral("--spacing-ms"), QStringLiteral("0")})
                     .exitCode,
                 0);
        menuCommand(w, QStringLiteral("actRefreshList"))->trigger();
        click(0);
        qsizetype sets = sim.requests(QStringLiteral("SET")).size();
        menuCommand(w, QStringLiteral("actImportConfiguration"))->trigger();
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(0).at(0), QStringLiteral("att"));
        QVERIFY2(changes.at(0).at(1).endsWith(QStringLiteral("(150)")) &&
                     changes.at(0).at(2).endsWith(QStringLiteral("(200)")) &&
                     changes.at(0).at(2) != QStringLiteral("200"),
                 qPrintable(changes.at(0).join(QLatin1Char('|'))));
        QCOMPARE(changes.at(1).at(0), QStringLiteral("sdl"));
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), sets);
        QCOMPARE(lastOutcome(w),
                 QStringLiteral("Restore to DECODER 1 cancelled: not confirmed; nothing sent"));

        sendChanges = true;
        prompt.expect(QStringLiteral("SUCCESS! 2 parameter changes applied."));
        menuCommand(w, QStringLiteral("actImportConfiguration"))->trigger();
        QCOMPARE(sim.requests(QStringLiteral("SET")).size(), sets + 2);
        QCOMPARE(lastOutcome(w), QStringLiteral("Restore to DECODER 1: 2 value(s) confirmed"));
        QCOMPARE(stored(1, QStringLiteral("att")), QStringLiteral("200"));
        QCOMPARE(cli({QStringLiteral("diff"), kNet.mac(1)}).exitCode, 0);
        QStringList logged;
        for (const Event& e : control<EventLog>(w)->read({}, kNet.mac(1))) {
            if (e.isSet() && e.operation == QLatin1String("set"))
                logged << e.key + ' ' + e.oldValue + QStringLiteral(" -> ") + e.newValue;
        }
        QVERIFY2(logged.contains(QStringLiteral("att 150 -> 200")), qPrintable(logged.join(',')));

        // Apply to selected: two live elements and a silent one.
        click(0);
        click(2, Qt::ShiftModifier);
        QCOMPARE(tree->selectedItems().size(), 3);
        QCOMPARE(panel(w)->lblElementMAC->text(), kNet.mac(9));
        sets = sim.requests(QStringLiteral("SET")).size();
        prompt.expect(QStringLiteral("sent to 3 Network Elements"), PromptAnswer::Yes);
        menuCommand(w, QStringLiteral("actApplyToSelected"))->trigger();
        QCOMPARE(
            progressRows,
            (QStringList{QStringLiteral("DECODER 1 [%1]|done|1 of 1 confirmed").arg(kNet.mac(1)),
                         QStringLiteral("DECODER 2 [%1]|done|1 of 1 confirmed").arg(kNet.mac(2)),
                         QStringLiteral("DECODER 9 [%1]|failed|0 of 1 confirmed (no reply "
                                        "from %2)")
                             .arg(kNet.mac(9), kNet.host(9))}));
        QCOMPARE(
            progressTotal,
            QStringLiteral("total: 3 elements, 2 all confirmed, 1 failed, 0 nothing to apply"));
        QCOMPARE(stored(1, QStringLiteral("att")), QStringLiteral("170"));
        QCOMPARE(stored(2, QStringLiteral("att")), QStringLiteral("170"));
        QCOMPARE(stored(9, QStringLiteral("att")), QStringLiteral("200"));
        QVERIFY2(lastOutcome(w).startsWith(QStringLiteral("Save changes to DECODER ")),
                 qPrintable(lastOutcome(w)));
        QVERIFY(prompt.done());

        // Delete with two rows selected: nothing asked, nothing deleted; the
        // panel shows the current row.
        click(0);
        click(1, Qt::ControlModifier);
        QCOMPARE(tree->selectedItems().size(), 2);
        QCOMPARE(panel(w)->lblElementMAC->text(), kNet.mac(2));
        const QString before = readText(dbPath());
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Delete);
        menuCommand(w, QStringLiteral("actDeleteElement"))->trigger();
        toolbarButton(w, 7)->trigger();
        QCOMPARE(readText(dbPath()), before);
        QCOMPARE(tree->topLevelItemCount(), 3);
        QVERIFY(prompt.done());
    }

    // Catches: Apply to selected configuring whatever answers at a stale
    // address (a section whose SNMP address another element holds now) and
    // storing that element's new values under the stale section; the stale
    // element's refusal stopping the others.
    void applyToSelectedChecksWhoAnswers()
    {
        if (!QFileInfo(binPath("orvalink-sim")).isExecutable())
            QSKIP("orvalink-sim is not built");
        SimProcess first;
        SimProcess second;
        QVERIFY2(first.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(31)}),
                 qPrintable(first.errors()));
        QVERIFY2(second.start(agentPort(), {QStringLiteral("decoder@") + kNet.host(32)}),
                 qPrintable(second.errors()));
        const QString db = dir.filePath(QStringLiteral("stale.ini"));
        for (const int i : {31, 32})
            QCOMPARE(runCli({QStringLiteral("--db"), db, QStringLiteral("--nms"), kNet.host(250),
                             QStringLiteral("--port"), QString::number(agentPort()),
                             QStringLiteral("probe"), kNet.host(i)})
                         .exitCode,
                     0);
        QString text = readText(db);
        const QString right = QStringLiteral("SNMPIP=%1\r\n").arg(kNet.host(31));
        QVERIFY(text.contains(right));
        text.replace(right, QStringLiteral("SNMPIP=%1\r\n").arg(kNet.host(32)));
        {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text.toLatin1());
        }

        ScriptedPrompt prompt;
        UserSettings settings(dir.filePath(QStringLiteral("stale-user.ini")));
        settings.setEula(true);
        FakeLister lister;
        AppContext ctx;
        ctx.databasePath = db;
        ctx.prompt = &prompt;
        ctx.settings = &settings;
        ctx.interfaces = &lister;
        ctx.lockPath = dir.filePath(QStringLiteral("stale.lock"));
        ctx.showNotice = [](UserSettings&, QWidget*) {};
        ctx.snmpLocalPort = test::freeLoopbackPort(kNms);
        ctx.snmpAgentPort = agentPort();
        ctx.timings.snmpTimeoutMs = 150;
        ctx.timings.snmpSetAllowedMs = 50;
        QStringList rows;
        ctx.runDialog = [&](QDialog& dialog) {
            if (dialog.objectName() == QLatin1String("ApplySelectedDialog")) {
                dialog.findChild<QComboBox*>(QStringLiteral("cmbKey"))
                    ->setCurrentText(QStringLiteral("att"));
                dialog.findChild<QLineEdit*>(QStringLiteral("txtValue"))
                    ->setText(QStringLiteral("170"));
                dialog.findChild<QPushButton*>(QStringLiteral("cmdAdd"))->click();
                dialog.findChild<QPushButton*>(QStringLiteral("cmdApply"))->click();
            } else if (dialog.objectName() == QLatin1String("ConfigProgressDialog")) {
                dialog.show();
                auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cmdClose"));
                QTRY_VERIFY_WITH_TIMEOUT(close->isEnabled() || !dialog.isVisible(), 10000);
                auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tblProgress"));
                for (int r = 0; r < table->rowCount(); ++r)
                    rows << tableRow(table, r).join(QLatin1Char('|'));
                dialog.accept();
            }
        };
        frmMain w(ctx);
        QCOMPARE(w.startUp(), frmMain::StartResult::Running);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* tree = TreeView1(w);
        QCOMPARE(tree->topLevelItemCount(), 2);
        tree->selectAll();
        prompt.expect(QStringLiteral("sent to 2 Network Elements"), PromptAnswer::Yes);
        menuCommand(w, QStringLiteral("actApplyToSelected"))->trigger();
        rows.sort();
        QCOMPARE(rows,
                 (QStringList{
                     QStringLiteral("DECODER 31 [%1]|failed|0 of 1 confirmed (the element "
                                    "at %2 is %3, not %1)")
                         .arg(kNet.mac(31), kNet.host(32), kNet.mac(32)),
                     QStringLiteral("DECODER 32 [%1]|done|1 of 1 confirmed").arg(kNet.mac(32))}));
        QCOMPARE(second.requests(QStringLiteral("SET")).size(), 1);
        QVERIFY(first.requests(QStringLiteral("SET")).isEmpty());
        QVERIFY(readText(db).contains(QStringLiteral("[%1]").arg(kNet.section(31))));
        const QString stale = readText(db)
                                  .section(QStringLiteral("[%1]").arg(kNet.section(31)), 1)
                                  .section(QLatin1Char('['), 0, 0);
        QVERIFY2(stale.contains(QStringLiteral("\r\nATT=200\r\n")), qPrintable(stale));
        QVERIFY(prompt.done());
    }
};

QTEST_MAIN(TestConfigWindow)
#include "tst_configwindow.moc"
