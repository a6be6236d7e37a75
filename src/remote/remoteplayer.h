#pragma once

#include <QString>

// The player as the remote-control port drives it: what it shows, and the
// commands it takes. Frame numbers are the window's 1-based numbers.
class RemotePlayer
{
public:
    enum class State
    {
        NoClip,
        Loading, // opening, or letting go of, a clip
        Paused,
        Playing,
    };

    struct Status
    {
        State state = State::NoClip;
        // A seek is on its way: the frame shown is about to change.
        bool seeking = false;
        QString file;
        int frame = 0;
        int frameCount = 0;
        double frameRate = 0.0;
        int rangeStart = 0;
        int rangeEnd = 0;
        double speed = 1.0;
        bool loop = false;
        // Counts the opens the player accepted, so that a caller can tell
        // whether the clip it asked for is the one that got loaded.
        int opens = 0;
        // Counts the accepted opens that came to nothing later, leaving the
        // clip before in place (a bookmarks file that could not be read
        // once it was, say); the reason is then lastErrorMessage().
        int failedOpens = 0;

        bool hasClip() const { return state == State::Paused || state == State::Playing; }
        bool isLoading() const { return state == State::Loading; }
        bool isBusy() const { return isLoading() || seeking; }
    };

    virtual ~RemotePlayer() = default;

    virtual Status remoteStatus() const = 0;
    // Opens a media or bookmarks file (by its name) with a playback range,
    // -1 for an end not given. False when the open was refused at once; the
    // reason is then lastErrorMessage().
    virtual bool openExternal(const QString& path, int rangeStart, int rangeEnd) = 0;
    // The last error the player reported, without its "ERROR: " prefix.
    virtual QString lastErrorMessage() const = 0;
    virtual void goToFrame(int frame) = 0;
    // Goes to the nth frame of the playback range.
    virtual void setCurrentFrameRelative(int frame) = 0;
    virtual void setRangeStart(int frame) = 0;
    virtual void setRangeEnd(int frame) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void setSpeedMultiplier(double multiplier) = 0;
    virtual void setLoop(bool on) = 0;
    virtual void addFrameBookmark(int frame) = 0;
    // False when the file could not be written; the reason is then
    // lastErrorMessage().
    virtual bool saveBookmarksTo(const QString& path) = 0;
    // On the console, as a warning.
    virtual void reportWarning(const QString& message) = 0;
};
