#include "bandedscaler.h"

#include "threadplacement.h"

extern "C" {
#include <libavutil/cpu.h>
}

#include <algorithm>
#include <pthread.h>

namespace {

// More bands than this, by default, only add hand-overs.
constexpr int MaxBands = 4;

} // namespace

BandedScaler::BandedScaler(int bands)
    : bandsWanted(bands > 0 ? bands : std::clamp(av_cpu_count(), 1, MaxBands))
{
}

BandedScaler::~BandedScaler()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& helper : helpers)
        helper.join();
}

bool BandedScaler::reset(const std::function<SwsContext*()>& make)
{
    bands.clear();
    for (int band = 0; band < bandsWanted; ++band) {
        ScalerPtr scaler(make());
        if (!scaler) {
            bands.clear();
            return false;
        }
        bands.push_back(std::move(scaler));
    }
    return true;
}

void BandedScaler::startHelpers()
{
    while (helpers.size() + 1 < bands.size())
        helpers.emplace_back([this] { helperLoop(); });
}

void BandedScaler::helperLoop()
{
    pthread_setname_np(pthread_self(), "orvel convert");
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || generation != seen; });
        if (stopping)
            return;
        seen = generation;
        lock.unlock();
        takeBands();
        lock.lock();
    }
}

void BandedScaler::scale(const AVFrame* picture, AVFrame* output)
{
    if (bands.empty())
        return;
    if (bands.size() == 1) {
        source = picture;
        target = output;
        scaleBand(0);
        return;
    }
    startHelpers();
    {
        std::lock_guard<std::mutex> lock(mutex);
        source = picture;
        target = output;
        bandCount = bands.size();
        bandsLeft = bands.size();
        nextBand = 0;
        ++generation;
    }
    for (std::thread& helper : helpers)
        ThreadPlacement::keepOffCallersCore(helper);
    wake.notify_all();
    takeBands();
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [this] { return bandsLeft == 0; });
}

void BandedScaler::takeBands()
{
    for (;;) {
        const size_t band = nextBand.fetch_add(1);
        if (band >= bandCount)
            return;
        scaleBand(band);
        if (bandsLeft.fetch_sub(1) == 1) {
            std::lock_guard<std::mutex> lock(mutex);
            finished.notify_all();
        }
    }
}

void BandedScaler::scaleBand(size_t band)
{
    SwsContext* scaler = bands[band].get();
    const int rows = target->height;
    const int alignment = std::max(1u, sws_receive_slice_alignment(scaler));
    const int count = int(bands.size());
    const int perBand = (rows + count - 1) / count;
    const int step = (perBand + alignment - 1) / alignment * alignment;
    const int first = std::min(rows, int(band) * step);
    const int last = std::min(rows, first + step);
    if (first >= last)
        return;
    if (sws_frame_start(scaler, target, source) < 0)
        return;
    if (sws_send_slice(scaler, 0, unsigned(source->height)) >= 0)
        sws_receive_slice(scaler, unsigned(first), unsigned(last - first));
    sws_frame_end(scaler);
}
