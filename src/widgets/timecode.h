#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// SMPTE time code arithmetic at a whole number of frames per second (the
// nominal rate: 30 for 29.97 fps material), non-drop or drop-frame. A drop-
// frame count skips the labels ;00 and ;01 (;00 to ;03 at 60) at the start
// of every minute but each tenth, so that the labels keep pace with the
// clock at 30000/1001 and 60000/1001 frames a second. Frame counts are
// 0-based, 0 being 00:00:00:00; labels wrap after 24 hours.
class Timecode
{
public:
    // Drop-frame only where the nominal rate allows it (30 and 60).
    Timecode(int nominalRate, bool dropFrame);

    // The nominal rate of a frame rate: 30 for 29.97, at least 1.
    static int nominalRateOf(double fps);

    int nominalRate() const { return m_rate; }
    bool isDropFrame() const { return m_dropFrame; }

    // "HH:MM:SS:FF", or "HH:MM:SS;FF" in drop-frame.
    QString format(qint64 frameCount) const;
    // The frame count of "HH:MM:SS:FF" (or ";FF", or "." before the frames);
    // nothing for malformed text, fields out of range and labels that a drop-
    // frame count skips.
    std::optional<qint64> parse(const QString& text) const;
    // The frames of one day at this rate, where the labels wrap.
    qint64 framesPerDay() const;

private:
    // The labels one minute skips in drop-frame (0 in non-drop).
    int droppedPerMinute() const;

    int m_rate;
    bool m_dropFrame;
};
