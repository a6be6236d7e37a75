#pragma once

#include "timelinewidget.h"

#include <QStringList>
#include <algorithm>

// Stands in for the player window: records every request of a timeline as a
// line of text and pushes the result back synchronously, validating the range
// the way the window does (start at least 1 and at most the last frame, end at
// most the last frame and at least the start).
class PlayerStub
{
public:
    explicit PlayerStub(TimelineWidget& timeline) : timeline(timeline)
    {
        QObject::connect(&timeline, &TimelineWidget::frameChangeRequest, [this](int frame, bool audioScrub) {
            log << QStringLiteral("frame %1%2").arg(frame).arg(audioScrub ? " scrub" : "");
            this->timeline.setFrame(frame);
        });
        QObject::connect(&timeline, &TimelineWidget::rangeChangeRequest, [this](int start, int end) {
            log << QStringLiteral("range %1 %2").arg(start).arg(end);
            const int last = this->timeline.frameCount();
            const int validStart = std::min(start > 0 ? start : 1, last);
            const int validEnd = std::max(std::min(end, last), validStart);
            this->timeline.setRange(validStart, validEnd);
        });
        QObject::connect(&timeline, &TimelineWidget::positionChangeRequest, [this](bool top) {
            log << QStringLiteral("position %1").arg(top ? "top" : "bottom");
        });
    }

    // The requests since the last call.
    QStringList take()
    {
        QStringList requests;
        requests.swap(log);
        return requests;
    }

private:
    TimelineWidget& timeline;
    QStringList log;
};
