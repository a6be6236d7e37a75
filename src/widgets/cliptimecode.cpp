#include "cliptimecode.h"

namespace {

// ffmpeg writes a semicolon (or a period) before the frames of a drop-frame
// time code.
bool namesDropFrame(const QString& text)
{
    return text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('.'));
}

} // namespace

ClipTimecode::ClipTimecode() : ClipTimecode(25.0, QString()) {}

ClipTimecode::ClipTimecode(double fps, const QString& startText)
    : m_sourceTimecode(Timecode::nominalRateOf(fps), namesDropFrame(startText)),
      m_zeroTimecode(m_sourceTimecode)
{
    if (!startText.isEmpty())
        m_sourceStart = m_sourceTimecode.parse(startText);
    if (!m_sourceStart)
        m_zeroTimecode = Timecode(m_sourceTimecode.nominalRate(), false);
}

Timecode ClipTimecode::timecode() const
{
    return usesSourceTimecode() ? m_sourceTimecode : m_zeroTimecode;
}

QString ClipTimecode::sourceStartText() const
{
    return hasSourceTimecode() ? m_sourceTimecode.format(*m_sourceStart) : QString();
}

QString ClipTimecode::label(int frame) const
{
    if (usesSourceTimecode())
        return m_sourceTimecode.format(*m_sourceStart + frame - 1);
    // Counting from zero runs on past 24 hours rather than wrapping.
    const qint64 day = m_zeroTimecode.framesPerDay();
    const qint64 index = frame - 1;
    const QString text = m_zeroTimecode.format(index % day);
    if (index >= day)
        return QString::number(index / day * 24 + text.leftRef(2).toInt()) + text.mid(2);
    return text.startsWith(QLatin1String("00:")) ? text.mid(3) : text;
}

std::optional<qint64> ClipTimecode::frameOf(const QString& text) const
{
    const Timecode counting = timecode();
    const std::optional<qint64> count = counting.parse(text);
    if (!count)
        return std::nullopt;
    if (!usesSourceTimecode())
        return *count + 1;
    // A clip may run past midnight: its labels then start again at zero.
    const qint64 day = counting.framesPerDay();
    return (*count - *m_sourceStart + day) % day + 1;
}
