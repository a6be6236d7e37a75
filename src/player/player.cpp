#include "player.h"

#include "appsettings.h"
#include "bookmarksfileloader.h"
#include "bookmarksfilesaver.h"
#include "consolewindow.h"
#include "heldkey.h"
#include "mediainfodialog.h"
#include "playbackcontrolwidget.h"
#include "programinfo.h"
#include "rangetimelinewidget.h"
#include "settingssaver.h"
#include "softwareviewer.h"
#include "timelinewidget.h"
#include "volumewidget.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int volumeWidgetWidth = 90;
constexpr QSize defaultWindowSize(960, 600);

// Connects an action's trigger to a slot without arguments.
template <typename Slot>
void onTriggered(QAction* action, Player* player, Slot slot)
{
    QObject::connect(action, &QAction::triggered, player, slot);
}

} // namespace

Player::Player(const QString& filename, int rangeStart, int rangeEnd, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setWindowIcon(QIcon(QStringLiteral(":icons/application.png")));
    setWindowTitle(QString::fromLatin1(ProgramInfo::productName));
    playbackManager = new PlaybackManager(this);
    statsTimer = new QTimer(this);
    bookmarksLoader = new BookmarksFileLoader(this);
    connect(bookmarksLoader, &BookmarksFileLoader::finished, this, &Player::bookmarksFileLoaded);
    bookmarksSaver = new BookmarksFileSaver(this);
    connect(bookmarksSaver, &BookmarksFileSaver::finished, this, &Player::bookmarksFileSaved);

    const QStringList settingsWarnings = loadAppSettings();

    createActions();
    createMenus();
    createWidgets();
    createLayout();
    createConnections();
    createShortcuts();
    startRemoteControl();
    for (const QString& warning : settingsWarnings)
        reportWarning(warning);

    setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &Player::contextMenu);

    rebuildRecentMediaMenu();
    rebuildRecentBookmarksMenu();
    // A first start has no stored geometry: open at a size that leaves room
    // for a picture rather than at the layout's minimum.
    if (!restoreGeometry(appSettings().windowGeometry))
        resize(defaultWindowSize);

    setMenuBarVisible(appSettings().showMenuBar);
    setBottomToolbarVisible(appSettings().showBottomToolbar);

    playbackManager->setVolume(appSettings().muted ? 0 : appSettings().volume);
    playbackManager->setViewer(viewer);

    settingsSaver = new SettingsSaver([this] { captureWindowSettings(); }, this);
    connect(settingsSaver, &SettingsSaver::saveFailed, this, [this](const QString& location) {
        reportError(tr("Failed to save settings file: %1").arg(location));
    });

    if (!filename.isEmpty())
        openByName(filename, rangeStart, rangeEnd);
}

Player::~Player()
{
    cancelBookmarksFileLoad();
    // The controller reports its last status while it shuts down: that must
    // not reach this half-destroyed window, and it goes before the viewer it
    // paints into.
    playbackManager->disconnect(this);
    delete playbackManager;
    playbackManager = nullptr;
    delete helpMenu;
    delete consoleWindow;
}

QAction* Player::makeAction(const QString& text, const QString& statusTip, const QKeySequence& shortcut)
{
    auto* action = new QAction(text, this);
    action->setStatusTip(statusTip);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    // Shortcuts of the window's own actions work whatever the menu bar shows.
    QWidget::addAction(action);
    return action;
}

