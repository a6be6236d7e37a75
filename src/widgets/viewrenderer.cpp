#include "viewrenderer.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t SpareImages = 3;

// An image of `size` to write the picture into: a spare one the viewer has
// finished with when there is one (which spares allocating and zero-filling
// a new image for every frame), else a new one.
QImage takeImage(const QSize& size, std::vector<QImage>* spare)
{
    if (spare) {
        for (auto image = spare->begin(); image != spare->end(); ++image) {
            if (image->size() == size && image->format() == QImage::Format_RGB32) {
                QImage taken = std::move(*image);
                spare->erase(image);
                return taken;
            }
        }
    }
    return QImage(size, QImage::Format_RGB32);
}

bool isFourBytesRgb(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// One visible device pixel row or column: the offset in bytes of the source
// pixel that each device pixel shows.
std::vector<qsizetype> pixelOffsets(int count, int first, double scale, double shift, int limit,
                                    qsizetype step)
{
    std::vector<qsizetype> offsets(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const int source = int(std::floor(scale * (first + i + 0.5) + shift));
        offsets[size_t(i)] = qsizetype(std::clamp(source, 0, limit - 1)) * step;
    }
    return offsets;
}

// Consecutive source pixels of 32-bit RGB, left to right: 1:1, not mirrored.
bool copiesRuns(const QImage& frame, const std::vector<qsizetype>& columnOffsets)
{
    if (frame.format() != QImage::Format_RGB32)
        return false;
    for (size_t x = 1; x < columnOffsets.size(); ++x) {
        if (columnOffsets[x] != columnOffsets[0] + qsizetype(x) * 4)
            return false;
    }
    return true;
}

template <int BytesPerPixel>
void copyNearest(const QImage& frame, QImage& out, const std::vector<qsizetype>& rowOffsets,
                 const std::vector<qsizetype>& columnOffsets)
{
    const uchar* bits = frame.constBits();
    if (BytesPerPixel == 4 && copiesRuns(frame, columnOffsets)) {
        for (int y = 0; y < out.height(); ++y)
            std::memcpy(out.scanLine(y), bits + rowOffsets[size_t(y)] + columnOffsets[0],
                        size_t(out.width()) * 4);
        return;
    }
    for (int y = 0; y < out.height(); ++y) {
        const uchar* row = bits + rowOffsets[size_t(y)];
        auto* target = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const uchar* pixel = row + columnOffsets[size_t(x)];
            if constexpr (BytesPerPixel == 4)
                target[x] = *reinterpret_cast<const uint32_t*>(pixel) | 0xff000000u;
            else
                target[x] = 0xff000000u | uint32_t(pixel[0]) << 16 | uint32_t(pixel[1]) << 8 | pixel[2];
        }
    }
}

// Nearest neighbour, visible part only. The file-to-device mapping is a
// scale, a translation and a quarter-turn or mirror, so every device column
// shows one file column (or one file row, turned) and every device row one
// file row (or column): two offset tables describe the whole picture.
ViewRenderer::Picture renderNearest(const ViewRenderer::Job& job, QImage frame, std::vector<QImage>* spare)
{
    ViewRenderer::Picture picture;
    picture.pictureRect = job.pictureRect;
    picture.serial = job.serial;
    picture.deviceRect = job.pictureRect & QRect(QPoint(0, 0), job.viewportSize);
    if (picture.deviceRect.isEmpty())
        return picture;

    if (!isFourBytesRgb(frame.format()) && frame.format() != QImage::Format_RGB888)
        frame = frame.convertToFormat(QImage::Format_RGB32);
    const int bytesPerPixel = frame.format() == QImage::Format_RGB888 ? 3 : 4;
    const QSize fileSize = frame.size();
    const QSize pictureSize = job.orientation.pictureSize(fileSize);
    const QTransform pictureToDevice(double(job.pictureRect.width()) / pictureSize.width(), 0, 0,
                                     double(job.pictureRect.height()) / pictureSize.height(),
                                     job.pictureRect.x(), job.pictureRect.y());
    const QTransform deviceToFile = (job.orientation.fileToPicture(fileSize) * pictureToDevice).inverted();

    const QRect& area = picture.deviceRect;
    const qsizetype line = frame.bytesPerLine();
    std::vector<qsizetype> rows;
    std::vector<qsizetype> columns;
    if (job.orientation.swapsAxes()) {
        // Device rows walk along file columns, device columns along file rows.
        rows = pixelOffsets(area.height(), area.y(), deviceToFile.m21(), deviceToFile.dx(), fileSize.width(),
                            bytesPerPixel);
        columns = pixelOffsets(area.width(), area.x(), deviceToFile.m12(), deviceToFile.dy(),
                               fileSize.height(), line);
    } else {
        rows = pixelOffsets(area.height(), area.y(), deviceToFile.m22(), deviceToFile.dy(), fileSize.height(),
                            line);
        columns = pixelOffsets(area.width(), area.x(), deviceToFile.m11(), deviceToFile.dx(),
                               fileSize.width(), bytesPerPixel);
    }
    QImage out = takeImage(area.size(), spare);
    if (bytesPerPixel == 4)
        copyNearest<4>(frame, out, rows, columns);
    else
        copyNearest<3>(frame, out, rows, columns);
    out.setDevicePixelRatio(job.devicePixelRatio);
    picture.image = std::move(out);
    return picture;
}

