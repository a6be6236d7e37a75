// Every user command of the real program, driven as a pipeline tool and a
// person drive it (TCP commands, keys, mouse, drag and drop), and read back
// from what a person sees: the window title and the picture itself.
#include "frameindex.h"
#include "orvelsession.h"
#include "testclips.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QtTest>
#include <memory>

namespace {

constexpr int controlsHeight = 42;
constexpr int timelineHeight = 40;
constexpr int timelineMargin = 100;

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XServer> x;
    std::unique_ptr<OrvelSession> orvel;
    TestClip clip;

    // A fresh program with the clip loaded and showing frame 1.
    bool startWith(const QString& name, const QList<QPair<QString, QVariant>>& settings = {})
    {
        orvel.reset();
        x = std::make_unique<XServer>();
        if (!x->isRunning())
            return false;
        orvel = std::make_unique<OrvelSession>(*x);
        for (const auto& s : settings)
            orvel->writeSettings(s.first.section(QLatin1Char('/'), 0, 0),
                                 s.first.section(QLatin1Char('/'), 1), s.second);
        clip = TestClips::clip(name);
        return orvel->start({clip.path()}) && orvel->waitForTitle(OrvelSession::titleFor(clip, 1), 20000);
    }

    // The title and the picture both show frame n.
    bool shows(int n) { return orvel->showsFrame(clip, n); }

    int titleFrame() const { return OrvelSession::frameInTitle(orvel->title()); }

    // Takes a snapshot and returns its size: the size the picture is shown at.
    QSize snapshotSize()
    {
        orvel->snapshotIndex();
        return orvel->clipboardImage().size();
    }

    // The x of frame f on the main timeline, in window coordinates.
    int timelineX(int frame, int frameCount) const
    {
        const int width = orvel->windowSize().width();
        const int track = width - 2 * timelineMargin;
        return timelineMargin + track * (frame - 1) / (frameCount - 1);
    }

    int timelineY() const { return orvel->windowSize().height() - controlsHeight - timelineHeight + 27; }

    // Waits until the title stops moving; returns the frame it rests on.
    int settledFrame(int quietMs = 700)
    {
        int last = titleFrame();
        QElapsedTimer still;
        still.start();
        QElapsedTimer total;
        total.start();
        while (total.elapsed() < 20000) {
            QTest::qWait(50);
            const int now = titleFrame();
            if (now != last) {
                last = now;
                still.restart();
            } else if (still.elapsed() >= quietMs) {
                break;
            }
        }
        return last;
    }

private slots:
    void cleanup()
    {
        orvel.reset();
        x.reset();
    }