void Player::createActions()
{
    AppSettings& s = appSettings();
    const auto plain = [this](QAction** member, const QString& text, const QString& tip,
                              const QKeySequence& key, void (Player::*slot)()) {
        *member = makeAction(text, tip, key);
        onTriggered(*member, this, slot);
    };
    // A checkable action whose state comes from a setting: the state is set
    // before the slot is connected, so construction calls no slot.
    const auto checkable = [this](QAction** member, const QString& text, const QKeySequence& key,
                                  bool checked, void (Player::*slot)(bool)) {
        *member = makeAction(text, text, key);
        (*member)->setCheckable(true);
        (*member)->setChecked(checked);
        connect(*member, &QAction::toggled, this, slot);
    };
    const auto flag = [this](QAction** member, const QString& text, const QKeySequence& key,
                             void (Player::*slot)()) {
        *member = makeAction(text, text, key);
        (*member)->setCheckable(true);
        onTriggered(*member, this, slot);
    };

    plain(&openAction, tr("Open..."), tr("Open Media"), QKeySequence::Open, qOverload<>(&Player::open));
    plain(&openBookmarksAction, tr("Open Bookmarks..."), tr("Open Bookmarks"),
          QKeySequence(tr("Ctrl+Shift+O")), qOverload<>(&Player::openBookmarksFile));
    plain(&saveBookmarksAction, tr("Save Bookmarks"), tr("Save Bookmarks"), QKeySequence::Save,
          &Player::saveBookmarksFile);
    plain(&saveBookmarksAsAction, tr("Save Bookmarks As..."), tr("Save Bookmarks As..."),
          QKeySequence(tr("Ctrl+Shift+S")), &Player::saveBookmarksFileAs);
    plain(&copyCurrentMediaAction, tr("Copy Current Media..."), tr("Copy Current Media"),
          QKeySequence(tr("Ctrl+D")), &Player::copyCurrentMedia);
    plain(&clearAction, tr("Clear"), tr("Clear"), QKeySequence(), &Player::stop);
    exitAction = makeAction(tr("Exit"), tr("Exit"), QKeySequence::Quit);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    plain(&rangeStartToCurrentAction, tr("Range Start to Current"), tr("Range Start to Current"),
          QKeySequence(Qt::Key_Comma), &Player::setStartRangeToCurrent);
    plain(&rangeEndToCurrentAction, tr("Range End to Current"), tr("Range End to Current"),
          QKeySequence(Qt::Key_Period), &Player::setEndRangeToCurrent);
    plain(&resetRangeAction, tr("Reset Range"), tr("Reset Playback Range"), QKeySequence(tr("Ctrl+P")),
          &Player::resetFrameRange);
    plain(&cacheFromCurrentAction, tr("Cache From Current"), tr("Cache From Current"),
          QKeySequence(Qt::Key_C), &Player::cacheFromCurrent);
    plain(&preferencesAction, tr("Preferences..."), tr("Preferences"), QKeySequence(tr("Ctrl+Shift+P")),
          &Player::preferences);

    // Connected before its state is set: a stored true keeps the window on
    // top from before it is first shown.
    alwaysOnTopAction = makeAction(tr("Always on Top"), tr("Always on Top"), QKeySequence(tr("Ctrl+K")));
    alwaysOnTopAction->setCheckable(true);
    connect(alwaysOnTopAction, &QAction::toggled, this, &Player::setAlwaysOnTopEnabled);
    alwaysOnTopAction->setChecked(s.alwaysOnTop);

    plain(&playPauseAction, tr("Play/Pause"), tr("Toggle Play/Pause"), QKeySequence(Qt::Key_Space),
          &Player::playForward);
    plain(&playBackwardAction, tr("Play Backward"), tr("Play Backward"), QKeySequence(Qt::Key_J),
          &Player::shuttleBackward);
    plain(&stepForwardAction, tr("Step Forward"), tr("Step Forward"), QKeySequence(Qt::Key_Right),
          &Player::stepForward);
    plain(&stepBackwardAction, tr("Step Backward"), tr("Step Backward"), QKeySequence(Qt::Key_Left),
          &Player::stepBackward);
    plain(&seekStartAction, tr("Start"), tr("Start"), QKeySequence(Qt::Key_Home), &Player::seekStart);
    plain(&seekEndAction, tr("End"), tr("End"), QKeySequence(Qt::Key_End), &Player::seekEnd);
    plain(&seekRangeStartAction, tr("Range Start"), tr("Range Start"), QKeySequence(tr("Ctrl+Left")),
          &Player::seekRangeStart);
    plain(&seekRangeEndAction, tr("Range End"), tr("Range End"), QKeySequence(tr("Ctrl+Right")),
          &Player::seekRangeEnd);
    checkable(&loopAction, tr("Loop"), QKeySequence(tr("Ctrl+L")), s.loop, &Player::setLoopEnabled);
    checkable(&loopOnStepAction, tr("Loop on Step"), QKeySequence(tr("Ctrl+Shift+L")), s.loopOnStep,
              &Player::setLoopOnStepEnabled);
    checkable(&loopOnScrubAction, tr("Loop on Scrub"), QKeySequence(tr("Ctrl+Alt+L")), s.loopOnScrub,
              &Player::setLoopOnScrubEnabled);
    checkable(&autoplayAction, tr("Autoplay"), QKeySequence(tr("Ctrl+A")), s.autoplay,
              &Player::setAutoplayEnabled);

    plain(&speedNormalAction, tr("Normal"), tr("Normal"), QKeySequence(Qt::Key_0), &Player::setSpeedNormal);
    plain(&speedHalfAction, tr("Half"), tr("Half"), QKeySequence(Qt::Key_9), &Player::setSpeedHalf);
    plain(&speedQuarterAction, tr("Quarter"), tr("Quarter"), QKeySequence(Qt::Key_8),
          &Player::setSpeedQuarter);
    plain(&speedIncreaseAction, tr("Increase"), tr("Increse Speed"), QKeySequence(Qt::Key_Plus),
          &Player::increaseSpeed);
    plain(&speedDecreaseAction, tr("Decrease"), tr("Decrease Speed"), QKeySequence(Qt::Key_Minus),
          &Player::decreaseSpeed);
    plain(&speedCustomAction, tr("Custom..."), tr("Custom Speed"), QKeySequence(tr("Ctrl+0")),
          &Player::setCustomSpeed);

    audioScrubAction = makeAction(tr("Audio Scrub"), tr("Audio Scrub"), QKeySequence(tr("Ctrl+Shift+A")));
    audioScrubAction->setCheckable(true);
    audioScrubAction->setChecked(s.audioScrub);
    connect(audioScrubAction, &QAction::triggered, this, &Player::setAudioScrubEnabled);
    plain(&muteAction, tr("Mute"), tr("Mute"), QKeySequence(Qt::Key_M), &Player::toggleMute);
    plain(&increaseVolumeAction, tr("Increase Volume"), tr("Increase Volume"), QKeySequence(tr("Shift+Up")),
          &Player::increaseVolume);
    plain(&decreaseVolumeAction, tr("Decrease Volume"), tr("Decrease Volume"), QKeySequence(tr("Shift+Down")),
          &Player::decreaseVolume);

    plain(&originalSizeAction, tr("Original Size"), tr("Original Size"), QKeySequence(Qt::Key_1),
          &Player::resizeToOriginal);
    plain(&halfSizeAction, tr("Half Size"), tr("Half Size"), QKeySequence(Qt::Key_2), &Player::resizeToHalf);
    plain(&quarterSizeAction, tr("Quarter Size"), tr("Quarter Size"), QKeySequence(Qt::Key_3),
          &Player::resizeToQuarter);
    plain(&doubleSizeAction, tr("Double Size"), tr("Double Size"), QKeySequence(tr("Ctrl+2")),
          &Player::resizeToDouble);
    flag(&flipHorizontalAction, tr("Flip Horizontal"), QKeySequence(Qt::Key_X), &Player::flip);
    flag(&flipVerticalAction, tr("Flip Vertical"), QKeySequence(Qt::Key_Y), &Player::flip);
    flag(&rotateCWAction, tr("Rotate CW"), QKeySequence(tr("Ctrl+Shift+M")), &Player::rotateImageCW);
    flag(&rotateCCWAction, tr("Rotate CCW"), QKeySequence(tr("Ctrl+Shift+N")), &Player::rotateImageCCW);
    plain(&takeSnapshotAction, tr("Take Snapshot"), tr("Take Snapshot"), QKeySequence(tr("Ctrl+C")),
          &Player::takeSnapshot);

    plain(&zoomInAction, tr("Zoom In"), tr("Zoom In"), QKeySequence(tr("Ctrl+=")), &Player::zoomIn);
    // Also where "+" needs Shift, and on the keypad.
    zoomInAction->setShortcuts({QKeySequence(tr("Ctrl+=")), QKeySequence(tr("Ctrl++"))});
    plain(&zoomOutAction, tr("Zoom Out"), tr("Zoom Out"), QKeySequence(tr("Ctrl+-")), &Player::zoomOut);
    plain(&actualPixelsAction, tr("Actual Pixels"), tr("Actual Pixels"), QKeySequence(tr("Ctrl+1")),
          &Player::zoomToActualPixels);
    plain(&fitToWindowAction, tr("Fit to Window"), tr("Fit to Window"), QKeySequence(tr("Ctrl+9")),
          &Player::zoomToFit);
    checkable(&sourceTimecodeAction, tr("Source Timecode"), QKeySequence(), true,
              &Player::setSourceTimecodeUsed);
    sourceTimecodeAction->setEnabled(false);
    plain(&goToFrameAction, tr("Go to Frame..."), tr("Go to a Frame, Time Code or Time"),
          QKeySequence(tr("Ctrl+G")), &Player::goToFrame);
    checkable(&pixelReadoutAction, tr("Pixel Readout"), QKeySequence(), false,
              &Player::setPixelReadoutEnabled);

    plain(&bookmarkFrameAction, tr("Bookmark Frame"), tr("Bookmark Frame"), QKeySequence(Qt::Key_F),
          qOverload<>(&Player::addFrameBookmark));
    plain(&bookmarkRangeAction, tr("Bookmark Range"), tr("Bookmark Range"), QKeySequence(Qt::Key_R),
          qOverload<>(&Player::addRangeBookmark));
    plain(&clearCurrentFrameAction, tr("Current Frame"), tr("Clear Current Frame"),
          QKeySequence(tr("Ctrl+F")), &Player::clearCurrentFrameBookmark);
    plain(&clearFramesInRangeAction, tr("Frames in Range"), tr("Clear Frames in Range"),
          QKeySequence(tr("Shift+F")), &Player::clearFrameBookmarksInRange);
    plain(&clearAllFramesAction, tr("All Frames"), tr("Clear All Frames"), QKeySequence(tr("Ctrl+Shift+F")),
          &Player::clearAllFrameBookmarks);
    plain(&clearCurrentRangeAction, tr("Current Range"), tr("Clear Current Range"),
          QKeySequence(tr("Ctrl+R")), &Player::clearCurrentRangeBookmark);
    plain(&clearAllRangesAction, tr("All Ranges"), tr("Clear All Ranges"), QKeySequence(tr("Ctrl+Shift+R")),
          &Player::clearAllRangeBookmarks);
    plain(&clearAllBookmarksAction, tr("Clear All"), tr("Clear All"), QKeySequence(),
          &Player::clearAllBookmarks);
    plain(&previousFrameBookmarkAction, tr("Previous Frame"), tr("Previous Frame"),
          QKeySequence(Qt::Key_BracketLeft), &Player::previousFrameBookmark);
    plain(&nextFrameBookmarkAction, tr("Next Frame"), tr("Next Frame"), QKeySequence(Qt::Key_BracketRight),
          &Player::nextFrameBookmark);
    plain(&previousRangeBookmarkAction, tr("Previous Range"), tr("Previous Range"),
          QKeySequence(tr("Ctrl+[")), &Player::previousRangeBookmark);
    plain(&nextRangeBookmarkAction, tr("Next Range"), tr("Next Range"), QKeySequence(tr("Ctrl+]")),
          &Player::nextRangeBookmark);

    checkable(&showTimelineAction, tr("Timeline"), QKeySequence(Qt::Key_F2), s.showTimeline,
              &Player::setTimelineVisible);
    checkable(&showRangeTimelineAction, tr("Range Timeline"), QKeySequence(Qt::Key_F3), s.showRangeTimeline,
              &Player::setRangeTimelineVisible);
    plain(&swapTimelinesAction, tr("Swap Timelines"), tr("Swap Timelines"), QKeySequence(Qt::Key_T),
          &Player::swapTimelines);
    checkable(&showMenuBarAction, tr("Menu Bar"), QKeySequence(Qt::Key_F5), s.showMenuBar,
              &Player::setMenuBarVisible);
    checkable(&showControlsAction, tr("Playback Controls"), QKeySequence(Qt::Key_F6), s.showBottomToolbar,
              &Player::setBottomToolbarVisible);
    plain(&mediaInfoAction, tr("Media Info..."), tr("Media Info"), QKeySequence(Qt::Key_F9),
          &Player::mediaInfo);
    plain(&consoleAction, tr("Console..."), tr("Console"), QKeySequence(Qt::Key_F10), &Player::console);
    plain(&aboutAction, tr("About..."), tr("About"), QKeySequence(), &Player::about);
}

