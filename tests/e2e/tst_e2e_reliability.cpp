// The real program under stress and faults: a storm of remote commands, a
// clip that disappears or shrinks while it plays, a taken port, no sound
// device, a home and bookmarks files that cannot be written, and the end of
// the program in every state. Each case ends with the program still in
// charge (or gone in good order) and, in a sanitizer build, without a report.
#include "orvelsession.h"
#include "testclips.h"
#include "titlewatch.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {

bool runQuietly(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    return tool.waitForFinished(patienceMs) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a sanitizer build prints when it finds a fault.
bool hasSanitizerReport(const QByteArray& errors)
{
    return errors.contains("AddressSanitizer") || errors.contains("LeakSanitizer") ||
           errors.contains("UndefinedBehaviorSanitizer") || errors.contains("runtime error:") ||
           errors.contains("ThreadSanitizer");
}

// Makes a file or folder unwritable even for root, whose permission bits do
// not stop anything: the immutable attribute refuses every change (no write,
// no rename onto it, no new entry in a folder), on any file system that keeps
// attributes. Undone when the guard goes.
class Immutable
{
public:
    explicit Immutable(const QString& path, bool recursive = false) : target(path), recursive(recursive)
    {
        active = runQuietly(QStringLiteral("chattr"), arguments(QStringLiteral("+i")));
    }
    ~Immutable()
    {
        if (active)
            runQuietly(QStringLiteral("chattr"), arguments(QStringLiteral("-i")));
    }
    bool isActive() const { return active; }

private:
    QStringList arguments(const QString& change) const
    {
        return recursive ? QStringList{"-R", change, target} : QStringList{change, target};
    }
    QString target;
    bool recursive;
    bool active = false;
};

// A small RAM file system: the way to fill a disk without filling the real one.
class SmallDisk
{
public:
    explicit SmallDisk(const QString& path, int kilobytes) : where(path)
    {
        QDir().mkpath(path);
        mounted = runQuietly(QStringLiteral("mount"),
                             {"-t", "tmpfs", "-o", QStringLiteral("size=%1k").arg(kilobytes), "tmpfs", path});
    }
    ~SmallDisk()
    {
        if (mounted && !runQuietly(QStringLiteral("umount"), {where}))
            runQuietly(QStringLiteral("umount"), {"-l", where});
    }
    bool isMounted() const { return mounted; }

    // Writes a file that takes all the room left.
    void fill() const
    {
        QFile filler(where + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray chunk(4096, 'x');
        while (filler.write(chunk) == chunk.size() && filler.flush()) {
        }
    }

private:
    QString where;
    bool mounted = false;
};

// A command for the storm: mostly valid, with numbers out of range, numbers
// that are no numbers, files that are missing or unplayable, and junk.
class StormCommands
{
public:
    StormCommands(quint32 seed, const TestClip& clip) : random(seed), clip(clip) {}

    QByteArray next()
    {
        const int kind = random.bounded(100);
        if (kind < 30)
            return "frame " + number() + '\n';
        if (kind < 50)
            return "frameRelative " + number() + '\n';
        if (kind < 65)
            return "rstart " + number() + '\n';
        if (kind < 80)
            return "rend " + number() + '\n';
        if (kind < 88)
            return "file " + file() + '\n';
        return junk() + '\n';
    }

private:
    QByteArray number()
    {
        static const QList<QByteArray> odd = {"-5",   "0",    "999999", "2147483647", "-2147483648",
                                              "1e12", "nan",  "inf",    "abc",        "",
                                              "12.9", "-2.5", "0x10"};
        if (random.bounded(3) == 0)
            return odd.at(random.bounded(odd.size()));
        return QByteArray::number(1 + random.bounded(clip.frameCount));
    }

    QByteArray file()
    {
        const int which = random.bounded(10);
        if (which < 4) {
            QByteArray line = '"' + clip.path().toUtf8() + '"';
            if (random.bounded(2) == 0)
                line += ' ' + number() + ' ' + number();
            return line;
        }
        const QStringList broken = TestClips::unopenable();
        switch (which) {
        case 4:
            return "/no/such/clip.mov";
        case 5:
            return "/no/such/notes.bmk";
        case 6:
            return TestClips::directory().toUtf8();
        default:
            return '"' + TestClips::path(broken.at(random.bounded(broken.size()))).toUtf8() + '"';
        }
    }

    QByteArray junk()
    {
        switch (random.bounded(5)) {
        case 0:
            return QByteArray();
        case 1:
            return "\"\" '' \"";
        case 2:
            return QByteArray(8000, 'f');
        case 3:
            return "Frame 12";
        default: {
            QByteArray bytes(64, '\0');
            for (char& c : bytes)
                c = char(random.bounded(256));
            return bytes.replace('\n', ' ');
        }
        }
    }

    QRandomGenerator random;
    TestClip clip;
};

} // namespace

class ReliabilityTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XServer> x;
    std::unique_ptr<OrvelSession> orvel;
    TestClip clip;

    bool newSession(bool withWindowManager = false)
    {
        orvel.reset();
        x = std::make_unique<XServer>(withWindowManager);
        if (!x->isRunning())
            return false;
        orvel = std::make_unique<OrvelSession>(*x);
        return true;
    }

    // A fresh program with the clip loaded and showing frame 1.
    bool startWith(const QString& name, bool withWindowManager = false)
    {
        if (!newSession(withWindowManager))
            return false;
        clip = TestClips::clip(name);
        return orvel->start({clip.path()}) && orvel->waitForTitle(OrvelSession::titleFor(clip, 1));
    }

    // The title and the picture both show frame n of the current clip.
    bool shows(int n) { return orvel->showsFrame(clip, n); }

    bool stderrContains(const QByteArray& text, int timeoutMs = patienceMs)
    {
        return QTest::qWaitFor([&] { return orvel->standardError().contains(text); }, timeoutMs);
    }

    // Closes the window and checks that the program ended in good order;
    // with `answer`, the keys that answer the question about unsaved
    // bookmarks.
    void closesCleanly(const QString& answer = QString())
    {
        orvel->requestClose();
        if (!answer.isEmpty())
            QVERIFY(orvel->answerDialog(QStringLiteral("Unsaved Bookmarks"), answer));
        QVERIFY2(orvel->waitForExit(), "the program did not end after its window was closed");
        QCOMPARE(orvel->exitCode(), 0);
        const QByteArray errors = orvel->standardError();
        QVERIFY2(!hasSanitizerReport(errors), errors.right(4000).constData());
    }

    // Another clip opens and shows its frames: the player is still usable.
    void opensAnotherClip()
    {
        clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1\"").arg(clip.path())));
        QVERIFY(shows(1));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 33")));
        QVERIFY(shows(33));
    }

