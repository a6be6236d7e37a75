#include "threadplacement.h"

#include <pthread.h>
#include <sched.h>

namespace {

cpu_set_t processCores()
{
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) != 0)
        CPU_ZERO(&cores);
    return cores;
}

} // namespace

void ThreadPlacement::keepOffCallersCore(std::thread& thread)
{
    static const cpu_set_t allowed = processCores();
    const int core = sched_getcpu();
    if (core < 0 || core >= CPU_SETSIZE || !CPU_ISSET(core, &allowed) || CPU_COUNT(&allowed) < 2)
        return;
    cpu_set_t others = allowed;
    CPU_CLR(core, &others);
    pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
}