QMenu* Player::makeMenu(const QString& title, const QList<QAction*>& entries, QWidget* parent)
{
    auto* menu = new QMenu(title, parent);
    addMenuEntries(menu, entries);
    return menu;
}

void Player::addMenuEntries(QMenu* menu, const QList<QAction*>& entries)
{
    // A null entry is a separator.
    for (QAction* entry : entries) {
        if (entry)
            menu->addAction(entry);
        else
            menu->addSeparator();
    }
}

void Player::createMenus()
{
    menuBar = new QMenuBar(this);
    menuBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    QMenu* fileMenu = makeMenu(tr("File"),
                               {openAction, openBookmarksAction, nullptr, saveBookmarksAction,
                                saveBookmarksAsAction, nullptr, copyCurrentMediaAction, nullptr},
                               this);
    recentMediaMenu = fileMenu->addMenu(tr("Recent Media"));
    recentBookmarksMenu = fileMenu->addMenu(tr("Recent Bookmarks"));
    addMenuEntries(fileMenu, {nullptr, clearAction, nullptr, exitAction});

    QMenu* editMenu =
        makeMenu(tr("Edit"),
                 {rangeStartToCurrentAction, rangeEndToCurrentAction, resetRangeAction, nullptr,
                  cacheFromCurrentAction, nullptr, alwaysOnTopAction, nullptr, preferencesAction},
                 this);

    QMenu* playbackMenu = new QMenu(tr("Playback"), this);
    playbackMenu->addMenu(makeMenu(tr("Speed"),
                                   {speedNormalAction, speedHalfAction, speedQuarterAction, nullptr,
                                    speedIncreaseAction, speedDecreaseAction, nullptr, speedCustomAction},
                                   playbackMenu));
    addMenuEntries(playbackMenu, {nullptr, playPauseAction, playBackwardAction, stepForwardAction,
                                  stepBackwardAction, nullptr, goToFrameAction, seekStartAction,
                                  seekEndAction, seekRangeStartAction, seekRangeEndAction, nullptr,
                                  loopAction, loopOnStepAction, loopOnScrubAction, nullptr, autoplayAction});

    QMenu* audioMenu =
        makeMenu(tr("Audio"),
                 {audioScrubAction, nullptr, increaseVolumeAction, decreaseVolumeAction, muteAction}, this);
    QMenu* videoMenu = makeMenu(tr("Video"),
                                {originalSizeAction, nullptr, halfSizeAction, quarterSizeAction, nullptr,
                                 doubleSizeAction, nullptr, flipHorizontalAction, flipVerticalAction, nullptr,
                                 rotateCWAction, rotateCCWAction, nullptr, takeSnapshotAction},
                                this);
    QMenu* viewMenu = makeMenu(tr("View"),
                               {zoomInAction, zoomOutAction, nullptr, actualPixelsAction, fitToWindowAction,
                                nullptr, pixelReadoutAction, nullptr, sourceTimecodeAction},
                               this);

    QMenu* bookmarksMenu =
        makeMenu(tr("Bookmarks"), {bookmarkFrameAction, bookmarkRangeAction, nullptr}, this);
    bookmarksMenu->addMenu(
        makeMenu(tr("Clear"),
                 {clearCurrentFrameAction, clearFramesInRangeAction, clearAllFramesAction, nullptr,
                  clearCurrentRangeAction, clearAllRangesAction, nullptr, clearAllBookmarksAction},
                 bookmarksMenu));
    addMenuEntries(bookmarksMenu, {nullptr, previousFrameBookmarkAction, nextFrameBookmarkAction,
                                   previousRangeBookmarkAction, nextRangeBookmarkAction, nullptr});
    rangeBookmarkMenu = bookmarksMenu->addMenu(tr("Set Range"));
    // Built afresh when shown: with many range bookmarks it lists those
    // nearest the playhead.
    connect(rangeBookmarkMenu, &QMenu::aboutToShow, this,
            [this] { buildRangeBookmarkMenu(rangeBookmarkMenu); });

    QMenu* toolsMenu =
        makeMenu(tr("Tools"),
                 {swapTimelinesAction, nullptr, showTimelineAction, showRangeTimelineAction, nullptr,
                  showMenuBarAction, showControlsAction, nullptr, mediaInfoAction, consoleAction},
                 this);
    helpMenu = makeMenu(tr("Help"), {aboutAction}, nullptr);

    topMenus = {fileMenu, editMenu,      playbackMenu, audioMenu, videoMenu,
                viewMenu, bookmarksMenu, toolsMenu,    helpMenu};
    for (QMenu* menu : topMenus)
        menuBar->addMenu(menu);
}

