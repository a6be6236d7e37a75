#include "backgroundpriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {

// A weight of a third of a normal thread's: it still takes every core that
// nobody else wants.
constexpr int NiceIncrease = 5;

} // namespace

void BackgroundPriority::lowerCurrentThread()
{
    // On Linux a thread's priority is its own: this thread's id names it.
    const id_t thread = id_t(gettid());
    const int current = getpriority(PRIO_PROCESS, thread);
    if (current < NiceIncrease)
        setpriority(PRIO_PROCESS, thread, NiceIncrease);
}
