#pragma once

#include <cstdint>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

// The functions of libavfilter the program uses (time-stretched sound). The
// library is loaded the first time they are needed rather than with the
// program, where it can be: it brings some thirty libraries of its own, whose
// loading took about a tenth of the start-up to the first picture.
class FilterLibrary
{
public:
    // The loaded library, or null when it cannot be loaded (said once on
    // the console). Safe from any thread.
    static const FilterLibrary* get();

    decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
    decltype(&avfilter_graph_free) graphFree = nullptr;
    decltype(&avfilter_graph_alloc_filter) graphAllocFilter = nullptr;
    decltype(&avfilter_graph_config) graphConfig = nullptr;
    decltype(&avfilter_get_by_name) getByName = nullptr;
    decltype(&avfilter_init_str) initStr = nullptr;
    decltype(&avfilter_link) link = nullptr;
    decltype(&av_buffersrc_parameters_alloc) sourceParametersAlloc = nullptr;
    decltype(&av_buffersrc_parameters_set) sourceParametersSet = nullptr;
    decltype(&av_buffersrc_add_frame) sourceAddFrame = nullptr;
    decltype(&av_buffersink_get_frame) sinkGetFrame = nullptr;

private:
    // Fills in every function; false when one is missing.
    bool load();
};
