#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QStringList>

// The ffmpeg command-line tool, the reference the tests compare with.
namespace FfmpegTool {

// Runs ffmpeg (quietly, no input from the terminal) with the arguments and
// returns what it wrote to its standard output.
QByteArray run(const QStringList& arguments);

// Every picture of the first video stream of the file, converted to RGB24 of
// width x height by the filter chain `filter` (a scale filter's colour
// options for instance) and then the tool's own conversion.
QList<QImage> decodePictures(const QString& path, int width, int height, const QString& filter = QString());

} // namespace FfmpegTool
