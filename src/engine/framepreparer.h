#pragma once

#include "frameconverter.h"
#include "videoframe.h"

#include <QImage>
#include <condition_variable>
#include <mutex>
#include <thread>

// Turns cached pictures into images for the viewer one step ahead of the
// controller, on a thread of its own: while a frame is on screen, the one
// expected next is converted, so that showing it costs the GUI thread no more
// than the hand-over. A picture that was not prepared is converted on the
// caller's thread when asked for (with the same converter, once the worker
// has finished what it is doing).
//
// Pictures are told apart by their time. The worker sleeps while there is
// nothing to prepare.
class FramePreparer
{
public:
    FramePreparer(int width, int height);
    ~FramePreparer();
    FramePreparer(const FramePreparer&) = delete;
    FramePreparer& operator=(const FramePreparer&) = delete;

    // The image of `frame`: the prepared one, or converted now.
    QImage image(const VideoFrame& frame);
    // Converts `frame` in the background (a reference to its picture is
    // taken), unless it is prepared or being prepared already.
    void prepare(const VideoFrame& frame);

private:
    void run();
    // Waits (holding `lock`) until the converter is free, and takes it.
    void takeConverter(std::unique_lock<std::mutex>& lock);

    FrameConverter converter;
    std::mutex mutex;
    std::condition_variable changed;
    VideoFrame pending{nullptr, 0.0};
    bool converting = false;
    double convertingTime = -1.0;
    QImage ready;
    double readyTime = -1.0;
    bool stopping = false;
    std::thread worker;
};
