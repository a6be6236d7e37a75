#pragma once

#include "timecode.h"

#include <QString>
#include <optional>

// How the frames of a clip are labelled as time code: from the clip's own
// start time code (the one cameras and edit systems write into the file) when
// it has one and it is in use, else from 00:00:00:00. Drop-frame follows the
// file's start time code (a semicolon before the frames), whichever way the
// labels count; without one they are non-drop. Frame numbers are 1-based.
class ClipTimecode
{
public:
    // A clip at 25 fps without a start time code.
    ClipTimecode();
    // startText is the file's time code tag, empty when it has none.
    ClipTimecode(double fps, const QString& startText);

    // Whether the file's start time code was read; a malformed one is not.
    bool hasSourceTimecode() const { return m_sourceStart.has_value(); }
    void useSourceTimecode(bool use) { m_useSource = use; }
    bool usesSourceTimecode() const { return m_useSource && hasSourceTimecode(); }

    // The counting the labels use now.
    Timecode timecode() const;
    // The file's start time code as written ("01:00:00:00"), empty without one.
    QString sourceStartText() const;
    bool isSourceDropFrame() const { return m_sourceTimecode.isDropFrame(); }

    // The label of a frame; counting from zero leaves out zero hours
    // ("00:12:05"), as the timelines always did.
    QString label(int frame) const;
    // The frame a typed time code names in the current counting (possibly
    // outside the clip); nothing for text that is no time code of it.
    std::optional<qint64> frameOf(const QString& text) const;

private:
    Timecode m_sourceTimecode;
    Timecode m_zeroTimecode;
    std::optional<qint64> m_sourceStart;
    bool m_useSource = true;
};
