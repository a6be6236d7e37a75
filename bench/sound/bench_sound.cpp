// Memory and processor time of the sound path, with the real playback
// controller, a SoftwareViewer on the offscreen platform and a stereo ALSA
// null device as the sound output (its callback never runs: the figures are
// those of the decoder and the time-stretch).
//
// Usage: bench_sound
//   Generates two clips into the build tree on first use, with the ffmpeg
//   tool: the same 2 s of 640x360 pictures with 2 s of sound (the normal
//   clip) and with 20 minutes of sound (the long tail). Each is opened in a
//   process of its own and left paused on its first frame until the engine
//   rests; its resident memory is printed, and the long tail's again after a
//   seek to the tenth minute. Then the processor time of the time-stretch at
//   0.5x and 2x, beside the ffmpeg tool's atempo filter.
#include "eventloop.h"
#include "playbackmanager.h"
#include "residentmemory.h"
#include "softwareviewer.h"
#include "timestretch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

using PM = PlaybackManager;
using BenchLoop::cpuSeconds;
using BenchLoop::runFor;
using BenchLoop::runUntil;

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

QString ensureClip(const QString& name, int soundSeconds)
{
    const QString path = QStringLiteral(ORVEL_BENCH_DIR "/") + name;
    if (QFileInfo(path).size() > 0)
        return path;
    std::fprintf(stderr, "generating %s\n", qPrintable(path));
    const QString partial = path + QStringLiteral(".part.mkv");
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
                  "testsrc2=s=640x360:r=25:d=2",
                  "-f",
                  "lavfi",
                  "-i",
                  QStringLiteral("sine=f=440:sample_rate=48000:d=%1").arg(soundSeconds),
                  "-ac",
                  "2",
                  "-c:v",
                  "libx264",
                  "-preset",
                  "veryfast",
                  "-pix_fmt",
                  "yuv420p",
                  "-c:a",
                  "aac",
                  "-b:a",
                  "128k",
                  partial});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0 || !QFile::rename(partial, path))
        return QString();
    return path;
}

// Stereo null output in a HOME of the process's own: the stream opens, its
// callback never runs.
bool useStereoNullDevice(QTemporaryDir& home)
{
    QFile config(home.filePath(QStringLiteral(".asoundrc")));
    if (!home.isValid() || !config.open(QIODevice::WriteOnly))
        return false;
    config.write("pcm.!default {\n"
                 "  type multi\n"
                 "  slaves.a { pcm { type null } channels 2 }\n"
                 "  bindings.0 { slave a channel 0 }\n"
                 "  bindings.1 { slave a channel 1 }\n"
                 "}\n");
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("JACK_NO_START_SERVER", "1");
    return true;
}

struct Bench
{
    SoftwareViewer viewer;
    PM manager;

    Bench()
    {
        viewer.resize(640, 360);
        viewer.show();
        manager.setViewer(&viewer);
    }

    bool load(const QString& path)
    {
        return manager.setMedia(path, 0, 0.7f) &&
               runUntil([&] { return manager.status() == PM::Ready && !viewer.pixmap().isNull(); });
    }

    bool seek(double time)
    {
        manager.seek(time, 0.0, false);
        return runUntil([&] { return manager.status() == PM::Ready; });
    }

    // Waits until neither the decoded sound nor the resident memory has
    // changed for a second and a half (or 60 s have passed).
    void settle()
    {
        QElapsedTimer total;
        total.start();
        int samples = -1;
        long kb = -1;
        int steady = 0;
        while (steady < 15 && total.elapsed() < 60000) {
            runFor(100);
            const int nowSamples = manager.audioCacheSamples();
            const long nowKb = residentKb();
            steady = nowSamples == samples && qAbs(nowKb - kb) < 256 ? steady + 1 : 0;
            samples = nowSamples;
            kb = nowKb;
        }
    }
};

// In a process of its own: the resident memory paused on the first frame of
// the clip, and after a seek to `seekTo` when it is positive.
int measureResident(const QString& clip, double seekTo)
{
    Bench bench;
    if (!bench.load(clip))
        return 1;
    bench.settle();
    std::printf("resident_kb: %ld\naudio_cache_samples: %d\n", residentKb(),
                bench.manager.audioCacheSamples());
    if (seekTo > 0.0 && bench.seek(seekTo)) {
        bench.settle();
        std::printf("resident_after_seek_kb: %ld\n", residentKb());
    }
    return 0;
}

