#pragma once

#include "avholders.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// Where a seek of the reader went, carried by the flush marker that starts
// the packets read after it, so that the decoder knows which pictures the
// seek is for.
// How many of the pictures between the key frame and a seek target the
// decoder decodes in full and keeps. The unreferenced ones it does not keep
// need not be decoded at all, so what is kept is paid for in time.
enum class SeekHistory
{
    Few,      // a jump: a few frames
    Trailing, // a step back: as many as the cache keeps behind the playhead
};

struct SeekMark
{
    double target = 0.0; // media time, seconds
    SeekHistory history = SeekHistory::Few;
    bool fromStart = false; // the file was sought to its start: nothing earlier to go back to
    // A backward fill when not negative: the pictures from the target up to
    // this time join the cache as it is; the clock stays where it is.
    double fillEnd = -1.0;
};

// A bounded queue of compressed packets between the reader and one decoder.
//
// The queue owns the packets it holds. Two marker packets travel through it
// like data and are told apart by their size: the end-of-stream marker
// (size EndOfStreamSize) and the flush marker queued after a seek (size
// FlushSize). Neither carries data; the flush marker may carry a SeekMark.
//
// Waiting: a push waits for a free place and a pop for a packet, each for at
// most the time-out it is given (1 ms by default). Both wake at once when the
// other side makes room or adds a packet, and when the interrupt flags given
// to setInterruptFlags become set and wake() is called, so a long time-out
// costs no CPU while nothing happens and still lets a seek or an unload
// through immediately. A push that wakes a waiting pop yields the core: the
// woken decoder may have been put on the pushing thread's core, and reading
// ahead is not what it should wait for.
class PacketQueue
{
public:
    static constexpr int Capacity = 200;
    static constexpr int EndOfStreamSize = -9;
    static constexpr int FlushSize = -99;
    // Measured: tens of thousands of small sound packets take about this much
    // each beside their data.
    static constexpr int PacketBookkeepingBytes = 512;

    PacketQueue();
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Flags that end every wait: `aborting` ends pushes and pops, `seek`
    // ends pushes only (the reader then gives the packet up and seeks).
    void setInterruptFlags(const std::atomic<bool>* aborting, const std::atomic<bool>* seek);

    // Takes over the packet's data on success (the packet is left blank) and
    // returns true. A packet whose data cannot be made owned is dropped and
    // also counts as handled. Returns false, leaving the packet untouched,
    // when no place became free within the time-out or an interrupt flag is set.
    // `capacity` (at most Capacity) is how many packets the queue may hold
    // before this one.
    bool push(AVPacket* packet, int timeoutMs = 1, int capacity = Capacity);
    // Like push, without waiting, and beyond the capacity as long as the
    // queue then holds at most `byteLimit` bytes (see byteCount).
    bool pushBeyondCapacity(AVPacket* packet, int64_t byteLimit);
    // Moves the oldest packet into `out` (the caller unrefs it) and returns 0;
    // returns -1 when nothing arrived within the time-out or `aborting` is set.
    int pop(AVPacket* out, int timeoutMs = 1);
    // Removes and frees every packet.
    void clear();
    // clear(), then queues the flush marker, with `mark` when given.
    void flush(const SeekMark* mark = nullptr);
    bool pushEndOfStream(int timeoutMs = 1);

    int count() const;
    // Memory the packets held take: their data and, for each, about what the
    // library and the queue spend on keeping it (PacketBookkeepingBytes).
    int64_t byteCount() const { return bytes.load(); }
    // A queue whose consumer will never come (the stream's decoder could not
    // be set up) drops everything pushed into it, so that the reader is not
    // held up by a full queue that nobody empties.
    void setDropping(bool drop);
    bool dropping() const { return droppingAll.load(); }
    // Wakes every waiter so that it looks at the interrupt flags again; a
    // waiting pop returns (empty-handed if nothing came), so that its caller
    // can look at other requests too.
    void wake();

    static bool isEndOfStream(const AVPacket* packet)
    {
        return packet->data == nullptr && packet->size == EndOfStreamSize;
    }
    static bool isFlush(const AVPacket* packet)
    {
        return packet->data == nullptr && packet->size == FlushSize;
    }
    // The mark a flush marker carries; false when it carries none.
    static bool seekMark(const AVPacket* packet, SeekMark* mark);

private:
    bool pushMarker(int size, int timeoutMs, const SeekMark* mark = nullptr);
    bool append(PacketPtr& packet, int timeoutMs, int capacity = Capacity, int64_t byteLimit = -1);
    bool takeOver(AVPacket* packet, PacketPtr& copy);
    bool interruptedForPush() const;
    bool interruptedForPop() const;

    mutable std::mutex mutex;
    std::condition_variable placeFreed;
    std::condition_variable packetAdded;
    std::deque<PacketPtr> packets;
    std::atomic<int> queued{0};
    std::atomic<int64_t> bytes{0};
    std::atomic<bool> droppingAll{false};
    unsigned wakes = 0;     // guarded by mutex
    int poppersWaiting = 0; // guarded by mutex
    const std::atomic<bool>* abortFlag = nullptr;
    const std::atomic<bool>* seekFlag = nullptr;
};
