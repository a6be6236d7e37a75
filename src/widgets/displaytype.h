#pragma once

#include <QMetaType>

// The label style of a timeline. The numbers are what the settings store
// (timelineDisplayType, rangeTimelineDisplayType).
enum DISPLAY_TYPE
{
    FRAME_NUMBERS = 0,
    SECONDS = 1,
    TIME_CODE = 2
};

Q_DECLARE_METATYPE(DISPLAY_TYPE)
