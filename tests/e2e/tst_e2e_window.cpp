// The real program's window, started under Xvfb as a person starts it.
#include "orvelsession.h"
#include "testclips.h"

#include <QSettings>
#include <QtTest>

namespace {

QColor pixelOfWindow(const XServer& x, const QString& window, int px, int py)
{
    QProcess import;
    import.setProcessEnvironment(x.environment());
    import.start(QStringLiteral("import"), {"-window", window, "png:-"});
    import.waitForFinished(patienceMs);
    const QImage shot = QImage::fromData(import.readAllStandardOutput(), "PNG");
    return shot.isNull() ? QColor() : shot.pixelColor(px, py);
}

QString windowState(const XServer& x, const QString& window)
{
    QProcess xprop;
    xprop.setProcessEnvironment(x.environment());
    xprop.start(QStringLiteral("xprop"), {"-id", window, "_NET_WM_STATE"});
    xprop.waitForFinished(patienceMs);
    return QString::fromUtf8(xprop.readAllStandardOutput());
}

QString windowGeometry(const XServer& x, const QString& window)
{
    QProcess xdotool;
    xdotool.setProcessEnvironment(x.environment());
    xdotool.start(QStringLiteral("xdotool"), {"getwindowgeometry", window});
    xdotool.waitForFinished(patienceMs);
    return QString::fromUtf8(xdotool.readAllStandardOutput()).section(QLatin1Char('\n'), 1);
}

QVariant savedSetting(const OrvelSession& session, const QString& key)
{
    return QSettings(session.home() + QStringLiteral("/.talmont/orvel.ini"), QSettings::IniFormat).value(key);
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!OrvelSession::binary().isEmpty(), "ORVEL_BINARY is not set"); }

    void opensWithTheDarkLookAndNothingLoaded()
    {
        XServer x;
        QVERIFY(x.isRunning());
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        QCOMPARE(orvel.title(), QStringLiteral("Orvel"));
        // The menu bar is painted in the palette's window colour.
        QCOMPARE(pixelOfWindow(x, orvel.windowId(), 400, 5), QColor(45, 45, 48));
        QVERIFY(orvel.closeWindow());
        QCOMPARE(orvel.exitCode(), 0);
    }

    void aClipOnTheCommandLineOpensAtFrameOne()
    {
        XServer x;
        OrvelSession orvel(x);
        const TestClip clip = TestClips::clip(QStringLiteral("mpeg4_641x361.mov"));
        QVERIFY(orvel.start({clip.path()}));
        QVERIFY(orvel.waitForTitle(QStringLiteral("mpeg4_641x361.mov -- Frame 1")));
        QCOMPARE(orvel.snapshotIndex(), 0);
    }

    void theCollapsedMenuBarStillTakesShortcuts()
    {
        XServer x;
        OrvelSession orvel(x);
        QVERIFY(orvel.start());
        orvel.key(QStringLiteral("F5"));
        orvel.key(QStringLiteral("ctrl+l"));
        QVERIFY(orvel.closeWindow());
        QCOMPARE(savedSetting(orvel, "main/showMenuBar").toString(), QStringLiteral("false"));
        QCOMPARE(savedSetting(orvel, "playback/loop").toString(), QStringLiteral("true"));
    }

    void alwaysOnTopUsesTheWindowManagersAboveState()
    {
        XServer x(true);
        QVERIFY(x.isRunning());
        OrvelSession orvel(x);
        orvel.writeSettings(QStringLiteral("main"), QStringLiteral("alwaysOnTop"), true);
        QVERIFY(orvel.start());
        const auto above = [&] {
            return windowState(x, orvel.windowId()).contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
        };
        QVERIFY2(QTest::qWaitFor(above, patienceMs), qPrintable(windowState(x, orvel.windowId())));
        const QString before = windowGeometry(x, orvel.windowId());
        orvel.key(QStringLiteral("ctrl+k"));
        QVERIFY(QTest::qWaitFor([&] { return !above(); }, patienceMs));
        orvel.key(QStringLiteral("ctrl+k"));
        QVERIFY(QTest::qWaitFor(above, patienceMs));
        QVERIFY2(QTest::qWaitFor([&] { return windowGeometry(x, orvel.windowId()) == before; }, patienceMs),
                 qPrintable(windowGeometry(x, orvel.windowId()) + QStringLiteral(" instead of ") + before));
        QVERIFY(orvel.closeWindow());
        QCOMPARE(savedSetting(orvel, "main/alwaysOnTop").toString(), QStringLiteral("true"));
    }

    void helpAndVersionPrintAndLeave()
    {
        XServer x;
        OrvelSession orvel(x);
        QByteArray output;
        QCOMPARE(orvel.launchAgain({"--version"}, patienceMs, &output), 0);
        QVERIFY(output.contains("Orvel 1.4.1"));
        QCOMPARE(orvel.launchAgain({"--help"}, patienceMs, &output), 0);
        QVERIFY(output.contains("Usage: orvel"));
    }

    void leavingNeverHangs_data()
    {
        QTest::addColumn<QString>("moment");
        QTest::newRow("loading") << "loading";
        QTest::newRow("seeking") << "seeking";
        QTest::newRow("playing") << "playing";
        QTest::newRow("terminated while playing") << "sigterm";
    }

    void leavingNeverHangs()
    {
        QFETCH(QString, moment);
        XServer x;
        OrvelSession orvel(x);
        const TestClip clip = TestClips::clip(QStringLiteral("h264_1080p25.mp4"));
        QVERIFY(orvel.start({clip.path()}));
        if (moment != QLatin1String("loading")) {
            QVERIFY(orvel.waitForTitle(QStringLiteral("h264_1080p25.mp4 -- Frame 1")));
            if (moment == QLatin1String("seeking")) {
                // The close follows at once: the seek through the long group
                // of pictures is under way or done, and neither may hang.
                QVERIFY(orvel.sendCommand(QStringLiteral("frame 240")));
            } else {
                orvel.key(QStringLiteral("space"));
                QVERIFY(QTest::qWaitFor([&] { return OrvelSession::frameInTitle(orvel.title()) > 1; },
                                        patienceMs));
            }
        }
        // A hang watchdog: the time is printed, never judged.
        QElapsedTimer timer;
        timer.start();
        const bool ended = moment == QLatin1String("sigterm") ? orvel.terminate() : orvel.closeWindow();
        QVERIFY2(ended, "the program did not end");
        QCOMPARE(orvel.exitCode(), 0);
        qInfo("ended %lld ms after the request", timer.elapsed());
        QVERIFY(!orvel.standardError().contains("AddressSanitizer"));
    }
};

QTEST_GUILESS_MAIN(WindowTest)
#include "tst_e2e_window.moc"
