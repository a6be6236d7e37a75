#include "benchclips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <cstdio>

namespace {

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForStarted() && process.waitForFinished(-1) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Generates the clip at `path` from lavfi sources, once.
QString generatedAt(const QString& path, const QStringList& encoding)
{
    if (QFileInfo(path).size() > 0)
        return path;
    const QFileInfo info(path);
    QDir().mkpath(info.path());
    std::fprintf(stderr, "generating %s\n", qPrintable(path));
    const QString partial = info.path() + QStringLiteral("/part-") + info.fileName();
    QStringList arguments{"-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
    arguments << encoding << partial;
    if (!run(QStringLiteral("ffmpeg"), arguments) || !QFile::rename(partial, path)) {
        QFile::remove(partial);
        return QString();
    }
    return path;
}

// Generates `name` in the bench clip folder, once.
QString generated(const QString& name, const QStringList& encoding)
{
    return generatedAt(QStringLiteral(ORVEL_BENCH_CLIPS_DIR) + QLatin1Char('/') + name, encoding);
}

QStringList lavfi(const QString& video, const QString& audio)
{
    return {"-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio};
}

const QStringList x264 = {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"};
const QStringList aac = {"-c:a", "aac", "-b:a", "128k"};

} // namespace

namespace BenchClips {

QString corpus(const QString& name, const QString& corpusDir)
{
    const QString dir = corpusDir.isEmpty() ? QStringLiteral(ORVEL_CLIPS_DIR) : corpusDir;
    const QString path = dir + QLatin1Char('/') + name;
    if (!QFileInfo::exists(path))
        run(QStringLiteral(ORVEL_SOURCE_DIR "/scripts/make-test-clips.sh"), {dir});
    return QFileInfo::exists(path) ? path : QString();
}

QString longGop1080p25(const QString& corpusDir)
{
    return corpus(QStringLiteral("h264_1080p25.mp4"), corpusDir);
}

QString shortGop1080p60()
{
    return generated(QStringLiteral("h264_1080p60_gop120.mp4"),
                     lavfi("testsrc2=s=1920x1080:r=60:d=10", "sine=f=440:sample_rate=48000:d=10") + x264 +
                         QStringList{"-x264-params", "keyint=120:min-keyint=120:scenecut=0:bframes=3"} + aac);
}

QString uhd30()
{
    return generated(QStringLiteral("h264_2160p30_gop60.mp4"),
                     lavfi("testsrc2=s=3840x2160:r=30:d=4", "sine=f=440:sample_rate=48000:d=4") + x264 +
                         QStringList{"-x264-params", "keyint=60:min-keyint=60:scenecut=0:bframes=3"} + aac);
}

QString prores1080p25()
{
    return generated(QStringLiteral("prores_1080p25.mov"),
                     lavfi("testsrc2=s=1920x1080:r=25:d=4", "sine=f=440:sample_rate=48000:d=4") +
                         QStringList{"-c:v", "prores_ks", "-profile:v", "2", "-pix_fmt", "yuv422p10le",
                                     "-c:a", "pcm_s16le"});
}

QString ensureClip(const QString& path, const QString& size, int rate, int seconds, int gop)
{
    const QString video = QStringLiteral("testsrc2=s=%1:r=%2:d=%3").arg(size).arg(rate).arg(seconds);
    const QString audio = QStringLiteral("sine=f=440:sample_rate=48000:d=%1").arg(seconds);
    const QString keys = QStringLiteral("keyint=%1:min-keyint=%1:scenecut=0:bframes=3").arg(gop);
    return generatedAt(path, lavfi(video, audio) + x264 + QStringList{"-x264-params", keys} + aac);
}

} // namespace BenchClips