private slots:
    void initTestCase() { QVERIFY2(!OrvelSession::binary().isEmpty(), "ORVEL_BINARY is not set"); }

    void cleanup()
    {
        orvel.reset();
        x.reset();
    }

    void aStormOfRemoteCommandsLeavesThePlayerInCharge()
    {
        QVERIFY(startWith(QStringLiteral("video_only.mp4")));
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("storm seed %u", seed);
        StormCommands commands(seed, clip);
        std::vector<std::unique_ptr<QTcpSocket>> connections;
        for (int i = 0; i < 3; ++i) {
            connections.push_back(std::make_unique<QTcpSocket>());
            connections.back()->connectToHost(QHostAddress::LocalHost, quint16(orvel->port()));
            QVERIFY(connections.back()->waitForConnected(patienceMs));
        }
        QRandomGenerator pick(seed);
        for (int i = 0; i < 1000; ++i)
            connections.at(pick.bounded(int(connections.size())))->write(commands.next());
        // A status is answered once every command before it on its connection
        // has run (or the connection is gone, should junk have looked like HTTP).
        for (auto& connection : connections) {
            connection->write("status\n");
            while (connection->bytesToWrite() > 0)
                QVERIFY2(connection->waitForBytesWritten(patienceMs),
                         "the player stopped reading its commands");
        }
        for (auto& connection : connections) {
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             while (connection->canReadLine()) {
                                 if (connection->readLine().startsWith("status "))
                                     return true;
                             }
                             return connection->state() == QAbstractSocket::UnconnectedState;
                         },
                         patienceMs),
                     "the commands of a connection never all ran");
        }
        for (auto& connection : connections) {
            connection->disconnectFromHost();
            if (connection->state() != QAbstractSocket::UnconnectedState)
                connection->waitForDisconnected(patienceMs);
        }
        QVERIFY2(orvel->isRunning(), orvel->standardError().right(4000).constData());

        // The commands on the three connections may have run in any order,
        // and loads and seeks of the storm may still be under way: a clip
        // opened with a range of its own shows when it is the one loaded.
        QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1\" 23 99").arg(clip.path())));
        QVERIFY(shows(23));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 77")));
        QVERIFY(shows(77));
        // A relative step that goes past the largest number still lands on
        // the last frame.
        QVERIFY(orvel->sendCommand(QStringLiteral("rstart 10")));
        QVERIFY(orvel->sendCommand(QStringLiteral("rend %1").arg(clip.frameCount)));
        QVERIFY(orvel->sendCommand(QStringLiteral("frameRelative 2147483647")));
        QVERIFY(shows(clip.frameCount));
        QVERIFY(orvel->sendCommand(QStringLiteral("frameRelative -2147483648")));
        QVERIFY(shows(1));
        closesCleanly();
    }

    void aClipThatGoesAwayWhilePlaying_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("deleted");
        // Deleted: the open file lives on until it is closed, so the clip
        // plays to its end. Truncated: what was cut is gone for good.
        QTest::newRow("deleted mov") << "mpeg4_641x361.mov" << true;
        QTest::newRow("truncated mp4") << "h264_1080p25.mp4" << false;
        QTest::newRow("truncated mpeg-ps") << "mpeg2_ps.mpg" << false;
    }

    void aClipThatGoesAwayWhilePlaying()
    {
        QFETCH(QString, name);
        QFETCH(bool, deleted);
        QVERIFY(newSession());
        clip = TestClips::clip(name);
        const QString copy = orvel->tmp() + QLatin1Char('/') + name;
        QVERIFY(QFile::copy(clip.path(), copy));
        QVERIFY(orvel->start({copy}));
        QVERIFY(orvel->waitForTitle(OrvelSession::titleFor(clip, 1)));
        TitleWatch titles(*x, orvel->windowId());
        orvel->key(QStringLiteral("space"));
        QVERIFY(titles.waitFor([](const QList<int>& frames) { return frames.last() > 10; }, patienceMs));
        const int reached = titles.last();
        if (deleted) {
            QVERIFY(QFile::remove(copy));
        } else {
            QFile file(copy);
            QVERIFY(file.resize(file.size() * 2 / 5));
        }
        // Playback goes on: a deleted clip to its end, from the file the
        // program still has open; a cut one as far as it can.
        QVERIFY2(titles.waitFor(
                     [&](const QList<int>& frames) {
                         return deleted ? frames.last() == clip.frameCount : frames.last() > reached;
                     },
                     patienceMs),
                 qPrintable(titles.describe()));
        // Seeks into what is gone and back.
        for (const int frame : {clip.frameCount, 2, clip.frameCount / 2, 1})
            QVERIFY(orvel->sendCommand(QStringLiteral("frame %1").arg(frame)));
        QVERIFY(shows(1));
        opensAnotherClip();
        closesCleanly();
    }

    void aTakenPortLeavesRemoteControlOff()
    {
        QVERIFY(newSession());
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, quint16(orvel->port())));
        clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        QVERIFY(orvel->start({clip.path()}));
        QVERIFY(shows(1));
        QVERIFY(stderrContains(QStringLiteral("WARNING: remote control is off: port %1 is not available")
                                   .arg(orvel->port())
                                   .toUtf8()));
        // The keys still work; what reaches the port is not the player's.
        orvel->key(QStringLiteral("Right"));
        QVERIFY(shows(2));
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 50")));
        QVERIFY(taken.waitForNewConnection(patienceMs));
        QVERIFY(shows(2));
        closesCleanly();
    }

    void withoutASoundDeviceTheClockStillRuns()
    {
        QVERIFY(newSession());
        // An ALSA configuration whose only device is a card that does not
        // exist, and no sound server. (An empty configuration is no use: the
        // sound library's device scan stops the program on an assertion.)
        const QString noDevices = orvel->tmp() + QStringLiteral("/asound.conf");
        QFile conf(noDevices);
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("pcm.!default { type hw card 99 }\nctl.!default { type hw card 99 }\n");
        conf.close();
        orvel->setEnvironment(QStringLiteral("ALSA_CONFIG_PATH"), noDevices);
        orvel->setEnvironment(QStringLiteral("JACK_NO_START_SERVER"), QStringLiteral("1"));
        orvel->setEnvironment(QStringLiteral("PULSE_SERVER"), QStringLiteral("/nonexistent"));
        // The console as it comes: it pops up for errors only.
        orvel->writeSettings(QStringLiteral("console"), QStringLiteral("displayConsoleOnType"), 1);
        const QByteArray warning("WARNING: No audio devices found");
        clip = TestClips::clip(QStringLiteral("vp9_opus.webm"));
        QVERIFY(orvel->start({clip.path()}));
        QVERIFY(shows(1));
        QVERIFY(stderrContains(warning));
        // Said once per run, however many clips with sound follow, and never
        // in the console's face.
        clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1\"").arg(clip.path())));
        QVERIFY(orvel->waitForTitle(OrvelSession::titleFor(clip, 1)));
        QVERIFY(shows(1));
        QCOMPARE(orvel->standardError().count(warning), 1);
        QVERIFY(!orvel->standardError().contains("ERROR:"));
        QVERIFY(!orvel->hasWindow(QStringLiteral("Console")));
        orvel->key(QStringLiteral("space"));
        QVERIFY2(QTest::qWaitFor([&] { return OrvelSession::frameInTitle(orvel->title()) > 25; }, patienceMs),
                 qPrintable(orvel->title()));
        // It plays to the end and stays there.
        QVERIFY2(
            QTest::qWaitFor([&] { return orvel->title() == OrvelSession::titleFor(clip, clip.frameCount); },
                            patienceMs),
            qPrintable(orvel->title()));
        QVERIFY(shows(clip.frameCount));
        closesCleanly();
    }

    void anUnwritableHomeIsReportedWhenTheSettingsAreSaved()
    {
        QVERIFY(newSession());
        const QString settingsFile = orvel->home() + QStringLiteral("/.talmont/orvel.ini");
        const QByteArray before = contentOf(settingsFile);
        QVERIFY(!before.isEmpty());
        Immutable home(orvel->home(), true);
        if (!home.isActive())
            QSKIP("the immutable attribute cannot be set here (needs root and a file system that keeps it)");
        clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        QVERIFY(orvel->start({clip.path()}));
        QVERIFY(shows(1));
        // The settings it read still apply: remote control is on its port.
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 20")));
        QVERIFY(shows(20));
        closesCleanly();
        QVERIFY(orvel->standardError().contains(
            QStringLiteral("ERROR: Failed to save settings file: %1").arg(settingsFile).toUtf8()));
        QCOMPARE(contentOf(settingsFile), before);
    }

    // A change is on disk a moment after it is made, so a kill right after
    // loses none of it; and a line another program wrote into the settings
    // file costs that line only, with the file as it was kept beside it.
    void settingsSurviveAKillAndABadLine()
    {
        QVERIFY(newSession());
        const QString settingsFile = orvel->home() + QStringLiteral("/.talmont/orvel.ini");
        {
            QFile file(settingsFile);
            QVERIFY(file.open(QIODevice::Append));
            file.write("[main]\nmuted=@Variant(\\0\\0\\0\\x1\\0\\x1)\nshowRangeTimeline=true\n");
        }
        const QByteArray original = contentOf(settingsFile);
        clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        QVERIFY(orvel->start({clip.path()}));
        // The port the session wrote was read: the keys around the line are.
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 20")));
        QVERIFY(shows(20));
        QVERIFY(
            stderrContains(QStringLiteral("WARNING: Unreadable value of main/muted in the settings file %1")
                               .arg(settingsFile)
                               .toUtf8()));
        QCOMPARE(contentOf(settingsFile + QStringLiteral(".bad")), original);

        // One step louder and looping; killed as soon as that is on disk.
        orvel->key(QStringLiteral("shift+Up ctrl+l"));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const QByteArray text = contentOf(settingsFile);
                         return text.contains("volume=105\n") && text.contains("loop=true\n");
                     },
                     patienceMs),
                 contentOf(settingsFile).constData());
        QVERIFY(orvel->kill());

        // The next run has them: it writes back what it read when it closes.
        QVERIFY(orvel->start());
        closesCleanly();
        const QByteArray text = contentOf(settingsFile);
        QVERIFY2(text.contains("volume=105\n") && text.contains("loop=true\n") &&
                     text.contains("showRangeTimeline=true\n") && !text.contains("@Variant"),
                 text.constData());
        QCOMPARE(contentOf(settingsFile + QStringLiteral(".bad")), original);
    }

    void aFailedBookmarksSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only file") << "file";
        QTest::newRow("read-only folder") << "folder";
        QTest::newRow("full disk") << "disk";
    }

    void aFailedBookmarksSaveKeepsTheOldFile()
    {
        QFETCH(QString, fault);
        QVERIFY(newSession());
        const QString folder = orvel->tmp() + QStringLiteral("/review");
        std::unique_ptr<SmallDisk> disk;
        if (fault == QLatin1String("disk")) {
            disk = std::make_unique<SmallDisk>(folder, 256);
            if (!disk->isMounted())
                QSKIP("mounting a small file system is not permitted here");
        }
        QVERIFY(QDir().mkpath(folder));
        clip = TestClips::clip(QStringLiteral("video_only.mp4"));
        const QString path = folder + QStringLiteral("/notes.bmk");
        {
            QSettings file(path, QSettings::IniFormat);
            file.setValue(QStringLiteral("main/mediaPath"), clip.path());
            file.setValue(QStringLiteral("main/frames"), QStringLiteral("7,"));
        }
        QVERIFY(orvel->start({path}));
        QVERIFY(orvel->waitForFrameInTitle() > 0);

        // A save that works, so the failure below is the fault's.
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 30")));
        QVERIFY(shows(30));
        orvel->key(QStringLiteral("f ctrl+s"));
        QVERIFY(QTest::qWaitFor([&] { return contentOf(path).contains("30,"); }, patienceMs));
        const QByteArray saved = contentOf(path);

        std::unique_ptr<Immutable> readOnly;
        if (disk) {
            disk->fill();
        } else {
            readOnly = std::make_unique<Immutable>(fault == QLatin1String("file") ? path : folder);
            if (!readOnly->isActive())
                QSKIP("the immutable attribute cannot be set here (needs root and a file system that keeps "
                      "it)");
        }
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 50")));
        QVERIFY(shows(50));
        orvel->key(QStringLiteral("f ctrl+s"));
        QVERIFY2(
            stderrContains(QStringLiteral("ERROR: Failed to save bookmarks file: %1").arg(path).toUtf8()),
            orvel->standardError().right(2000).constData());
        QCOMPARE(contentOf(path), saved);
        // Nothing was left behind beside it.
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("filler"));
        QCOMPARE(left, QStringList{QStringLiteral("notes.bmk")});
        QVERIFY(orvel->sendCommand(QStringLiteral("frame 60")));
        QVERIFY(shows(60));
        // Closing asks about the mark at 50. Saving fails again: the window
        // stays with its marks; Discard lets it close.
        const QByteArray failure = "ERROR: Failed to save bookmarks file: " + path.toUtf8();
        orvel->requestClose();
        QVERIFY(orvel->answerDialog(QStringLiteral("Unsaved Bookmarks"), QStringLiteral("s")));
        QVERIFY(QTest::qWaitFor([&] { return orvel->standardError().count(failure) == 2; }, patienceMs));
        QCOMPARE(orvel->title(), clip.name + QStringLiteral("* -- Frame 60"));
        QCOMPARE(contentOf(path), saved);
        closesCleanly(QStringLiteral("d"));
        readOnly.reset();
        disk.reset();
    }

    void theProgramEndsPromptlyInEveryState_data()
    {
        QTest::addColumn<bool>("signal");
        QTest::addColumn<QString>("state");
        for (const bool signal : {false, true}) {
            for (const char* state : {"loading", "seeking", "playing", "unloading"}) {
                QTest::addRow("%s while %s", signal ? "SIGTERM" : "closing the window", state)
                    << signal << QString::fromLatin1(state);
            }
        }
    }

    void theProgramEndsPromptlyInEveryState()
    {
        QFETCH(bool, signal);
        QFETCH(QString, state);
        const QString big = TestClips::path(QStringLiteral("h264_1080p25.mp4"));
        if (state == QLatin1String("loading")) {
            QVERIFY(newSession(!signal));
            QVERIFY(orvel->start());
            QVERIFY(orvel->sendCommand(QStringLiteral("file \"%1\"").arg(big)));
        } else {
            QVERIFY(startWith(QStringLiteral("h264_1080p25.mp4"), !signal));
            if (state == QLatin1String("seeking")) {
                // The far side of the long group of pictures: a long decode.
                QVERIFY(orvel->sendCommand(QStringLiteral("frame 245")));
            } else if (state == QLatin1String("playing")) {
                orvel->key(QStringLiteral("space"));
                QVERIFY(QTest::qWaitFor([&] { return OrvelSession::frameInTitle(orvel->title()) > 5; },
                                        patienceMs));
            } else {
                QVERIFY(orvel->sendCommand(
                    QStringLiteral("file \"%1\"").arg(TestClips::path(QStringLiteral("mpeg4_641x361.mov")))));
            }
        }
        // A hang watchdog, not a speed check: the time is printed, and only
        // a program still running past the watchdog fails.
        QElapsedTimer timer;
        timer.start();
        const bool ended = signal ? orvel->terminate(patienceMs) : orvel->closeWindow(patienceMs);
        const qint64 took = timer.elapsed();
        qInfo("%s while %s: ended after %lld ms", signal ? "SIGTERM" : "close", qPrintable(state), took);
        QVERIFY2(ended, qPrintable(QStringLiteral("still running after %1 ms").arg(patienceMs)));
        QCOMPARE(orvel->exitCode(), 0);
        const QByteArray errors = orvel->standardError();
        QVERIFY2(!hasSanitizerReport(errors), errors.right(4000).constData());
    }
};

QTEST_GUILESS_MAIN(ReliabilityTest)
#include "tst_e2e_reliability.moc"
