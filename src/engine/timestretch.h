#pragma once

#include "avholders.h"
#include "filterlibrary.h"

#include <cstdint>
#include <memory>
#include <vector>

// Plays 16-bit interleaved sound faster or slower with its pitch kept: a
// libavfilter graph of atempo stages (each one stretches by 0.5 to 2, the
// range it handles well). One object stretches one continuous run of sound;
// where the input jumps, a new one starts.
class TimeStretch
{
public:
    static constexpr double SlowestTempo = 0.25;
    static constexpr double FastestTempo = 4.0;
    // Tempos other than 1 that it stretches to.
    static bool supports(double tempo);

    TimeStretch(int sampleRate, int channels, double tempo);
    bool isValid() const { return sink != nullptr; }
    double tempo() const { return tempoValue; }

    // Adds `frames` interleaved frames of input; false when the filter
    // refused them.
    bool push(const int16_t* samples, int frames);
    // No more input follows: the next pull also gives what the filter holds back.
    bool finish();
    // Appends the stretched frames made so far to `out` and returns how many.
    int pull(std::vector<int16_t>& out);

private:
    struct GraphFreer
    {
        void operator()(AVFilterGraph* graph) const;
    };

    bool build();

    const FilterLibrary* filters;
    std::unique_ptr<AVFilterGraph, GraphFreer> graph;
    AVFilterContext* source = nullptr; // owned by the graph
    AVFilterContext* sink = nullptr;   // owned by the graph
    FramePtr frame;
    int rate;
    int channels;
    double tempoValue;
    int64_t framesIn = 0;
};
