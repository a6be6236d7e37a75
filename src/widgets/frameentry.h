#pragma once

#include "cliptimecode.h"

#include <QString>

// What the user typed into "Go to Frame...": a frame number ("77"), a time
// code in the clip's current counting ("00:00:03:02", "00:01:00;02") or
// seconds with a decimal point ("3.08"). Either a frame of the clip or the
// reason the entry is refused.
class FrameEntry
{
public:
    static FrameEntry read(const QString& text, const ClipTimecode& timecode, double fps, int frameCount);

    bool isValid() const { return m_frame > 0; }
    // 1-based; 0 when refused.
    int frame() const { return m_frame; }
    // Why the entry is refused, empty when valid.
    const QString& error() const { return m_error; }

private:
    // clipSpan names the clip's first and last frame in the entry's terms.
    FrameEntry(qint64 frame, int frameCount, const QString& text, const QString& clipSpan);
    explicit FrameEntry(const QString& error) : m_error(error) {}

    int m_frame = 0;
    QString m_error;
};
