#pragma once

// The reference for a player's frame gaps, measured beside it in the same
// run: a thread of normal priority that has nothing to do but wake at every
// frame's time, as the thread that paints the frames must. Its gaps are those
// the machine alone imposes (the host taking the cores away, other programs,
// the player's own busy threads): a player cannot show frames more evenly
// than such a thread is woken.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

class CadenceProbe
{
public:
    struct Result
    {
        double longestGapIntervals = 0.0;
        int gapsOver1_5Intervals = 0;
    };

    // Starts waking `rate` times a second.
    explicit CadenceProbe(double rate)
        : interval(std::chrono::nanoseconds(int64_t(1e9 / rate))), worker([this] { run(); })
    {
    }
    ~CadenceProbe() { stop(); }
    CadenceProbe(const CadenceProbe&) = delete;
    CadenceProbe& operator=(const CadenceProbe&) = delete;

    // Stops waking, and measures the gaps between the wake-ups so far.
    Result stop()
    {
        stopping = true;
        if (worker.joinable())
            worker.join();
        Result result;
        for (size_t i = 1; i < wakes.size(); ++i) {
            const double gap = double((wakes[i] - wakes[i - 1]).count()) / double(interval.count());
            result.longestGapIntervals = std::max(result.longestGapIntervals, gap);
            result.gapsOver1_5Intervals += gap > 1.5 ? 1 : 0;
        }
        return result;
    }

private:
    using Clock = std::chrono::steady_clock;

    // Wakes on a fixed schedule: after a late wake-up the next comes on time,
    // as the next frame of a player does.
    void run()
    {
        Clock::time_point due = Clock::now();
        while (!stopping) {
            due += interval;
            std::this_thread::sleep_until(due);
            wakes.push_back(Clock::now());
        }
    }

    const std::chrono::nanoseconds interval;
    std::atomic<bool> stopping{false};
    std::vector<Clock::time_point> wakes; // the worker's until it is joined
    std::thread worker;
};