// Area averaging over the whole frame, then the turn on the small result.
ViewRenderer::Picture renderSmooth(const ViewRenderer::Job& job, QImage frame)
{
    ViewRenderer::Picture picture;
    picture.pictureRect = job.pictureRect;
    picture.deviceRect = job.pictureRect;
    picture.serial = job.serial;
    if (!isFourBytesRgb(frame.format()))
        frame = frame.convertToFormat(QImage::Format_RGB32);
    const QSize target = job.pictureRect.size();
    const QSize fileTarget = job.orientation.swapsAxes() ? target.transposed() : target;
    QImage image =
        job.orientation.apply(frame.scaled(fileTarget, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    image.setDevicePixelRatio(job.devicePixelRatio);
    picture.image = image;
    return picture;
}

} // namespace

ViewRenderer::ViewRenderer(QObject* parent) : QObject(parent), worker([this] { run(); }) {}

ViewRenderer::~ViewRenderer()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    worker.join();
}

void ViewRenderer::request(Job job)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending = std::move(job);
    }
    wake.notify_all();
}

ViewRenderer::Picture ViewRenderer::render(const Job& job, std::vector<QImage>* spare)
{
    // Scaled for another view: the file's pixels are scaled instead.
    const bool scaledForView = job.fileImage && job.frame.size() != job.fileSize;
    if (scaledForView && job.orientation.pictureSize(job.frame.size()) != job.pictureRect.size()) {
        Job full = job;
        full.frame = job.fileImage();
        full.fileImage = nullptr;
        return render(full, spare);
    }
    const QSize pictureSize = job.orientation.pictureSize(job.frame.size());
    if (job.frame.isNull() || job.pictureRect.isEmpty() || pictureSize.isEmpty()) {
        Picture picture;
        picture.serial = job.serial;
        return picture;
    }
    if (showsFrameAsItIs(job)) {
        Picture picture;
        picture.image = job.frame;
        picture.deviceRect = job.pictureRect;
        picture.pictureRect = job.pictureRect;
        picture.serial = job.serial;
        return picture;
    }
    const bool smaller =
        job.pictureRect.width() < pictureSize.width() || job.pictureRect.height() < pictureSize.height();
    // The frame's pixels under an image header of this thread's own: the GUI
    // thread may write to the header of the frame it holds (QPixmap::fromImage
    // stores its pixel ratio there), never to the pixels. (A colour table
    // would not come along.)
    const QImage& frame = job.frame;
    const QImage pixels = frame.colorCount() > 0 ? frame
                                                 : QImage(frame.constBits(), frame.width(), frame.height(),
                                                          frame.bytesPerLine(), frame.format());
    return smaller ? renderSmooth(job, pixels) : renderNearest(job, pixels, spare);
}

// (The frame's own pixel ratio is not read here: the GUI thread may be
// writing it, see render().)
bool ViewRenderer::showsFrameAsItIs(const Job& job)
{
    return job.orientation.isIdentity() && job.devicePixelRatio == 1.0 &&
           job.frame.format() == QImage::Format_RGB32 && job.pictureRect.size() == job.frame.size() &&
           QRect(QPoint(0, 0), job.viewportSize).contains(job.pictureRect);
}

void ViewRenderer::recycle(QImage image)
{
    // A frame shown as it is belongs to whoever made it, not to this thread.
    if (image.isNull() || !image.isDetached())
        return;
    std::lock_guard<std::mutex> lock(mutex);
    if (returned.size() < SpareImages)
        returned.push_back(std::move(image));
}

void ViewRenderer::run()
{
    std::vector<QImage> spare;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || pending.has_value(); });
            if (stopping)
                return;
            job = std::move(*pending);
            pending.reset();
            // Handed back under the lock: the viewer's last reads of their
            // pixels are over before they are written again.
            for (QImage& image : returned)
                spare.push_back(std::move(image));
            returned.clear();
            while (spare.size() > SpareImages)
                spare.erase(spare.begin());
        }
        const Picture picture = render(job, &spare);
        // Queued into this object's thread; dropped with the object if it is gone by then.
        QMetaObject::invokeMethod(
            this, [this, picture] { emit rendered(picture); }, Qt::QueuedConnection);
    }
}
