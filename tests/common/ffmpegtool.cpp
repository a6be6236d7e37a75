#include "ffmpegtool.h"

#include <QProcess>

namespace FfmpegTool {

QByteArray run(const QStringList& arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{"-hide_banner", "-loglevel", "error", "-nostdin"} + arguments);
    if (!ffmpeg.waitForStarted())
        qFatal("ffmpeg command-line tool not found");
    ffmpeg.waitForFinished(300000);
    return ffmpeg.readAllStandardOutput();
}

QList<QImage> decodePictures(const QString& path, int width, int height, const QString& filter)
{
    QStringList arguments{"-i", path, "-map", "0:v:0", "-fps_mode", "passthrough"};
    if (!filter.isEmpty())
        arguments << QStringLiteral("-vf") << filter;
    arguments << QStringList{"-f", "rawvideo", "-pix_fmt", "rgb24", "-"};
    const QByteArray raw = run(arguments);
    const int frameBytes = width * height * 3;
    QList<QImage> pictures;
    for (int offset = 0; offset + frameBytes <= raw.size(); offset += frameBytes) {
        QImage image(reinterpret_cast<const uchar*>(raw.constData() + offset), width, height, width * 3,
                     QImage::Format_RGB888);
        pictures << image.copy();
    }
    return pictures;
}

} // namespace FfmpegTool
