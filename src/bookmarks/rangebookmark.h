#pragma once

#include <QString>

// A named range of frames (1-based, inclusive).
struct RangeBookmark
{
    int start = 0;
    int end = 0;
    QString name;
};

inline bool operator==(const RangeBookmark& a, const RangeBookmark& b)
{
    return a.start == b.start && a.end == b.end && a.name == b.name;
}

inline bool operator!=(const RangeBookmark& a, const RangeBookmark& b)
{
    return !(a == b);
}

// Held by value in arrays, which may move it with its bytes.
Q_DECLARE_TYPEINFO(RangeBookmark, Q_MOVABLE_TYPE);
