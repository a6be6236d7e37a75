#pragma once

#include "bookmarks.h"
#include "cliptimecode.h"
#include "commandline.h"
#include "playbackmanager.h"
#include "remoteplayer.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

class BookmarksFileLoader;
class BookmarksFileSaver;
class ConsoleWindow;
class GoToFrameDialog;
class HeldKey;
class MediaInfoDialog;
class PlaybackControlWidget;
class QAction;
class QMenu;
class QMenuBar;
class QTimer;
class QVBoxLayout;
class RangeTimelineWidget;
class SettingsSaver;
class SoftwareViewer;
class TcpServer;
class TimelineWidget;
class VolumeWidget;

// The main window: a menu bar, the video between two timeline areas and the
// transport and volume controls at the bottom. It owns the playback
// controller and every widget of the window, defines every user command as an
// action with a default shortcut, and routes the mouse, drag-and-drop and
// close events.
//
// Its implementation is split by topic: player.cpp (construction, actions,
// menus, layout), playerfilecommands.cpp, playerplaybackcommands.cpp,
// playerviewcommands.cpp, playerbookmarkcommands.cpp and
// playerremotecommands.cpp (the player as the remote-control port sees it).
class Player : public QWidget, public RemotePlayer
{
    Q_OBJECT

public:
    explicit Player(const QString& filename = QString(), int rangeStart = -1, int rangeEnd = -1,
                    QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~Player() override;

    // "name -- Frame N", or the product name with nothing loaded.
    static QString windowTitleFor(const QString& mediaFilename, int frame);
    static QString formatTime(qint64 ms, bool withMillis);
    bool isRemoteControlListening() const;
    // On the standard error stream and in the console, as "WARNING: ...".
    void reportWarning(const QString& message) override;

    // Remote control (playerremotecommands.cpp).
    RemotePlayer::Status remoteStatus() const override;
    // Every open asked for from outside the window (the remote-control port,
    // another launch) comes through here.
    bool openExternal(const QString& path, int rangeStart, int rangeEnd) override;
    QString lastErrorMessage() const override { return lastError; }
    void goToFrame(int frame) override;
    void setLoop(bool on) override;
    bool saveBookmarksTo(const QString& path) override;
    // Closes the window for a request nobody can be asked about (a
    // termination signal): unsaved bookmarks go to a recovery file.
    void closeUnattended();

public slots:
    // File commands.
    void open();
    void open(const QString& filename, int rangeStart = -1, int rangeEnd = -1);
    void openRecent();
    void openRecentBookmarksFile();
    // The arguments another launch handed over: files with their ranges.
    void receiveMessageFromOtherInstance(const QStringList& args);
    // The files of one launch, in order: the last one that exists is opened,
    // the others go to the recent lists with a line on the console each.
    void openLaunchFiles(const QVector<CommandLine::Entry>& files);
    void copyCurrentMedia();
    void openBookmarksFile();
    void openBookmarksFile(const QString& filename, int rangeStart = -1, int rangeEnd = -1);
    void saveBookmarksFile();
    void saveBookmarksFileAs();

    // Playback commands.
    void setCurrentFrame(int frame, bool audioScrub = false, bool clearCache = false,
                         bool skipPlayWhenReady = false);
    void setCurrentFrameRelative(int frame) override;
    void setPlaybackTime(double playbackTime);
    void playForward();
    void play() override;
    // Plays backwards from the frame on screen at the speed multiplier; from
    // the range end when at or before the range start.
    void playBackward();
    // The transport's play-backward button: pauses while playing backwards.
    void togglePlayBackward();
    void pause() override;
    void stop();
    void stepForward();
    void stepBackward();
    void seekStart();
    void seekEnd();
    void seekRangeStart();
    void seekRangeEnd();
    void cacheFromCurrent();
    void setFrameRange(int startFrame, int endFrame);
    void resetFrameRange();
    void setRangeStart(int startFrame) override;
    void setRangeEnd(int endFrame) override;
    void setStartRangeToCurrent();
    void setEndRangeToCurrent();
    void setSpeedMultiplier(double multiplier) override;
    void setSpeedNormal();
    void setSpeedHalf();
    void setSpeedQuarter();
    void increaseSpeed();
    void decreaseSpeed();
    void setCustomSpeed();
    // L: plays forward at normal speed, or, while playing, at the next
    // faster speed; with K held, steps one frame forward.
    void shuttleForward();
    // J: plays backward at normal speed, or, while playing backward, at the
    // next faster speed; with K held, steps one frame back.
    void shuttleBackward();
    void goToFrame();
    void goToEnteredFrame(const QString& text);
    void setSourceTimecodeUsed(bool use);
    void setLoopEnabled(bool enable);
    void setLoopOnStepEnabled(bool enable);
    void setLoopOnScrubEnabled(bool enable);
    void setAutoplayEnabled(bool enable);
    void setAudioScrubEnabled(bool enable);
    void onStateChange(PlaybackManager::State state);
    void onStatusChange(PlaybackManager::Status status);
    void onClipOpened();
    void onDurationChange();
    void onError(PlaybackManager::Error error, const QString& errorStr);

    // View, audio and window commands.
    void setVolume(int volume);
    void toggleMute();
    void increaseVolume();
    void decreaseVolume();
    void incrementVolume(int increment);
    void resizeToFit(float scale = 1.0f);
    void resizeToOriginal();
    void resizeToHalf();
    void resizeToQuarter();
    void resizeToDouble();
    void flip();
    void flipHorizontal();
    void flipVertical();
    void rotateImageCW();
    void rotateImageCCW();
    void takeSnapshot();
    void zoomIn();
    void zoomOut();
    void zoomToActualPixels();
    void zoomToFit();
    void setPixelReadoutEnabled(bool enable);
    void setAlwaysOnTopEnabled(bool enable);
    void setTimelineVisible(bool vis);
    void setRangeTimelineVisible(bool vis);
    void setBottomToolbarVisible(bool vis);
    void swapTimelines();
    void setMenuBarVisible(bool vis);
    void setTimelineAtTop(bool top);
    void setRangeTimelineAtTop(bool top);
    void updateStats();
    void mediaInfo();
    void console();
    void preferences();
    void about();

    // Bookmark commands.
    void addFrameBookmark();
    void addFrameBookmark(int frame) override;
    void addRangeBookmark();
    void addRangeBookmark(int startFrame, int endFrame);
    void clearCurrentFrameBookmark();
    void clearFrameBookmarksInRange();
    void clearAllFrameBookmarks();
    void clearCurrentRangeBookmark();
    void clearAllRangeBookmarks();
    void clearAllBookmarks();
    void cycleFrameBookmarks(bool backward = false);
    void nextFrameBookmark();
    void previousFrameBookmark();
    void cycleRangeBookmarks(bool backward = false);
    void nextRangeBookmark();
    void previousRangeBookmark();
    void setRangeBookmark(int startFrame, int endFrame);
    void setRangeBookmark();
    // Lets the user pick any range bookmark from a searchable list.
    void chooseRangeBookmark();

    void contextMenu(const QPoint& pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Construction.
    void createActions();
    void createMenus();
    void createWidgets();
    void createLayout();
    void createConnections();
    void createShortcuts();
    void startRemoteControl();
    QAction* makeAction(const QString& text, const QString& statusTip, const QKeySequence& shortcut);
    QMenu* makeMenu(const QString& title, const QList<QAction*>& entries, QWidget* parent);
    static void addMenuEntries(QMenu* menu, const QList<QAction*>& entries);
    void placeTimeline(QWidget* timeline, bool top, bool outermost);

    // Shared helpers.
    int currentFrame() const;
    int frameAtTime(double time) const;
    int lastFrame() const;
    int rangeStart() const;
    int rangeEnd() const;
    double seekTimeOfFrame(int frame) const;
    bool isMediaLoaded() const;
    void seekToFrameTime(int frame, double audioScrubDuration = 0.0);
    void updateWindowTitle(int frame);
    void setTimelinesFrame(int frame);
    void setTimelinesRange(int start, int end);
    // Sets the playback range, within the clip, leaving the chosen range
    // bookmark alone.
    void showFrameRange(int startFrame, int endFrame);
    // Shows the controller's cached range on both timelines.
    void updateTimelinesCachedRange();
    void repaintTimelines();
    // After every change of the bookmarks: repaints the timelines and
    // rebuilds the range-bookmark menu.
    void bookmarksChanged();
    void bookmarksFileLoaded(const QString& path, Bookmarks::LoadResult result, const Bookmarks& loaded);
    // Takes the bookmarks of a file just read and opens its clip; false, with
    // the reason reported, when that could not be done.
    bool openLoadedBookmarks(const QString& path, Bookmarks::LoadResult result, const Bookmarks& loaded);
    // The clip a bookmarks file names, found beside the file when it has
    // moved with it; empty, with the reason reported, when there is none.
    QString clipOfBookmarks(const QString& path, const Bookmarks& loaded);
    void cancelBookmarksFileLoad();
    void bookmarksFileSaved(const QString& path, quint64 revision, bool saved);
    // Unsaved bookmarks: changes since they were loaded or saved last.
    bool hasUnsavedBookmarks() const;
    // Before the bookmarks are replaced: asks whether to save them, or, with
    // nobody to ask, writes them to a recovery file. False when they must
    // stay (cancelled, or saving failed).
    bool settleUnsavedBookmarks();
    bool writeRecoveryBookmarks();
    void markBookmarksSaved(quint64 revision);
    // The name for Save Bookmarks As, with the bookmarks extension; empty
    // when cancelled.
    QString askBookmarksFileName();
    void applyTimelineVisibility();
    // Reads the loaded clip's start time code and hands the counting to the
    // timelines.
    void loadClipTimecode();
    void applyClipTimecode();
    void rebuildRecentMediaMenu();
    void rebuildRecentBookmarksMenu();
    void buildRangeBookmarkMenu(QMenu* menu);
    // The position in the range bookmarks of the first one starting at or
    // after frame.
    int firstRangeBookmarkFrom(int frame) const;
    void openByName(const QString& filename, int rangeStart, int rangeEnd);
    void reportError(const QString& message);
    // Writes the settings file now; a failure is reported on the console.
    void saveSettings();
    // Puts what only the windows know (their geometry, the console's choice)
    // into the settings.
    void captureWindowSettings();
    QString bookmarksDialogDirectory() const;
    int scrubPixelsPerFrame(Qt::KeyboardModifiers modifiers) const;
    void resumePlaybackAfterScrub();
    void playIfReady();
    void playFromRangeStart();
    void stopOnRangeEnd();
    void playBackwardFromRangeEnd();
    bool goingBackward() const;
    void continueBackward(int frame);
    void applyStoredRangeBookmark();

    PlaybackManager* playbackManager = nullptr;
    SoftwareViewer* viewer = nullptr;
    PlaybackControlWidget* controls = nullptr;
    TimelineWidget* timeline = nullptr;
    RangeTimelineWidget* rangeTimeline = nullptr;
    VolumeWidget* volumeWidget = nullptr;
    ConsoleWindow* consoleWindow = nullptr;
    MediaInfoDialog* mediaInfoDialog = nullptr;
    GoToFrameDialog* goToFrameDialog = nullptr;
    HeldKey* shuttleHold = nullptr;
    // How the loaded clip's frames read as time code.
    ClipTimecode clipTimecode;
    TcpServer* tcpServer = nullptr;
    SettingsSaver* settingsSaver = nullptr;
    Bookmarks bookmarks;
    QString bookmarksFilePath;
    quint64 savedBookmarksRevision = 0;
    // True while a request from outside the window (the remote-control
    // port, another launch, a termination signal) is carried out: nobody is
    // asked anything then.
    bool unattended = false;
    bool bookmarksFileUnattended = false;
    int titleFrame = 1;
    BookmarksFileLoader* bookmarksLoader = nullptr;
    BookmarksFileSaver* bookmarksSaver = nullptr;
    // The range asked for with the bookmarks file being loaded.
    int bookmarksFileRangeStart = -1;
    int bookmarksFileRangeEnd = -1;
    QMenuBar* menuBar = nullptr;
    QVBoxLayout* topTimelineLayout = nullptr;
    QVBoxLayout* bottomTimelineLayout = nullptr;
    QTimer* statsTimer = nullptr;
    QElapsedTimer fpsTimer;
    int fpsStartFrame = 1;
    double fps = -1.0;
    double frameDuration = -1.0;
    int lastShownFrame = -1;
    double lastSpeed = 1.0;
    bool scrubbing = false;
    int scrubLastX = 0;
    bool resumeAfterScrub = false;
    bool playWhenReady = false;
    // The play that waits for the frame on screen goes backwards.
    bool playBackwardPending = false;
    // The frame of the window's last seek.
    int requestedFrame = 1;
    bool loopRestartPending = false;
    bool bookmarkRangePending = false;
    int pendingRangeStart = -1;
    int pendingRangeEnd = -1;
    bool closeRequested = false;
    // Opens that the controller accepted (a bookmarks file counts once it is
    // being read), those of them that failed later, and the last error
    // reported.
    int acceptedOpens = 0;
    int failedOpens = 0;
    QString lastError;
    QString lastOpenDir;
    QString lastBookmarksDir;

    // Actions, in menu order.
    QAction* openAction = nullptr;
    QAction* openBookmarksAction = nullptr;
    QAction* saveBookmarksAction = nullptr;
    QAction* saveBookmarksAsAction = nullptr;
    QAction* copyCurrentMediaAction = nullptr;
    QAction* clearAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* rangeStartToCurrentAction = nullptr;
    QAction* rangeEndToCurrentAction = nullptr;
    QAction* resetRangeAction = nullptr;
    QAction* cacheFromCurrentAction = nullptr;
    QAction* preferencesAction = nullptr;
    QAction* alwaysOnTopAction = nullptr;
    QAction* playPauseAction = nullptr;
    QAction* playBackwardAction = nullptr;
    QAction* stepForwardAction = nullptr;
    QAction* stepBackwardAction = nullptr;
    QAction* seekStartAction = nullptr;
    QAction* seekEndAction = nullptr;
    QAction* seekRangeStartAction = nullptr;
    QAction* seekRangeEndAction = nullptr;
    QAction* loopAction = nullptr;
    QAction* loopOnStepAction = nullptr;
    QAction* loopOnScrubAction = nullptr;
    QAction* autoplayAction = nullptr;
    QAction* speedNormalAction = nullptr;
    QAction* speedHalfAction = nullptr;
    QAction* speedQuarterAction = nullptr;
    QAction* speedIncreaseAction = nullptr;
    QAction* speedDecreaseAction = nullptr;
    QAction* speedCustomAction = nullptr;
    QAction* audioScrubAction = nullptr;
    QAction* muteAction = nullptr;
    QAction* increaseVolumeAction = nullptr;
    QAction* decreaseVolumeAction = nullptr;
    QAction* originalSizeAction = nullptr;
    QAction* halfSizeAction = nullptr;
    QAction* quarterSizeAction = nullptr;
    QAction* doubleSizeAction = nullptr;
    QAction* flipHorizontalAction = nullptr;
    QAction* flipVerticalAction = nullptr;
    QAction* rotateCWAction = nullptr;
    QAction* rotateCCWAction = nullptr;
    QAction* takeSnapshotAction = nullptr;
    QAction* zoomInAction = nullptr;
    QAction* zoomOutAction = nullptr;
    QAction* actualPixelsAction = nullptr;
    QAction* fitToWindowAction = nullptr;
    QAction* pixelReadoutAction = nullptr;
    QAction* sourceTimecodeAction = nullptr;
    QAction* goToFrameAction = nullptr;
    QAction* bookmarkFrameAction = nullptr;
    QAction* bookmarkRangeAction = nullptr;
    QAction* clearCurrentFrameAction = nullptr;
    QAction* clearFramesInRangeAction = nullptr;
    QAction* clearAllFramesAction = nullptr;
    QAction* clearCurrentRangeAction = nullptr;
    QAction* clearAllRangesAction = nullptr;
    QAction* clearAllBookmarksAction = nullptr;
    QAction* previousFrameBookmarkAction = nullptr;
    QAction* nextFrameBookmarkAction = nullptr;
    QAction* previousRangeBookmarkAction = nullptr;
    QAction* nextRangeBookmarkAction = nullptr;
    QAction* showTimelineAction = nullptr;
    QAction* showRangeTimelineAction = nullptr;
    QAction* swapTimelinesAction = nullptr;
    QAction* showMenuBarAction = nullptr;
    QAction* showControlsAction = nullptr;
    QAction* mediaInfoAction = nullptr;
    QAction* consoleAction = nullptr;
    QAction* aboutAction = nullptr;

    QList<QMenu*> topMenus;
    QMenu* helpMenu = nullptr; // parentless; owned here
    QMenu* recentMediaMenu = nullptr;
    QMenu* recentBookmarksMenu = nullptr;
    QMenu* rangeBookmarkMenu = nullptr;
};
