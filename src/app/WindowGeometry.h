#pragma once
// How the main window was left: its size and place, and the split between
// tree and panel, kept in the user settings between runs.

#include <QByteArray>
#include <QSize>

class QMainWindow;
class QSplitter;

namespace orvalink {

class UserSettings;

class WindowGeometry {
public:
    WindowGeometry(QMainWindow& window, QSplitter& splitter, UserSettings& settings);

    // Puts the window where it was left; on the first start it gets
    // firstSize, within the screen it is on.
    void restore(const QSize& firstSize);
    // The splitter takes its stored state once the window has its size:
    // call when the window is shown.
    void applySplitter();
    void save();

private:
    QMainWindow& m_window;
    QSplitter& m_splitter;
    UserSettings& m_settings;
    QByteArray m_pendingSplitterState;
};

} // namespace orvalink
