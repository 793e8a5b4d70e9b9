// panel-grab DATABASE OUTDIR: draws the element panel showing the first
// ENCODER and the first DECODER of DATABASE into OUTDIR/panel-encoder.png and
// OUTDIR/panel-decoder.png. For looking at the layout without a desktop
// (run with QT_QPA_PLATFORM=offscreen). The database is read from a copy, so
// the file given is never changed.

#include "core/AppFlags.h"
#include "core/Prompt.h"
#include "panel/ElementPanel.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>

using namespace orvalink;

namespace {

class PrintingPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptRequest& request) override
    {
        QString text = request.text;
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QTextStream(stderr) << "panel-grab: message box: " << text << '\n';
        return request.defaultAnswer;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: panel-grab DATABASE OUTDIR\n";
        return 2;
    }
    QTemporaryDir work;
    const QString db = work.filePath(QStringLiteral("nms.ini"));
    if (!work.isValid() || !QFile::copy(args.at(1), db)) {
        QTextStream(stderr) << "panel-grab: cannot read " << args.at(1) << '\n';
        return 1;
    }
    QDir().mkpath(args.at(2));

    IniStore store;
    PrintingPrompt prompt;
    AppFlags flags;
    ElementPanel panel(store, db, prompt, flags);
    const ElementList list = loadElementList(store, db);
    for (const ElementEntry& e : list.entries)
        if (e.isEncoder())
            panel.addEncoder(e.nodeText);
    panel.resize(panel.sizeHint().expandedTo(QSize(440, 0)));
    panel.show();

    int written = 0;
    for (ElementRole role : {ElementRole::Encoder, ElementRole::Decoder}) {
        for (const ElementEntry& e : list.entries) {
            if (e.role != role)
                continue;
            panel.showElement(e.mac, e.nodeText, ElementPanel::ShowMode::NodeClick);
            QCoreApplication::processEvents();
            // No focus and no selection highlight in the picture.
            if (QWidget* focused = QApplication::focusWidget())
                focused->clearFocus();
            for (QLineEdit* field : panel.findChildren<QLineEdit*>())
                field->deselect();
            QCoreApplication::processEvents();
            const QString name = role == ElementRole::Encoder ? QStringLiteral("panel-encoder.png")
                                                              : QStringLiteral("panel-decoder.png");
            const QString out = QDir(args.at(2)).filePath(name);
            if (!panel.grab().save(out)) {
                QTextStream(stderr) << "panel-grab: cannot write " << out << '\n';
                return 1;
            }
            QTextStream(stdout) << out << '\n';
            ++written;
            break;
        }
    }
    return written == 2 ? 0 : 1;
}
