#include "windowstacking.h"

#include <QWidget>
#include <QWindow>

// Before the window exists the flag is simply part of how it will be made.
// Afterwards QWidget::setWindowFlags would destroy and re-create the native
// window (hiding it, and losing its place); changing the flags of the native
// window instead asks the window manager for its "above" state
// (_NET_WM_STATE_ABOVE on X11) and leaves the window where it is. The widget's
// own copy of the flags is updated without telling the window system, so the
// two stay in step.
void WindowStacking::setAlwaysOnTop(QWidget* window, bool onTop)
{
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    QWindow* native = window->windowHandle();
    if (!native) {
        window->setWindowFlags(flags);
        return;
    }
    window->overrideWindowFlags(flags);
    native->setFlags(flags);
}
