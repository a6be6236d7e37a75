#include "filterlibrary.h"

#include <QtGlobal>
#include <dlfcn.h>

extern "C" {
#include <libavutil/macros.h>
}

namespace {

// The library the headers were built against (its major version).
constexpr const char* LibraryName = "libavfilter.so." AV_STRINGIFY(LIBAVFILTER_VERSION_MAJOR);

template <typename Function>
bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

} // namespace

bool FilterLibrary::load()
{
    // Kept loaded for the life of the program.
    void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        qWarning("sound at other speeds is off: %s", dlerror());
        return false;
    }
    const bool complete = resolve(library, "avfilter_graph_alloc", graphAlloc) &&
                          resolve(library, "avfilter_graph_free", graphFree) &&
                          resolve(library, "avfilter_graph_alloc_filter", graphAllocFilter) &&
                          resolve(library, "avfilter_graph_config", graphConfig) &&
                          resolve(library, "avfilter_get_by_name", getByName) &&
                          resolve(library, "avfilter_init_str", initStr) &&
                          resolve(library, "avfilter_link", link) &&
                          resolve(library, "av_buffersrc_parameters_alloc", sourceParametersAlloc) &&
                          resolve(library, "av_buffersrc_parameters_set", sourceParametersSet) &&
                          resolve(library, "av_buffersrc_add_frame", sourceAddFrame) &&
                          resolve(library, "av_buffersink_get_frame", sinkGetFrame);
    if (!complete)
        qWarning("sound at other speeds is off: %s lacks a function", LibraryName);
    return complete;
}
