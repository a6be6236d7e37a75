#include "timestretch.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cstring>

namespace {

// The stages that multiply to `tempo`, each within what atempo does well.
std::vector<double> stagesFor(double tempo)
{
    std::vector<double> stages;
    while (tempo > 2.0) {
        stages.push_back(2.0);
        tempo /= 2.0;
    }
    while (tempo < 0.5) {
        stages.push_back(0.5);
        tempo /= 0.5;
    }
    stages.push_back(tempo);
    return stages;
}

} // namespace

bool TimeStretch::supports(double tempo)
{
    return tempo != 1.0 && tempo >= SlowestTempo && tempo <= FastestTempo;
}

void TimeStretch::GraphFreer::operator()(AVFilterGraph* graph) const
{
    FilterLibrary::get()->graphFree(&graph);
}

TimeStretch::TimeStretch(int sampleRate, int channelCount, double tempo)
    : filters(FilterLibrary::get()), graph(filters ? filters->graphAlloc() : nullptr),
      frame(av_frame_alloc()), rate(sampleRate), channels(channelCount), tempoValue(tempo)
{
    if (!build())
        sink = nullptr;
}

bool TimeStretch::build()
{
    if (!graph || !frame || rate <= 0 || channels <= 0 || !(tempoValue > 0.0))
        return false;
    // Numbers go in as numbers: an option string would be read in the
    // program's locale, where a decimal point may be a comma.
    source = filters->graphAllocFilter(graph.get(), filters->getByName("abuffer"), "in");
    AVBufferSrcParameters* parameters = filters->sourceParametersAlloc();
    if (!source || !parameters) {
        av_free(parameters);
        return false;
    }
    parameters->format = AV_SAMPLE_FMT_S16;
    parameters->sample_rate = rate;
    parameters->time_base = AVRational{1, rate};
    av_channel_layout_default(&parameters->ch_layout, channels);
    const int set = filters->sourceParametersSet(source, parameters);
    av_channel_layout_uninit(&parameters->ch_layout);
    av_free(parameters);
    if (set < 0 || filters->initStr(source, nullptr) < 0)
        return false;

    AVFilterContext* previous = source;
    for (double stage : stagesFor(tempoValue)) {
        AVFilterContext* atempo =
            filters->graphAllocFilter(graph.get(), filters->getByName("atempo"), nullptr);
        if (!atempo || av_opt_set_double(atempo, "tempo", stage, AV_OPT_SEARCH_CHILDREN) < 0 ||
            filters->initStr(atempo, nullptr) < 0 || filters->link(previous, 0, atempo, 0) < 0)
            return false;
        previous = atempo;
    }

    AVFilterContext* output =
        filters->graphAllocFilter(graph.get(), filters->getByName("abuffersink"), "out");
    const AVSampleFormat formats[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_NONE};
    if (!output ||
        av_opt_set_int_list(output, "sample_fmts", formats, AV_SAMPLE_FMT_NONE, AV_OPT_SEARCH_CHILDREN) < 0 ||
        filters->initStr(output, nullptr) < 0 || filters->link(previous, 0, output, 0) < 0 ||
        filters->graphConfig(graph.get(), nullptr) < 0)
        return false;
    sink = output;
    return true;
}

bool TimeStretch::push(const int16_t* samples, int frames)
{
    if (!isValid() || frames <= 0)
        return false;
    av_frame_unref(frame.get());
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = rate;
    frame->nb_samples = frames;
    av_channel_layout_default(&frame->ch_layout, channels);
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    std::memcpy(frame->data[0], samples, size_t(frames) * channels * sizeof(int16_t));
    frame->pts = framesIn;
    framesIn += frames;
    return filters->sourceAddFrame(source, frame.get()) >= 0;
}

bool TimeStretch::finish()
{
    return isValid() && filters->sourceAddFrame(source, nullptr) >= 0;
}

int TimeStretch::pull(std::vector<int16_t>& out)
{
    if (!isValid())
        return 0;
    int pulled = 0;
    while (filters->sinkGetFrame(sink, frame.get()) >= 0) {
        const size_t samples = size_t(frame->nb_samples) * channels;
        const auto* data = reinterpret_cast<const int16_t*>(frame->data[0]);
        out.insert(out.end(), data, data + samples);
        pulled += frame->nb_samples;
        av_frame_unref(frame.get());
    }
    return pulled;
}
