#include "filterlibrary.h"

// Linked with the program.
bool FilterLibrary::load()
{
    graphAlloc = &avfilter_graph_alloc;
    graphFree = &avfilter_graph_free;
    graphAllocFilter = &avfilter_graph_alloc_filter;
    graphConfig = &avfilter_graph_config;
    getByName = &avfilter_get_by_name;
    initStr = &avfilter_init_str;
    link = &avfilter_link;
    sourceParametersAlloc = &av_buffersrc_parameters_alloc;
    sourceParametersSet = &av_buffersrc_parameters_set;
    sourceAddFrame = &av_buffersrc_add_frame;
    sinkGetFrame = &av_buffersink_get_frame;
    return true;
}
