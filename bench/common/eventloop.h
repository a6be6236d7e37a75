#pragma once

// Event-loop waits shared by the benchmark programs that drive the playback
// controller, whose reports arrive as queued signals.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

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

inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace BenchLoop
