#pragma once

#include "avholders.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Converts a picture with one scaler for each band of output rows, the
// bands taken by the calling thread and by helper threads as each comes
// free; the result is that of one scaler converting the whole picture.
// Unlike the scaler's own threads, each of which waits for its one band to
// be taken by a thread that may not yet have a core, a band nobody has
// started is done by whoever is free first. The helpers are kept off the
// caller's core (ThreadPlacement) and sleep between pictures.
class BandedScaler
{
public:
    // As many bands as `bands`, or as the machine has cores (at most four)
    // when 0.
    explicit BandedScaler(int bands = 0);
    ~BandedScaler();
    BandedScaler(const BandedScaler&) = delete;
    BandedScaler& operator=(const BandedScaler&) = delete;

    // Replaces the scalers with one for each band, each made by `make` (to
    // convert with one thread); false, and none kept, when one fails.
    bool reset(const std::function<SwsContext*()>& make);
    bool isValid() const { return !bands.empty(); }
    // Converts `picture` into `output`, whose pixels are referenced.
    void scale(const AVFrame* picture, AVFrame* output);

private:
    void startHelpers();
    void helperLoop();
    // Takes bands until none is left.
    void takeBands();
    void scaleBand(size_t band);

    int bandsWanted;
    std::vector<ScalerPtr> bands;
    std::vector<std::thread> helpers;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    uint64_t generation = 0;
    bool stopping = false;
    // The picture being converted, set before its bands are handed out. A
    // helper that wakes after the last band was taken reads only the atomics.
    const AVFrame* source = nullptr;
    AVFrame* target = nullptr;
    std::atomic<size_t> bandCount{0};
    std::atomic<size_t> nextBand{0};
    std::atomic<size_t> bandsLeft{0};
};
