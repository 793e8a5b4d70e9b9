// The production message boxes, the notice window, the address list order
// and the program's own command line.

#include "app/MessageBoxPrompt.h"
#include "app/frmDisclaimer.h"
#include "app/frmMain.h"
#include "common/SimProcess.h"
#include "core/InterfaceLister.h"
#include "core/UserSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace orvalink;

namespace {

// Runs check on the next modal window that appears, from the event loop of
// the modal call that is under way.
void onNextModal(std::function<void(QWidget*)> check)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, check] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            check(modal);
        }
    });
    poll->start();
}

// The test's loopback addresses: 127.0.142.x.
const orvalink::testing::SimNet kNet{142};

class OneAddress : public InterfaceLister {
public:
    QStringList addresses() override { return {kNet.host(1)}; }
};

} // namespace

class TestAppParts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void messageBox_data();
    void messageBox();
    void noticeWindowIsModalAndStoresEachClick();
    void addressesSortNumerically();
    void userSettingsNamesAndDefaults();
    void malformedOptions_data();
    void malformedOptions();
};

void TestAppParts::messageBox_data()
{
    QTest::addColumn<PromptIcon>("icon");
    QTest::addColumn<PromptButtons>("buttons");
    QTest::addColumn<PromptAnswer>("defaultAnswer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("press"); // standard button to click; 0: press Escape
    QTest::addColumn<PromptAnswer>("answer");
    QTest::addColumn<QMessageBox::Icon>("boxIcon");
    QTest::addColumn<QString>("shownTitle");

    const QString app = QStringLiteral("Quorvane Orvalink Manager");
    QTest::newRow("information ok")
        << PromptIcon::Information << PromptButtons::Ok << PromptAnswer::Ok << QString()
        << int(QMessageBox::Ok) << PromptAnswer::Ok << QMessageBox::Information << app;
    QTest::newRow("question yes") << PromptIcon::Question << PromptButtons::YesNo
                                  << PromptAnswer::No << QStringLiteral("Delete element")
                                  << int(QMessageBox::Yes) << PromptAnswer::Yes
                                  << QMessageBox::Question << QStringLiteral("Delete element");
    QTest::newRow("question escape is no")
        << PromptIcon::Question << PromptButtons::YesNo << PromptAnswer::No << QString() << 0
        << PromptAnswer::No << QMessageBox::Question << app;
    QTest::newRow("critical retry")
        << PromptIcon::Critical << PromptButtons::RetryCancel << PromptAnswer::Retry << QString()
        << int(QMessageBox::Retry) << PromptAnswer::Retry << QMessageBox::Critical << app;
    QTest::newRow("warning cancel")
        << PromptIcon::Warning << PromptButtons::YesNoCancel << PromptAnswer::Yes << QString()
        << int(QMessageBox::Cancel) << PromptAnswer::Cancel << QMessageBox::Warning << app;
}

void TestAppParts::messageBox()
{
    QFETCH(PromptIcon, icon);
    QFETCH(PromptButtons, buttons);
    QFETCH(PromptAnswer, defaultAnswer);
    QFETCH(QString, title);
    QFETCH(int, press);
    QFETCH(PromptAnswer, answer);
    QFETCH(QMessageBox::Icon, boxIcon);
    QFETCH(QString, shownTitle);

    MessageBoxPrompt prompt;
    bool seen = false;
    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->windowTitle(), shownTitle);
        QCOMPARE(box->icon(), boxIcon);
        // Carriage returns become line breaks; nothing else changes.
        QCOMPARE(box->text(), QStringLiteral("First line. \nSecond <b>line</b>."));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->standardButton(box->defaultButton()),
                 defaultAnswer == PromptAnswer::Yes     ? QMessageBox::Yes
                 : defaultAnswer == PromptAnswer::No    ? QMessageBox::No
                 : defaultAnswer == PromptAnswer::Retry ? QMessageBox::Retry
                                                        : QMessageBox::Ok);
        if (press == 0)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(QMessageBox::StandardButton(press))->click();
    });
    const PromptAnswer got = prompt.ask(PromptRequest{
        icon, title, QStringLiteral("First line. \rSecond <b>line</b>."), buttons, defaultAnswer});
    QVERIFY(seen);
    QCOMPARE(got, answer);
}

