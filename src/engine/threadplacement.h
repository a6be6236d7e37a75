#pragma once

#include <thread>

// Where threads run. A woken thread is put where the system sees fit; a
// virtual machine that tells of no cache shared between its cores makes the
// system put it on the core of the thread that woke it, where it waits for
// that thread instead of taking an idle core. A helper handed a share of the
// caller's work is therefore kept off the caller's core.
class ThreadPlacement
{
public:
    // Lets `thread` run on any core the process may use but the calling
    // thread's. Does nothing with a single core or without such control.
    static void keepOffCallersCore(std::thread& thread);
};
