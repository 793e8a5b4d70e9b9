// Not a test: shows the paging or the waiting window on the display and saves
// a picture of the screen around it (tools/screenshot.sh runs it under Xvfb
// with a window manager). The paging text goes to 127.0.0.1 only, and the
// waiting window's look-ups never find anything, so both stay open.
//
//   remote-windows-grab paging|waiting OUT.png

#include "core/Prompt.h"
#include "dialogs/frmPaging.h"
#include "dialogs/frmWaiting.h"
#include "netutil/MacResolver.h"
#include "remote/DiscoveryOperation.h"
#include "remote/MacWait.h"
#include "remote/RemoteProtocol.h"
#include "store/ElementDatabase.h"
#include "store/IniStore.h"

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

using namespace orvalink;

namespace {

class NoTable : public MacResolver {
protected:
    bool lookup(quint32, QByteArray*) override { return false; }
};

class QuietPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptRequest& r) override { return r.defaultAnswer; }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    QTemporaryDir dir;
    IniStore store;
    Database db(store, dir.filePath(QStringLiteral("nms.ini")));
    QuietPrompt prompt;
    NoTable table;
    Timings timings;
    timings.pagingMs = 4000;
    RemoteEndpoint endpoint;
    endpoint.setLocalAddress(QStringLiteral("127.0.0.1"));
    endpoint.setLocalPort(0);
    RemoteProtocol protocol(endpoint, db, prompt, table, timings);
    DiscoveryOperation discovery(protocol, timings);
    discovery.setPagingTarget(QStringLiteral("127.0.0.1"), 9);
    MacWait wait(table, timings);

    std::unique_ptr<QDialog> window;
    if (args.at(1) == QLatin1String("paging"))
        window = std::make_unique<frmPaging>(discovery);
    else
        window = std::make_unique<frmWaiting>(wait, QStringLiteral("127.0.0.12"));
    window->move(40, 40);
    window->show();
    int rc = 1;
    QTimer::singleShot(1500, &app, [&] {
        const QRect r = window->frameGeometry().adjusted(-12, -12, 12, 12);
        const QPixmap shot = window->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
        rc = shot.save(args.at(2)) ? 0 : 1;
        app.exit(rc);
    });
    app.exec();
    return rc;
}
