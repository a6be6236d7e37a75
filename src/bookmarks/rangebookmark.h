#pragma once

#include <QString>

// A named range of frames (1-based, inclusive).
struct RangeBookmark
{
    int start = 0;
    int end = 0;
    QString name;
};
