// The player window as built: actions, menus, shortcuts, layout rules, the
// context menu and the commands that need no clip; and, with real clips on
// the offscreen platform, the commands that move the playhead and the range.
#include "appsettings.h"
#include "commandline.h"
#include "consolewindow.h"
#include "ffmpegtool.h"
#include "filesizelimit.h"
#include "frameindex.h"
#include "gotoframedialog.h"
#include "mediainfodialog.h"
#include "patience.h"
#include "player.h"
#include "rangetimelinewidget.h"
#include "softwareviewer.h"
#include "testclips.h"
#include "timelinewidget.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalSpy>
#include <QSlider>
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

bool waitFor(const std::function<bool()>& condition, int timeoutMs = patienceMs)
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

int frameInTitle(const QString& title)
{
    const int at = title.lastIndexOf(QStringLiteral(" -- Frame "));
    return at < 0 ? -1 : title.mid(at + 10).toInt();
}

int frameInTitle(const QWidget& window)
{
    return frameInTitle(window.windowTitle());
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
    bool looked = false;
    // Runs inside the menu's own event loop when a menu opened, otherwise
    // in the wait below.
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            shown = describe(menu);
            menu->close();
        } else {
            shown << QStringLiteral("<nothing>");
        }
        looked = true;
    });
    // Holding the modifier keys is what the application's modifier state follows.
    const Qt::Key key = modifiers & Qt::ControlModifier ? Qt::Key_Control : Qt::Key_Shift;
    if (modifiers != Qt::NoModifier)
        QTest::keyPress(&player, key, modifiers);
    player.contextMenu(QPoint(10, 10));
    waitFor([&] { return looked; });
    if (modifiers != Qt::NoModifier)
        QTest::keyRelease(&player, key, Qt::NoModifier);
    return shown;
}

// Hands the next modal dialog the window opens to `answer`, which must
// close it.
void whenADialogOpens(const std::function<void(QWidget*)>& answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start(10);
}

// Answers the question about unsaved bookmarks that opens next, after
// checking it names `clip`.
void whenAskedAboutBookmarksAnswer(const QString& clip, QMessageBox::StandardButton answer)
{
    whenADialogOpens([clip, answer](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box) {
            dialog->close();
            QFAIL(qPrintable(dialog->windowTitle()));
        }
        // Answered before it is checked: a dialog left open would hang the test.
        const QString text = box->text();
        box->button(answer)->click();
        QCOMPARE(text, QStringLiteral("Save changes to the bookmarks of %1?").arg(clip));
    });
}

// Types `path` into the file dialog that opens next and accepts it, over an
// existing file too.
void whenAFileDialogOpensChoose(const QString& path)
{
    whenADialogOpens([path](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            dialog->close();
            QFAIL(qPrintable(dialog->windowTitle()));
        }
        files->setOption(QFileDialog::DontConfirmOverwrite);
        files->selectFile(path);
        // selectFile leaves the name field alone while it has the focus, and
        // the dialog answers from that field: the preselected name would win.
        if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        static_cast<QDialog*>(files)->accept();
    });
}

TimelineWidget* mainTimeline(Player& player)
{
    for (TimelineWidget* t : player.findChildren<TimelineWidget*>()) {
        if (!qobject_cast<RangeTimelineWidget*>(t))
            return t;
    }
    return nullptr;
}

// What the window shows from the moment it is made: every frame the title
// names, in order, and the frame on screen each time playback starts.
struct PlaybackLog
{
    PlaybackLog(Player& player, PlaybackManager& controller)
    {
        QObject::connect(&player, &QWidget::windowTitleChanged, &listening,
                         [this](const QString& title) { shown << frameInTitle(title); });
        QObject::connect(&controller, &PlaybackManager::stateChanged, &listening,
                         [this, &controller](PlaybackManager::State state) {
                             if (state == PlaybackManager::Playing)
                                 startedAt << controller.lastFrameIndex() + 1;
                         });
    }

    bool inOrder() const
    {
        for (int i = 1; i < shown.size(); ++i) {
            if (shown[i] <= shown[i - 1])
                return false;
        }
        return true;
    }

    QString describe() const
    {
        QStringList frames;
        for (int f : shown)
            frames << QString::number(f);
        QStringList starts;
        for (int f : startedAt)
            starts << QString::number(f);
        return QStringLiteral("shown %1; playback started at %2").arg(frames.join(' '), starts.join(' '));
    }

    QList<int> shown;
    QList<int> startedAt;
    QObject listening; // the connections go with the log
};

} // namespace

class PlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Player> player;

    void closePlayer()
    {
        if (player) {
            player->closeUnattended(); // unloads first, then closes on NoMedia
            waitFor([&] { return !player->isVisible(); }, patienceMs);
        }
        player.reset();
    }

    Player& makePlayer(const QString& file = QString(), int start = -1, int end = -1)
    {
        closePlayer();
        player = std::make_unique<Player>(file, start, end);
        player->show();
        return *player;
    }

    // The title names the frame and the picture is that frame of the clip,
    // whose first picture carries `firstIndex`.
    bool waitForFrame(int frame, int firstIndex = 0)
    {
        return waitFor(
            [&] { return frameInTitle(*player) == frame && shownIndex(*player) == firstIndex + frame - 1; });
    }

    // A clip loaded and shown at frame 1; with `cached`, once every frame of
    // it is in the cache.
    PlaybackManager& load(const TestClip& clip, bool cached = false)
    {
        Player& p = makePlayer(clip.path());
        auto* controller = p.findChild<PlaybackManager*>();
        const bool loaded =
            waitForFrame(1) &&
            (!cached || waitFor([&] { return controller->cachedFrameCount() == clip.frameCount; }));
        if (!loaded)
            qWarning("%s did not load", qPrintable(clip.name));
        return *controller;
    }

    // Presses the main timeline on `frame` and releases it after
    // `whileHeld`; returns the frame the press asked for.
    int clickTimeline(int frame, const std::function<void()>& whileHeld = {})
    {
        TimelineWidget* timeline = mainTimeline(*player);
        QSignalSpy requests(timeline, &TimelineWidget::frameChangeRequest);
        const QPoint at(timeline->positionOfFrame(frame), timeline->height() / 2);
        QTest::mousePress(timeline, Qt::LeftButton, {}, at);
        if (whileHeld)
            whileHeld();
        QTest::mouseRelease(timeline, Qt::LeftButton, {}, at);
        return requests.isEmpty() ? -1 : requests.first().first().toInt();
    }

    // Drags across the picture with Shift held (four pixels a frame) by
    // `frames` frames, and releases the button after `whileHeld`.
    void scrubPicture(int frames, const std::function<void()>& whileHeld = {})
    {
        appSettings().endlessMouseScrub = false;
        const QPoint from = player->findChild<SoftwareViewer*>()->geometry().center();
        const QPoint to = from + QPoint(4 * frames, 0);
        QTest::mousePress(player.get(), Qt::LeftButton, Qt::ShiftModifier, from);
        QMouseEvent move(QEvent::MouseMove, to, player->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::ShiftModifier);
        QApplication::sendEvent(player.get(), &move);
        if (whileHeld)
            whileHeld();
        QTest::mouseRelease(player.get(), Qt::LeftButton, Qt::ShiftModifier, to);
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void init()
    {
        QFile::remove(settingsFile());
        resetAppSettings();
    }

    void cleanup() { closePlayer(); }

    void menusHoldEveryEntryInOrder()
    {
        Player& p = makePlayer();
        auto* bar = p.findChild<QMenuBar*>();
        QVERIFY(bar);
        QStringList titles;
        for (QAction* a : bar->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"File", "Edit", "Playback", "Audio", "Video", "View", "Bookmarks",
                                      "Tools", "Help"}));
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
                                                         "Play Backward",
                                                         "Step Forward",
                                                         "Step Backward",
                                                         "-",
                                                         "Go to Frame...",
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
        QCOMPARE(describe(tops[5]->menu()),
                 (QStringList{"Zoom In", "Zoom Out", "-", "Actual Pixels", "Fit to Window", "-",
                              "Pixel Readout", "-", "Source Timecode"}));
        QCOMPARE(describe(tops[6]->menu()), (QStringList{"Bookmark Frame",
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
        QCOMPARE(describe(tops[7]->menu()),
                 (QStringList{"Swap Timelines", "-", "Timeline", "Range Timeline", "-", "Menu Bar",
                              "Playback Controls", "-", "Media Info...", "Console..."}));
        QCOMPARE(describe(tops[8]->menu()), (QStringList{"About..."}));
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
            {"Play Backward", "Play Backward", QKeySequence("J")},
            {"Range Start", "Range Start", QKeySequence("Ctrl+Left")},
            {"Go to Frame...", "Go to a Frame, Time Code or Time", QKeySequence("Ctrl+G")},
            {"Increase", "Increse Speed", QKeySequence("+")},
            {"Decrease", "Decrease Speed", QKeySequence("-")},
            {"Custom...", "Custom Speed", QKeySequence("Ctrl+0")},
            {"Audio Scrub", "Audio Scrub", QKeySequence("Ctrl+Shift+A")},
            {"Increase Volume", "Increase Volume", QKeySequence("Shift+Up")},
            {"Double Size", "Double Size", QKeySequence("Ctrl+2")},
            {"Rotate CW", "Rotate CW", QKeySequence("Ctrl+Shift+M")},
            {"Take Snapshot", "Take Snapshot", QKeySequence("Ctrl+C")},
            {"Zoom In", "Zoom In", QKeySequence("Ctrl+=")},
            {"Zoom Out", "Zoom Out", QKeySequence("Ctrl+-")},
            {"Actual Pixels", "Actual Pixels", QKeySequence("Ctrl+1")},
            {"Fit to Window", "Fit to Window", QKeySequence("Ctrl+9")},
            {"Pixel Readout", "Pixel Readout", QKeySequence()},
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

    void theWindowHasSeventyOneActionsAndNoDuplicateShortcut()
    {
        Player& p = makePlayer();
        QCOMPARE(p.actions().size(), 71);
        QSet<QString> keys;
        for (QAction* a : p.actions()) {
            for (const QKeySequence& shortcut : a->shortcuts()) {
                const QString key = shortcut.toString();
                QVERIFY2(!keys.contains(key), qPrintable(key));
                keys << key;
            }
        }
        for (QShortcut* s : p.findChildren<QShortcut*>())
            QVERIFY2(!keys.contains(s->key().toString()), qPrintable(s->key().toString()));
        QCOMPARE(actionNamed(&p, "Zoom In")->shortcuts().value(1), QKeySequence("Ctrl++"));
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
        QVERIFY(actionNamed(&p, "Pixel Readout")->isCheckable());
        QVERIFY(!actionNamed(&p, "Pixel Readout")->isChecked());
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
        QVERIFY(QTest::qWaitForWindowActive(&p, patienceMs));
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
        QVERIFY(waitFor([&] { return bar->height() > 0; }));
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

    // With more range bookmarks than a menu can take, the menus list those
    // starting nearest the playhead and offer the rest in a list.
    void manyRangeBookmarksGiveACappedMenu()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        const QString path = QDir::homePath() + QStringLiteral("/many.bmk");
        {
            QStringList ranges;
            for (int i = 0; i < 200; ++i)
                ranges << QStringLiteral("%1,%2,r%3").arg(i * 2 + 1).arg(i * 2 + 3).arg(i);
            QSettings file(path, QSettings::IniFormat);
            file.setValue(QStringLiteral("main/mediaPath"), clip.path());
            file.setValue(QStringLiteral("main/ranges"), ranges);
        }
        Player& p = makePlayer(path);
        QVERIFY(waitForFrame(1));
        p.setCurrentFrame(50);
        QVERIFY(waitForFrame(50));
        // The first range starting at 50 or after is r25 (51 - 53): fifteen
        // before it, fifteen from it on.
        QStringList expected;
        for (int i = 10; i < 40; ++i)
            expected << QStringLiteral("r%1").arg(i);
        expected << QStringLiteral("-") << QStringLiteral("More...");
        QCOMPARE(contextMenuWith(p, Qt::ControlModifier), expected);
        p.setCurrentFrame(1);
        QVERIFY(waitForFrame(1));
        QCOMPARE(contextMenuWith(p, Qt::ControlModifier).first(), QStringLiteral("r0"));
    }

    // A bookmarks file beyond the size limit is refused, and said so.
    void anOversizedBookmarksFileIsRefused()
    {
        const QString path = QDir::homePath() + QStringLiteral("/huge.bmk");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(256 * 1024 * 1024 + 1)); // sparse: takes no space
        }
        Player& p = makePlayer();
        p.openBookmarksFile(path);
        ConsoleWindow* console = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            console = console ? console : qobject_cast<ConsoleWindow*>(w);
        QVERIFY(console);
        QVERIFY(waitFor([&] {
            return console->text().contains(QStringLiteral("Bookmarks file too large (over 256 MB): ") +
                                            path);
        }));
        QCOMPARE(p.windowTitle(), QStringLiteral("Orvel"));
        QVERIFY(appSettings().recentBookmarkFiles.isEmpty());
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

    // The cache finds a picture a little before its timestamp: the number
    // shown changes with the picture, not a moment after it.
    void aTimeJustBeforeAFrameNamesThePictureShown()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        PlaybackManager& controller = load(clip, true);
        controller.seek(29 / clip.frameRate() - 0.0005, 0.0, false);
        QVERIFY2(waitForFrame(30), qPrintable(player->windowTitle()));
        QCOMPARE(mainTimeline(*player)->frame(), 30);
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
        // Cut inside a GOP: 12 pictures before the first decodable one.
        QTest::newRow("cut in Matroska") << "gop_cut.mkv" << QList<int>{10, 1, 2, 13, 75, 3, 40};
        QTest::newRow("cut in a transport stream") << "gop_cut.ts" << QList<int>{10, 1, 13, 2, 75, 40};
    }

    // Seeks, then ten steps forward and ten back from the first frame
    // sought: the title and the picture agree every time.
    void longGopSeeksShowTheFrame()
    {
        QFETCH(QString, name);
        QFETCH(QList<int>, frames);
        const TestClip clip = TestClips::clip(name);
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1, clip.firstIndex));
        const auto check = [&](int frame) {
            return waitForFrame(frame, clip.firstIndex) ? QString()
                                                        : QStringLiteral("frame %1: title %2, picture %3")
                                                              .arg(frame)
                                                              .arg(frameInTitle(p))
                                                              .arg(shownIndex(p) - clip.firstIndex + 1);
        };
        for (int frame : frames) {
            p.setCurrentFrame(frame);
            const QString wrong = check(frame);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        p.setCurrentFrame(frames.first());
        QVERIFY(check(frames.first()).isEmpty());
        for (int step = 1; step <= 20; ++step) {
            const int frame = frames.first() + (step <= 10 ? step : 20 - step);
            if (step <= 10)
                p.stepForward();
            else
                p.stepBackward();
            const QString wrong = check(frame);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
    }

    void theEndIsTheLastPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<QString>("duration");
        // The first two containers promise more pictures than they hold.
        QTest::newRow("WMV2") << "wmv2.wmv"
                              << "6.000 sec"
                              << "00:00:06.000";
        QTest::newRow("MPEG-1") << "mpeg1.mpg"
                                << "5.000 sec"
                                << "00:00:05.000";
        QTest::newRow("edit list") << "edit_list.mp4"
                                   << "8.680 sec"
                                   << "00:00:08.680";
        QTest::newRow("29.97 fps") << "h264_2997.ts"
                                   << "10.010 sec"
                                   << "00:00:10.010";
    }

    // A frame past the last picture and End both show the last picture, the
    // timelines end there, and the clip's length is its frame count times
    // the frame duration.
    void theEndIsTheLastPicture()
    {
        QFETCH(QString, name);
        QFETCH(QString, seconds);
        QFETCH(QString, duration);
        const TestClip clip = TestClips::clip(name);
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1, clip.firstIndex));
        p.setCurrentFrame(clip.frameCount + 1);
        QVERIFY(waitForFrame(clip.frameCount, clip.firstIndex));
        TimelineWidget* timeline = mainTimeline(*player);
        QVERIFY(waitFor([&] { return timeline->frameCount() == clip.frameCount; }));
        QCOMPARE(timeline->rangeEnd(), clip.frameCount);
        p.stepBackward();
        QVERIFY(waitForFrame(clip.frameCount - 1, clip.firstIndex));
        p.seekEnd();
        QVERIFY(waitForFrame(clip.frameCount, clip.firstIndex));

        timeline->setDisplayType(SECONDS);
        QCOMPARE(timeline->lengthLabel(), seconds);
        p.mediaInfo();
        auto* info = p.findChild<MediaInfoDialog*>();
        QVERIFY(info);
        QCOMPARE(info->text(MediaInfoDialog::Row::Duration), duration);
        QCOMPARE(info->text(MediaInfoDialog::Row::FrameRange), QStringLiteral("1 - %1").arg(clip.frameCount));
    }

    void snapshotsHaveTheColoursOfTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("matrix");
        QTest::addColumn<QString>("range");
        for (const ColourClip& clip : TestClips::colourClips())
            QTest::newRow(qPrintable(clip.name)) << clip.name << clip.matrix << clip.range;
    }

    // The centre of a snapshot of each colour, and of the picture on screen
    // (converted straight to the smaller size it is shown at), is within 3 of
    // what the ffmpeg tool gives with the clip's right matrix and range,
    // converting as precisely as it can.
    void snapshotsHaveTheColoursOfTheFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, matrix);
        QFETCH(QString, range);
        Player& p = makePlayer(TestClips::path(name));
        QVERIFY(waitFor([&] { return frameInTitle(p) == 1; }));
        PlaybackManager* manager = p.findChild<PlaybackManager*>();
        const int width = manager->videoWidth();
        const int height = manager->videoHeight();
        const QList<QImage> expected = FfmpegTool::decodePictures(
            TestClips::path(name), width, height,
            QStringLiteral("scale=in_color_matrix=%1:in_range=%2:flags=bilinear+accurate_rnd+full_chroma_int")
                .arg(matrix, range));
        QCOMPARE(expected.size(), 8);
        p.resize(480, 400);
        auto* viewer = p.findChild<SoftwareViewer*>();
        QVERIFY(waitFor([&] { return viewer->wantedPictureSize().width() < width; }));
        QStringList wrong;
        for (int frame : {1, 3, 5, 7}) {
            p.setCurrentFrame(frame);
            QVERIFY(waitFor([&] { return frameInTitle(p) == frame && viewer->isPictureCurrent(); }));
            const QImage screen = viewer->grab().toImage();
            p.takeSnapshot();
            const QImage snapshot = QApplication::clipboard()->image();
            const QColor reference = expected[frame - 1].pixelColor(width / 2, height / 2);
            const std::pair<const char*, QImage> pictures[] = {{"snapshot", snapshot}, {"screen", screen}};
            for (const auto& [what, image] : pictures) {
                const QColor shown = image.pixelColor(image.width() / 2, image.height() / 2);
                const QString row = QStringLiteral("%1 picture %2 (%3): expected %4,%5,%6 shown %7,%8,%9")
                                        .arg(name)
                                        .arg(frame)
                                        .arg(QLatin1String(what))
                                        .arg(reference.red())
                                        .arg(reference.green())
                                        .arg(reference.blue())
                                        .arg(shown.red())
                                        .arg(shown.green())
                                        .arg(shown.blue());
                qInfo("%s", qPrintable(row));
                if (qAbs(shown.red() - reference.red()) > 3 || qAbs(shown.green() - reference.green()) > 3 ||
                    qAbs(shown.blue() - reference.blue()) > 3)
                    wrong << row;
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    }

    void mediaInformationDescribesTheStreams()
    {
        using Row = MediaInfoDialog::Row;
        Player& p = makePlayer(TestClips::path(QStringLiteral("colour_2020_10bit.mkv")));
        QVERIFY(waitFor([&] { return frameInTitle(p) == 1; }));
        p.mediaInfo();
        auto* info = p.findChild<MediaInfoDialog*>();
        QVERIFY(info);
        QCOMPARE(info->text(Row::VideoCodec), QStringLiteral("H.264, High 10 profile"));
        QCOMPARE(info->text(Row::PixelFormat), QStringLiteral("yuv420p10le, 10 bits"));
        QCOMPARE(info->text(Row::ColourMatrix), QStringLiteral("BT.2020 non-constant luminance"));
        QCOMPARE(info->text(Row::ColourRange), QStringLiteral("Limited (16-235)"));
        QCOMPARE(info->text(Row::ColourPrimaries), QStringLiteral("BT.2020"));
        QCOMPARE(info->text(Row::Transfer), QStringLiteral("PQ (SMPTE 2084)"));
        QCOMPARE(info->text(Row::FieldOrder), QStringLiteral("Progressive"));
        QCOMPARE(info->text(Row::AudioCodec), QStringLiteral("None"));

        // Untagged: the assumptions are named as such. The transport stream's
        // first picture lies 1.467 s into its clock.
        const TestClip ts = TestClips::clip(QStringLiteral("h264_2997.ts"));
        p.open(ts.path(), -1, -1);
        QVERIFY(waitFor([&] { return p.windowTitle().startsWith(QStringLiteral("h264_2997.ts")); }));
        p.updateStats();
        QCOMPARE(info->text(Row::ColourMatrix), QStringLiteral("BT.601 (not stated, assumed)"));
        QCOMPARE(info->text(Row::ColourRange), QStringLiteral("Limited (16-235) (not stated, assumed)"));
        QCOMPARE(info->text(Row::ColourPrimaries), QStringLiteral("Not stated"));
        QCOMPARE(info->text(Row::StartTime), QStringLiteral("00:00:01.467"));
        QCOMPARE(info->text(Row::AudioCodec), QStringLiteral("AAC (Advanced Audio Coding), LC profile"));
        QCOMPARE(info->text(Row::SampleFormat), QStringLiteral("fltp, 32-bit float, planar"));
        QCOMPARE(info->text(Row::SampleRate), QStringLiteral("48000 Hz"));
        QCOMPARE(info->text(Row::ChannelLayout), QStringLiteral("stereo, 2 channels"));
    }

    // The 641 x 361 clip at Actual Pixels: every file pixel on its own widget
    // pixel, through the menu entry; the snapshot stays the whole frame at
    // the file's size, zoomed or not, turned as shown.
    void actualPixelsAndTheSnapshotOnARealClip()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1));
        // Loading fitted the window to the clip: make room around it.
        p.resize(900, 700);
        p.setCurrentFrame(7);
        QVERIFY(waitForFrame(7));
        auto* viewer = p.findChild<SoftwareViewer*>();
        actionNamed(&p, "Actual Pixels")->trigger();
        QVERIFY(waitFor([&] { return viewer->isPictureCurrent(); }));
        const QImage frame = viewer->image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(frame.size(), QSize(641, 361));
        QCOMPARE(FrameIndex::read(frame), 6);
        const QImage grab = viewer->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(grab.devicePixelRatio(), 1.0);
        // Centred, give or take the odd spare pixel.
        const auto mismatchesAt = [&](QPoint origin) {
            int mismatches = 0;
            for (int y = 0; y < 361; ++y) {
                for (int x = 0; x < 641; ++x) {
                    // The zoom factor shows for a moment in the top-left corner.
                    const QPoint at = origin + QPoint(x, y);
                    if (!QRect(0, 0, 160, 50).contains(at))
                        mismatches += grab.pixel(at) != frame.pixel(x, y) ? 1 : 0;
                }
            }
            return mismatches;
        };
        const QPoint centred((viewer->width() - 641) / 2, (viewer->height() - 361) / 2);
        QPoint origin(-1, -1);
        for (int dy = 0; dy <= 1; ++dy) {
            for (int dx = 0; dx <= 1; ++dx) {
                if (mismatchesAt(centred + QPoint(dx, dy)) == 0)
                    origin = centred + QPoint(dx, dy);
            }
        }
        QVERIFY2(origin != QPoint(-1, -1), "no file pixel is on one widget pixel of its own");
        QCOMPARE(viewer->filePixelAt(origin + QPoint(100, 200)), QPoint(100, 200));

        // 200% (past the fit factor on the way), then turned.
        for (int i = 0; i < 3 && viewer->zoomText() != QStringLiteral("200%"); ++i)
            actionNamed(&p, "Zoom In")->trigger();
        actionNamed(&p, "Rotate CW")->trigger();
        QCOMPARE(viewer->zoomText(), QStringLiteral("200%"));
        p.takeSnapshot();
        const QImage snapshot = QApplication::clipboard()->image();
        QCOMPARE(snapshot.size(), QSize(361, 641));
        QCOMPARE(FrameIndex::read(snapshot.transformed(QTransform().rotate(-90))), 6);
        actionNamed(&p, "Fit to Window")->trigger();
        QVERIFY(viewer->isFitToWindow());
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

    // L plays at normal speed, again at the next faster one; K pauses; K
    // held with L or J steps.
    void shuttleKeys()
    {
        const TestClip clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        Player& p = makePlayer(clip.path());
        QVERIFY(waitForFrame(1));
        QVERIFY(QTest::qWaitForWindowActive(&p));
        auto* controller = p.findChild<PlaybackManager*>();
        // Looping: the clip's end cannot stop playback between the keys.
        actionNamed(&p, "Loop")->setChecked(true);
        p.setSpeedMultiplier(0.5);
        QTest::keyClick(&p, Qt::Key_L);
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Playing; }));
        QCOMPARE(controller->speedMultiplier(), 1.0);
        QTest::keyClick(&p, Qt::Key_L);
        QCOMPARE(controller->speedMultiplier(), 1.5);
        QTest::keyClick(&p, Qt::Key_L);
        QCOMPARE(controller->speedMultiplier(), 2.0);
        QTest::keyClick(&p, Qt::Key_K);
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Paused; }));
        QTest::keyClick(&p, Qt::Key_L);
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Playing; }));
        QCOMPARE(controller->speedMultiplier(), 1.0);

        // With K held, L and J step one frame and do not play.
        QTest::keyPress(&p, Qt::Key_K);
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Paused; }));
        p.setCurrentFrame(10);
        QVERIFY(waitForFrame(10));
        QTest::keyClick(&p, Qt::Key_L);
        QVERIFY(waitForFrame(11));
        QTest::keyClick(&p, Qt::Key_J);
        QVERIFY(waitForFrame(10));
        QCOMPARE(controller->state(), PlaybackManager::Paused);
        QTest::keyRelease(&p, Qt::Key_K);

        // J plays backward, again faster; L turns forward at the normal
        // speed, J backward again, K pauses.
        const auto playing = [&](bool backward) {
            return waitFor([&] {
                return controller->state() == PlaybackManager::Playing &&
                       controller->playingBackward() == backward;
            });
        };
        QTest::keyClick(&p, Qt::Key_J);
        QVERIFY(playing(true));
        QCOMPARE(controller->speedMultiplier(), 1.0);
        QTest::keyClick(&p, Qt::Key_J);
        QCOMPARE(controller->speedMultiplier(), 1.5);
        QTest::keyClick(&p, Qt::Key_L);
        QVERIFY(playing(false));
        QCOMPARE(controller->speedMultiplier(), 1.0);
        QTest::keyClick(&p, Qt::Key_J);
        QVERIFY(playing(true));
        QTest::keyClick(&p, Qt::Key_K);
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Paused; }));
        QVERIFY(!controller->playingBackward());
    }

    // Backwards, the range start pauses playback, or with Loop starts it
    // over from the range end, as the range end does forwards; every frame
    // on the way is named in the title, in descending order.
    void playingBackwardStopsOrLoopsAtTheRangeStart()
    {
        PlaybackManager& controller = load(TestClips::clip(QStringLiteral("video_only.mp4")));
        Player& p = *player;
        QVERIFY(QTest::qWaitForWindowActive(&p));
        p.setFrameRange(5, 15);
        p.setCurrentFrame(9);
        QVERIFY(waitForFrame(9));
        PlaybackLog log(p, controller);
        QTest::keyClick(&p, Qt::Key_J);
        QVERIFY(
            waitFor([&] { return controller.state() == PlaybackManager::Paused && frameInTitle(p) == 5; }));
        QCOMPARE(log.shown, (QList<int>{8, 7, 6, 5}));

        actionNamed(&p, "Loop")->setChecked(true);
        log.shown.clear();
        QTest::keyClick(&p, Qt::Key_J);
        QVERIFY(waitFor([&] { return log.shown.count(5) >= 2; }));
        QTest::keyClick(&p, Qt::Key_K);
        QList<int> twice;
        for (int round = 0; round < 2; ++round) {
            for (int frame = 15; frame >= 5; --frame)
                twice << frame;
        }
        QCOMPARE(log.shown.mid(0, twice.size()), twice);
    }

    // The clip's own start time code labels the timelines and shows in the
    // media information; "Source Timecode" switches to counting from zero,
    // which a clip without one always does.
    void labelsCountFromTheClipsStartTimecode()
    {
        using Row = MediaInfoDialog::Row;
        const struct
        {
            const char* clip;
            const char* info;
            int lastFrame;
            QList<QPair<int, const char*>> labels;
            const char* firstFromZero;
        } clips[] = {
            {"timecode_25.mov",
             "01:00:00:00 (non-drop)",
             1525,
             {{1, "01:00:00:00"}, {2, "01:00:00:01"}, {1501, "01:01:00:00"}, {1525, "01:01:00:24"}},
             "00:00:00"},
            {"timecode_25.mxf",
             "01:00:00:00 (non-drop)",
             1525,
             {{1, "01:00:00:00"}, {2, "01:00:00:01"}, {1501, "01:01:00:00"}, {1525, "01:01:00:24"}},
             "00:00:00"},
            // The program stream's length is an estimate until its end is decoded.
            {"timecode_25.mpg",
             "01:00:00:00 (non-drop)",
             0,
             {{1, "01:00:00:00"}, {2, "01:00:00:01"}},
             "00:00:00"},
            {"timecode_2997df.mov",
             "00:59:59;28 (drop-frame)",
             1829,
             {{1, "00:59:59;28"},
              {2, "00:59:59;29"},
              {3, "01:00:00;00"},
              {1803, "01:01:00;02"},
              {1829, "01:01:00;28"}},
             "00:00;00"},
            {"video_only.mp4", "None", 120, {{1, "00:00:00"}, {120, "00:03:29"}}, "00:00:00"},
        };
        for (const auto& c : clips) {
            Player& p = makePlayer(TestClips::path(QString::fromLatin1(c.clip)));
            QVERIFY2(waitForFrame(1), c.clip);
            TimelineWidget* timeline = mainTimeline(p);
            timeline->setDisplayType(TIME_CODE);
            QVERIFY(c.lastFrame == 0 || timeline->frameCount() == c.lastFrame);
            for (const auto& label : c.labels)
                QCOMPARE(timeline->frameLabel(label.first), QString::fromLatin1(label.second));
            p.mediaInfo();
            QCOMPARE(p.findChild<MediaInfoDialog*>()->text(Row::StartTimecode), QString::fromLatin1(c.info));
            QAction* source = actionNamed(&p, "Source Timecode");
            QCOMPARE(source->isEnabled(), qstrcmp(c.info, "None") != 0);
            source->setChecked(false);
            QCOMPARE(timeline->frameLabel(1), QString::fromLatin1(c.firstFromZero));
            source->setChecked(true);
        }
    }

    // "Go to Frame..." takes a frame number, a time code in the labels'
    // counting or seconds, and refuses anything else without moving.
    void goToFrameTakesFramesTimecodesAndSeconds()
    {
        const struct
        {
            const char* clip;
            bool sourceTimecode;
            const char* text;
            int frame; // 0: refused
        } entries[] = {
            {"timecode_25.mov", true, "77", 77},
            {"timecode_25.mov", true, "01:00:03:02", 78},
            {"timecode_25.mov", true, "3.08", 78},
            {"timecode_25.mov", true, "abc", 0},
            {"timecode_25.mov", true, "1526", 0},
            {"timecode_25.mov", true, "00:00:03:02", 0},
            {"timecode_25.mov", false, "00:00:03:02", 78},
            {"timecode_2997df.mov", false, "00:01:00;02", 1801},
            {"timecode_2997df.mov", true, "01:01:00;02", 1803},
            {"timecode_2997df.mov", true, "01:01:00;01", 0},
        };
        QString loaded;
        for (const auto& e : entries) {
            const QString name = QString::fromLatin1(e.clip);
            if (name != loaded) {
                makePlayer(TestClips::path(name));
                QVERIFY(waitForFrame(1));
                loaded = name;
            }
            Player& p = *player;
            actionNamed(&p, "Source Timecode")->setChecked(e.sourceTimecode);
            const int before = frameInTitle(p);
            actionNamed(&p, "Go to Frame...")->trigger();
            auto* dialog = p.findChild<GoToFrameDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            auto* field = dialog->findChild<QLineEdit*>("goToFrameField");
            field->setText(QString::fromLatin1(e.text));
            QTest::keyClick(field, Qt::Key_Return);
            if (e.frame == 0) {
                QVERIFY2(dialog->isVisible() && !dialog->message().isEmpty(), e.text);
                QCOMPARE(frameInTitle(p), before);
                dialog->reject();
            } else {
                QVERIFY2(waitForFrame(e.frame), e.text);
                QVERIFY(!dialog->isVisible());
            }
        }
    }

    // The custom speed is asked in a dialog of the window; a bookmarks file
    // saved under a name without extension gets the bookmarks one.
    void dialogsBelongToTheWindowAndBookmarksFilesKeepTheirExtension()
    {
        load(TestClips::clip(QStringLiteral("video_only.mp4")));
        Player& p = *player;
        bool ofTheWindow = false;
        whenADialogOpens([&](QWidget* dialog) {
            ofTheWindow = dialog->windowType() == Qt::Dialog && dialog->parentWidget() == &p;
            dialog->close();
        });
        p.setCustomSpeed();
        QVERIFY(ofTheWindow);

        p.addFrameBookmark(7);
        const QString typed = QDir::homePath() + QStringLiteral("/review");
        whenAFileDialogOpensChoose(typed);
        p.saveBookmarksFileAs();
        QVERIFY(waitFor([&] { return !appSettings().recentBookmarkFiles.isEmpty(); }));
        QCOMPARE(appSettings().recentBookmarkFiles.first(), typed + QStringLiteral(".bmk"));
        QVERIFY(!QFile::exists(typed));
        QVERIFY(QFile::exists(typed + QStringLiteral(".bmk")));
    }

    // A file the player refuses, or a bookmarks file whose clip is missing or
    // refused, changes nothing: the clip plays on with its bookmarks, and
    // saving still writes the bookmarks file it came with.
    void aRefusedOpenLeavesTheClipAndItsBookmarks()
    {
        PlaybackManager& controller = load(TestClips::clip(QStringLiteral("video_only.mp4")));
        Player& p = *player;
        const QString own = QDir::homePath() + QStringLiteral("/own.bmk");
        p.addFrameBookmark(7);
        QVERIFY(p.saveBookmarksTo(own));
        const PlaybackManager::State state = controller.state();
        const auto writeFile = [](const QString& name, const QByteArray& content) {
            const QString path = QDir::homePath() + QLatin1Char('/') + name;
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(content);
            return path;
        };
        const QString f4v = writeFile(QStringLiteral("clip.f4v"), "not opened");
        QStringList refused{f4v};
        for (const QString& clip : {QStringLiteral("/no/such/clip.mp4"), f4v})
            refused << writeFile(QStringLiteral("other%1.bmk").arg(refused.size()),
                                 "[main]\nmediaPath=" + clip.toUtf8() + "\nframes=50\n");
        for (const QString& file : refused) {
            const int failed = p.remoteStatus().failedOpens;
            QVERIFY(!p.openExternal(file, -1, -1) ||
                    waitFor([&] { return p.remoteStatus().failedOpens > failed; }));
            QCOMPARE(controller.state(), state);
            QCOMPARE(controller.status(), PlaybackManager::Ready);
            QCOMPARE(p.windowTitle(), QStringLiteral("video_only.mp4 -- Frame 1"));
        }
        p.nextFrameBookmark();
        QVERIFY(waitForFrame(7));
        p.addFrameBookmark(9);
        p.saveBookmarksFile();
        Bookmarks saved;
        QVERIFY(waitFor([&] {
            saved.load(QFileInfo(own));
            return saved.frameBookmarks() == QVector<int>{7, 9};
        }));
    }

    // Copy Current Media never copies the clip onto itself, even through a
    // linked folder; a failed copy leaves the file it was to replace as it
    // was, and no temporary file is left behind.
    void copyCurrentMediaKeepsTheClip()
    {
        const QTemporaryDir folder;
        const QDir home(folder.path());
        QVERIFY(home.mkpath(QStringLiteral("clips")));
        const QString clip = home.filePath(QStringLiteral("clips/video_only.mp4"));
        QVERIFY(QFile::copy(TestClips::path(QStringLiteral("video_only.mp4")), clip));
        QVERIFY(QFile::link(home.filePath(QStringLiteral("clips")), home.filePath(QStringLiteral("linked"))));
        QFile original(clip);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray content = original.readAll();
        Player& p = makePlayer(clip);
        QVERIFY(waitForFrame(1));
        const auto copyTo = [&](const QString& target) {
            whenAFileDialogOpensChoose(target);
            p.copyCurrentMedia();
        };
        copyTo(home.filePath(QStringLiteral("linked/video_only.mp4")));
        QCOMPARE(p.lastErrorMessage(), QStringLiteral("Cannot copy a file onto itself: ") +
                                           home.filePath(QStringLiteral("linked/video_only.mp4")));
        // Over an earlier copy, on a disk that fills up half way: that copy
        // stays as it was.
        const QString copy = home.filePath(QStringLiteral("copy.mp4"));
        const auto contentOf = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        {
            QFile earlier(copy);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier copy");
        }
        {
            FileSizeLimit full(rlim_t(content.size() / 2));
            copyTo(copy);
            QVERIFY(
                waitFor([&] { return p.lastErrorMessage().startsWith("Failed to copy file to " + copy); }));
        }
        QCOMPARE(contentOf(copy), QByteArray("earlier copy"));
        copyTo(copy);
        QVERIFY(waitFor([&] { return contentOf(copy) == content; }));
        QCOMPARE(original.size(), content.size());
        const QStringList names{QStringLiteral("*.mp4*")};
        QCOMPARE(home.entryList(names, QDir::Files | QDir::Hidden), QStringList{QStringLiteral("copy.mp4")});
        QCOMPARE(QDir(home.filePath(QStringLiteral("clips"))).entryList(names, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("video_only.mp4")});
        QCOMPARE(p.windowTitle(), QStringLiteral("video_only.mp4 -- Frame 1"));
    }

    // Resizing to the video never makes the window larger than the screen:
    // a video that does not fit is shown smaller, with its aspect.
    void theWindowFitsTheScreen()
    {
        load(TestClips::clip(QStringLiteral("h264_1080p25.mp4")));
        auto* viewer = player->findChild<SoftwareViewer*>();
        const QRect screen = player->screen()->availableGeometry();
        QVERIFY(screen.width() < 1920);
        // A quarter fits: shown at that size.
        player->resizeToQuarter();
        QVERIFY(waitFor([&] { return viewer->height() == 270; }));
        for (void (Player::*resize)() : {&Player::resizeToOriginal, &Player::resizeToDouble}) {
            (player.get()->*resize)();
            QVERIFY2(waitFor([&] {
                         const QSize shown = viewer->size();
                         return screen.contains(player->frameGeometry()) &&
                                qAbs(shown.width() * 1080 - shown.height() * 1920) <= 1920 &&
                                shown.width() > screen.width() / 2;
                     }),
                     qPrintable(QStringLiteral("%1x%2 in %3x%4")
                                    .arg(viewer->width())
                                    .arg(viewer->height())
                                    .arg(screen.width())
                                    .arg(screen.height())));
        }
    }

    // Unsaved bookmarks are marked in the title and never dropped unasked:
    // Cancel keeps them, Save writes them to their file; with nothing
    // unsaved nobody is asked, and an open from outside the window first
    // writes them to a recovery file that brings them back.
    void unsavedBookmarksAreNeverLost()
    {
        const TestClip first = TestClips::clip(QStringLiteral("video_only.mp4"));
        const TestClip second = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        load(first);
        Player& p = *player;
        const QString own = QDir::homePath() + QStringLiteral("/marks.bmk");
        p.addFrameBookmark(5);
        QCOMPARE(p.windowTitle(), QStringLiteral("video_only.mp4* -- Frame 1"));
        QVERIFY(p.saveBookmarksTo(own));
        QCOMPARE(p.windowTitle(), QStringLiteral("video_only.mp4 -- Frame 1"));
        p.addFrameBookmark(8);
        whenAskedAboutBookmarksAnswer(first.name, QMessageBox::Cancel);
        p.open(second.path());
        whenAskedAboutBookmarksAnswer(first.name, QMessageBox::Cancel);
        p.close();
        QVERIFY(p.isVisible());
        QCOMPARE(p.windowTitle(), QStringLiteral("video_only.mp4* -- Frame 1"));

        whenAskedAboutBookmarksAnswer(first.name, QMessageBox::Save);
        p.open(second.path());
        QVERIFY(waitFor([&] { return p.windowTitle() == QStringLiteral("mpeg4_641x361.mov -- Frame 1"); }));
        Bookmarks saved;
        saved.load(QFileInfo(own));
        QCOMPARE(saved.frameBookmarks(), (QVector<int>{5, 8}));
        p.open(first.path());
        QVERIFY(waitForFrame(1));

        p.addFrameBookmark(3);
        p.addRangeBookmark(2, 20);
        QVERIFY(p.openExternal(second.path(), -1, -1));
        QVERIFY(waitFor([&] { return p.windowTitle() == QStringLiteral("mpeg4_641x361.mov -- Frame 1"); }));
        const QString recovery = appSettings().recentBookmarkFiles.value(0);
        QVERIFY2(recovery.startsWith(bookmarksDirectory() + QStringLiteral("/video_only-recovered-")),
                 qPrintable(recovery));
        // Its chosen range comes back as well, and nothing is unsaved.
        QVERIFY(p.openExternal(recovery, -1, -1));
        QVERIFY(waitFor([&] { return p.windowTitle() == QStringLiteral("video_only.mp4 -- Frame 2"); }));
        p.nextFrameBookmark();
        QVERIFY(waitForFrame(3));
    }

    // While playing, a click on the timeline or a drag across the picture
    // holds playback until the button is released, then plays on from the
    // frame it asked for, whether that frame was cached or had to be read;
    // a click outside the range stops there.
    void aSeekDuringPlaybackPlaysOnFromItsFrame_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("scrub");
        QTest::addColumn<bool>("cached");
        QTest::addColumn<bool>("outsideRange");
        // The frame clicked, or how far the scrub goes. The 1080p clip is read
        // from its key frame at 252: a short read.
        QTest::addColumn<int>("frame");
        QTest::newRow("click, cached") << "video_only.mp4" << false << true << false << 96;
        QTest::newRow("click, read") << "h264_1080p25.mp4" << false << false << false << 260;
        QTest::newRow("scrub, cached") << "video_only.mp4" << true << true << false << 40;
        QTest::newRow("scrub, read") << "h264_1080p25.mp4" << true << false << false << 260;
        QTest::newRow("click outside the range, cached") << "video_only.mp4" << false << true << true << 96;
        QTest::newRow("click outside the range, read") << "h264_1080p25.mp4" << false << false << true << 260;
    }

    void aSeekDuringPlaybackPlaysOnFromItsFrame()
    {
        QFETCH(QString, name);
        QFETCH(bool, scrub);
        QFETCH(bool, cached);
        QFETCH(bool, outsideRange);
        QFETCH(int, frame);
        const TestClip clip = TestClips::clip(name);
        PlaybackManager& controller = load(clip, cached);
        Player& p = *player;
        if (outsideRange)
            p.setFrameRange(1, clip.frameCount / 2);
        QSignalSpy readerSeeks(&controller, &PlaybackManager::seekRequested);
        p.play();
        QCOMPARE(controller.state(), PlaybackManager::Playing);
        PlaybackLog log(p, controller);
        const auto heldThenReleased = [&] { QCOMPARE(controller.state(), PlaybackManager::Paused); };
        int target = -1;
        if (scrub) {
            scrubPicture(frame, heldThenReleased);
            QVERIFY(waitFor([&] { return !log.shown.isEmpty(); }));
            target = log.shown.first();
            QVERIFY2(target > frame, qPrintable(log.describe()));
        } else {
            target = clickTimeline(frame, heldThenReleased);
            QCOMPARE(target, frame);
        }
        QCOMPARE(readerSeeks.isEmpty(), cached);
        if (outsideRange) {
            QVERIFY(waitForFrame(target));
            QCOMPARE(controller.state(), PlaybackManager::Paused);
            QVERIFY2(log.shown == QList<int>{target} && log.startedAt.isEmpty(), qPrintable(log.describe()));
            return;
        }
        // Read from the log, not from the window: a slow event loop may see
        // playback only once it has reached the end.
        QVERIFY2(waitFor([&] { return log.shown.size() > 1; }), qPrintable(log.describe()));
        QVERIFY2(log.shown.first() == target && log.startedAt == QList<int>{target} && log.inOrder(),
                 qPrintable(log.describe()));
    }

    // Paused, a seek never starts playback: not after a click that played on
    // from a cached frame, nor when the pause came while the frame a click
    // asked for was still being read, nor when it came while the button was
    // held. Play/Pause during a seek asks for playback once the frame is shown.
    void afterAPauseASeekNeverStartsPlayback()
    {
        PlaybackManager* controller = &load(TestClips::clip(QStringLiteral("video_only.mp4")), true);
        player->play();
        clickTimeline(60);
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Playing; }));
        player->pause();
        for (int frame : {10, 100}) {
            player->setCurrentFrame(frame);
            QVERIFY(waitForFrame(frame));
            QCOMPARE(controller->state(), PlaybackManager::Paused);
        }
        player->play();
        clickTimeline(24, [&] { player->pause(); });
        player->setCurrentFrame(90);
        QVERIFY(waitForFrame(90));
        QCOMPARE(controller->state(), PlaybackManager::Paused);

        controller = &load(TestClips::clip(QStringLiteral("h264_1080p25.mp4")));
        player->play();
        const int target = clickTimeline(260);
        QCOMPARE(controller->status(), PlaybackManager::Seeking);
        player->pause();
        QVERIFY(waitForFrame(target));
        QCOMPARE(controller->state(), PlaybackManager::Paused);
        player->setCurrentFrame(target + 1);
        QVERIFY(waitForFrame(target + 1));
        QCOMPARE(controller->state(), PlaybackManager::Paused);

        PlaybackLog log(*player, *controller);
        player->setCurrentFrame(20);
        QCOMPARE(controller->status(), PlaybackManager::Seeking);
        player->playForward();
        QVERIFY(waitFor([&] { return controller->state() == PlaybackManager::Playing; }));
        QCOMPARE(log.startedAt, QList<int>{20});
    }

    // The volume goes up to 150 on its way from the keys and the slider to
    // the sound.
    void theVolumeReachesOneHundredAndFifty()
    {
        Player& p = makePlayer();
        auto* slider = p.findChild<QSlider*>(QStringLiteral("volumeSlider"));
        QVERIFY(slider);
        slider->setValue(145);
        QCOMPARE(p.findChild<PlaybackManager*>()->volume(), 145);
        for (int i = 0; i < 2; ++i)
            p.increaseVolume();
        QCOMPARE(slider->value(), 150);
        QCOMPARE(p.findChild<PlaybackManager*>()->volume(), 150);
    }
};

QTEST_MAIN(PlayerTest)
#include "tst_player.moc"
