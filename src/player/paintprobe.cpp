#include "paintprobe.h"

#include "playbackmanager.h"
#include "softwareviewer.h"

#include <QEvent>
#include <QWidget>
#include <chrono>

void PaintProbe::installFromEnvironment(QWidget* window)
{
    const QByteArray path = qgetenv("ORVEL_PAINT_LOG");
    if (path.isEmpty() || !window)
        return;
    auto* viewer = window->findChild<SoftwareViewer*>();
    const auto* manager = window->findChild<PlaybackManager*>();
    std::FILE* log = std::fopen(path.constData(), "a");
    if (!viewer || !manager || !log) {
        if (log)
            std::fclose(log);
        return;
    }
    viewer->installEventFilter(new PaintProbe(viewer, manager, log));
}

PaintProbe::PaintProbe(QObject* viewer, const PlaybackManager* playbackManager, std::FILE* file)
    : QObject(viewer), manager(playbackManager), log(file)
{
}

PaintProbe::~PaintProbe()
{
    std::fclose(log);
}

bool PaintProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint)
        return false;
    // The viewer paints first, so that the time is that of the finished picture.
    watched->event(event);
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::fprintf(log, "%lld %d\n",
                 (long long)std::chrono::duration_cast<std::chrono::microseconds>(now).count(),
                 manager->lastFrameIndex());
    std::fflush(log);
    return true;
}