void TestAppParts::noticeWindowIsModalAndStoresEachClick()
{
    QTemporaryDir dir;
    UserSettings settings(dir.filePath(QStringLiteral("user.ini")));
    OneAddress interfaces;
    MessageBoxPrompt prompt;
    AppContext ctx;
    ctx.databasePath = dir.filePath(QStringLiteral("nms.ini"));
    ctx.prompt = &prompt;
    ctx.settings = &settings;
    ctx.interfaces = &interfaces;
    ctx.lockPath = dir.filePath(QStringLiteral("lock"));
    frmMain w(ctx);

    QStringList seen;
    QPoint off(-1000, -1000);
    // The notice comes first, then the empty-database message.
    onNextModal([&](QWidget* modal) {
        auto* notice = qobject_cast<frmDisclaimer*>(modal);
        QVERIFY(notice);
        seen << notice->windowTitle() << notice->lblHeading->text() << notice->chkAgree->text()
             << notice->cmdClose->text();
        QVERIFY(notice->lblText1->text().startsWith(QStringLiteral("Since NMS version 3.4.2,")));
        QVERIFY(notice->lblText2->text().startsWith(
            QStringLiteral("If you are not sure which version your Orvalink equipment has")));
        off = notice->geometry().center() - notice->screen()->availableGeometry().center();
        notice->chkAgree->click();
        QCOMPARE(settings.eula(), 1);
        notice->chkAgree->click();
        QCOMPARE(settings.eula(), 0);
        notice->chkAgree->click();
        QCOMPARE(settings.eula(), 1);
        onNextModal([&](QWidget* next) {
            auto* box = qobject_cast<QMessageBox*>(next);
            QVERIFY(box);
            seen << box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        });
        notice->cmdClose->click();
    });
    QCOMPARE(w.startUp(), frmMain::StartResult::Running);
    QCOMPARE(seen, (QStringList{"Orvalink NMS", "IMPORTANT NOTICE!",
                                "I have read and understood all the above. Do not show this "
                                "notification again.",
                                "&Close", "Information"}));
    QCOMPARE(settings.eula(), 1);
    // Centred on the screen, not on the main window that is not shown yet.
    QVERIFY2(off.manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
}

void TestAppParts::addressesSortNumerically()
{
    // Text order would put 10.x before 9.x and 127.0.0.10 before 127.0.0.2.
    const QStringList mixed{"127.0.0.10",    "10.0.0.1",  "127.0.0.2", // text only
                            "9.255.255.255", "127.0.0.2", "fe80::1",   // text only
                            "not an address"};
    QCOMPARE(sortIPv4Addresses(mixed),
             (QStringList{"9.255.255.255", "10.0.0.1", "127.0.0.2", "127.0.0.10"})); // text only
    const QStringList own = SystemInterfaceLister().addresses();
    QVERIFY(own.contains(QStringLiteral("127.0.0.1"))); // text only
    QCOMPARE(sortIPv4Addresses(own), own);
}

void TestAppParts::userSettingsNamesAndDefaults()
{
    // The per-user store the desktop program uses: application "Quorvane",
    // section "Orvalink SNMP". Other installations read the same names.
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    {
        UserSettings settings;
        QCOMPARE(settings.nmsIpAddress(), QStringLiteral("0.0.0.0"));
        QCOMPARE(settings.eula(), 0);
        settings.setNmsIpAddress(QStringLiteral("127.0.0.7")); // text only
        settings.setEula(true);
    }
    QSettings raw(QStringLiteral("Quorvane"), QStringLiteral("Quorvane"));
    raw.beginGroup(QStringLiteral("Orvalink SNMP"));
    QCOMPARE(raw.childKeys(), (QStringList{"EULA1", "NMS IP Address"}));
    QCOMPARE(raw.value(QStringLiteral("NMS IP Address")).toString(),
             QStringLiteral("127.0.0.7")); // text only
    QCOMPARE(raw.value(QStringLiteral("EULA1")).toString(), QStringLiteral("1"));
    raw.setValue(QStringLiteral("EULA1"), QStringLiteral("0"));
    raw.sync();
    QCOMPARE(UserSettings().eula(), 0);
}

void TestAppParts::malformedOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("--db at the end")
        << QStringList{"GPS", "--db"} << QByteArray("--db needs the path");
    QTest::newRow("--db= empty") << QStringList{"--db="} << QByteArray("--db needs the path");
    QTest::newRow("--snmp-port at the end")
        << QStringList{"--snmp-port"} << QByteArray("--snmp-port needs");
    QTest::newRow("--snmp-port=0")
        << QStringList{"--snmp-port=0"} << QByteArray("--snmp-port needs");
    QTest::newRow("--snmp-port word")
        << QStringList{"--snmp-port", "LL"} << QByteArray("--snmp-port needs");
}

void TestAppParts::malformedOptions()
{
    QFETCH(QStringList, args);
    // Refused before any window or file is touched.
    const QString bin = qEnvironmentVariable("ORVALINK_BIN_DIR") + QStringLiteral("/orvalink-nms");
    if (!QFile::exists(bin))
        QSKIP("orvalink-nms is not built in ORVALINK_BIN_DIR");
    QProcess p;
    p.start(bin, QStringList{"-platform", "offscreen"} + args);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 2);
    QFETCH(QByteArray, message);
    QVERIFY(p.readAllStandardError().contains(message));
}

QTEST_MAIN(TestAppParts)
#include "tst_appparts.moc"
