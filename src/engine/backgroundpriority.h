#pragma once

// Decoding ahead into the caches is background work: the threads that show
// the pictures (the GUI thread, the converter, the sound output) are to get a
// core as soon as they need one. With the decoding threads as busy as the
// cores allow (filling the cache after a load or a seek), a conversion of
// half a millisecond otherwise waited up to 30 ms for a core, and frames were
// shown late. Where the system has no per-thread priority this does nothing.
class BackgroundPriority
{
public:
    // Lowers the calling thread's priority a little; threads it starts later
    // (a decoder's own threads) inherit it.
    static void lowerCurrentThread();
};
