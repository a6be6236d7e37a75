// The settings store: defaults, the keys of the file, validation, the recent
// lists, the files and homes it must survive, and the saver that writes it
// after each change. Every test runs with HOME pointing at a fresh temporary
// folder; the HOME of the process is put back after each test.
#include "appsettings.h"
#include "filesizelimit.h"
#include "messagecounter.h"
#include "patience.h"
#include "settingssaver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>
#include <unistd.h>

namespace {

#define ORVEL_SETTINGS_FIELDS(X)                                                                             \
    X(windowGeometry)                                                                                        \
    X(showTimeline)                                                                                          \
    X(showRangeTimeline)                                                                                     \
    X(showMenuBar)                                                                                           \
    X(showBottomToolbar)                                                                                     \
    X(volume)                                                                                                \
    X(muted)                                                                                                 \
    X(alwaysOnTop)                                                                                           \
    X(recentFiles)                                                                                           \
    X(recentBookmarkFiles)                                                                                   \
    X(loop)                                                                                                  \
    X(loopOnStep)                                                                                            \
    X(loopOnScrub)                                                                                           \
    X(autoplay)                                                                                              \
    X(audioScrub)                                                                                            \
    X(cacheSize)                                                                                             \
    X(cacheTrailingPct)                                                                                      \
    X(numRecentFiles)                                                                                        \
    X(numRecentBookmarkFiles)                                                                                \
    X(openMediaInNewPlayers)                                                                                 \
    X(resizeToFit)                                                                                           \
    X(continuePlayingAfterSeek)                                                                              \
    X(endlessMouseScrub)                                                                                     \
    X(tcpPort)                                                                                               \
    X(consoleGeometry)                                                                                       \
    X(displayConsoleOnType)                                                                                  \
    X(timelineDisplayType)                                                                                   \
    X(timelinePositionAtTop)                                                                                 \
    X(timelineShowFrameBookmarks)                                                                            \
    X(timelineShowRangeBookmarks)                                                                            \
    X(timelineShowCache)                                                                                     \
    X(rangeTimelineDisplayType)                                                                              \
    X(rangeTimelinePositionAtTop)                                                                            \
    X(rangeTimelineShowFrameBookmarks)                                                                       \
    X(rangeTimelineShowCache)

QVariant fieldValue(const AppSettings& s, const QString& name)
{
#define ORVEL_FIELD_VALUE(field)                                                                             \
    if (name == QLatin1String(#field))                                                                       \
        return QVariant::fromValue(s.field);
    ORVEL_SETTINGS_FIELDS(ORVEL_FIELD_VALUE)
#undef ORVEL_FIELD_VALUE
    qFatal("no setting %s", qPrintable(name));
}

QString describe(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
QString describe(int value)
{
    return QString::number(value);
}
QString describe(float value)
{
    return QString::number(double(value));
}
QString describe(const QByteArray& value)
{
    return QString::fromLatin1(value.toHex());
}
QString describe(const QStringList& value)
{
    return QLatin1Char('[') + value.join(QStringLiteral(" | ")) + QLatin1Char(']');
}

// The fields in which two records differ, with both values.
QStringList differences(const AppSettings& actual, const AppSettings& expected)
{
    QStringList found;
#define ORVEL_FIELD_DIFFERENCE(field)                                                                        \
    if (!(actual.field == expected.field))                                                                   \
        found << QStringLiteral(#field ": ") + describe(actual.field) + QStringLiteral(" instead of ") +     \
                     describe(expected.field);
    ORVEL_SETTINGS_FIELDS(ORVEL_FIELD_DIFFERENCE)
#undef ORVEL_FIELD_DIFFERENCE
    return found;
}

// The defaults of the settings table, spelled out field by field.
AppSettings tableDefaults()
{
    AppSettings s;
    s.windowGeometry = QByteArray();
    s.showTimeline = true;
    s.showRangeTimeline = false;
    s.showMenuBar = true;
    s.showBottomToolbar = true;
    s.volume = 100;
    s.muted = false;
    s.alwaysOnTop = false;
    s.recentFiles = QStringList();
    s.recentBookmarkFiles = QStringList();
    s.loop = false;
    s.loopOnStep = false;
    s.loopOnScrub = false;
    s.autoplay = false;
    s.audioScrub = true;
    s.cacheSize = 512;
    s.cacheTrailingPct = 0.8f;
    s.numRecentFiles = 5;
    s.numRecentBookmarkFiles = 5;
    s.openMediaInNewPlayers = false;
    s.resizeToFit = true;
    s.continuePlayingAfterSeek = true;
    s.endlessMouseScrub = true;
    s.tcpPort = 17171;
    s.consoleGeometry = QByteArray();
    s.displayConsoleOnType = 1;
    s.timelineDisplayType = 0;
    s.timelinePositionAtTop = false;
    s.timelineShowFrameBookmarks = true;
    s.timelineShowRangeBookmarks = true;
    s.timelineShowCache = false;
    s.rangeTimelineDisplayType = 0;
    s.rangeTimelinePositionAtTop = true;
    s.rangeTimelineShowFrameBookmarks = true;
    s.rangeTimelineShowCache = true;
    return s;
}

// A valid value other than the default in every field.
AppSettings changedSettings()
{
    AppSettings s;
    s.windowGeometry = QByteArray("\x01\xd9\xd0\xcb\0\x03\0\0geometry\xff", 16);
    s.showTimeline = false;
    s.showRangeTimeline = true;
    s.showMenuBar = false;
    s.showBottomToolbar = false;
    s.volume = 37;
    s.muted = true;
    s.alwaysOnTop = true;
    s.recentFiles =
        QStringList{QStringLiteral("/clips/a, b.mp4"), QStringLiteral("/clips/\u00e9t\u00e9 \"x\".mov")};
    s.recentBookmarkFiles = QStringList{QStringLiteral("/b/one.bmk")};
    s.loop = true;
    s.loopOnStep = true;
    s.loopOnScrub = true;
    s.autoplay = true;
    s.audioScrub = false;
    s.cacheSize = 2048;
    s.cacheTrailingPct = 0.25f;
    s.numRecentFiles = 8;
    s.numRecentBookmarkFiles = 2;
    s.openMediaInNewPlayers = true;
    s.resizeToFit = false;
    s.continuePlayingAfterSeek = false;
    s.endlessMouseScrub = false;
    s.tcpPort = 4242;
    s.consoleGeometry = QByteArray("console\0geometry", 16);
    s.displayConsoleOnType = 2;
    s.timelineDisplayType = 2;
    s.timelinePositionAtTop = true;
    s.timelineShowFrameBookmarks = false;
    s.timelineShowRangeBookmarks = false;
    s.timelineShowCache = true;
    s.rangeTimelineDisplayType = 1;
    s.rangeTimelinePositionAtTop = false;
    s.rangeTimelineShowFrameBookmarks = false;
    s.rangeTimelineShowCache = false;
    return s;
}

const QStringList fileKeys = {
    "main/windowGeometry",
    "main/showTimeline",
    "main/showRangeTimeline",
    "main/showMenuBar",
    "main/showBottomToolbar",
    "main/volume",
    "main/muted",
    "main/alwaysOnTop",
    "file/recentFiles",
    "file/recentBookmarkFiles",
    "playback/loop",
    "playback/loopOnStep",
    "playback/loopOnScrub",
    "playback/autoplay",
    "audio/audioScrub",
    "preferences/cacheSize",
    "preferences/cacheTrailingPct",
    "preferences/numRecentFiles",
    "preferences/numRecentBookmarkFiles",
    "preferences/openMediaInNewPlayers",
    "preferences/resizeToFit",
    "preferences/continuePlayingAfterSeek",
    "preferences/endlessMouseScrub",
    "preferences/tcpPort",
    "console/consoleGeometry",
    "console/displayConsoleOnType",
    "timeline/timelineDisplayType",
    "timeline/timelinePositionAtTop",
    "timeline/timelineShowFrameBookmarks",
    "timeline/timelineShowRangeBookmarks",
    "timeline/timelineShowCache",
    "timeline/rangeTimelineDisplayType",
    "timeline/rangeTimelinePositionAtTop",
    "timeline/rangeTimelineShowFrameBookmarks",
    "timeline/rangeTimelineShowCache",
};

void setHome(const QByteArray& home)
{
    qputenv("HOME", home);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20240601u + quint32(size));
    for (char& c : bytes)
        c = char(generator.generate());
    return bytes;
}

} // namespace

class TestAppSettings : public QObject
{
    Q_OBJECT

private:
    QString home() const { return homeFolder->path(); }
    QString iniPath() const { return home() + QStringLiteral("/.talmont/orvel.ini"); }

    // Loads a settings file of the given text into a record of defaults.
    void loadText(const QByteArray& text)
    {
        writeFile(iniPath(), text);
        resetAppSettings();
        loadAppSettings();
    }

    // The record holds every default, and nothing was said about it.
    void verifyNoFileEffect(const std::function<void()>& action)
    {
        MessageCounter counter;
        resetAppSettings();
        action();
        QCOMPARE(differences(appSettings(), tableDefaults()), QStringList());
        QCOMPARE(counter.messages(), 0);
    }

private slots:
    void initTestCase()
    {
        hadHome = qEnvironmentVariableIsSet("HOME");
        originalHome = qgetenv("HOME");
    }

    void init()
    {
        homeFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(homeFolder->isValid());
        setHome(QFile::encodeName(homeFolder->path()));
        resetAppSettings();
    }

    void cleanup()
    {
        if (hadHome)
            qputenv("HOME", originalHome);
        else
            qunsetenv("HOME");
        QFile::setPermissions(home(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(home() + QStringLiteral("/.talmont"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        homeFolder.reset();
        resetAppSettings();
    }

    void missingFileGivesDefaults()
    {
        QCOMPARE(differences(AppSettings(), tableDefaults()), QStringList());
        verifyNoFileEffect([] { loadAppSettings(); });
        QVERIFY(QFileInfo(home() + QStringLiteral("/.talmont")).isDir());
        QVERIFY(!QFileInfo::exists(iniPath()));
    }

    void directoriesLiveUnderHome()
    {
        const QString talmont = QDir(home()).absoluteFilePath(QStringLiteral(".talmont"));
        QCOMPARE(settingsDirectory(), talmont);
        QVERIFY(QFileInfo(talmont).isDir());
        QCOMPARE(settingsFilePath(), talmont + QStringLiteral("/orvel.ini"));
        QCOMPARE(bookmarksDirectory(), talmont + QStringLiteral("/bookmarks"));
        QVERIFY(QFileInfo(talmont + QStringLiteral("/bookmarks")).isDir());
    }

    void everyKeyRoundTrips()
    {
        appSettings() = changedSettings();
        QVERIFY(saveAppSettings());
        resetAppSettings();
        loadAppSettings();
        QCOMPARE(differences(appSettings(), changedSettings()), QStringList());

        // The exact groups and keys, with the numbers as plain text.
        QSettings file(iniPath(), QSettings::IniFormat);
        QStringList keys = file.allKeys();
        keys.sort();
        QStringList expected = fileKeys;
        expected.sort();
        QCOMPARE(keys, expected);
        const QByteArray text = contentOf(iniPath());
        QVERIFY(text.contains("cacheTrailingPct=0.25\n"));
        QVERIFY(text.contains("tcpPort=4242\n"));
        QVERIFY(text.contains("showTimeline=false\n"));
        QVERIFY(!text.contains("@Variant"));
    }

    void keysMissingFromTheFileKeepTheirValue()
    {
        writeFile(iniPath(), "[main]\nvolume=42\n");
        appSettings().cacheSize = 1024;
        loadAppSettings();
        QCOMPARE(appSettings().volume, 42);
        QCOMPARE(appSettings().cacheSize, 1024);
    }

    void valuesAreValidated_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char* tag, const char* text, const char* field, const QVariant& expected) {
            QTest::newRow(tag) << QByteArray(text) << QString::fromLatin1(field) << expected;
        };
        row("cacheSize 100", "[preferences]\ncacheSize=100", "cacheSize", 512);
        row("cacheSize 255", "[preferences]\ncacheSize=255", "cacheSize", 512);
        row("cacheSize 256", "[preferences]\ncacheSize=256", "cacheSize", 256);
        row("cacheSize 4096", "[preferences]\ncacheSize=4096", "cacheSize", 4096);
        row("cacheSize 4097", "[preferences]\ncacheSize=4097", "cacheSize", 512);
        row("cacheSize negative", "[preferences]\ncacheSize=-1024", "cacheSize", 512);
        row("cacheSize spaces", "[preferences]\ncacheSize= 1024 ", "cacheSize", 1024);
        row("cacheSize text", "[preferences]\ncacheSize=lots", "cacheSize", 512);
        row("cacheSize decimal", "[preferences]\ncacheSize=1024.5", "cacheSize", 512);
        // 2^32 + 1024 would wrap to 1024 through QVariant.
        row("cacheSize beyond int", "[preferences]\ncacheSize=4294968320", "cacheSize", 512);
        row("cacheSize in wrong group", "[main]\ncacheSize=1024", "cacheSize", 512);
        row("numRecentFiles -1", "[preferences]\nnumRecentFiles=-1", "numRecentFiles", 5);
        row("numRecentFiles 0", "[preferences]\nnumRecentFiles=0", "numRecentFiles", 0);
        row("numRecentFiles 10", "[preferences]\nnumRecentFiles=10", "numRecentFiles", 10);
        row("numRecentFiles 11", "[preferences]\nnumRecentFiles=11", "numRecentFiles", 5);
        row("numRecentFiles beyond int", "[preferences]\nnumRecentFiles=4294967299", "numRecentFiles", 5);
        row("numRecentBookmarkFiles -1", "[preferences]\nnumRecentBookmarkFiles=-1", "numRecentBookmarkFiles",
            5);
        row("numRecentBookmarkFiles 11", "[preferences]\nnumRecentBookmarkFiles=11", "numRecentBookmarkFiles",
            5);
        row("numRecentBookmarkFiles 3", "[preferences]\nnumRecentBookmarkFiles=3", "numRecentBookmarkFiles",
            3);
        row("tcpPort 70000", "[preferences]\ntcpPort=70000", "tcpPort", 17171);
        row("tcpPort 65535", "[preferences]\ntcpPort=65535", "tcpPort", 65535);
        row("tcpPort 0", "[preferences]\ntcpPort=0", "tcpPort", 17171);
        row("tcpPort 1023", "[preferences]\ntcpPort=1023", "tcpPort", 17171);
        row("tcpPort 1024", "[preferences]\ntcpPort=1024", "tcpPort", 1024);
        row("tcpPort -1", "[preferences]\ntcpPort=-1", "tcpPort", 17171);
        row("tcpPort beyond int", "[preferences]\ntcpPort=4294984467", "tcpPort", 17171);
        row("tcpPort text", "[preferences]\ntcpPort=http", "tcpPort", 17171);
        row("timelineDisplayType 7", "[timeline]\ntimelineDisplayType=7", "timelineDisplayType", 0);
        row("timelineDisplayType 3", "[timeline]\ntimelineDisplayType=3", "timelineDisplayType", 0);
        row("timelineDisplayType 2", "[timeline]\ntimelineDisplayType=2", "timelineDisplayType", 2);
        row("timelineDisplayType -1", "[timeline]\ntimelineDisplayType=-1", "timelineDisplayType", -1);
        row("rangeTimelineDisplayType 3", "[timeline]\nrangeTimelineDisplayType=3",
            "rangeTimelineDisplayType", 0);
        row("rangeTimelineDisplayType 1", "[timeline]\nrangeTimelineDisplayType=1",
            "rangeTimelineDisplayType", 1);
        row("cacheTrailingPct 0.5", "[preferences]\ncacheTrailingPct=0.5", "cacheTrailingPct", 0.5f);
        row("cacheTrailingPct 1", "[preferences]\ncacheTrailingPct=1", "cacheTrailingPct", 1.0f);
        row("cacheTrailingPct 1.5", "[preferences]\ncacheTrailingPct=1.5", "cacheTrailingPct", 0.8f);
        row("cacheTrailingPct negative", "[preferences]\ncacheTrailingPct=-0.1", "cacheTrailingPct", 0.8f);
        row("cacheTrailingPct nan", "[preferences]\ncacheTrailingPct=nan", "cacheTrailingPct", 0.8f);
        row("cacheTrailingPct inf", "[preferences]\ncacheTrailingPct=inf", "cacheTrailingPct", 0.8f);
        row("cacheTrailingPct beyond float", "[preferences]\ncacheTrailingPct=1e50", "cacheTrailingPct",
            0.8f);
        row("volume 140", "[main]\nvolume=140", "volume", 140);
        row("volume 500 (left to the control)", "[main]\nvolume=500", "volume", 500);
        row("volume text", "[main]\nvolume=loud", "volume", 100);
        row("volume beyond int", "[main]\nvolume=99999999999", "volume", 100);
        row("volume list", "[main]\nvolume=1, 2", "volume", 100);
        row("volume empty", "[main]\nvolume=", "volume", 100);
        row("displayConsoleOnType 2", "[console]\ndisplayConsoleOnType=2", "displayConsoleOnType", 2);
        row("displayConsoleOnType bytes", "[console]\ndisplayConsoleOnType=@Invalid()",
            "displayConsoleOnType", 1);
        row("showTimeline false", "[main]\nshowTimeline=false", "showTimeline", false);
        row("showTimeline 0", "[main]\nshowTimeline=0", "showTimeline", false);
        row("showTimeline maybe", "[main]\nshowTimeline=maybe", "showTimeline", true);
        row("showRangeTimeline TRUE", "[main]\nshowRangeTimeline=TRUE", "showRangeTimeline", true);
        row("showRangeTimeline yes", "[main]\nshowRangeTimeline=yes", "showRangeTimeline", false);
        row("muted list", "[main]\nmuted=true, true", "muted", false);
        row("geometry as text", "[main]\nwindowGeometry=abc", "windowGeometry", QByteArray("abc"));
        row("recent file as one string", "[file]\nrecentFiles=/a.mp4", "recentFiles", QStringList{"/a.mp4"});
    }
    void valuesAreValidated()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        MessageCounter counter;
        loadText(text + "\n");
        QCOMPARE(fieldValue(appSettings(), field), expected);
        QCOMPARE(counter.messages(), 0);
    }

    // A line another program or version wrote with a serialised value costs
    // that key only, and the file as it was is kept before it is written over.
    void aSerialisedValueCostsOnlyItsKey()
    {
        const QByteArray original = "[main]\nvolume=40\nmuted=@Variant(\\0\\0\\0\\x1\\0\\x1)\n"
                                    "showTimeline=false\n[preferences]\ncacheSize=2048\n"
                                    "[other]\nfromAnotherVersion=1\n";
        writeFile(iniPath(), original);
        appSettings().muted = true;
        MessageCounter counter;
        const QStringList warnings = loadAppSettings();
        QCOMPARE(counter.messages(), 0);
        QCOMPARE(appSettings().volume, 40);
        QCOMPARE(appSettings().cacheSize, 2048);
        QCOMPARE(appSettings().showTimeline, false);
        QCOMPARE(appSettings().muted, false);
        const QString kept = iniPath() + QStringLiteral(".bad");
        QCOMPARE(warnings, (QStringList{"Unreadable value of main/muted in the settings file " + iniPath() +
                                            ": the default is used",
                                        "The settings file as it was is kept as " + kept}));
        QCOMPARE(contentOf(kept), original);
        QCOMPARE(contentOf(iniPath()), original);

        QVERIFY(saveAppSettings());
        QCOMPARE(contentOf(kept), original);
        const QByteArray saved = contentOf(iniPath());
        QVERIFY(!saved.contains("@Variant"));
        QVERIFY(saved.contains("fromAnotherVersion=1"));
        resetAppSettings();
        QCOMPARE(loadAppSettings(), QStringList());
        QCOMPARE(appSettings().cacheSize, 2048);
    }

    void aDamagedFileThatCannotBeKeptIsNotWrittenOver()
    {
        const QByteArray original = "[main]\nvolume=40\nmuted=@Variant(\\0\\0\\0\\x1\\0\\x1)\n";
        writeFile(iniPath(), original);
        const QString kept = iniPath() + QStringLiteral(".bad");
        QVERIFY(QDir().mkpath(kept));
        const QStringList warnings = loadAppSettings();
        QCOMPARE(appSettings().volume, 40);
        QVERIFY(
            warnings.value(1).startsWith(QStringLiteral("Cannot keep the damaged settings file as ") + kept));
        QVERIFY(!saveAppSettings());
        QCOMPARE(contentOf(iniPath()), original);
        QVERIFY(QDir().rmdir(kept));
        QVERIFY(saveAppSettings());
        QCOMPARE(contentOf(kept), original);
    }

    // The saver writes a change by itself, soon, and nothing while nothing
    // changes; a failure is said once while it lasts.
    void theSaverWritesChangesByItself()
    {
        int captures = 0;
        SettingsSaver saver([&] {
            ++captures;
            appSettings().windowGeometry = QByteArray("here");
        });
        QSignalSpy failed(&saver, &SettingsSaver::saveFailed);
        saver.saveIfChanged();
        QVERIFY(!QFileInfo::exists(iniPath()));
        QCOMPARE(captures, 0);

        appSettings().volume = 40;
        appSettings().loop = true;
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(iniPath()).contains("volume=40"), patienceMs);
        QVERIFY(contentOf(iniPath()).contains("loop=true"));
        QVERIFY(contentOf(iniPath()).contains("windowGeometry=@ByteArray(here)"));
        QCOMPARE(captures, 1);
        // The geometry the saver took in is no change of its own.
        saver.saveIfChanged();
        QCOMPARE(captures, 1);

        QVERIFY(QFile::remove(iniPath()));
        QVERIFY(QDir().mkpath(iniPath()));
        appSettings().volume = 50;
        saver.saveIfChanged();
        saver.saveIfChanged();
        QVERIFY(!saver.save());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), iniPath());
        QVERIFY(QDir().rmdir(iniPath()));
        saver.saveIfChanged();
        QVERIFY(contentOf(iniPath()).contains("volume=50"));
        QCOMPARE(failed.count(), 1);
    }

    void recentListsAreTrimmedAtLoad()
    {
        loadText("[file]\nrecentFiles=/a, /b, /c, /d\nrecentBookmarkFiles=/x, /y, /z\n"
                 "[preferences]\nnumRecentFiles=0\nnumRecentBookmarkFiles=2\n");
        QCOMPARE(appSettings().recentFiles, QStringList());
        QCOMPARE(appSettings().recentBookmarkFiles, (QStringList{"/x", "/y"}));
        // A broken count falls back to 5 first, then trims.
        loadText("[file]\nrecentFiles=/1, /2, /3, /4, /5, /6, /7\n[preferences]\nnumRecentFiles=-3\n");
        QCOMPARE(appSettings().recentFiles, (QStringList{"/1", "/2", "/3", "/4", "/5"}));
        // Entries repeated or empty in a hand-edited file are dropped.
        loadText("[file]\nrecentFiles=/a, , /b, /a, /B\n");
        QCOMPARE(appSettings().recentFiles, (QStringList{"/a", "/b", "/B"}));
    }

    void recentListRule()
    {
        addRecentFile(QStringLiteral("/clips/one.mp4"));
        addRecentFile(QStringLiteral("/clips/two.mp4"));
        addRecentFile(QStringLiteral("/clips/one.mp4"));
        QCOMPARE(appSettings().recentFiles, (QStringList{"/clips/one.mp4", "/clips/two.mp4"}));
        // Case matters: these are two files.
        addRecentFile(QStringLiteral("/clips/ONE.mp4"));
        QCOMPARE(appSettings().recentFiles.size(), 3);
        addRecentFile(QString());
        QCOMPARE(appSettings().recentFiles.size(), 3);

        resetAppSettings();
        for (int i = 1; i <= 6; ++i)
            addRecentFile(QStringLiteral("/clips/%1.mp4").arg(i));
        QCOMPARE(appSettings().recentFiles, (QStringList{"/clips/6.mp4", "/clips/5.mp4", "/clips/4.mp4",
                                                         "/clips/3.mp4", "/clips/2.mp4"}));

        setNumRecentFiles(10);
        for (int i = 1; i <= 10; ++i)
            addRecentFile(QStringLiteral("/many/%1.mp4").arg(i));
        QCOMPARE(appSettings().recentFiles.size(), 10);
        setNumRecentFiles(3);
        QCOMPARE(appSettings().numRecentFiles, 3);
        QCOMPARE(appSettings().recentFiles, (QStringList{"/many/10.mp4", "/many/9.mp4", "/many/8.mp4"}));
        setNumRecentFiles(0);
        addRecentFile(QStringLiteral("/clips/x.mp4"));
        QCOMPARE(appSettings().recentFiles, QStringList());
    }

    void recentBookmarksListRule()
    {
        for (int i = 1; i <= 6; ++i)
            addRecentBookmarkFile(QStringLiteral("/b/%1.bmk").arg(i));
        addRecentBookmarkFile(QStringLiteral("/b/4.bmk"));
        QCOMPARE(appSettings().recentBookmarkFiles,
                 (QStringList{"/b/4.bmk", "/b/6.bmk", "/b/5.bmk", "/b/3.bmk", "/b/2.bmk"}));
        setNumRecentBookmarkFiles(10);
        for (int i = 1; i <= 10; ++i)
            addRecentBookmarkFile(QStringLiteral("/c/%1.bmk").arg(i));
        setNumRecentBookmarkFiles(3);
        QCOMPARE(appSettings().recentBookmarkFiles, (QStringList{"/c/10.bmk", "/c/9.bmk", "/c/8.bmk"}));
        QCOMPARE(appSettings().recentFiles, QStringList());
        QVERIFY(saveAppSettings());
        resetAppSettings();
        loadAppSettings();
        QCOMPARE(appSettings().recentBookmarkFiles, (QStringList{"/c/10.bmk", "/c/9.bmk", "/c/8.bmk"}));
        QCOMPARE(appSettings().numRecentBookmarkFiles, 3);
    }

    // Files that are no settings file at all give the defaults, and a save
    // afterwards replaces them with a good one.
    void badFilesGiveDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("random bytes") << randomBytes(64 * 1024);
        QTest::newRow("random bytes, 50 MB") << randomBytes(50 * 1000 * 1000);
        // A library, not this program, whose text holds settings lines.
        QTest::newRow("binary file") << contentOf(QLibraryInfo::location(QLibraryInfo::LibrariesPath) +
                                                  QStringLiteral("/libQt5Core.so.5"));
        QTest::newRow("zeros") << QByteArray(100000, '\0');
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("sections only") << QByteArray("[main\n[[[\n]]]\n[preferences]\n=\n==\n");
        QTest::newRow("serialised values")
            << QByteArray("[preferences]\ncacheSize=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0\\x5)\n");
        QTest::newRow("forged list length")
            << QByteArray("[file]\nrecentFiles=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n");
        QTest::newRow("every value of the wrong type") << QByteArray(
            "[main]\nshowTimeline=@Rect(1 2 3 4)\nvolume=@ByteArray()\nmuted=x\n"
            "[preferences]\ncacheSize=\"1,2\"\ncacheTrailingPct=@Invalid()\ntcpPort=@Size(1 2)\n"
            "numRecentFiles=five\n[console]\ndisplayConsoleOnType=1, 2\n"
            "[timeline]\ntimelineDisplayType=9999999999999999999999\n");
    }
    void badFilesGiveDefaults()
    {
        QFETCH(QByteArray, content);
        writeFile(iniPath(), content);
        verifyNoFileEffect([] { loadAppSettings(); });
        appSettings().volume = 12;
        QVERIFY(saveAppSettings());
        resetAppSettings();
        loadAppSettings();
        QCOMPARE(appSettings().volume, 12);
    }

