#include "app/WindowGeometry.h"

#include "core/UserSettings.h"

#include <QMainWindow>
#include <QScreen>
#include <QSplitter>

namespace orvalink {

WindowGeometry::WindowGeometry(QMainWindow& window, QSplitter& splitter, UserSettings& settings)
    : m_window(window), m_splitter(splitter), m_settings(settings)
{
}

void WindowGeometry::restore(const QSize& firstSize)
{
    // restoreGeometry() brings a window back onto the screens there are now.
    const QByteArray geometry = m_settings.windowGeometry();
    if (geometry.isEmpty() || !m_window.restoreGeometry(geometry)) {
        QSize size = firstSize;
        if (const QScreen* where = m_window.screen()) {
            // Room for the frame the window manager draws around it.
            const QSize room = where->availableGeometry().size() - QSize(16, 40);
            size = size.boundedTo(room);
        }
        m_window.resize(size.expandedTo(m_window.minimumSizeHint()));
    }
    m_pendingSplitterState = m_settings.splitterState();
}

void WindowGeometry::applySplitter()
{
    if (m_pendingSplitterState.isEmpty())
        return;
    m_splitter.restoreState(m_pendingSplitterState);
    m_pendingSplitterState.clear();
}

void WindowGeometry::save()
{
    m_settings.setWindowGeometry(m_window.saveGeometry());
    m_settings.setSplitterState(m_splitter.saveState());
}

} // namespace orvalink
