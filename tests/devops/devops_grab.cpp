// devops-grab OUTDIR [HOST]: draws the "Add new element" window and the
// "Please wait..." window of an apply into OUTDIR/add-element.png and
// OUTDIR/apply.png, for looking at their layout. With HOST (a simulated
// element on loopback) the first picture shows the end of a real probe of
// it; the database is a temporary file.

#include "core/Prompt.h"
#include "devops/ApplyOperation.h"
#include "devops/ProbeOperation.h"
#include "dialogs/frmAddNewSNMP.h"
#include "dialogs/frmSendSNMP.h"
#include "snmp/SnmpTransport.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

using namespace orvalink;

namespace {

class SilentPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptRequest& request) override { return request.defaultAnswer; }
};

class NoElement : public ElementView {
public:
    ShownElement shownElement() const override { return {}; }
    EditedValues editedValues() const override { return {}; }
    void showAgainFromDatabase() override {}
};

bool save(QWidget& w, const QString& path)
{
    QCoreApplication::processEvents();
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
    for (QLineEdit* field : w.findChildren<QLineEdit*>())
        field->deselect();
    QCoreApplication::processEvents();
    if (!w.grab().save(path)) {
        QTextStream(stderr) << "devops-grab: cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args.size() > 3) {
        QTextStream(stderr) << "usage: devops-grab OUTDIR [HOST]\n";
        return 2;
    }
    const QDir out(args.at(1));
    QDir().mkpath(out.path());
    QTemporaryDir work;
    IniStore store;
    Database db(store, work.filePath(QStringLiteral("nms.ini")));
    SilentPrompt prompt;
    Timings timings;
    timings.applyStartMs = 600000; // the window stays at "Preparing..."
    SnmpTransport snmp(timings);
    snmp.setLocalAddress(QStringLiteral("127.0.0.1"));

    ProbeOperation probe(snmp, db, prompt, timings);
    frmAddNewSNMP add(probe);
    add.show();
    if (args.size() == 3) {
        add.findChild<QLineEdit*>(QStringLiteral("txtSNMPIpAddress"))->setText(args.at(2));
        add.findChild<QPushButton*>(QStringLiteral("cmdProbe"))->click();
    }
    if (!save(add, out.filePath(QStringLiteral("add-element.png"))))
        return 1;

    NoElement view;
    ApplyOperation apply(snmp, db, prompt, timings);
    frmSendSNMP wait(apply, view, timings);
    wait.show();
    return save(wait, out.filePath(QStringLiteral("apply.png"))) ? 0 : 1;
}