    void hugeRecentListIsTrimmed()
    {
        QByteArray text = "[file]\nrecentFiles=";
        for (int i = 0; i < 500000; ++i)
            text += "/clips/f" + QByteArray::number(i) + ".mp4, ";
        text += "/last.mp4\n";
        loadText(text);
        QCOMPARE(appSettings().recentFiles, (QStringList{"/clips/f0.mp4", "/clips/f1.mp4", "/clips/f2.mp4",
                                                         "/clips/f3.mp4", "/clips/f4.mp4"}));
    }

    void directoryInPlaceOfTheFile()
    {
        QVERIFY(QDir().mkpath(iniPath()));
        verifyNoFileEffect([] { loadAppSettings(); });
        QVERIFY(!saveAppSettings());
        QVERIFY(QFileInfo(iniPath()).isDir());
    }

    void fileInPlaceOfTheSettingsDirectory()
    {
        writeFile(home() + QStringLiteral("/.talmont"), "not a folder");
        QCOMPARE(settingsDirectory(), QString());
        QCOMPARE(settingsFilePath(), QString());
        QCOMPARE(bookmarksDirectory(), QString());
        verifyNoFileEffect([] { loadAppSettings(); });
        QVERIFY(!saveAppSettings());
        QCOMPARE(contentOf(home() + QStringLiteral("/.talmont")), QByteArray("not a folder"));
    }

