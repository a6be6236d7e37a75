#include "soundoutputformat.h"

#include <algorithm>

namespace {

void addOnce(std::vector<int>& values, int value)
{
    if (value > 0 && std::find(values.begin(), values.end(), value) == values.end())
        values.push_back(value);
}

} // namespace

std::vector<SoundOutputFormat> SoundOutputFormat::candidates(int clipRate, int clipChannels,
                                                             int deviceChannels)
{
    std::vector<int> channelCounts;
    addOnce(channelCounts, std::min(clipChannels, deviceChannels));
    if (deviceChannels >= 2)
        addOnce(channelCounts, 2);
    addOnce(channelCounts, 1);
    std::vector<int> rates;
    for (int rate : {clipRate, 48000, 44100})
        addOnce(rates, rate);

    // Converting the rate loses nothing that can be heard; mixing channels
    // down does. So every rate is tried before fewer channels.
    std::vector<SoundOutputFormat> formats;
    for (int channels : channelCounts) {
        for (int rate : rates)
            formats.emplace_back(rate, channels);
    }
    return formats;
}

PaStreamParameters SoundOutputFormat::parameters(PaDeviceIndex device) const
{
    PaStreamParameters output{};
    output.device = device;
    output.channelCount = channels;
    output.sampleFormat = paInt16;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    output.suggestedLatency = info ? info->defaultLowOutputLatency : 0.0;
    output.hostApiSpecificStreamInfo = nullptr;
    return output;
}
