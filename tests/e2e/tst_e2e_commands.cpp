// Every user command of the real program, driven as a pipeline tool and a
// person drive it (TCP commands, keys, mouse, drag and drop), and read back
// from what a person sees: the window title and the picture itself.
#include "frameindex.h"
#include "orvelsession.h"
#include "testclips.h"
#include "titlewatch.h"

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
        return orvel->start({clip.path()}) &&
               orvel->waitForTitle(OrvelSession::titleFor(clip, 1), patienceMs);
    }

    // The title and the picture both show frame n.
    bool shows(int n) { return orvel->showsFrame(clip, n); }

    // Takes a snapshot and returns its size: the whole frame at the file's
    // size, turned as shown.
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

    // Clicks the timeline on `clicked`, behind the frame playback has
    // reached, and reads from the frames named that playback jumped back to
    // the clicked frame (give or take the pixel's rounding) and plays on from
    // there, never going back to where it was. (A title that changed twice
    // before the watch read it is seen twice.)
    bool playsOnFromClick(TitleWatch& titles, int clicked)
    {
        const int from = titles.frames().size();
        const int reached = titles.last();
        orvel->click(timelineX(clicked, clip.frameCount), timelineY());
        int landed = -1;
        int next = -1;
        const bool jumped = titles.waitFor(
            [&](const QList<int>& frames) {
                landed = from;
                while (landed < frames.size() && frames[landed] >= reached)
                    ++landed;
                next = landed + 1;
                while (next < frames.size() && frames[next] == frames[landed])
                    ++next;
                return next < frames.size();
            },
            patienceMs);
        const QList<int> frames = titles.frames();
        const bool ok = jumped && qAbs(frames[landed] - clicked) <= 2 && frames[next] > frames[landed] &&
                        frames[next] < reached;
        if (!ok)
            qWarning("clicked %d while at %d; %s", clicked, reached, qPrintable(titles.describe()));
        return ok;
    }

    // Opens the console with F10 and waits for it: the keys sent before it
    // have been handled (a dialog opened by one of them would have taken F10).
    bool keysHandled()
    {
        orvel->key(QStringLiteral("F10"));
        return !orvel->waitForWindow(QStringLiteral("Console"), patienceMs).isEmpty();
    }

    // The window names no other frame for a while: nothing plays. (A wait
    // for an event that must not come; a slow machine can only make it pass.)
    static bool namesNoOtherFrame(TitleWatch& titles)
    {
        const int named = titles.frames().size();
        return !titles.waitFor([&](const QList<int>& frames) { return frames.size() > named; }, 2000);
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
        TitleWatch titles(*x, orvel->windowId());
        orvel->key(QStringLiteral("space"));
        QVERIFY2(titles.waitFor([](const QList<int>& frames) { return frames.last() == 40; }, patienceMs),
                 qPrintable(titles.describe()));
        QVERIFY(shows(40));
        QVERIFY2(namesNoOtherFrame(titles), qPrintable(titles.describe()));
        for (int frame : titles.frames())
            QVERIFY2(frame >= 10 && frame <= 40, qPrintable(titles.describe()));
    }

    void withLoopPlaybackRestartsAtTheRangeStart()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rstart 10")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend 40")));
        orvel->key(QStringLiteral("ctrl+l"));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 30")));
        QVERIFY(shows(30));
        // At a tenth of the speed a frame stays named for a third of a
        // second: the frames named around the restart are seen.
        orvel->key(QStringLiteral("8 minus"));
        TitleWatch titles(*x, orvel->windowId());
        orvel->key(QStringLiteral("space"));
        // It passes the range end, starts over at the start and keeps going,
        // and never names a frame outside the range.
        int restart = -1;
        QVERIFY2(titles.waitFor(
                     [&](const QList<int>& frames) {
                         for (int i = 1; i < frames.size() && restart < 0; ++i)
                             restart = frames[i] < frames[i - 1] ? i : -1;
                         return restart > 0 && frames.last() > frames[restart];
                     },
                     patienceMs),
                 qPrintable(titles.describe()));
        orvel->key(QStringLiteral("space"));
        const QList<int> frames = titles.frames();
        QVERIFY2(frames[restart - 1] >= 36 && frames[restart] <= 14, qPrintable(titles.describe()));
        for (int frame : frames)
            QVERIFY2(frame >= 10 && frame <= 40, qPrintable(titles.describe()));
    }

    // The clicks go backwards, so that the only way to the clicked frame is
    // the click, at a tenth of the speed, so that the range end is far away
    // whenever they land and the frames named after a jump tell where
    // playback went on, however slowly the picture is read or the titles
    // are watched.
    void aClickDuringPlaybackKeepsPlayingOnlyInsideTheRange()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4"), {{"preferences/resizeToFit", false}}));
        QVERIFY(orvel->sendCommand(QStringLiteral("rstart 50")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend 280")));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 150")));
        QVERIFY(shows(150));
        orvel->key(QStringLiteral("8 minus")); // a quarter, then a tenth
        TitleWatch titles(*x, orvel->windowId());
        orvel->key(QStringLiteral("space"));
        QVERIFY(titles.waitFor([](const QList<int>& frames) { return frames.last() > 150; }, patienceMs));
        // Inside the range: first to a frame that is not cached, then, once
        // playback has gone on from there, back to one just played.
        QVERIFY(playsOnFromClick(titles, 60));
        QVERIFY2(titles.waitFor([](const QList<int>& frames) { return frames.last() >= 70; }, patienceMs),
                 qPrintable(titles.describe()));
        QVERIFY(playsOnFromClick(titles, 62));
        // Outside the range: it stops on the clicked frame.
        const int outside = 20;
        const int from = titles.frames().size();
        orvel->click(timelineX(outside, clip.frameCount), timelineY());
        QVERIFY2(titles.waitFor(
                     [&](const QList<int>& frames) {
                         return frames.size() > from && qAbs(frames.last() - outside) <= 2;
                     },
                     patienceMs),
                 qPrintable(titles.describe()));
        const int stopped = titles.last();
        QVERIFY(shows(stopped));
        QVERIFY2(namesNoOtherFrame(titles), qPrintable(titles.describe()));
    }

    // A quarter of the speed: 30 frames take four seconds. The wait from the
    // key to the last of them can only be longer than playback took, so it
    // tells a slowed clock from a normal one however busy the machine is.
    void customSpeedSlowsPlayback()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend 31")));
        orvel->key(QStringLiteral("ctrl+0"));
        const QString dialog = orvel->waitForWindow(QStringLiteral("Playback Speed"));
        QVERIFY2(!dialog.isEmpty(), "the speed dialog did not open");
        orvel->keyToFocused(QStringLiteral("ctrl+a"));
        orvel->typeText(QStringLiteral("0.25"));
        orvel->keyToFocused(QStringLiteral("Return"));
        QVERIFY(
            QTest::qWaitFor([&] { return !orvel->hasWindow(QStringLiteral("Playback Speed")); }, patienceMs));
        TitleWatch titles(*x, orvel->windowId());
        QElapsedTimer timer;
        timer.start();
        orvel->key(QStringLiteral("space"));
        QVERIFY2(titles.waitFor([](const QList<int>& frames) { return frames.last() == 31; }, patienceMs),
                 qPrintable(titles.describe()));
        // At full speed it would take one second, at half speed two.
        QVERIFY2(timer.elapsed() >= 2000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        QVERIFY(shows(31));
    }

    void copyCurrentMediaWithNothingLoadedShowsNoDialog()
    {
        x = std::make_unique<XServer>();
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start());
        orvel->key(QStringLiteral("ctrl+d"));
        QVERIFY(keysHandled());
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
        QProcess tool;
        tool.setProcessEnvironment(x->environment());
        auto xdotool = [&](const QStringList& args) {
            tool.start(QStringLiteral("xdotool"), args);
            tool.waitForFinished(patienceMs);
            return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
        };
        QVERIFY(QTest::qWaitFor(
            [&] {
                return !xdotool({"search", "--onlyvisible", "--name", "drag source"}).isEmpty();
            },
            patienceMs));
        QByteArray said;
        const auto sourceSaid = [&](const QByteArray& line) {
            return QTest::qWaitFor(
                [&] {
                    said += source.readAllStandardOutput();
                    return said.contains(line);
                },
                patienceMs);
        };
        xdotool({"mousemove", "1760", "1060"});
        xdotool({"mousedown", "1"});
        for (int step = 1; step <= 10; ++step)
            xdotool({"mousemove", QString::number(1760 - step * 160), QString::number(1060 - step * 90)});
        xdotool({"mousemove", "200", "150"});
        // Let go once the player has taken the drop.
        QVERIFY2(sourceSaid("accepted\n"), said.constData());
        xdotool({"mouseup", "1"});
        QVERIFY2(sourceSaid("dropped 1\n"), said.constData());
        clip = last;
        QVERIFY(shows(1));
        source.kill();
        source.waitForFinished(patienceMs);
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

        // Ended by a signal, the window cannot ask: the marks are kept in a
        // recovery file, and the console says where.
        QVERIFY(orvel->terminate());
        const QDir kept(orvel->home() + QStringLiteral("/.talmont/bookmarks"));
        const QStringList files = kept.entryList({QStringLiteral("video_only-recovered-*.bmk")});
        QCOMPARE(files.size(), 1);
        const QString recovery = kept.filePath(files.first());
        QVERIFY(orvel->standardError().contains("WARNING: Unsaved bookmarks of video_only.mp4 saved to " +
                                                recovery.toUtf8()));
        QFile file(recovery);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("5,20,80"));
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
        const QString saveDialog = orvel->waitForWindow(QStringLiteral("Save Bookmarks"));
        QVERIFY(!saveDialog.isEmpty());
        QVERIFY(orvel->waitForFocus(saveDialog));
        orvel->typeText(saved);
        orvel->keyToFocused(QStringLiteral("Return"));
        // Saved: the title loses its mark, and closing asks nothing.
        QVERIFY(orvel->waitForTitle(OrvelSession::titleFor(clip, 60)));
        QVERIFY(QFile::exists(saved));
        QVERIFY(orvel->closeWindow());

        // A new run opens the bookmarks file: the clip, its bookmarks and the
        // chosen range come back, with nothing to save.
        orvel = std::make_unique<OrvelSession>(*x);
        QVERIFY(orvel->start({saved}));
        QVERIFY(shows(40));
        QCOMPARE(orvel->title(), OrvelSession::titleFor(clip, 40));
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

    // A file of a million frame bookmarks and a hundred thousand range
    // bookmarks loads while the window goes on answering the remote control.
    void aHugeBookmarksFileLoadsWhileTheWindowAnswers()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        const QString path = orvel->tmp() + QStringLiteral("/huge.bmk");
        {
            // Frames 1, 4, 7, ...; ranges 1 - 11, 26 - 37, 51 - 63, 76 - 89, ...;
            // the file chooses 51 - 63.
            QByteArray text = "[main]\nmediaPath=" + clip.path().toUtf8() + "\nframes=\"";
            for (int i = 0; i < 1000000; ++i)
                text += QByteArray::number(i * 3 + 1) + ',';
            text += "\"\nranges=";
            for (int i = 0; i < 100000; ++i) {
                const QByteArray start = QByteArray::number(i * 25 + 1);
                const QByteArray end = QByteArray::number(i * 25 + 11 + i % 50);
                text += (i > 0 ? ", \"" : "\"") + start + ',' + end + ',' + start + " - " + end + '"';
            }
            text += "\nstart=51\nend=63\n";
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(text), qint64(text.size()));
        }
        // The measured answers are printed; the bound only tells an answering
        // window from a frozen one on a busy machine. A status asked for
        // right after the file is answered while the file is still being
        // read (clip commands wait for the clip it names).
        const int bound = patienceMs;
        QElapsedTimer answer;
        answer.start();
        const QStringList during = orvel->converse("file \"" + path.toUtf8() + "\"\nstatus\n", 1);
        qInfo("status answered %lld ms after the file was asked for", answer.elapsed());
        QVERIFY2(during.value(0).startsWith(QStringLiteral("status state=loading")),
                 qPrintable(during.value(0)));
        QVERIFY(answer.elapsed() < bound);

        // Loaded: the clip opens again at the range the file chose.
        QVERIFY(shows(51));
        orvel->key(QStringLiteral("ctrl+Right"));
        QVERIFY(shows(63));
        answer.restart();
        QCOMPARE(orvel->converse("reply on\nframe 30\n", 2), (QStringList{"ok", "ok"}));
        qInfo("frame 30 shown %lld ms after it was asked for", answer.elapsed());
        QVERIFY(answer.elapsed() < bound);
        QVERIFY(shows(30));
        orvel->key(QStringLiteral("bracketright"));
        QVERIFY(shows(31));
        orvel->key(QStringLiteral("ctrl+bracketright"));
        QVERIFY(shows(76));
    }

    void closingWithAClipLoadedUnloadsAndWritesTheSettingsOnce()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4")));
        // The clip joined the recent list, which is saved a moment later; from
        // then on only the close has something to write.
        const QString settingsFile = orvel->home() + QStringLiteral("/.talmont/orvel.ini");
        QVERIFY(QTest::qWaitFor(
            [&] {
                QFile file(settingsFile);
                return file.open(QIODevice::ReadOnly) && file.readAll().contains(clip.name.toUtf8());
            },
            patienceMs));
        orvel->key(QStringLiteral("space"));
        QProcess watch;
        watch.setProcessChannelMode(QProcess::MergedChannels);
        watch.start(QStringLiteral("inotifywait"), {"-m", "-e", "close_write", "-e", "moved_to", "--format",
                                                    "%e %f", orvel->home() + "/.talmont"});
        QVERIFY(watch.waitForStarted());
        QVERIFY(watch.waitForReadyRead(patienceMs)); // "Watches established."
        watch.readAll();
        QVERIFY(orvel->closeWindow(patienceMs));
        QVERIFY2(orvel->exitCode() == 0, orvel->standardError().right(4000).constData());
        // A file of the test's own, written after the program has ended: once
        // its event is reported, so is every event before it.
        QFile marker(orvel->home() + QStringLiteral("/.talmont/marker"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        QByteArray reported;
        QVERIFY(QTest::qWaitFor(
            [&] {
                reported += watch.readAll();
                return reported.contains("CLOSE_WRITE,CLOSE marker");
            },
            patienceMs));
        watch.terminate();
        watch.waitForFinished(3000);
        // Writes go through a temporary file renamed over the settings file:
        // one rename onto "orvel.ini" is one write.
        const QStringList events = QString::fromUtf8(reported).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int writes = 0;
        for (const QString& event : events)
            writes += event.section(QLatin1Char(' '), 1) == QLatin1String("orvel.ini") ? 1 : 0;
        QCOMPARE(writes, 1);
    }

    void viewsResizeRotateAndSnapshot()
    {
        QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4"), {{"preferences/resizeToFit", false}}));
        // Original Size and Half Size: the window changes by exactly what
        // the picture gains or loses, back and forth.
        const QSize before = orvel->windowSize();
        orvel->key(QStringLiteral("1"));
        QVERIFY(QTest::qWaitFor([&] { return orvel->windowSize() != before; }, patienceMs));
        const QSize after = orvel->windowSize();
        orvel->key(QStringLiteral("2"));
        QVERIFY(QTest::qWaitFor([&] { return orvel->windowSize() == after - QSize(960, 540); }, patienceMs));
        orvel->key(QStringLiteral("1"));
        QVERIFY(QTest::qWaitFor([&] { return orvel->windowSize() == after; }, patienceMs));
        // The snapshot is the whole frame at the file's size, whatever the window shows.
        QCOMPARE(snapshotSize(), QSize(1920, 1080));
        QVERIFY(shows(1));
        // Rotate CCW, then CW: CW unchecks CCW, so the picture is turned a
        // quarter clockwise.
        orvel->key(QStringLiteral("ctrl+shift+n"));
        orvel->key(QStringLiteral("ctrl+shift+m"));
        QVERIFY(QTest::qWaitFor([&] { return snapshotSize() == QSize(1080, 1920); }, patienceMs));
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
        QVERIFY(keysHandled());
        QCOMPARE(orvel->clipboardText(), QStringLiteral("keep me"));
        QCOMPARE(orvel->title(), QStringLiteral("Orvel"));
    }

    void aMissingFileIsReportedAndKeepsTheLoadedClip()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        QVERIFY(orvel->sendCommand(QStringLiteral("file /no/such/clip.mov")));
        QVERIFY(QTest::qWaitFor(
            [&] { return orvel->standardError().contains("ERROR: File not found: /no/such/clip.mov"); },
            patienceMs));
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
        QVERIFY(QTest::qWaitFor([&] { return orvel->standardError().contains("sent an HTTP request"); },
                                patienceMs));
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