    void unusableHomes_data()
    {
        QTest::addColumn<QByteArray>("homeValue");
        QTest::newRow("missing home") << QByteArray("missing/home");
        QTest::newRow("home is a file") << QByteArray("file");
        QTest::newRow("empty HOME") << QByteArray("");
        QTest::newRow("no HOME") << QByteArray();
        // No folder can be made in /proc, by root either.
        QTest::newRow("unwritable home") << QByteArray("/proc");
    }
    void unusableHomes()
    {
        QFETCH(QByteArray, homeValue);
        writeFile(home() + QStringLiteral("/file"), "x");
        const bool rootHadSettings = QFileInfo::exists(QStringLiteral("/.talmont"));
        if (homeValue.isNull())
            qunsetenv("HOME");
        else if (homeValue.isEmpty() || homeValue.startsWith('/'))
            setHome(homeValue);
        else
            setHome(QFile::encodeName(home()) + '/' + homeValue);

        QCOMPARE(settingsDirectory(), QString());
        QCOMPARE(settingsFilePath(), QString());
        QCOMPARE(bookmarksDirectory(), QString());
        // Only a home that exists has a place for the file, written or not.
        QCOMPARE(settingsFileLocation(),
                 homeValue == "/proc" ? QStringLiteral("/proc/.talmont/orvel.ini") : QString());
        verifyNoFileEffect([] {
            loadAppSettings();
            appSettings().volume = 50;
            QVERIFY(!saveAppSettings());
            appSettings().volume = 100;
        });
        QVERIFY(!QFileInfo::exists(home() + QStringLiteral("/missing")));
        QCOMPARE(QFileInfo::exists(QStringLiteral("/.talmont")), rootHadSettings);
    }