void Player::createWidgets()
{
    viewer = new SoftwareViewer(this);
    controls = new PlaybackControlWidget(this);
    controls->setEnabled(false);
    timeline = new TimelineWidget(this);
    timeline->setDisplayType(static_cast<DISPLAY_TYPE>(appSettings().timelineDisplayType));
    timeline->setBookmarks(&bookmarks);
    timeline->hide();
    rangeTimeline = new RangeTimelineWidget(this);
    rangeTimeline->setDisplayType(static_cast<DISPLAY_TYPE>(appSettings().rangeTimelineDisplayType));
    rangeTimeline->setBookmarks(&bookmarks);
    rangeTimeline->hide();
    volumeWidget = new VolumeWidget(this);
    volumeWidget->setFixedWidth(volumeWidgetWidth);
    consoleWindow = new ConsoleWindow(nullptr, Qt::Window);
    consoleWindow->restoreGeometry(appSettings().consoleGeometry);
    consoleWindow->setShowOnType(appSettings().displayConsoleOnType);
    connect(consoleWindow, &ConsoleWindow::showOnTypeChosen, this,
            [](int value) { appSettings().displayConsoleOnType = value; });
}

void Player::createLayout()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    topTimelineLayout = new QVBoxLayout;
    topTimelineLayout->setContentsMargins(0, 0, 0, 0);
    bottomTimelineLayout = new QVBoxLayout;
    bottomTimelineLayout->setContentsMargins(0, 0, 0, 0);

    auto* controlsRow = new QHBoxLayout;
    controlsRow->setContentsMargins(6, 0, 6, 0);
    // Balances the volume control so that the transport buttons stay centred.
    controlsRow->addSpacing(volumeWidget->width());
    controlsRow->addStretch();
    controlsRow->addWidget(controls);
    controlsRow->addStretch();
    controlsRow->addWidget(volumeWidget);

    layout->addWidget(menuBar);
    layout->addLayout(topTimelineLayout);
    layout->addWidget(viewer);
    layout->addLayout(bottomTimelineLayout);
    layout->addLayout(controlsRow);

    placeTimeline(timeline, appSettings().timelinePositionAtTop, true);
    placeTimeline(rangeTimeline, appSettings().rangeTimelinePositionAtTop, false);
}

