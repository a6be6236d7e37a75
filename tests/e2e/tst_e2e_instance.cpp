// A second launch of the real program hands its command line to the running
// player, and the hand-over survives a crashed, a stopped and a racing player.
#include "orvelsession.h"
#include "testclips.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>
#include <csignal>

namespace {

QString titleFor(const QString& clip, int frame)
{
    return QStringLiteral("%1 -- Frame %2").arg(QFileInfo(clip).fileName()).arg(frame);
}

QStringList savedRecentFiles(const OrvelSession& session)
{
    return QSettings(session.home() + QStringLiteral("/.talmont/orvel.ini"), QSettings::IniFormat)
        .value(QStringLiteral("file/recentFiles"))
        .toStringList();
}

int visibleWindowsOf(const XServer& x, qint64 pid)
{
    QProcess xdotool;
    xdotool.setProcessEnvironment(x.environment());
    xdotool.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(pid)});
    xdotool.waitForFinished(patienceMs);
    return QString::fromUtf8(xdotool.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
        .size();
}

} // namespace

class InstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void aSecondLaunchOpensItsClipWithItsRangeInTheFirst()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        // A name relative to the launch's folder, which is not the player's.
        const QString clip = TestClips::path(QStringLiteral("video_only.mp4"));
        QVERIFY(QFileInfo(clip).absolutePath() != QDir::currentPath());
        QCOMPARE(orvel.launchAgain({"video_only.mp4", "10", "20"}, patienceMs, nullptr,
                                   QFileInfo(clip).absolutePath()),
                 0);
        // Ready at the range start; the range end is where Ctrl+Right goes.
        QVERIFY(orvel.waitForTitle(titleFor(clip, 10)));
        QCOMPARE(orvel.snapshotIndex(), 9);
        orvel.key(QStringLiteral("ctrl+Right"));
        QVERIFY(orvel.waitForTitle(titleFor(clip, 20)));
        QCOMPARE(orvel.snapshotIndex(), 19);
    }

    void aWordAsRangeStartMeansNoStart()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        const QString clip = TestClips::path(QStringLiteral("video_only.mp4"));
        QCOMPARE(orvel.launchAgain({clip, "abc", "20"}), 0);
        QVERIFY(orvel.waitForTitle(titleFor(clip, 1)));
        orvel.key(QStringLiteral("ctrl+Right"));
        QVERIFY(orvel.waitForTitle(titleFor(clip, 20)));
    }

    void aLaunchWithoutArgumentsRaisesTheRunningWindow()
    {
        XServer x(true);
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        const auto activeWindow = [&] {
            QProcess active;
            active.setProcessEnvironment(x.environment());
            active.start(QStringLiteral("xdotool"), {"getactivewindow"});
            active.waitForFinished(patienceMs);
            return QString::fromUtf8(active.readAllStandardOutput()).trimmed();
        };
        QProcess other;
        other.setProcessEnvironment(x.environment());
        other.start(QStringLiteral("xmessage"), {"-geometry", "+0+0", "another window"});
        QVERIFY(other.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QString active = activeWindow();
                return !active.isEmpty() && active != orvel.windowId();
            },
            patienceMs));
        QCOMPARE(orvel.launchAgain({}), 0);
        const bool raised = QTest::qWaitFor([&] { return activeWindow() == orvel.windowId(); }, patienceMs);
        other.kill();
        other.waitForFinished();
        QVERIFY2(raised, qPrintable(activeWindow()));
        QCOMPARE(orvel.title(), QStringLiteral("Orvel"));
    }

    void everyFileOfQuickLaunchesIsDeliveredAndTheLastOpened()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        const QString first = TestClips::path(QStringLiteral("video_only.mp4"));
        const QString second = TestClips::path(QStringLiteral("mpeg4_641x361.mov"));
        const QString third = TestClips::path(QStringLiteral("h264_1080p25.mp4"));
        QCOMPARE(orvel.launchAgain({first, second}), 0);
        QCOMPARE(orvel.launchAgain({third, "5"}), 0);
        QVERIFY(orvel.waitForTitle(titleFor(third, 5)));
        QVERIFY(orvel.closeWindow());
        QCOMPARE(savedRecentFiles(orvel), (QStringList{third, second, first}));
    }

    void aStoppedPlayerMakesALaunchGiveUp()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        QCOMPARE(kill(static_cast<pid_t>(orvel.pid()), SIGSTOP), 0);
        QElapsedTimer took;
        took.start();
        QByteArray said;
        const int code =
            orvel.launchAgain({TestClips::path(QStringLiteral("video_only.mp4"))}, patienceMs, &said);
        qInfo("the launch gave up after %lld ms", took.elapsed());
        QCOMPARE(kill(static_cast<pid_t>(orvel.pid()), SIGCONT), 0);
        QCOMPARE(code, 1);
        QVERIFY2(said.contains("did not confirm"), said.constData());
        // Resumed, the player opens nothing: the launch had said it failed.
        QVERIFY(
            QTest::qWaitFor([&] { return orvel.standardError().contains("stopped waiting"); }, patienceMs));
        QCOMPARE(orvel.title(), QStringLiteral("Orvel"));
    }

    void simultaneousLaunchesMakeOnePlayer()
    {
        XServer x;
        for (int pair = 0; pair < 20; ++pair) {
            OrvelSession orvel(x);
            const auto first = orvel.startAnother({});
            const auto second = orvel.startAnother({});
            QVERIFY(first->waitForStarted() && second->waitForStarted());
            QVERIFY(QTest::qWaitFor(
                [&] { return first->state() != QProcess::Running || second->state() != QProcess::Running; },
                patienceMs));
            QProcess* player = first->state() == QProcess::Running ? first.get() : second.get();
            QProcess* handedOver = player == first.get() ? second.get() : first.get();
            QVERIFY2(handedOver->exitStatus() == QProcess::NormalExit && handedOver->exitCode() == 0,
                     handedOver->readAllStandardError().constData());
            QCOMPARE(player->state(), QProcess::Running);
            player->terminate();
            QVERIFY(player->waitForFinished(patienceMs));
        }
    }

    void withNewPlayersASecondLaunchRunsItsOwnWindow()
    {
        XServer x;
        OrvelSession orvel(x);
        orvel.writeSettings(QStringLiteral("preferences"), QStringLiteral("openMediaInNewPlayers"), true);
        QVERIFY(orvel.start());
        const QString clip = TestClips::path(QStringLiteral("video_only.mp4"));
        // The same HOME, settings and channel as the first.
        const auto second = orvel.startAnother({clip});
        QVERIFY(second->waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return visibleWindowsOf(x, second->processId()) >= 1; }, patienceMs));
        QCOMPARE(second->state(), QProcess::Running);
        QCOMPARE(orvel.title(), QStringLiteral("Orvel"));
        second->terminate();
        QVERIFY(second->waitForFinished(patienceMs));
    }

    void aLaunchAfterTheFirstPlayerWasKilledBecomesAPlayer()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        QCOMPARE(kill(static_cast<pid_t>(orvel.pid()), SIGKILL), 0);
        QVERIFY(QTest::qWaitFor([&] { return !orvel.isRunning(); }, patienceMs));
        const QString clip = TestClips::path(QStringLiteral("video_only.mp4"));
        const auto next = orvel.startAnother({clip, "7"});
        QVERIFY(next->waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return visibleWindowsOf(x, next->processId()) >= 1; }, patienceMs),
                 "the launch after a crash did not become a player");
        // And it is the owner now: the next launch hands over to it.
        QCOMPARE(orvel.launchAgain({clip, "9"}), 0);
        QCOMPARE(next->state(), QProcess::Running);
        next->terminate();
        QVERIFY(next->waitForFinished(patienceMs));
    }

    void aLongPathIsHandedOverIntact()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        QString dir = orvel.tmp();
        while (dir.size() < 1000 - 30)
            dir += QStringLiteral("/review-folder-%1").arg(dir.size());
        QVERIFY(QDir().mkpath(dir));
        const QString clip = dir + QStringLiteral("/long path clip.mp4");
        QVERIFY(QFile::copy(TestClips::path(QStringLiteral("video_only.mp4")), clip));
        QVERIFY(clip.toUtf8().size() > 127);
        QCOMPARE(orvel.launchAgain({clip, "5", "8"}), 0);
        QVERIFY(orvel.waitForTitle(titleFor(clip, 5)));
        QCOMPARE(orvel.snapshotIndex(), 4);
    }
};

QTEST_GUILESS_MAIN(InstanceTest)
#include "tst_e2e_instance.moc"
