#pragma once

// A PlaybackManager with an offscreen viewer and a log of everything it
// reports, in the order it reported it, for the controller's tests.
#include "frameindex.h"
#include "patience.h"
#include "playbackmanager.h"
#include "softwareviewer.h"

#include <QList>
#include <QString>
#include <QTest>

struct PlaybackEvent
{
    enum Kind
    {
        Status,
        State,
        Time,
        Error,
    };
    Kind kind;
    int value = 0;
    double time = 0.0;
    QString text;
};

class PlaybackHarness
{
public:
    // Generous: the sanitizer builds run several times slower.
    static constexpr int TimeoutMs = patienceMs;

    PlaybackHarness()
    {
        viewer.resize(320, 240);
        manager.setViewer(&viewer);
        QObject::connect(&manager, &PlaybackManager::statusChanged, &manager,
                         [this](PlaybackManager::Status s) {
                             events << PlaybackEvent{PlaybackEvent::Status, s, 0.0, {}};
                         });
        QObject::connect(&manager, &PlaybackManager::stateChanged, &manager,
                         [this](PlaybackManager::State s) {
                             events << PlaybackEvent{PlaybackEvent::State, s, 0.0, {}};
                         });
        QObject::connect(&manager, &PlaybackManager::playbackTimeChanged, &manager, [this](double t) {
            events << PlaybackEvent{PlaybackEvent::Time, 0, t, {}};
        });
        QObject::connect(&manager, &PlaybackManager::error, &manager,
                         [this](PlaybackManager::Error e, const QString& text) {
                             events << PlaybackEvent{PlaybackEvent::Error, e, 0.0, text};
                         });
    }

    bool waitForStatus(PlaybackManager::Status status, int timeoutMs = TimeoutMs)
    {
        return QTest::qWaitFor([&] { return manager.status() == status; }, timeoutMs);
    }

    // Opens the clip with the default cache and waits until it can be played.
    bool load(const QString& path)
    {
        if (!manager.setMedia(path, 0, 0.7f))
            return false;
        return QTest::qWaitFor(
            [&] { return manager.status() == PlaybackManager::Ready && manager.mediaFilename() == path; },
            TimeoutMs);
    }

    bool unload()
    {
        manager.stop();
        return waitForStatus(PlaybackManager::NoMedia);
    }

    // Seeks `lead` seconds before the end, clears the log, plays into the end
    // of media and waits until the controller reports it and is ready again.
    bool playIntoTheEnd(double lead)
    {
        manager.seek(manager.mediaDuration() - lead, 0.0, false);
        if (!waitForStatus(PlaybackManager::Ready))
            return false;
        events.clear();
        manager.play();
        return QTest::qWaitFor([&] { return statuses().contains(PlaybackManager::EndOfMedia); }, TimeoutMs) &&
               waitForStatus(PlaybackManager::Ready);
    }

    // Moves the clock as a tick would after a long delay (the controller's
    // own slot, as a busy machine makes it happen).
    void jumpClock(double time)
    {
        QMetaObject::invokeMethod(&manager, "setPlaybackTime", Qt::DirectConnection, Q_ARG(double, time));
    }

    // Waits until the controller rests with the frame of shown number
    // `frameIndex` (0-based, from the frame's own time) in the viewer.
    bool waitForShownFrame(int frameIndex, int timeoutMs = TimeoutMs)
    {
        const bool shown = QTest::qWaitFor(
            [&] {
                return manager.status() == PlaybackManager::Ready && manager.lastFrameIndex() == frameIndex;
            },
            timeoutMs);
        if (!shown) {
            qWarning(
                "frame %d not shown: status %d, state %d, last frame %d, clock %f, cache %f..%f (%d frames)",
                frameIndex, manager.status(), manager.state(), manager.lastFrameIndex(),
                manager.playbackTime(), manager.cachedRangeStart(), manager.cachedRangeEnd(),
                manager.cachedFrameCount());
        }
        return shown;
    }

    // The index painted into the picture the viewer holds, -1 for none.
    int shownPicture() const
    {
        const QPixmap pixmap = viewer.pixmap();
        return pixmap.isNull() ? -1 : FrameIndex::read(pixmap.toImage());
    }

    QList<int> statuses() const { return values(PlaybackEvent::Status); }
    QList<int> states() const { return values(PlaybackEvent::State); }

    QList<int> values(PlaybackEvent::Kind kind) const
    {
        QList<int> list;
        for (const PlaybackEvent& e : events) {
            if (e.kind == kind)
                list << e.value;
        }
        return list;
    }

    QList<double> times() const
    {
        QList<double> list;
        for (const PlaybackEvent& e : events) {
            if (e.kind == PlaybackEvent::Time)
                list << e.time;
        }
        return list;
    }

    bool hasError(PlaybackManager::Error error, const QString& text) const
    {
        for (const PlaybackEvent& e : events) {
            if (e.kind == PlaybackEvent::Error && e.value == error && e.text == text)
                return true;
        }
        return false;
    }

    QStringList errorTexts() const
    {
        QStringList list;
        for (const PlaybackEvent& e : events) {
            if (e.kind == PlaybackEvent::Error)
                list << e.text;
        }
        return list;
    }

    // Declared first, so that it outlives the controller, which still
    // reports Unknown while it is destroyed.
    QList<PlaybackEvent> events;
    SoftwareViewer viewer;
    PlaybackManager manager;
};
