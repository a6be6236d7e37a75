#include "tonedetector.h"

#include <cmath>

namespace {

double goertzelPower(const int16_t* samples, int frames, int channels, int channel, int sampleRate,
                     double frequency)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / sampleRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double s = samples[i * channels + channel] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = s;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

} // namespace

namespace ToneDetector {

double dominantFrequency(const int16_t* samples, int frames, int channels, int channel, int sampleRate)
{
    if (!samples || frames <= 0 || channels <= 0 || channel >= channels || sampleRate <= 0)
        return 0.0;
    double energy = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double v = samples[i * channels + channel];
        energy += v * v;
    }
    // Below about -60 dB of full scale the samples count as silence.
    if (energy / frames < 1000.0)
        return 0.0;
    double best = 0.0;
    double bestPower = -1.0;
    for (double f = 100.0; f <= 4000.0; f += 25.0) {
        const double power = goertzelPower(samples, frames, channels, channel, sampleRate, f);
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

int secondOfTone(const int16_t* samples, int frames, int channels, int channel, int sampleRate)
{
    const double f = dominantFrequency(samples, frames, channels, channel, sampleRate);
    if (f <= 0.0)
        return -1;
    const int second = static_cast<int>(std::lround((f - 250.0) / 250.0));
    if (second < 0 || std::fabs(toneOfSecond(second) - f) > 60.0)
        return -1;
    return second;
}

double toneOfSecond(int second)
{
    return 250.0 + 250.0 * second;
}

} // namespace ToneDetector
