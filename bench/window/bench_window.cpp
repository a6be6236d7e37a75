// The real orvel program in its real window, on an X server of its own
// (Xvfb), with a sound server whose output is a null sink, and with the
// settings a new user has (512 MB cache, 0.8 of it behind the playhead). A
// frame counts when the viewer has painted it: the program writes a line per
// paint to the file named by ORVEL_PAINT_LOG (src/player/paintprobe.h).
//
// Prints, each beside a reference measured in the same run:
// - start-up: from process start to the first picture painted, on the 1080p
//   clip; reference: the ffmpeg tool from its start to the first picture
//   decoded and converted;
// - playback at 1x of the short-GOP 1080p60 clip and the 4K 30 fps clip:
//   frames painted out of frames in the clip, the longest gap between two
//   painted frames (and the frame that ended it), the gaps over 1.5 frame
//   intervals, CPU of the program and its peak resident memory while
//   playing; references: for the gaps, a thread of the bench that only
//   wakes at every frame's time meanwhile (bench/common/cadenceprobe.h);
//   for CPU and memory, the ffmpeg tool decoding and converting the same
//   clip in real time (-re);
// - paused: CPU of the program and of the sound server over 30 s with the
//   clip loaded; reference: the sound server alone.
//
// Usage: bench_window [--runs N] [--only PART] [CLIP_DIR]
//   N start-ups (default 5); PART is one of startup, play_1080p60,
//   play_2160p30, paused (default: all of them).
#include "benchclips.h"
#include "benchstats.h"
#include "cadenceprobe.h"
#include "orvelsession.h"
#include "residentmemory.h"
#include "stealreport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using BenchStats::median;
using BenchStats::print;

int64_t steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU seconds (user + system) a running process has used so far.
double processCpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray stat = file.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1.0;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

// A run of a tool to its end, with its own CPU time and peak memory.
struct ToolRun
{
    double wallMs = 0.0;
    double cpuSeconds = 0.0;
    long peakKb = 0;
    bool ok = false;
};

