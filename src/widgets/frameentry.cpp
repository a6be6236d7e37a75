#include "frameentry.h"

#include <QRegularExpression>
#include <cmath>

FrameEntry::FrameEntry(qint64 frame, int frameCount, const QString& text, const QString& clipSpan)
{
    if (frame >= 1 && frame <= frameCount)
        m_frame = int(frame);
    else
        m_error = QStringLiteral("\"%1\" is outside the clip, which runs from %2.").arg(text, clipSpan);
}

FrameEntry FrameEntry::read(const QString& typed, const ClipTimecode& timecode, double fps, int frameCount)
{
    static const QRegularExpression number(QStringLiteral("^\\d{1,12}$"));
    static const QRegularExpression seconds(QStringLiteral("^(\\d{0,9}\\.\\d*)$"));
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return FrameEntry(QStringLiteral("Type a frame number, a time code or seconds."));
    if (number.match(text).hasMatch())
        return FrameEntry(text.toLongLong(), frameCount, text,
                          QStringLiteral("frame 1 to frame %1").arg(frameCount));
    if (seconds.match(text).hasMatch() && text != QLatin1String(".") && fps > 0.0) {
        // The frame showing at that time; the small allowance keeps "3.08"
        // at 25 fps on frame index 77 although 3.08 * 25 is 76.999... in
        // binary.
        return FrameEntry(qint64(std::floor(text.toDouble() * fps + 1e-6)) + 1, frameCount, text,
                          QStringLiteral("0.00 to %1 seconds").arg((frameCount - 1) / fps, 0, 'f', 2));
    }
    if (text.contains(QLatin1Char(':'))) {
        if (const std::optional<qint64> frame = timecode.frameOf(text))
            return FrameEntry(*frame, frameCount, text,
                              timecode.label(1) + QStringLiteral(" to ") + timecode.label(frameCount));
        const Timecode counting = timecode.timecode();
        QString error = QStringLiteral("\"%1\" is not a time code at %2 frames a second (like %3).")
                            .arg(text)
                            .arg(counting.nominalRate())
                            .arg(counting.format(0));
        if (counting.isDropFrame())
            error += QStringLiteral(
                         " Drop-frame time code skips the first %1 labels of each minute but every tenth.")
                         .arg(counting.nominalRate() / 15);
        return FrameEntry(error);
    }
    return FrameEntry(
        QStringLiteral("\"%1\" is not a frame number, a time code (HH:MM:SS:FF) or seconds (like 3.5).")
            .arg(text));
}
