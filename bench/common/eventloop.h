#pragma once

// Event-loop waits shared by the benchmark programs that drive the playback
// controller, whose reports arrive as queued signals.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <sys/resource.h>

namespace BenchLoop {

constexpr int WaitLimitMs = 60000;

// Runs the event loop until `done` holds (checked after every event batch);
// false when the limit passes first.
inline bool runUntil(const std::function<bool()>& done, int limitMs = WaitLimitMs)
{
    QElapsedTimer timer;
    timer.start();
    // Sleeps until an event comes, as the program's own event loop does: a
    // loop that polls would take a core from the threads it measures. The
    // ticker bounds the sleep, so that the limit is seen.
    QTimer ticker;
    ticker.start(10);
    while (!done()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// CPU seconds used so far, all threads: by this process (RUSAGE_SELF) or by
// its children that have ended (RUSAGE_CHILDREN).
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until the process rests (less than a tenth of a core
// over 50 ms): the engine has stopped decoding ahead, so that a reference
// timed next does not share the cores with it. False if it never rests
// within the limit.
inline bool runUntilIdle(int limitMs = 10000)
{
    constexpr int WindowMs = 50;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < limitMs) {
        const double before = cpuSeconds();
        QElapsedTimer window;
        window.start();
        runUntil([&] { return window.elapsed() >= WindowMs; });
        if (cpuSeconds() - before < 0.1 * double(window.elapsed()) / 1000.0)
            return true;
    }
    return false;
}

inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace BenchLoop