    void tcpFileWithARangeOpensTheClipWithThatRange()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        const TestClip other = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1\" 30 60").arg(other.path())));
        clip = other;
        QVERIFY(shows(30));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(60));
        orvel->key(QStringLiteral("ctrl+Left"));
        QVERIFY(shows(30));
    }

    void tcpFrameShowsTheFrame_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("long-GOP mp4") << "h264_1080p25.mp4";
        QTest::newRow("mpeg-2 program stream") << "mpeg2_ps.mpg";
        QTest::newRow("23.976 mkv") << "h264_23976_51.mkv";
    }

    void tcpFrameShowsTheFrame()
    {
        QFETCH(QString, name);
        QVERIFY(startWith(name));
        QRandomGenerator random(20261208);
        for (int i = 0; i < 30; ++i) {
            const int n = 1 + random.bounded(clip.frameCount);
            QVERIFY(orvel->sendCommand(QStringLiteral("frame %1").arg(n)));
            QVERIFY2(shows(n), qPrintable(QStringLiteral("seek %1 to frame %2").arg(i).arg(n)));
        }
    }

    void arrowsStepOneFrameAcrossTheCache()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4")));
        // From a seek outside the cache, backwards over the start of what it
        // holds and forwards past its end.
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 200")));
        QVERIFY(shows(200));
        for (int n = 199; n >= 194; --n) {
            orvel->key(QStringLiteral("Left"));
            QVERIFY(shows(n));
        }
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 40")));
        QVERIFY(shows(40));
        for (int n = 41; n <= 60; ++n) {
            orvel->key(QStringLiteral("Right"));
            QVERIFY(shows(n));
        }
        orvel->key(QStringLiteral("End"));
        QVERIFY(shows(clip.frameCount));
        orvel->key(QStringLiteral("Right"));
        QVERIFY(shows(clip.frameCount));
        orvel->key(QStringLiteral("Home"));
        QVERIFY(shows(1));
        orvel->key(QStringLiteral("Left"));
        QVERIFY(shows(1));
    }

    void rangeKeysAndLoopOnStep()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 10")));
        QVERIFY(shows(10));
        orvel->key(QStringLiteral("comma"));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 20")));
        QVERIFY(shows(20));
        orvel->key(QStringLiteral("period"));
        orvel->key(QStringLiteral("Home"));
        QVERIFY(shows(1));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(20));
        orvel->key(QStringLiteral("ctrl+Left"));
        QVERIFY(shows(10));
        // Loop on Step: stepping back at the range start wraps to its end.
        orvel->key(QStringLiteral("ctrl+shift+l"));
        orvel->key(QStringLiteral("Left"));
        QVERIFY(shows(20));
        orvel->key(QStringLiteral("Right"));
        QVERIFY(shows(10));
        // Reset Range: the range is the whole clip again.
        orvel->key(QStringLiteral("ctrl+p"));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(clip.frameCount));
    }

    void playingToTheRangeEndPausesOnItsLastFrame()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rstart 10")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend 40")));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 10")));
        QVERIFY(shows(10));
        orvel->key(QStringLiteral("space"));
        QCOMPARE(settledFrame(), 40);
        QVERIFY(shows(40));
    }

    void withLoopPlaybackRestartsAtTheRangeStart()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rstart 10")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend 40")));
        orvel->key(QStringLiteral("ctrl+l"));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 30")));
        QVERIFY(shows(30));
        orvel->key(QStringLiteral("space"));
        // It passes the range end, starts over at the start and keeps going.
        QVERIFY(QTest::qWaitFor([&] { return titleFrame() >= 38; }, 10000 * playbackPatience));
        QVERIFY(QTest::qWaitFor([&] { return titleFrame() >= 10 && titleFrame() <= 14; },
                                10000 * playbackPatience));
        QVERIFY(QTest::qWaitFor([&] { return titleFrame() >= 25; }, 10000 * playbackPatience));
        int highest = 0;
        QElapsedTimer watch;
        watch.start();
        while (watch.elapsed() < 3000) {
            const int f = titleFrame();
            QVERIFY2(f >= 10 && f <= 40, qPrintable(orvel->title()));
            highest = qMax(highest, f);
            QTest::qWait(30);
        }
        QVERIFY(highest >= 35);
        orvel->key(QStringLiteral("space"));
    }

    void aClickDuringPlaybackKeepsPlayingOnlyInsideTheRange()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4"), {{"preferences/resizeToFit", false}}));
        QVERIFY(orvel->sendCommand(QStringLiteral("rstart 50")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend 280")));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 50")));
        QVERIFY(shows(50));
        orvel->key(QStringLiteral("space"));
        QVERIFY(QTest::qWaitFor([&] { return titleFrame() > 55; }, 10000 * playbackPatience));
        // Inside the range: it keeps playing from the clicked frame. Had the
        // click been ignored, playback would pass through the frames between
        // one by one; honoured, the title jumps from where it was to the
        // clicked frame. The jump is measured from the last frame shown before
        // it, so a slow machine that plays on while the click travels does
        // not matter.
        const int clicked = 200;
        QList<int> seen{titleFrame()};
        QVERIFY2(seen.first() < clicked - 60, qPrintable(orvel->title()));
        orvel->click(timelineX(clicked, clip.frameCount), timelineY());
        QVERIFY(QTest::qWaitFor(
            [&] {
                seen << titleFrame();
                return seen.last() >= clicked - 2;
            },
            10000 * playbackPatience));
        const int beforeJump = seen.at(seen.size() - 2);
        QVERIFY2(beforeJump < clicked - 40,
                 qPrintable(QStringLiteral("frame %1 shown just before the clicked frame").arg(beforeJump)));
        QVERIFY(QTest::qWaitFor([&] { return titleFrame() > clicked + 5; }, 10000 * playbackPatience));
        // Outside the range: it stops on the clicked frame.
        const int outside = 20;
        orvel->click(timelineX(outside, clip.frameCount), timelineY());
        const int rested = settledFrame();
        QVERIFY2(qAbs(rested - outside) <= 1, qPrintable(orvel->title()));
        QVERIFY(shows(rested));
    }

    void customSpeedSlowsPlayback()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        orvel->key(QStringLiteral("ctrl+0"));
        const QString dialog = orvel->waitForWindow(QStringLiteral("Playback Speed"));
        QVERIFY2(!dialog.isEmpty(), "the speed dialog did not open");
        orvel->keyToFocused(QStringLiteral("ctrl+a"));
        orvel->typeText(QStringLiteral("0.25"));
        orvel->keyToFocused(QStringLiteral("Return"));
        QVERIFY(QTest::qWaitFor([&] { return !orvel->hasWindow(QStringLiteral("Playback Speed")); }, 5000));
        QElapsedTimer timer;
        orvel->key(QStringLiteral("space"));
        timer.start();
        QTest::qWait(2000);
        orvel->key(QStringLiteral("space"));
        const double elapsed = timer.elapsed() / 1000.0;
        const int advanced = settledFrame() - 1;
        // At a quarter of 30 frames a second, never more than half the normal rate.
        QVERIFY2(advanced > 0, qPrintable(orvel->title()));
        QVERIFY2(advanced <= 0.5 * 30 * elapsed,
                 qPrintable(QStringLiteral("%1 frames in %2 s").arg(advanced).arg(elapsed)));
    }

    void copyCurrentMediaWithNothingLoadedShowsNoDialog()
    {
        x = std::make_unique<XServer>();
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start());
        orvel->key(QStringLiteral("ctrl+d"));
        QTest::qWait(1500);
        QVERIFY(!orvel->hasWindow(QStringLiteral("Copy Current Media")));
        QCOMPARE(orvel->title(), QStringLiteral("Orvel"));
    }

    void dropAClipAndABookmarksFileTogether()
    {
        x = std::make_unique<XServer>();
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start());
        // A bookmarks file for the 641x361 clip, then the 1080p clip: both
        // are opened in list order, so the 1080p clip stays loaded.
        const QString bookmarks = orvel->tmp() + QStringLiteral("/dropped.bmk");
        {
            QSettings file(bookmarks, QSettings::IniFormat);
            file.setValue(QStringLiteral("main/mediaPath"),
                          TestClips::path(QStringLiteral("mpeg4_641x361.mov")));
            file.setValue(QStringLiteral("main/frames"), QStringLiteral("7,"));
        }
        const TestClip last = TestClips::clip(QStringLiteral("video_only.mp4"));
        QProcess source;
        source.setProcessEnvironment(x->environment());
        source.start(QCoreApplication::applicationDirPath() + QStringLiteral("/dragsource"),
                     {bookmarks, last.path()});
        QVERIFY(source.waitForStarted());
        QVERIFY(source.waitForReadyRead(10000));
        QCOMPARE(source.readLine().trimmed(), QByteArray("ready"));
        QTest::qWait(300);
        QProcess tool;
        tool.setProcessEnvironment(x->environment());
        auto xdotool = [&](const QStringList& args) {
            tool.start(QStringLiteral("xdotool"), args);
            tool.waitForFinished(5000);
        };
        xdotool({"mousemove", "1760", "1060"});
        xdotool({"mousedown", "1"});
        for (int step = 1; step <= 10; ++step) {
            xdotool({"mousemove", QString::number(1760 - step * 160), QString::number(1060 - step * 90)});
            QTest::qWait(50);
        }
        xdotool({"mousemove", "200", "150"});
        QTest::qWait(200);
        xdotool({"mouseup", "1"});
        QVERIFY(source.waitForFinished(10000));
        clip = last;
        QVERIFY(shows(1));
    }

    void frameBookmarksCycleWithWrap()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        for (int n : {5, 20, 80}) {
            QVERIFY(orvel->sendCommand(QStringLiteral("frame %1").arg(n)));
            QVERIFY(shows(n));
            orvel->key(QStringLiteral("f"));
        }
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 20")));
        QVERIFY(shows(20));
        orvel->key(QStringLiteral("bracketright"));
        QVERIFY(shows(80));
        orvel->key(QStringLiteral("bracketright"));
        QVERIFY(shows(5));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 20")));
        QVERIFY(shows(20));
        orvel->key(QStringLiteral("bracketleft"));
        QVERIFY(shows(5));
        orvel->key(QStringLiteral("bracketleft"));
        QVERIFY(shows(80));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 100")));
        QVERIFY(shows(100));
        orvel->key(QStringLiteral("bracketright"));
        QVERIFY(shows(5));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 100")));
        QVERIFY(shows(100));
        orvel->key(QStringLiteral("bracketleft"));
        QVERIFY(shows(80));
        // Up and Down do the same.
        orvel->key(QStringLiteral("Up"));
        QVERIFY(shows(5));
        orvel->key(QStringLiteral("Down"));
        QVERIFY(shows(80));
    }

    void bookmarksSurviveSavingReopeningAndMoving()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 15")));
        QVERIFY(shows(15));
        orvel->key(QStringLiteral("f"));
        // Two range bookmarks, 10 - 30 and 40 - 60; the second stays chosen.
        for (const auto& range : {qMakePair(10, 30), qMakePair(40, 60)}) {
            QVERIFY(orvel->sendCommand(QStringLiteral("rstart %1").arg(range.first)));
            QVERIFY(orvel->sendCommand(QStringLiteral("rend %1").arg(range.second)));
            orvel->key(QStringLiteral("r"));
        }
        // Ctrl+] from 40 - 60 wraps to 10 - 30; Ctrl+[ goes back.
        orvel->key(QStringLiteral("ctrl+bracketright"));
        QVERIFY(shows(10));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(30));
        orvel->key(QStringLiteral("ctrl+bracketleft"));
        QVERIFY(shows(40));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(60));

        // Save As: the dialog asks for a name.
        // Outside the session's own folders, which go with the session.
        QTemporaryDir review;
        const QString folder = review.path();
        const QString saved = folder + QStringLiteral("/notes.bmk");
        orvel->key(QStringLiteral("ctrl+shift+s"));
        QVERIFY(!orvel->waitForWindow(QStringLiteral("Save Bookmarks")).isEmpty());
        QTest::qWait(300);
        orvel->typeText(saved);
        orvel->keyToFocused(QStringLiteral("Return"));
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(saved); }, 10000));
        QVERIFY(orvel->closeWindow());

        // A new run opens the bookmarks file: the clip, its bookmarks and the
        // chosen range come back.
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start({saved}));
        QVERIFY(shows(40));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(60));
        orvel->key(QStringLiteral("bracketleft"));
        QVERIFY(shows(15));

        // Moved together with its clip, it still finds the clip.
        QVERIFY(orvel->closeWindow());
        QTemporaryDir elsewhere;
        const QString moved = elsewhere.path();
        QVERIFY(QFile::copy(saved, moved + QStringLiteral("/notes.bmk")));
        QVERIFY(QFile::copy(clip.path(), moved + QLatin1Char('/') + clip.name));
        const QString gone = orvel->tmp() + QStringLiteral("/gone/") + clip.name;
        {
            // The stored path no longer exists.
            QSettings file(moved + QStringLiteral("/notes.bmk"), QSettings::IniFormat);
            file.setValue(QStringLiteral("main/mediaPath"), gone);
        }
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start());
        QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1/notes.bmk\"").arg(moved)));
        QVERIFY(shows(40));
    }

    void closingWithAClipLoadedUnloadsAndWritesTheSettingsOnce()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4")));
        orvel->key(QStringLiteral("space"));
        QProcess watch;
        watch.setProcessChannelMode(QProcess::MergedChannels);
        watch.start(QStringLiteral("inotifywait"), {"-m", "-e", "close_write", "-e", "moved_to", "--format",
                                                    "%e %f", orvel->home() + "/.talmont"});
        QVERIFY(watch.waitForStarted());
        QVERIFY(watch.waitForReadyRead(5000)); // "Watches established."
        watch.readAll();
        QVERIFY(orvel->closeWindow());
        QVERIFY2(orvel->exitCode() == 0, orvel->standardError().right(4000).constData());
        QTest::qWait(500);
        watch.terminate();
        watch.waitForFinished(3000);
        // Writes go through a temporary file renamed over the settings file:
        // one rename onto "orvel.ini" is one write.
        const QStringList events =
            QString::fromUtf8(watch.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int writes = 0;
        for (const QString& event : events)
            writes += event.section(QLatin1Char(' '), 1) == QLatin1String("orvel.ini") ? 1 : 0;
        QCOMPARE(writes, 1);
    }

    void viewsResizeRotateAndSnapshot()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4"), {{"preferences/resizeToFit", false}}));
        // Original Size: the window grows by exactly what the picture lacked.
        const QSize before = orvel->windowSize();
        const QSize shownBefore = snapshotSize();
        orvel->key(QStringLiteral("1"));
        QVERIFY(QTest::qWaitFor([&] { return snapshotSize() == QSize(1920, 1080); }, 5000));
        const QSize after = orvel->windowSize();
        if (shownBefore.width() == before.width())
            QCOMPARE(after.width() - before.width(), 1920 - shownBefore.width());
        orvel->key(QStringLiteral("2"));
        QVERIFY(QTest::qWaitFor([&] { return snapshotSize() == QSize(960, 540); }, 5000));
        QCOMPARE(orvel->windowSize(), after - QSize(960, 540));
        QVERIFY(shows(1));
        // Rotate CCW, then CW: CW unchecks CCW, so the picture is turned a
        // quarter clockwise.
        orvel->key(QStringLiteral("ctrl+shift+n"));
        orvel->key(QStringLiteral("ctrl+shift+m"));
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QSize turned = snapshotSize();
                return turned.height() > turned.width();
            },
            5000));
        QCOMPARE(FrameIndex::read(orvel->clipboardImage().transformed(QTransform().rotate(-90))), 0);
        orvel->key(QStringLiteral("ctrl+shift+m"));
        QVERIFY(shows(1));
    }

    void snapshotWithNothingLoadedLeavesTheClipboard()
    {
        x = std::make_unique<XServer>();
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start());
        orvel->setClipboardText(QStringLiteral("keep me"));
        orvel->key(QStringLiteral("ctrl+c"));
        QTest::qWait(500);
        QCOMPARE(orvel->clipboardText(), QStringLiteral("keep me"));
        QCOMPARE(orvel->title(), QStringLiteral("Orvel"));
    }

    void aMissingFileIsReportedAndKeepsTheLoadedClip()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("file /no/such/clip.mov")));
        QVERIFY(QTest::qWaitFor(
            [&] { return orvel->standardError().contains("ERROR: File not found: /no/such/clip.mov"); },
            5000));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 33")));
        QVERIFY(shows(33));
    }

    void httpRequestsAreRefusedAndThePlayerStays()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 20")));
        QVERIFY(shows(20));
        // What a browser sends on a web page's behalf: closed without a word.
        QCOMPARE(orvel->converse("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n"
                                 "Content-Length: 10\r\n\r\nframe 111\n",
                                 1),
                 QStringList{});
        QCOMPARE(orvel->converse("GET /frame%2050 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 1), QStringList{});
        QCOMPARE(orvel->converse("frame?\n", 1), QStringList{"frame 20"});
        QVERIFY(
            QTest::qWaitFor([&] { return orvel->standardError().contains("sent an HTTP request"); }, 5000));
        QVERIFY(shows(20));
    }

    void aQuotedPathMayHoldQuotes()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        TestClip other = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        const QString dir = orvel->tmp() + QStringLiteral("/director's \"cut\"");
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + QStringLiteral("/take 'two'.mov");
        QVERIFY(QFile::copy(other.path(), path));
        QString escaped = path;
        escaped.replace(QLatin1Char('"'), QLatin1String("\\\""))
            .replace(QLatin1Char('\''), QLatin1String("\\'"));
        QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1\" 5 8").arg(escaped)));
        other.name = QFileInfo(path).fileName();
        clip = other;
        QVERIFY(shows(5));
    }

    void repliesTellWhatIsShownAfterEachCommand()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        const QString path = QFileInfo(clip.path()).absoluteFilePath();
        // Sent at once: the frame and the range wait for the clip to load.
        const QStringList answer =
            orvel->converse(QStringLiteral("reply on\nfile \"%1\"\nframe 77\nrstart 10\nrend 90\nstatus\n")
                                .arg(path)
                                .toUtf8(),
                            6);
        QCOMPARE(answer.mid(0, 5), (QStringList{"ok", "ok", "ok", "ok", "ok"}));
        QCOMPARE(answer.value(5),
                 QStringLiteral("status state=paused frame=77 frames=%1 fps=25 rstart=10 rend=90 "
                                "speed=1 loop=off file=\"%2\"")
                     .arg(clip.frameCount)
                     .arg(path));
        QVERIFY(shows(77));
    }

    void aFrameRightAfterAFileLandsAfterTheLoad()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        // A one-way client: one packet, no replies, gone once "exit" is reached.
        QCOMPARE(
            orvel->converse(QStringLiteral("file \"%1\"\nframe 77\nexit\n").arg(clip.path()).toUtf8(), 1),
            QStringList{});
        QVERIFY(shows(77));
    }
};

QTEST_GUILESS_MAIN(CommandsTest)
#include "tst_e2e_commands.moc"
