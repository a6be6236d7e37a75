#include "packetqueue.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

PacketQueue::PacketQueue() = default;

PacketQueue::~PacketQueue()
{
    clear();
}

void PacketQueue::setInterruptFlags(const std::atomic<bool>* aborting, const std::atomic<bool>* seek)
{
    std::lock_guard<std::mutex> lock(mutex);
    abortFlag = aborting;
    seekFlag = seek;
}

bool PacketQueue::interruptedForPush() const
{
    return (abortFlag && abortFlag->load()) || (seekFlag && seekFlag->load());
}

bool PacketQueue::interruptedForPop() const
{
    return abortFlag && abortFlag->load();
}

bool PacketQueue::push(AVPacket* packet, int timeoutMs, int capacity)
{
    PacketPtr copy;
    if (!takeOver(packet, copy))
        return true;
    if (append(copy, timeoutMs, capacity))
        return true;
    // Hand the data back: the caller retries with the same packet or frees it.
    av_packet_move_ref(packet, copy.get());
    return false;
}

bool PacketQueue::pushBeyondCapacity(AVPacket* packet, int64_t byteLimit)
{
    PacketPtr copy;
    if (!takeOver(packet, copy))
        return true;
    if (append(copy, 0, Capacity, byteLimit))
        return true;
    av_packet_move_ref(packet, copy.get());
    return false;
}

// Moves the packet's data into `copy`; false when the packet was dropped
// instead (dropping queue, no memory), which counts as handled.
bool PacketQueue::takeOver(AVPacket* packet, PacketPtr& copy)
{
    if (droppingAll || av_packet_make_refcounted(packet) < 0) {
        av_packet_unref(packet);
        return false;
    }
    copy.reset(av_packet_alloc());
    if (!copy) {
        av_packet_unref(packet);
        return false;
    }
    av_packet_move_ref(copy.get(), packet);
    return true;
}

bool PacketQueue::append(PacketPtr& packet, int timeoutMs, int capacity, int64_t byteLimit)
{
    const int64_t size = std::max(0, packet->size) + PacketBookkeepingBytes;
    std::unique_lock<std::mutex> lock(mutex);
    const auto fits = [&] {
        return int(packets.size()) < capacity || (byteLimit >= 0 && bytes + size <= byteLimit);
    };
    const bool room = placeFreed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                          [&] { return fits() || interruptedForPush(); });
    if (!room || !fits())
        return false;
    packets.push_back(std::move(packet));
    queued = int(packets.size());
    bytes += size;
    const bool popperWoken = poppersWaiting > 0;
    lock.unlock();
    packetAdded.notify_one();
    if (popperWoken)
        std::this_thread::yield();
    return true;
}

int PacketQueue::pop(AVPacket* out, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    const unsigned wakesBefore = wakes;
    ++poppersWaiting;
    packetAdded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return !packets.empty() || interruptedForPop() || wakes != wakesBefore; });
    --poppersWaiting;
    if (packets.empty())
        return -1;
    PacketPtr first = std::move(packets.front());
    packets.pop_front();
    queued = int(packets.size());
    bytes -= std::max(0, first->size) + PacketBookkeepingBytes;
    lock.unlock();
    placeFreed.notify_one();
    av_packet_unref(out);
    av_packet_move_ref(out, first.get());
    return 0;
}

void PacketQueue::clear()
{
    std::deque<PacketPtr> removed;
    {
        std::lock_guard<std::mutex> lock(mutex);
        removed.swap(packets);
        queued = 0;
        bytes = 0;
    }
    placeFreed.notify_all();
}

void PacketQueue::flush(const SeekMark* mark)
{
    clear();
    // Only the reader pushes, and it is the one flushing: after the clear
    // there is room, so the first attempt succeeds unless memory runs out.
    for (int attempt = 0; attempt < 100 && !pushMarker(FlushSize, 1, mark); ++attempt) {
    }
}

bool PacketQueue::seekMark(const AVPacket* packet, SeekMark* mark)
{
    if (!isFlush(packet) || !packet->opaque_ref || packet->opaque_ref->size != sizeof(SeekMark))
        return false;
    std::memcpy(mark, packet->opaque_ref->data, sizeof(SeekMark));
    return true;
}

bool PacketQueue::pushEndOfStream(int timeoutMs)
{
    return pushMarker(EndOfStreamSize, timeoutMs);
}

bool PacketQueue::pushMarker(int size, int timeoutMs, const SeekMark* mark)
{
    if (droppingAll)
        return true;
    PacketPtr marker(av_packet_alloc());
    if (!marker)
        return false;
    marker->size = size;
    marker->data = nullptr;
    if (mark) {
        marker->opaque_ref = av_buffer_alloc(sizeof(SeekMark));
        if (marker->opaque_ref)
            std::memcpy(marker->opaque_ref->data, mark, sizeof(SeekMark));
    }
    return append(marker, timeoutMs);
}

int PacketQueue::count() const
{
    return queued.load();
}

void PacketQueue::setDropping(bool drop)
{
    droppingAll = drop;
    if (drop)
        clear();
    wake();
}

void PacketQueue::wake()
{
    {
        // Taking the lock orders the flag change before any waiter's next test.
        std::lock_guard<std::mutex> lock(mutex);
        ++wakes;
    }
    placeFreed.notify_all();
    packetAdded.notify_all();
}
