// The player window as built: actions, menus, shortcuts, layout rules, the
// context menu and the commands that need no clip; and, with real clips on
// the offscreen platform, the commands that move the playhead and the range.
#include "appsettings.h"
#include "commandline.h"
#include "consolewindow.h"
#include "frameindex.h"
#include "player.h"
#include "rangetimelinewidget.h"
#include "softwareviewer.h"
#include "testclips.h"
#include "timelinewidget.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <limits>
#include <memory>

namespace {

// The menu tree as a reader sees it: entries by text, "-" for a separator,
// "Name>" for a submenu followed by its entries and "<".
QStringList describe(const QMenu* menu)
{
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            entries << QStringLiteral("-");
        } else if (action->menu()) {
            entries << action->text() + QLatin1Char('>');
            entries << describe(action->menu());
            entries << QStringLiteral("<");
        } else {
            entries << action->text();
        }
    }
    return entries;
}

QAction* actionNamed(QWidget* window, const QString& text)
{
    for (QAction* action : window->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QString settingsFile()
{
    return QDir::homePath() + QStringLiteral("/.talmont/orvel.ini");
}

void writeSetting(const QString& key, const QVariant& value)
{
    QDir().mkpath(QDir::homePath() + QStringLiteral("/.talmont"));
    QSettings(settingsFile(), QSettings::IniFormat).setValue(key, value);
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

int frameInTitle(const QWidget& window)
{
    const QString title = window.windowTitle();
    const int at = title.lastIndexOf(QStringLiteral(" -- Frame "));
    return at < 0 ? -1 : title.mid(at + 10).toInt();
}

int shownIndex(Player& player)
{
    auto* viewer = player.findChild<SoftwareViewer*>();
    return viewer ? FrameIndex::read(viewer->pixmap().toImage()) : -1;
}

// Runs the window's context menu with the given modifiers held and reports
// what it showed: the entries of the menu, or nothing when no menu opened.
QStringList contextMenuWith(Player& player, Qt::KeyboardModifiers modifiers)
{
    QStringList shown;
    bool opened = false;
    QTimer::singleShot(200, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            opened = true;
            shown = describe(menu);
            menu->close();
        }
    });
    // Holding the modifier keys is what the application's modifier state follows.
    const Qt::Key key = modifiers & Qt::ControlModifier ? Qt::Key_Control : Qt::Key_Shift;
    if (modifiers != Qt::NoModifier)
        QTest::keyPress(&player, key, modifiers);
    player.contextMenu(QPoint(10, 10));
    QTest::qWait(300);
    if (modifiers != Qt::NoModifier)
        QTest::keyRelease(&player, key, Qt::NoModifier);
    return opened ? shown : QStringList{QStringLiteral("<nothing>")};
}

} // namespace

class PlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Player> player;

    Player& makePlayer(const QString& file = QString(), int start = -1, int end = -1)
    {
        player = std::make_unique<Player>(file, start, end);
        player->show();
        return *player;
    }

    bool waitForFrame(int frame)
    {
        return waitFor([&] { return frameInTitle(*player) == frame && shownIndex(*player) == frame - 1; });
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void init()
    {
        QFile::remove(settingsFile());
        resetAppSettings();
    }

    void cleanup()
    {
        if (player) {
            player->close(); // unloads first, then closes on NoMedia
            waitFor([&] { return !player->isVisible(); }, 10000);
        }
        player.reset();
    }

    void menusHoldEveryEntryInOrder()
    {
        Player& p = makePlayer();
        auto* bar = p.findChild<QMenuBar*>();
        QVERIFY(bar);
        QStringList titles;
        for (QAction* a : bar->actions())
            titles << a->text();
        QCOMPARE(titles,
                 (QStringList{"File", "Edit", "Playback", "Audio", "Video", "Bookmarks", "Tools", "Help"}));
        const QList<QAction*> tops = bar->actions();
        QCOMPARE(describe(tops[0]->menu()),
                 (QStringList{"Open...", "Open Bookmarks...", "-", "Save Bookmarks", "Save Bookmarks As...",
                              "-", "Copy Current Media...", "-", "Recent Media>", "<", "Recent Bookmarks>",
                              "<", "-", "Clear", "-", "Exit"}));
        QCOMPARE(describe(tops[1]->menu()),
                 (QStringList{"Range Start to Current", "Range End to Current", "Reset Range", "-",
                              "Cache From Current", "-", "Always on Top", "-", "Preferences..."}));
        QCOMPARE(describe(tops[2]->menu()), (QStringList{"Speed>",
                                                         "Normal",
                                                         "Half",
                                                         "Quarter",
                                                         "-",
                                                         "Increase",
                                                         "Decrease",
                                                         "-",
                                                         "Custom...",
                                                         "<",
                                                         "-",
                                                         "Play/Pause",
                                                         "Step Forward",
                                                         "Step Backward",
                                                         "-",
                                                         "Start",
                                                         "End",
                                                         "Range Start",
                                                         "Range End",
                                                         "-",
                                                         "Loop",
                                                         "Loop on Step",
                                                         "Loop on Scrub",
                                                         "-",
                                                         "Autoplay"}));
        QCOMPARE(describe(tops[3]->menu()),
                 (QStringList{"Audio Scrub", "-", "Increase Volume", "Decrease Volume", "Mute"}));
        QCOMPARE(describe(tops[4]->menu()),
                 (QStringList{"Original Size", "-", "Half Size", "Quarter Size", "-", "Double Size", "-",
                              "Flip Horizontal", "Flip Vertical", "-", "Rotate CW", "Rotate CCW", "-",
                              "Take Snapshot"}));
        QCOMPARE(describe(tops[5]->menu()), (QStringList{"Bookmark Frame",
                                                         "Bookmark Range",
                                                         "-",
                                                         "Clear>",
                                                         "Current Frame",
                                                         "Frames in Range",
                                                         "All Frames",
                                                         "-",
                                                         "Current Range",
                                                         "All Ranges",
                                                         "-",
                                                         "Clear All",
                                                         "<",
                                                         "-",
                                                         "Previous Frame",
                                                         "Next Frame",
                                                         "Previous Range",
                                                         "Next Range",
                                                         "-",
                                                         "Set Range>",
                                                         "<"}));
        QCOMPARE(describe(tops[6]->menu()),
                 (QStringList{"Swap Timelines", "-", "Timeline", "Range Timeline", "-", "Menu Bar",
                              "Playback Controls", "-", "Media Info...", "Console..."}));
        QCOMPARE(describe(tops[7]->menu()), (QStringList{"About..."}));
    }

    void actionsCarryTheirShortcutsAndTips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QKeySequence>("shortcut");
        const struct
        {
            const char* text;
            const char* tip;
            QKeySequence key;
        } rows[] = {
            {"Open...", "Open Media", QKeySequence::Open},
            {"Open Bookmarks...", "Open Bookmarks", QKeySequence("Ctrl+Shift+O")},
            {"Save Bookmarks", "Save Bookmarks", QKeySequence::Save},
            {"Copy Current Media...", "Copy Current Media", QKeySequence("Ctrl+D")},
            {"Exit", "Exit", QKeySequence::Quit},
            {"Range Start to Current", "Range Start to Current", QKeySequence(",")},
            {"Range End to Current", "Range End to Current", QKeySequence(".")},
            {"Reset Range", "Reset Playback Range", QKeySequence("Ctrl+P")},
            {"Cache From Current", "Cache From Current", QKeySequence("C")},
            {"Always on Top", "Always on Top", QKeySequence("Ctrl+K")},
            {"Play/Pause", "Toggle Play/Pause", QKeySequence("Space")},
            {"Range Start", "Range Start", QKeySequence("Ctrl+Left")},
            {"Increase", "Increse Speed", QKeySequence("+")},
            {"Decrease", "Decrease Speed", QKeySequence("-")},
            {"Custom...", "Custom Speed", QKeySequence("Ctrl+0")},
            {"Audio Scrub", "Audio Scrub", QKeySequence("Ctrl+Shift+A")},
            {"Increase Volume", "Increase Volume", QKeySequence("Shift+Up")},
            {"Double Size", "Double Size", QKeySequence("Ctrl+2")},
            {"Rotate CW", "Rotate CW", QKeySequence("Ctrl+Shift+M")},
            {"Take Snapshot", "Take Snapshot", QKeySequence("Ctrl+C")},
            {"Frames in Range", "Clear Frames in Range", QKeySequence("Shift+F")},
            {"Clear All", "Clear All", QKeySequence()},
            {"Previous Range", "Previous Range", QKeySequence("Ctrl+[")},
            {"Next Range", "Next Range", QKeySequence("Ctrl+]")},
            {"Menu Bar", "Menu Bar", QKeySequence("F5")},
            {"Console...", "Console", QKeySequence("F10")},
        };
        for (const auto& r : rows)
            QTest::newRow(r.text) << QString::fromLatin1(r.text) << QString::fromLatin1(r.tip) << r.key;
    }

    void actionsCarryTheirShortcutsAndTips()
    {
        QFETCH(QString, text);
        QFETCH(QString, tip);
        QFETCH(QKeySequence, shortcut);
        Player& p = makePlayer();
        QAction* action = actionNamed(&p, text);
        QVERIFY(action);
        QCOMPARE(action->statusTip(), tip);
        QCOMPARE(action->shortcut(), shortcut);
    }

    void theWindowHasSixtyThreeActionsAndNoDuplicateShortcut()
    {
        Player& p = makePlayer();
        QCOMPARE(p.actions().size(), 63);
        QSet<QString> keys;
        for (QAction* a : p.actions()) {
            if (a->shortcut().isEmpty())
                continue;
            const QString key = a->shortcut().toString();
            QVERIFY2(!keys.contains(key), qPrintable(key));
            keys << key;
        }
    }

    void checkStatesComeFromTheSettings()
    {
        writeSetting("playback/loop", true);
        writeSetting("playback/loopOnStep", true);
        writeSetting("audio/audioScrub", false);
        writeSetting("main/showRangeTimeline", true);
        Player& p = makePlayer();
        QVERIFY(actionNamed(&p, "Loop")->isChecked());
        QVERIFY(actionNamed(&p, "Loop on Step")->isChecked());
        QVERIFY(!actionNamed(&p, "Loop on Scrub")->isChecked());
        QVERIFY(!actionNamed(&p, "Audio Scrub")->isChecked());
        QVERIFY(actionNamed(&p, "Range Timeline")->isChecked());
        QVERIFY(actionNamed(&p, "Timeline")->isChecked());
        QVERIFY(!actionNamed(&p, "Flip Horizontal")->isChecked());
        QVERIFY(actionNamed(&p, "Flip Horizontal")->isCheckable());
    }

    void storedAlwaysOnTopAppliesBeforeTheFirstShow()
    {
        writeSetting("main/alwaysOnTop", true);
        player = std::make_unique<Player>();
        QVERIFY(player->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(actionNamed(player.get(), "Always on Top")->isChecked());
        player->show();
        actionNamed(player.get(), "Always on Top")->trigger();
        QVERIFY(!(player->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(player->windowHandle());
        QVERIFY(!(player->windowHandle()->flags() & Qt::WindowStaysOnTopHint));
        QVERIFY(player->isVisible()); // not re-created: still shown
        QVERIFY(!appSettings().alwaysOnTop);
    }

    void theCollapsedMenuBarKeepsShortcutsWorking()
    {
        Player& p = makePlayer();
        QVERIFY(QTest::qWaitForWindowActive(&p));
        auto* bar = p.findChild<QMenuBar*>();
        QTest::keyClick(&p, Qt::Key_F5);
        QCOMPARE(bar->height(), 0);
        QVERIFY(bar->isVisible());
        QVERIFY(!appSettings().showMenuBar);
        QAction* loop = actionNamed(&p, "Loop");
        QVERIFY(!loop->isChecked());
        QTest::keyClick(&p, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(loop->isChecked());
        QVERIFY(appSettings().loop);
        QTest::keyClick(&p, Qt::Key_F5);
        QVERIFY(waitFor([&] { return bar->height() > 0; }, 2000));
    }

    void contextMenuDependsOnTheModifiers()
    {
        Player& p = makePlayer();
        const QStringList plain = contextMenuWith(p, Qt::NoModifier);
        QVERIFY(plain.size() > 8);
        QCOMPARE(plain.first(), QStringLiteral("File>"));
        QCOMPARE(contextMenuWith(p, Qt::ShiftModifier), QStringList{"<nothing>"});
        QCOMPARE(contextMenuWith(p, Qt::ControlModifier), QStringList{"<No Bookmarks>"});
    }

    void timelinesArePlacedByTheirRule()
    {
        Player& p = makePlayer();
        auto* main = p.findChild<TimelineWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QList<TimelineWidget*> timelines = p.findChildren<TimelineWidget*>();
        auto* range = p.findChild<RangeTimelineWidget*>();
        for (TimelineWidget* t : timelines)
            if (!qobject_cast<RangeTimelineWidget*>(t))
                main = t;
        QVERIFY(main && range);
        auto* layout = qobject_cast<QVBoxLayout*>(p.layout());
        QVERIFY(layout);
        // The viewer sits between the two timeline areas.
        QLayout* top = layout->itemAt(1)->layout();
        QLayout* bottom = layout->itemAt(3)->layout();
        QVERIFY(top && bottom);
        // Defaults: main timeline at the bottom, range timeline at the top.
        QCOMPARE(bottom->indexOf(main), 0);
        QCOMPARE(top->indexOf(range), 0);
        p.setTimelineAtTop(true);
        QCOMPARE(top->indexOf(main), 0);
        QCOMPARE(top->indexOf(range), 1);
        QVERIFY(appSettings().timelinePositionAtTop);
        p.setRangeTimelineAtTop(false);
        p.setTimelineAtTop(false);
        QCOMPARE(bottom->indexOf(range), 0);
        QCOMPARE(bottom->indexOf(main), 1);
    }

    void theTitleNamesTheProductWithNothingLoaded()
    {
        Player& p = makePlayer();
        QCOMPARE(p.windowTitle(), QStringLiteral("Orvel"));
        QCOMPARE(Player::windowTitleFor(QStringLiteral("/a/b/shot.mov"), 12),
                 QStringLiteral("shot.mov -- Frame 12"));
    }

    void timesAreFormattedWithHoursMinutesSecondsAndMillis()
    {
        QCOMPARE(Player::formatTime(65040, true), QStringLiteral("00:01:05.040"));
        QCOMPARE(Player::formatTime(36000000, true), QStringLiteral("10:00:00.000"));
        QCOMPARE(Player::formatTime(3599999, true), QStringLiteral("00:59:59.999"));
        QCOMPARE(Player::formatTime(0, false), QStringLiteral("00:00:00"));
    }

    void aMissingFileIsReportedAndChangesNothing()
    {
        Player& p = makePlayer();
        p.open(QStringLiteral("/no/such/clip.mov"));
        QCOMPARE(p.windowTitle(), QStringLiteral("Orvel"));
        QVERIFY(appSettings().recentFiles.isEmpty());
    }

    void aLaunchOfSeveralFilesOpensTheLastAndListsTheOthers()
    {
        Player& p = makePlayer();
        const QString first = TestClips::path(QStringLiteral("video_only.mp4"));
        const QString last = TestClips::path(QStringLiteral("mpeg4_641x361.mov"));
        p.receiveMessageFromOtherInstance(CommandLine::absoluteArguments(
            CommandLine::parse({first, "/no/such/clip.mov", last, "5"}).entries));
        QVERIFY(waitFor([&] { return p.windowTitle() == QStringLiteral("mpeg4_641x361.mov -- Frame 5"); }));
        QCOMPARE(appSettings().recentFiles, (QStringList{last, first}));
        ConsoleWindow* console = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            console = console ? console : qobject_cast<ConsoleWindow*>(w);
        QVERIFY(console);
        QVERIFY2(console->text().contains(QStringLiteral("Added to Recent Media, not opened: ") + first),
                 qPrintable(console->text()));
        QVERIFY(console->text().contains(QStringLiteral("File not found: /no/such/clip.mov")));
    }

    void framesRangeAndSpeedOnARealClip()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1));
        // 120 frames: the range is clamped to the clip.
        p.setFrameRange(0, 5);
        p.setCurrentFrame(10000);
        QVERIFY(waitForFrame(120));
        p.setCurrentFrame(0);
        QVERIFY(waitForFrame(1));
        p.setCurrentFrame(57);
        QVERIFY(waitForFrame(57));
        p.stepForward();
        QVERIFY(waitForFrame(58));
        p.stepBackward();
        p.stepBackward();
        QVERIFY(waitForFrame(56));
    }

    void relativeStepsOfAnySizeStayOnTheClip()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1));
        p.setFrameRange(10, 120);
        p.setCurrentFrameRelative(5);
        QVERIFY(waitForFrame(14));
        // Past the largest int from the range start: the last frame.
        p.setCurrentFrameRelative(std::numeric_limits<int>::max());
        QVERIFY(waitForFrame(120));
        p.setCurrentFrameRelative(std::numeric_limits<int>::min());
        QVERIFY(waitForFrame(1));
    }

    void longGopSeeksShowTheFrame_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<int>>("frames");
        QTest::newRow("h264 long GOP") << "h264_1080p25.mp4" << QList<int>{137, 139, 260, 12, 300};
        QTest::newRow("mpeg2 program stream") << "mpeg2_ps.mpg" << QList<int>{77, 150, 3};
    }

    void longGopSeeksShowTheFrame()
    {
        QFETCH(QString, name);
        QFETCH(QList<int>, frames);
        Player& p = makePlayer(TestClips::path(name));
        QVERIFY(waitForFrame(1));
        for (int frame : frames) {
            p.setCurrentFrame(frame);
            QVERIFY2(waitForFrame(frame), qPrintable(QStringLiteral("frame %1: title %2, picture %3")
                                                         .arg(frame)
                                                         .arg(frameInTitle(p))
                                                         .arg(shownIndex(p) + 1)));
        }
    }

    void theSpeedLadder()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1));
        auto speedAfter = [&](double from, void (Player::*step)()) {
            p.setSpeedMultiplier(from);
            (p.*step)();
            return p.findChild<PlaybackManager*>()->speedMultiplier();
        };
        QCOMPARE(speedAfter(2.0, &Player::increaseSpeed), 4.0);
        QCOMPARE(speedAfter(4.0, &Player::increaseSpeed), 4.0);
        QCOMPARE(speedAfter(0.1, &Player::decreaseSpeed), 0.1);
        QCOMPARE(speedAfter(0.333, &Player::decreaseSpeed), 0.25);
        QCOMPARE(speedAfter(0.5, &Player::increaseSpeed), 0.667);
        QCOMPARE(speedAfter(1.0, &Player::decreaseSpeed), 0.75);
        p.setSpeedMultiplier(9.0);
        QCOMPARE(p.findChild<PlaybackManager*>()->speedMultiplier(), 4.0);
    }
};

QTEST_MAIN(PlayerTest)
#include "tst_player.moc"
