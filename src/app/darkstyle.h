#pragma once

class QApplication;
class QPalette;

// The program's look: the Fusion style, a dark palette and the dark style sheet.
class DarkStyle
{
public:
    static void apply(QApplication& app);
    static QPalette palette();
};