void Player::placeTimeline(QWidget* widget, bool top, bool outermost)
{
    topTimelineLayout->removeWidget(widget);
    bottomTimelineLayout->removeWidget(widget);
    // The main timeline is the outermost item of its area, the range timeline
    // the one nearest the video.
    if (top == outermost)
        (top ? topTimelineLayout : bottomTimelineLayout)->insertWidget(0, widget);
    else
        (top ? topTimelineLayout : bottomTimelineLayout)->addWidget(widget);
}

void Player::createConnections()
{
    connect(statsTimer, &QTimer::timeout, this, &Player::updateStats);
    connect(playbackManager, &PlaybackManager::playbackTimeChanged, this, &Player::setPlaybackTime);
    connect(playbackManager, &PlaybackManager::stateChanged, this, &Player::onStateChange);
    connect(playbackManager, &PlaybackManager::statusChanged, this, &Player::onStatusChange);
    connect(playbackManager, &PlaybackManager::mediaSourceLoaded, this, &Player::onClipOpened);
    connect(playbackManager, &PlaybackManager::durationChanged, this, &Player::onDurationChange);
    connect(playbackManager, &PlaybackManager::error, this, &Player::onError);
    connect(playbackManager, &PlaybackManager::warning, this, &Player::reportWarning);
    connect(controls, &PlaybackControlWidget::playForwardClicked, this, &Player::playForward);
    connect(controls, &PlaybackControlWidget::playBackwardClicked, this, &Player::togglePlayBackward);
    connect(controls, &PlaybackControlWidget::stepForwardClicked, this, &Player::stepForward);
    connect(controls, &PlaybackControlWidget::stepBackwardClicked, this, &Player::stepBackward);
    connect(controls, &PlaybackControlWidget::seekStartClicked, this, &Player::seekRangeStart);
    connect(controls, &PlaybackControlWidget::seekEndClicked, this, &Player::seekRangeEnd);
    for (TimelineWidget* t : {timeline, static_cast<TimelineWidget*>(rangeTimeline)}) {
        connect(t, &TimelineWidget::frameChangeRequest, this,
                [this](int frame, bool audioScrub) { setCurrentFrame(frame, audioScrub); });
        connect(t, &TimelineWidget::rangeChangeRequest, this, &Player::setFrameRange);
    }
    connect(timeline, &TimelineWidget::positionChangeRequest, this, &Player::setTimelineAtTop);
    connect(rangeTimeline, &TimelineWidget::positionChangeRequest, this, &Player::setRangeTimelineAtTop);
    connect(volumeWidget, &VolumeWidget::volumeChanged, this, &Player::setVolume);
}

