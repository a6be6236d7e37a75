#pragma once

#include "frameconverter.h"
#include "videoframe.h"

#include <QImage>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Turns cached pictures into images for the viewer ahead of the controller,
// on a thread of its own: while a frame is on screen, the `Ahead` expected
// next are converted, so that showing them costs the GUI thread no more than
// the hand-over. (One frame ahead, a converter that the decoding threads keep
// from its core for a frame interval made the GUI thread wait for it.) A
// picture that was not prepared is converted on the caller's thread when
// asked for (with the same converter, once the worker has finished what it is
// doing).
//
// Images are made at the size the viewer shows them at (colour conversion and
// scaling in one pass); the file's full-size pixels are converted only when
// something asks for them (fileImage). Pictures are told apart by their time
// and size. The worker sleeps while there is nothing to prepare.
class FramePreparer
{
public:
    static constexpr int Ahead = 2;

    FramePreparer(int width, int height);
    ~FramePreparer();
    FramePreparer(const FramePreparer&) = delete;
    FramePreparer& operator=(const FramePreparer&) = delete;

    // The size of the file's pictures.
    QSize fileSize() const { return QSize(width, height); }

    // The image of `frame` at `size` (the file's size when empty): the
    // prepared one, or converted now.
    QImage image(const VideoFrame& frame, const QSize& size);
    // Converts `frame` to `size` in the background (a reference to its
    // picture is taken), unless it is prepared or being prepared already.
    // Frames are prepared in the order asked for; of more than `Ahead` waiting,
    // the oldest is given up. A sleeping worker starts on them only when told
    // to (startPreparing): woken at once, it could take the core that the
    // frame on screen is still to be painted with.
    void prepare(const VideoFrame& frame, const QSize& size);
    void startPreparing();
    // Converts `frame` on the calling thread, at the size images were last
    // asked for, and keeps it for image(): a seek's target is converted by
    // the thread that decoded it, the moment it is stored, rather than by
    // the GUI thread once it has been told.
    void prepareNow(const VideoFrame& frame);
    // Sets the converter up, in the background, for pictures of `format`
    // and `colour` shown at `size`, by converting a black one: the first
    // conversion makes the scaler, its threads and the images, which would
    // hold back the first picture shown by tens of milliseconds.
    void warmUp(AVPixelFormat format, const AVCodecParameters* colour, const QSize& size);
    // The full-size image of `frame`, whose image at some size is `shown`:
    // `shown` itself when it is full-size, else converted on the first call
    // (on whichever thread calls; calls may come from several) and kept.
    std::function<QImage()> fileImage(const VideoFrame& frame, const QImage& shown) const;

private:
    struct SharedConverter;
    struct Job
    {
        VideoFrame frame;
        QSize size;
        bool warmUp = false; // nobody wants the image
    };
    struct Prepared
    {
        QImage image;
        double time;
    };

    void run();
    // Waits (holding `lock`) until the converter is free, and takes it.
    void takeConverter(std::unique_lock<std::mutex>& lock);
    // Converts `frame` to `size` with the converter the caller has taken
    // (holding `lock`, let go of meanwhile) and gives the converter back;
    // with `keep`, the image is kept for image().
    void convertTaken(std::unique_lock<std::mutex>& lock, const VideoFrame& frame, const QSize& size,
                      bool keep);
    QSize sizeFor(const QSize& wanted) const;
    // Whether `frame` at `size` is being converted, prepared or waiting (all
    // holding `mutex`).
    bool converts(const VideoFrame& frame, const QSize& size) const;
    bool isPrepared(const VideoFrame& frame, const QSize& size) const;
    bool isPending(const VideoFrame& frame, const QSize& size) const;
    QImage takePrepared(const VideoFrame& frame, const QSize& size);

    int width;
    int height;
    FrameConverter converter;
    // For full-size images asked for on any thread, as long as any frame's
    // fileImage() may still be called.
    std::shared_ptr<SharedConverter> fileConverter;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> pending;    // in the order asked for
    std::deque<Prepared> ready; // at most `Ahead`, oldest first
    bool converting = false;
    double convertingTime = -1.0;
    QSize convertingSize;
    QSize lastSize; // of the last image asked for
    bool stopping = false;
    std::thread worker;
};
