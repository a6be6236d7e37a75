// A second launch of the real program hands its command line to the running
// player, and the hand-over survives a crashed player.
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
        const QString clip = TestClips::path(QStringLiteral("video_only.mp4"));
        QCOMPARE(orvel.launchAgain({clip, "10", "20"}), 0);
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

    void twoLaunchesWithinOnePollDeliverOnlyTheLast()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        const QString first = TestClips::path(QStringLiteral("video_only.mp4"));
        const QString second = TestClips::path(QStringLiteral("mpeg4_641x361.mov"));
        QCOMPARE(kill(static_cast<pid_t>(orvel.pid()), SIGSTOP), 0);
        QCOMPARE(orvel.launchAgain({first}), 0);
        QCOMPARE(orvel.launchAgain({second}), 0);
        QCOMPARE(kill(static_cast<pid_t>(orvel.pid()), SIGCONT), 0);
        QVERIFY(orvel.waitForTitle(titleFor(second, 1)));
        QVERIFY(orvel.closeWindow());
        QCOMPARE(savedRecentFiles(orvel), QStringList{second});
    }

    void withNewPlayersASecondLaunchRunsItsOwnWindow()
    {
        XServer x;
        OrvelSession orvel(x);
        orvel.writeSettings(QStringLiteral("preferences"), QStringLiteral("openMediaInNewPlayers"), true);
        QVERIFY(orvel.start());
        const QString clip = TestClips::path(QStringLiteral("video_only.mp4"));
        // The same HOME, settings and channel as the first.
        QProcess second;
        QProcessEnvironment env = x.environment();
        env.insert(QStringLiteral("HOME"), orvel.home());
        env.insert(QStringLiteral("TMPDIR"), orvel.tmp());
        second.setProcessEnvironment(env);
        second.start(OrvelSession::binary(), {clip});
        QVERIFY(second.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return visibleWindowsOf(x, second.processId()) >= 1; }, patienceMs));
        QCOMPARE(second.state(), QProcess::Running);
        QCOMPARE(orvel.title(), QStringLiteral("Orvel"));
        second.terminate();
        QVERIFY(second.waitForFinished(patienceMs));
    }

    void aLaunchAfterTheFirstPlayerWasKilledBecomesAPlayer()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        QCOMPARE(kill(static_cast<pid_t>(orvel.pid()), SIGKILL), 0);
        QVERIFY(QTest::qWaitFor([&] { return !orvel.isRunning(); }, patienceMs));
        QProcess next;
        QProcessEnvironment env = x.environment();
        env.insert(QStringLiteral("HOME"), orvel.home());
        env.insert(QStringLiteral("TMPDIR"), orvel.tmp());
        next.setProcessEnvironment(env);
        next.start(OrvelSession::binary(), {TestClips::path(QStringLiteral("video_only.mp4"))});
        QVERIFY(next.waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return visibleWindowsOf(x, next.processId()) >= 1; }, patienceMs),
                 "the launch after a crash did not become a player");
        next.terminate();
        QVERIFY(next.waitForFinished(patienceMs));
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
