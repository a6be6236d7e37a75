#pragma once

#include "imageorientation.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Turns and scales frames for the viewer on a thread of its own, so that the
// GUI thread only copies finished pictures to the screen. Scaling happens once
// per new frame or new view, never per paint.
//
// A frame that comes already scaled to the picture's size on screen is only
// turned, or shown as it is. Otherwise, below one device pixel per picture
// pixel the picture is scaled smoothly (area averaging); from one up, each
// device pixel shows the picture pixel under its centre (nearest neighbour),
// so pixels stay sharp squares and at 1:1 the frame is copied exactly. Only
// the visible part is rendered then.
class ViewRenderer : public QObject
{
    Q_OBJECT

public:
    struct Job
    {
        // The file's pixels, any format (32-bit RGB is the fast one); or,
        // when fileImage is set, them scaled for a view, not turned, in
        // 32-bit RGB.
        QImage frame;
        QSize fileSize;
        // The file's pixels, for a frame scaled for another view than the
        // job's (until a frame comes at the new size).
        std::function<QImage()> fileImage;
        ImageOrientation orientation;
        QRect pictureRect;  // the turned picture, in device pixels
        QSize viewportSize; // device pixels
        qreal devicePixelRatio = 1.0;
        quint64 serial = 0;
    };

    struct Picture
    {
        QImage image;      // device pixels; its pixel ratio is the job's
        QRect deviceRect;  // where the image goes, in device pixels
        QRect pictureRect; // the job's picture rectangle
        quint64 serial = 0;
    };

    explicit ViewRenderer(QObject* parent = nullptr);
    ~ViewRenderer() override;

    // Queues a job; a queued job not started yet is replaced, so the thread
    // never works on a frame that a newer one has made obsolete.
    void request(Job job);

    // Gives back the image of a picture the viewer no longer shows, to be
    // written again.
    void recycle(QImage image);

    // What the thread runs, on the caller's thread. Images of the right size
    // are taken from `spare` instead of allocated.
    static Picture render(const Job& job, std::vector<QImage>* spare = nullptr);
    // Upright at 1:1 on a screen of one device pixel per pixel and wholly in
    // the view, the frame is already the picture: it is drawn as it is,
    // without a copy, and rendering it is no work.
    static bool showsFrameAsItIs(const Job& job);

signals:
    // In the thread of this object, for every job rendered.
    void rendered(const ViewRenderer::Picture& picture);

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::optional<Job> pending;   // guarded by mutex
    std::vector<QImage> returned; // guarded by mutex
    bool stopping = false;        // guarded by mutex
    std::thread worker;
};
