#pragma once

// Clips the benchmarks generate with the ffmpeg command-line tool on first
// use and keep in the build tree.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace BenchClips {

// An H.264 clip of the test source with a tone: `size` like "1920x1080",
// `rate` frames per second, `seconds` long, a key frame every `gop` frames.
// Returns the path, or an empty string when the clip cannot be made.
inline QString ensureClip(const QString& path, const QString& size, int rate, int seconds, int gop)
{
    if (QFileInfo(path).size() > 0)
        return path;
    std::fprintf(stderr, "generating %s\n", qPrintable(path));
    const QString temporary = path + QStringLiteral(".part.mp4");
    const QString duration = QString::number(seconds);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner",
                  "-loglevel",
                  "error",
                  "-nostdin",
                  "-y",
                  "-f",
                  "lavfi",
                  "-i",
                  QStringLiteral("testsrc2=s=%1:r=%2:d=%3").arg(size).arg(rate).arg(duration),
                  "-f",
                  "lavfi",
                  "-i",
                  QStringLiteral("sine=f=440:sample_rate=48000:d=%1").arg(duration),
                  "-c:v",
                  "libx264",
                  "-preset",
                  "veryfast",
                  "-pix_fmt",
                  "yuv420p",
                  "-g",
                  QString::number(gop),
                  "-bf",
                  "3",
                  "-c:a",
                  "aac",
                  "-b:a",
                  "128k",
                  temporary});
    const bool made = ffmpeg.waitForStarted() && ffmpeg.waitForFinished(-1) &&
                      ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    if (!made || !QFile::rename(temporary, path))
        return QString();
    return path;
}

} // namespace BenchClips