    void readOnlyHome()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root; the /proc home and the full-disk case cover it");
        QVERIFY(QFile::setPermissions(home(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QCOMPARE(settingsDirectory(), QString());
        verifyNoFileEffect([] {
            QVERIFY(!saveAppSettings());
            loadAppSettings();
        });
    }

    void readOnlySettingsFolderKeepsTheFile()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root; the full-disk case covers it");
        appSettings().volume = 70;
        QVERIFY(saveAppSettings());
        const QByteArray before = contentOf(iniPath());
        QVERIFY(QFile::setPermissions(home() + QStringLiteral("/.talmont"),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        appSettings().volume = 20;
        QVERIFY(!saveAppSettings());
        QCOMPARE(contentOf(iniPath()), before);
        resetAppSettings();
        loadAppSettings();
        QCOMPARE(appSettings().volume, 70);
    }

    void fullDiskKeepsTheOldFile()
    {
        appSettings().volume = 70;
        QVERIFY(saveAppSettings());
        const QByteArray before = contentOf(iniPath());
        appSettings() = changedSettings();
        appSettings().recentFiles = QStringList{QString(5000, QLatin1Char('p'))};
        {
            FileSizeLimit limit(2048);
            QVERIFY(!saveAppSettings());
        }
        QCOMPARE(contentOf(iniPath()), before);
        QCOMPARE(QDir(home() + QStringLiteral("/.talmont")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("orvel.ini")});
        QVERIFY(saveAppSettings());
        resetAppSettings();
        loadAppSettings();
        QCOMPARE(appSettings().recentFiles.value(0).size(), 5000);
    }

private:
    std::unique_ptr<QTemporaryDir> homeFolder;
    QByteArray originalHome;
    bool hadHome = false;
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
