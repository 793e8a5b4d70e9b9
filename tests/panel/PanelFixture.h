#pragma once
// An element panel over a database file in a temporary folder, with a
// scripted prompt and its own start-mode flags, and its controls.

#include "PanelControls.h"
#include "common/ScriptedPrompt.h"
#include "core/AppFlags.h"
#include "panel/ElementPanel.h"
#include "store/IniStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace orvalink::testing {

struct PanelFixture {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("nms.ini"));
    IniStore store;
    ScriptedPrompt prompt;
    AppFlags flags;
    std::unique_ptr<ElementPanel> panel;
    std::unique_ptr<PanelControls> controls;

    PanelFixture()
    {
        panel = std::make_unique<ElementPanel>(store, path, prompt, flags);
        panel->setReadoutLocale(QLocale::c());
        controls = std::make_unique<PanelControls>(*panel);
    }

    // Writes the database as the other programs write it: CRLF lines.
    void writeIni(const QString& text)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString crlf = text;
        crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        f.write(crlf.toLatin1());
    }

    QByteArray fileText() const
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

    // One section named by the MAC 2E:8B:F2:00:1A:2B holding the given lines.
    void writeElement(const QStringList& lines)
    {
        writeIni(QStringLiteral("[2E8BF2001A2B]\n") + lines.join(QLatin1Char('\n')) +
                 QLatin1Char('\n'));
    }

    void show(ElementPanel::ShowMode mode = ElementPanel::ShowMode::NodeClick)
    {
        panel->showElement(QStringLiteral("2E:8B:F2:00:1A:2B"),
                           QStringLiteral("STUDIO 1 [2E:8B:F2:00:1A:2B]"), mode);
    }
};

} // namespace orvalink::testing
