#include "timecode.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

Timecode::Timecode(int nominalRate, bool dropFrame)
    : m_rate(std::max(nominalRate, 1)), m_dropFrame(dropFrame && m_rate % 30 == 0)
{
}

int Timecode::nominalRateOf(double fps)
{
    // 23.976 fps counts 24 frames a second; a rate below 0.5 still counts one.
    return std::max(int(std::lround(fps)), 1);
}

int Timecode::droppedPerMinute() const
{
    return m_dropFrame ? m_rate / 15 : 0;
}

qint64 Timecode::framesPerDay() const
{
    const qint64 perTenMinutes = qint64(m_rate) * 600 - 9 * droppedPerMinute();
    return perTenMinutes * 6 * 24;
}

QString Timecode::format(qint64 frameCount) const
{
    qint64 frames = frameCount % framesPerDay();
    if (frames < 0)
        frames += framesPerDay();
    if (const int drop = droppedPerMinute()) {
        // Put the skipped labels back: 9 minutes of each ten drop some.
        const qint64 perMinute = qint64(m_rate) * 60 - drop;
        const qint64 perTenMinutes = qint64(m_rate) * 600 - 9 * drop;
        const qint64 tens = frames / perTenMinutes;
        const qint64 rest = frames % perTenMinutes;
        frames += 9 * drop * tens + (rest > drop ? drop * ((rest - drop) / perMinute) : 0);
    }
    const qint64 seconds = frames / m_rate;
    return twoDigits(seconds / 3600) + QLatin1Char(':') + twoDigits(seconds / 60 % 60) + QLatin1Char(':') +
           twoDigits(seconds % 60) + QLatin1Char(m_dropFrame ? ';' : ':') + twoDigits(frames % m_rate);
}

std::optional<qint64> Timecode::parse(const QString& text) const
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):(\\d{2}):(\\d{2})[:;.](\\d{2,3})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int hours = match.captured(1).toInt();
    const int minutes = match.captured(2).toInt();
    const int seconds = match.captured(3).toInt();
    const int frames = match.captured(4).toInt();
    const int drop = droppedPerMinute();
    const bool skipped = drop > 0 && seconds == 0 && minutes % 10 != 0 && frames < drop;
    if (hours > 23 || minutes > 59 || seconds > 59 || frames >= m_rate || skipped)
        return std::nullopt;
    const qint64 totalMinutes = qint64(hours) * 60 + minutes;
    return (totalMinutes * 60 + seconds) * m_rate + frames - drop * (totalMinutes - totalMinutes / 10);
}
