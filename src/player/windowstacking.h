#pragma once

class QWidget;

// Keeps a top-level window above the other windows, or stops doing so,
// without moving, resizing or activating it.
class WindowStacking
{
public:
    static void setAlwaysOnTop(QWidget* window, bool onTop);
};
