#pragma once
// The configuration commands of the main window and the outcomes they post:
// Element > "Export configuration...", "Export all...", "Import
// configuration..." and "Apply to selected...". They run on the rules
// `orvalink-cli backup`, `restore` and `apply --all` run on
// (ConfigTransfer, ConfigSweep on a socket of its own, ConfigFile); an
// import sends its changes through ApplyOperation, as "Save changes" does.

#include "app/AppContext.h"

#include <QObject>

namespace orvalink {

class CommandContext;
class ConfigSweep;
class ElementCommands;

class ConfigCommands final : public QObject {
    Q_OBJECT
public:
    ConfigCommands(CommandContext& context, ElementCommands& elements, QObject* parent = nullptr);

    // Reads the shown element and writes its backup file where the
    // operator says.
    void exportConfiguration();
    // Every element's backup into one folder.
    void exportAll();
    // A backup file of the shown element: its differences with the element
    // shown first, then sent.
    void importConfiguration();
    // KEY=VALUE pairs on every selected element at once.
    void applyToSelected();

private:
    // The context's file question, or the toolkit's file windows.
    QString chooseFile(const AppContext::FileQuestion& question);
    // A sweep on a socket of its own (an ephemeral port on the NMS interface).
    void prepareSweep(ConfigSweep& sweep) const;

    CommandContext& m_cx;
    ElementCommands& m_elements;
};

} // namespace orvalink