ToolRun runTool(const QStringList& command)
{
    std::vector<QByteArray> storage;
    for (const QString& part : command)
        storage.push_back(part.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& part : storage)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    ToolRun run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int64_t start = steadyMicroseconds();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wallMs = double(steadyMicroseconds() - start) / 1000.0;
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

int freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A pulseaudio server of this run's own, whose only sink is a null sink.
class SoundServer
{
public:
    SoundServer()
    {
        if (!dir.isValid())
            return;
        const QString socket = dir.filePath(QStringLiteral("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("pulseaudio"),
                     {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-level=error",
                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                      "--load=module-null-sink sink_name=null"});
        if (!server.waitForStarted(5000))
            return;
        QElapsedTimer wait;
        wait.start();
        while (!QFileInfo::exists(socket) && wait.elapsed() < 10000 && server.state() == QProcess::Running)
            QThread::msleep(20);
        if (QFileInfo::exists(socket))
            address = QStringLiteral("unix:") + socket;
    }
    ~SoundServer()
    {
        server.terminate();
        if (!server.waitForFinished(3000))
            server.kill();
    }
    bool isRunning() const { return !address.isEmpty() && server.state() == QProcess::Running; }
    QString serverAddress() const { return address; }
    qint64 pid() const { return server.processId(); }

private:
    QTemporaryDir dir;
    QProcess server;
    QString address;
};

// One launch of the real program with a clip, its paints logged.
class Launch
{
public:
    Launch(XServer& x, const SoundServer& sound, bool autoplay)
    {
        QDir(home.path()).mkpath(QStringLiteral(".talmont"));
        QSettings settings(home.path() + QStringLiteral("/.talmont/orvel.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("preferences/tcpPort"), freeTcpPort());
        settings.setValue(QStringLiteral("console/displayConsoleOnType"), 0);
        settings.setValue(QStringLiteral("playback/autoplay"), autoplay);
        settings.sync();
        logPath = home.filePath(QStringLiteral("paints.log"));
        QProcessEnvironment env = x.environment();
        env.insert(QStringLiteral("HOME"), home.path());
        // A single-instance channel of its own: never hand the clip to
        // another player running on the machine.
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp.path());
        env.insert(QStringLiteral("ORVEL_PAINT_LOG"), logPath);
        if (sound.isRunning())
            env.insert(QStringLiteral("PULSE_SERVER"), sound.serverAddress());
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
    }
    ~Launch()
    {
        if (process.state() == QProcess::Running) {
            process.terminate();
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(3000);
        }
    }

    bool start(const QString& clip)
    {
        startedUs = steadyMicroseconds();
        process.start(QStringLiteral(ORVEL_BINARY), {clip});
        return process.waitForStarted(10000);
    }
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }

    struct Paint
    {
        int64_t us;
        int frame;
    };
    // Every paint logged so far.
    std::vector<Paint> paints()
    {
        QFile file(logPath);
        if (file.open(QIODevice::ReadOnly)) {
            file.seek(readOffset);
            const QByteArray text = file.readAll();
            const int end = text.lastIndexOf('\n') + 1;
            readOffset += end;
            for (const QByteArray& line : text.left(end).split('\n')) {
                const QList<QByteArray> parts = line.split(' ');
                if (parts.size() == 2)
                    logged.push_back({parts[0].toLongLong(), parts[1].toInt()});
            }
        }
        return logged;
    }
    // Waits until a paint shows `frame` (or a later one); its time, or -1.
    int64_t waitForPaint(int frame, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs && running()) {
            for (const Paint& p : paints()) {
                if (p.frame >= frame)
                    return p.us;
            }
            QThread::msleep(5);
        }
        return -1;
    }
    int64_t startedAt() const { return startedUs; }

private:
    QTemporaryDir home;
    QTemporaryDir tmp;
    QString logPath;
    QProcess process;
    qint64 readOffset = 0;
    std::vector<Paint> logged;
    int64_t startedUs = 0;
};

void measureStartup(XServer& x, const SoundServer& sound, const QString& clip, int runs)
{
    std::vector<double> ours, reference;
    for (int run = 0; run < runs; ++run) {
        Launch launch(x, sound, false);
        if (!launch.start(clip))
            continue;
        const int64_t painted = launch.waitForPaint(0, 30000);
        if (painted > 0)
            ours.push_back(double(painted - launch.startedAt()) / 1000.0);
        const ToolRun tool = runTool({"ffmpeg", "-nostdin", "-threads", "0", "-i", clip, "-an", "-frames:v",
                                      "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-y", "/dev/null"});
        if (tool.ok)
            reference.push_back(tool.wallMs);
    }
    print("startup_to_first_paint_ms", median(ours));
    print("ffmpeg_first_frame_bgra_ms", median(reference));
}

void measurePlayback(XServer& x, const SoundServer& sound, const char* label, const QString& clip, int frames,
                     double rate)
{
    Launch launch(x, sound, true);
    if (!launch.start(clip) || launch.waitForPaint(0, 30000) < 0) {
        std::fprintf(stderr, "%s: the program did not show the clip\n", label);
        return;
    }
    // Autoplay starts as soon as the clip is loaded: measure from the
    // second frame on, until the last one is painted.
    const int64_t firstMoving = launch.waitForPaint(1, 30000);
    CadenceProbe probe(rate);
    const double cpuStart = processCpuSeconds(launch.pid());
    long peakKb = residentKb(QString::number(launch.pid()));
    QElapsedTimer timer;
    timer.start();
    const int limitMs = int(frames / rate * 1000.0) * 3 + 10000;
    int64_t lastPaint = -1;
    while (timer.elapsed() < limitMs && launch.running()) {
        peakKb = std::max(peakKb, residentKb(QString::number(launch.pid())));
        const auto paints = launch.paints();
        if (!paints.empty() && paints.back().frame >= frames - 1) {
            lastPaint = paints.back().us;
            break;
        }
        QThread::msleep(20);
    }
    const double cpuEnd = processCpuSeconds(launch.pid());
    const CadenceProbe::Result idleThread = probe.stop();
    const double playedSeconds = lastPaint > firstMoving ? double(lastPaint - firstMoving) / 1e6 : 0.0;

    std::vector<bool> seen(size_t(frames), false);
    double longestGapMs = 0.0;
    int longestGapFrame = -1;
    int longGaps = 0; // longer than 1.5 frame intervals
    int64_t previous = -1;
    int previousFrame = -1;
    for (const Launch::Paint& p : launch.paints()) {
        if (p.frame < 0 || p.frame >= frames || p.frame == previousFrame)
            continue;
        seen[size_t(p.frame)] = true;
        if (previous > 0 && p.frame > 1) {
            const double gapMs = double(p.us - previous) / 1000.0;
            longGaps += gapMs * rate > 1500.0 ? 1 : 0;
            if (gapMs > longestGapMs) {
                longestGapMs = gapMs;
                longestGapFrame = p.frame;
            }
        }
        previous = p.us;
        previousFrame = p.frame;
    }
    int shown = 0;
    for (bool s : seen)
        shown += s ? 1 : 0;

    const ToolRun tool = runTool({"ffmpeg", "-nostdin", "-re", "-threads", "0", "-i", clip, "-an", "-f",
                                  "rawvideo", "-pix_fmt", "bgra", "-y", "/dev/null"});
    const QByteArray p(label);
    print((p + "_frames_shown").constData(), shown);
    print((p + "_frames_in_clip").constData(), frames);
    print((p + "_longest_gap_ms").constData(), longestGapMs);
    print((p + "_longest_gap_frame_intervals").constData(), longestGapMs * rate / 1000.0);
    print((p + "_longest_gap_ends_on_frame").constData(), longestGapFrame);
    print((p + "_gaps_over_1_5_frame_intervals").constData(), longGaps);
    print((p + "_idle_thread_longest_gap_frame_intervals").constData(), idleThread.longestGapIntervals);
    print((p + "_idle_thread_gaps_over_1_5_frame_intervals").constData(), idleThread.gapsOver1_5Intervals);
    print((p + "_cpu_percent_of_core").constData(),
          playedSeconds > 0 ? 100.0 * (cpuEnd - cpuStart) / playedSeconds : 0.0);
    print((p + "_peak_resident_mb").constData(), double(peakKb) / 1024.0);
    print((p + "_ffmpeg_realtime_cpu_percent_of_core").constData(),
          tool.wallMs > 0 ? 100.0 * tool.cpuSeconds / (tool.wallMs / 1000.0) : 0.0);
    print((p + "_ffmpeg_realtime_peak_resident_mb").constData(), double(tool.peakKb) / 1024.0);
}

void measurePaused(XServer& x, const SoundServer& sound, const QString& clip)
{
    if (!sound.isRunning()) {
        std::fprintf(stderr, "no sound server (pulseaudio): paused CPU not measured\n");
        return;
    }
    constexpr int ServerAloneMs = 10000;
    // The system counts CPU time in ticks of 10 ms: over 30 s, one tick is
    // 0.03 % of a core.
    constexpr int SpanMs = 30000;
    const double serverAloneStart = processCpuSeconds(sound.pid());
    QThread::msleep(ServerAloneMs);
    const double serverAlone = processCpuSeconds(sound.pid()) - serverAloneStart;

    Launch launch(x, sound, false);
    if (!launch.start(clip) || launch.waitForPaint(0, 30000) < 0)
        return;
    // The decoders fill the cache first, which on a busy machine takes a
    // while: wait until two seconds pass with at most a tick of CPU used
    // (or a minute).
    for (int second = 0; second < 60; ++second) {
        const double before = processCpuSeconds(launch.pid());
        QThread::msleep(2000);
        if (processCpuSeconds(launch.pid()) - before <= 0.01)
            break;
    }
    const double ourStart = processCpuSeconds(launch.pid());
    const double serverStart = processCpuSeconds(sound.pid());
    QElapsedTimer timer;
    timer.start();
    QThread::msleep(SpanMs);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double ours = 100.0 * (processCpuSeconds(launch.pid()) - ourStart) / seconds;
    const double server = 100.0 * (processCpuSeconds(sound.pid()) - serverStart) / seconds;
    print("paused_cpu_percent_of_core", ours);
    print("paused_sound_server_cpu_percent_of_core", server);
    print("paused_total_cpu_percent_of_core", ours + server);
    print("sound_server_alone_cpu_percent_of_core", 100.0 * serverAlone / (ServerAloneMs / 1000.0));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const StealReport steal;
    QStringList args = app.arguments().mid(1);
    int runs = 5;
    QString only;
    const QStringList parts{QStringLiteral("startup"), QStringLiteral("play_1080p60"),
                            QStringLiteral("play_2160p30"), QStringLiteral("paused")};
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        if (args.first() == QLatin1String("--runs") && args.size() >= 2) {
            runs = std::max(1, args[1].toInt());
        } else if (args.first() == QLatin1String("--only") && args.size() >= 2 && parts.contains(args[1])) {
            only = args[1];
        } else {
            std::fprintf(stderr, "usage: bench_window [--runs N] [--only %s] [CLIP_DIR]\n",
                         qPrintable(parts.join(QLatin1Char('|'))));
            return 1;
        }
        args = args.mid(2);
    }
    const auto wanted = [&only](const char* part) { return only.isEmpty() || only == QLatin1String(part); };
    const QString corpus = args.isEmpty() ? QString() : QFileInfo(args.first()).absoluteFilePath();
    const QString longGop = BenchClips::longGop1080p25(corpus);
    const QString clip60 = BenchClips::shortGop1080p60();
    const QString clip4k = BenchClips::uhd30();
    if (longGop.isEmpty() || clip60.isEmpty() || clip4k.isEmpty()) {
        std::fprintf(stderr, "clips missing (the ffmpeg tool and the corpus script are needed)\n");
        return 1;
    }
    XServer x;
    if (!x.isRunning()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    SoundServer sound;
    std::printf("sound_server: %s\n", sound.isRunning() ? "pulseaudio, null sink" : "none");
    if (wanted("startup"))
        measureStartup(x, sound, longGop, runs);
    if (wanted("play_1080p60"))
        measurePlayback(x, sound, "play_1080p60", clip60, 600, 60.0);
    if (wanted("play_2160p30"))
        measurePlayback(x, sound, "play_2160p30", clip4k, 120, 30.0);
    if (wanted("paused"))
        measurePaused(x, sound, longGop);
    return 0;
}