QMap<QString, double> residentFigures(const QString& clip, double seekTo)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--resident"), clip, QString::number(seekTo)});
    QMap<QString, double> figures;
    if (!child.waitForFinished(300000) || child.exitCode() != 0)
        return figures;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() == 2)
            figures[QString::fromLatin1(parts[0])] = parts[1].trimmed().toDouble();
    }
    return figures;
}

// Processor time to stretch a minute of stereo 48 kHz sound, per second of
// sound, and the same for the ffmpeg tool's atempo filter (the tool's own
// start-up and the sound's generation taken off: a run without the filter).
void measureStretch(double tempo, const char* name, const char* referenceName)
{
    constexpr int Rate = 48000;
    constexpr int Seconds = 60;
    std::vector<int16_t> sound(size_t(Rate) * 2 * Seconds);
    for (size_t i = 0; i < sound.size(); ++i)
        sound[i] = int16_t(8000.0 * std::sin(2.0 * M_PI * 440.0 * double(i / 2) / Rate));
    const double before = cpuSeconds();
    TimeStretch stretch(Rate, 2, tempo);
    std::vector<int16_t> out;
    constexpr int Step = Rate / 50;
    for (int frame = 0; frame < Rate * Seconds; frame += Step) {
        stretch.push(sound.data() + size_t(frame) * 2, Step);
        stretch.pull(out);
        out.clear();
    }
    stretch.finish();
    stretch.pull(out);
    print(name, (cpuSeconds() - before) * 1000.0 / Seconds);

    const auto ffmpegMs = [](const QString& filter) {
        const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1", "-f", "lavfi", "-i",
                      QStringLiteral("sine=f=440:sample_rate=%1:d=%2").arg(Rate).arg(Seconds), "-ac", "2",
                      "-af", filter, "-f", "null", "-"});
        ffmpeg.waitForFinished(-1);
        return (cpuSeconds(RUSAGE_CHILDREN) - childrenBefore) * 1000.0;
    };
    const double filter = tempo < 0.5 || tempo > 2.0 ? 0.0 : ffmpegMs(QStringLiteral("atempo=%1").arg(tempo));
    print(referenceName, (filter - ffmpegMs(QStringLiteral("anull"))) / Seconds);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!useStereoNullDevice(home))
        return 2;
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--resident")
        return measureResident(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toDouble());

    const QString normal = ensureClip(QStringLiteral("pictures_2s_sound_2s.mkv"), 2);
    const QString longTail = ensureClip(QStringLiteral("pictures_2s_sound_20min.mkv"), 1200);
    if (normal.isEmpty() || longTail.isEmpty()) {
        std::fprintf(stderr, "clips missing (the ffmpeg tool is needed)\n");
        return 1;
    }
    const QMap<QString, double> normalFigures = residentFigures(normal, 0.0);
    const QMap<QString, double> tailFigures = residentFigures(longTail, 600.0);
    if (normalFigures.isEmpty() || tailFigures.isEmpty()) {
        std::fprintf(stderr, "a measuring process failed\n");
        return 1;
    }
    const double normalMb = normalFigures.value(QStringLiteral("resident_kb")) / 1024.0;
    const double tailMb = tailFigures.value(QStringLiteral("resident_kb")) / 1024.0;
    print("normal_clip_resident_mb", normalMb);
    print("long_tail_resident_mb", tailMb);
    print("long_tail_minus_normal_mb", tailMb - normalMb);
    print("long_tail_resident_after_seek_to_10min_mb",
          tailFigures.value(QStringLiteral("resident_after_seek_kb")) / 1024.0);
    print("long_tail_audio_cache_mb", tailFigures.value(QStringLiteral("audio_cache_samples")) * 2 / 1e6);

    measureStretch(0.5, "stretch_0.5x_cpu_ms_per_second", "ffmpeg_atempo_0.5x_ms_per_second");
    measureStretch(2.0, "stretch_2x_cpu_ms_per_second", "ffmpeg_atempo_2x_ms_per_second");
    return 0;
}
