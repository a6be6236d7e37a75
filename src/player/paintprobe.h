#pragma once

#include <QObject>
#include <cstdio>

class PlaybackManager;
class QWidget;

// An instrument for the benchmarks of the real program: when the environment
// variable ORVEL_PAINT_LOG names a file, every paint of the video viewer
// appends "<steady clock in microseconds> <0-based frame index>" to it once
// the viewer has painted, so a benchmark counts the frames that reached the
// screen and when. Without the variable nothing is installed.
class PaintProbe : public QObject
{
public:
    // Installs a probe on the window's viewer when the variable is set.
    static void installFromEnvironment(QWidget* window);
    ~PaintProbe() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PaintProbe(QObject* viewer, const PlaybackManager* manager, std::FILE* log);

    const PlaybackManager* manager;
    std::FILE* log;
};
