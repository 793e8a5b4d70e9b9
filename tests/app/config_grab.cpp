// Not a test: draws the configuration commands of the main window for
// tools/screenshot.sh, against orvalink-sim on loopback (127.0.108.x, high
// agent port), on a display with a window manager (the title bars):
//
//   config-grab OUT_DIR [AGENT_PORT]
//
// Writes OUT_DIR/export-import.png (the import's changes over the window,
// after an export and a change behind the window's back) and
// OUT_DIR/apply-to-selected.png (the values chosen, then each element's
// outcome, one of them silent).

#include "app/MainWindowControls.h"
#include "app/frmMain.h"
#include "core/InterfaceLister.h"
#include "core/Prompt.h"
#include "core/UserSettings.h"
#include "devops/ProbeOperation.h"
#include "snmp/SnmpCodec.h"
#include "snmp/SnmpTransport.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

using namespace orvalink;
using namespace orvalink::testing;

namespace {

struct YesPrompt : Prompt {
    PromptAnswer ask(const PromptRequest& r) override
    {
        return r.buttons == PromptButtons::YesNo ? PromptAnswer::Yes : r.defaultAnswer;
    }
};
struct Lister : InterfaceLister {
    QStringList addresses() override { return {QStringLiteral("127.0.0.1")}; }
};

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The widget with its frame and title bar, as the screen shows it.
QPixmap framed(QWidget& w)
{
    const QRect r = w.frameGeometry();
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
}

// Pictures side by side on white.
QImage sideBySide(const QList<QPixmap>& pictures)
{
    int width = 0;
    int height = 0;
    for (const QPixmap& p : pictures) {
        width += p.width() + 12;
        height = qMax(height, p.height());
    }
    QImage out(width + 12, height + 24, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    int x = 12;
    for (const QPixmap& p : pictures) {
        painter.drawPixmap(x, 12, p);
        x += p.width() + 12;
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: config-grab OUT_DIR [AGENT_PORT]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const quint16 port = argc > 2 ? quint16(QByteArray(argv[2]).toUInt()) : 16308;
    const auto host = [](int last) { return QStringLiteral("127.0.108.%1").arg(last); };

    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvalink-sim"),
              {QStringLiteral("--port"), QString::number(port),
               QStringLiteral("decoder@") + host(1), QStringLiteral("decoder@") + host(2),
               QStringLiteral("decoder@") + host(3), QStringLiteral("--silent"), host(3)});
    QByteArray said;
    QElapsedTimer t;
    t.start();
    while (!said.contains("ready") && t.elapsed() < 5000) {
        sim.waitForReadyRead(50);
        said += sim.readAllStandardOutput();
    }

    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("nms.ini"));
    Timings timings;
    timings.snmpSetAllowedMs = 200;
    timings.snmpTimeoutMs = 300;
    timings.applyStartMs = 100;
    YesPrompt prompt;
    {
        IniStore store;
        Database db(store, dbPath);
        SnmpTransport snmp(timings);
        snmp.setLocalAddress(QStringLiteral("127.0.0.1"));
        snmp.setPorts(0, port);
        ProbeOperation probe(snmp, db, prompt, timings);
        probe.run(host(1), QStringLiteral("morqubit"));
        probe.run(host(2), QStringLiteral("morqubit"));
    }
    QFile silent(dbPath);
    if (silent.open(QIODevice::Append))
        silent.write(
            "[2E8BF2006C03]\r\nNAME=DECODER 3\r\nROLE=2\r\nATT=200\r\nSNMPIP=127.0.108.3\r\n");
    silent.close();

    UserSettings settings(dir.filePath(QStringLiteral("user.ini")));
    settings.setEula(true);
    Lister lister;
    AppContext ctx;
    ctx.databasePath = dbPath;
    ctx.prompt = &prompt;
    ctx.settings = &settings;
    ctx.interfaces = &lister;
    ctx.lockPath = dir.filePath(QStringLiteral("nms.lock"));
    ctx.timings = timings;
    ctx.snmpLocalPort = 0;
    ctx.snmpAgentPort = port;
    ctx.showNotice = [](UserSettings&, QWidget*) {};
    const QString backup = dir.filePath(QStringLiteral("DECODER_1.ini"));
    ctx.chooseFile = [&](const AppContext::FileQuestion&) { return backup; };
    QList<QPixmap> applyPictures;
    bool ok = true;
    ctx.runDialog = [&](QDialog& dialog) {
        const QString name = dialog.objectName();
        if (name == QLatin1String("ConfigChangesDialog")) {
            dialog.show();
            pump(700);
            const QWidget* main = dialog.parentWidget()->window();
            const QRect r = main->frameGeometry();
            ok &= QGuiApplication::primaryScreen()
                      ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
                      .save(out.filePath(QStringLiteral("export-import.png")));
            dialog.reject();
        } else if (name == QLatin1String("ApplySelectedDialog")) {
            auto* key = dialog.findChild<QComboBox*>(QStringLiteral("cmbKey"));
            auto* value = dialog.findChild<QLineEdit*>(QStringLiteral("txtValue"));
            auto* add = dialog.findChild<QPushButton*>(QStringLiteral("cmdAdd"));
            key->setCurrentText(QStringLiteral("att"));
            value->setText(QStringLiteral("170"));
            add->click();
            key->setCurrentText(QStringLiteral("sdl"));
            value->setText(QStringLiteral("60"));
            add->click();
            dialog.show();
            pump(700);
            applyPictures << framed(dialog);
            dialog.findChild<QPushButton*>(QStringLiteral("cmdApply"))->click();
        } else if (name == QLatin1String("ConfigProgressDialog") &&
                   dialog.windowTitle() == QLatin1String("Apply to selected")) {
            dialog.show();
            auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cmdClose"));
            QElapsedTimer wait;
            wait.start();
            while (!close->isEnabled() && wait.elapsed() < 10000)
                QApplication::processEvents(QEventLoop::AllEvents, 20);
            pump(500);
            applyPictures << framed(dialog);
            dialog.accept();
        } else {
            dialog.exec();
        }
    };

    frmMain w(ctx);
    w.startUp();
    w.resize(1100, 720);
    w.move(40, 30);
    w.show();
    pump(800);
    QTreeWidget* tree = TreeView1(w);
    tree->setCurrentItem(tree->topLevelItem(0));
    elements(w).TreeView1_NodeClick(tree->topLevelItem(0));
    menuCommand(w, QStringLiteral("actExportConfiguration"))->trigger();
    // Changed behind the window's back, then imported again.
    {
        SnmpTransport snmp(timings);
        snmp.setLocalAddress(QStringLiteral("127.0.0.1"));
        snmp.setPorts(0, port);
        snmp.SetSNMP(host(1), QStringLiteral("kestrvla"), 1, snmptag::Gauge, QStringLiteral("150"));
        snmp.SetSNMP(host(1), QStringLiteral("kestrvla"), 33, snmptag::Gauge, QStringLiteral("40"));
    }
    menuCommand(w, QStringLiteral("actImportConfiguration"))->trigger();

    // All three selected, the last one current.
    tree->selectAll();
    tree->setCurrentItem(tree->topLevelItem(2), 0, QItemSelectionModel::NoUpdate);
    elements(w).TreeView1_NodeClick(tree->topLevelItem(2));
    menuCommand(w, QStringLiteral("actApplyToSelected"))->trigger();
    if (applyPictures.size() == 2)
        ok &= sideBySide(applyPictures).save(out.filePath(QStringLiteral("apply-to-selected.png")));
    else
        ok = false;
    std::printf("config-grab: %s, %s\n", qPrintable(out.filePath("export-import.png")),
                qPrintable(out.filePath("apply-to-selected.png")));
    sim.kill();
    sim.waitForFinished();
    return ok ? 0 : 1;
}