void Player::createShortcuts()
{
    const struct
    {
        QKeySequence key;
        void (Player::*slot)();
    } shortcuts[] = {
        {QKeySequence(Qt::Key_L), &Player::shuttleForward},
        {QKeySequence(Qt::Key_K), &Player::pause},
        {QKeySequence(Qt::Key_I), &Player::setStartRangeToCurrent},
        {QKeySequence(Qt::Key_O), &Player::setEndRangeToCurrent},
        {QKeySequence(Qt::Key_Down), &Player::previousFrameBookmark},
        {QKeySequence(Qt::Key_Up), &Player::nextFrameBookmark},
        {QKeySequence(tr("Ctrl+Down")), &Player::previousRangeBookmark},
        {QKeySequence(tr("Ctrl+Up")), &Player::nextRangeBookmark},
        {QKeySequence(Qt::Key_Equal), &Player::increaseSpeed},
    };
    for (const auto& s : shortcuts) {
        auto* shortcut = new QShortcut(s.key, this);
        connect(shortcut, &QShortcut::activated, this, s.slot);
    }
    shuttleHold = new HeldKey(Qt::Key_K, this);
    qApp->installEventFilter(shuttleHold);
}

void Player::contextMenu(const QPoint& pos)
{
    QMenu menu;
    const Qt::KeyboardModifiers modifiers = QApplication::keyboardModifiers();
    if (modifiers == Qt::ControlModifier) {
        buildRangeBookmarkMenu(&menu);
    } else if (modifiers == Qt::NoModifier) {
        for (QMenu* top : topMenus)
            menu.addMenu(top);
    }
    if (!menu.isEmpty())
        menu.exec(mapToGlobal(pos));
}

void Player::mousePressEvent(QMouseEvent* event)
{
    if (qobject_cast<QSpinBox*>(QApplication::focusWidget()))
        QApplication::focusWidget()->clearFocus();
    if (event->button() == Qt::LeftButton && viewer->geometry().contains(event->pos())) {
        scrubbing = true;
        scrubLastX = event->globalPos().x();
    }
    QWidget::mousePressEvent(event);
}
