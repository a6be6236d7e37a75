// Fuzzes the settings store on arbitrary bytes as the settings file.
//
// After loading, every setting must be within the range the rest of the
// program relies on, whatever the file held; and the loaded record, saved
// and loaded again, must come back unchanged.
#include "appsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "settings invariant broken: %s\n", what);
        std::abort();
    }
}

void checkRecentList(QStringList list, int maximum, const char* what)
{
    check(list.size() <= maximum, what);
    check(!list.contains(QString()), what);
    check(list.removeDuplicates() == 0, what);
}

void checkInRange(const AppSettings& s)
{
    check(s.cacheSize >= 256 && s.cacheSize <= 4096, "the cache size is 256 to 4096 MB");
    check(std::isfinite(s.cacheTrailingPct) && s.cacheTrailingPct >= 0.0f && s.cacheTrailingPct <= 1.0f,
          "the trailing part of the cache is a fraction");
    check(s.numRecentFiles >= 0 && s.numRecentFiles <= 10, "the recent media list holds 0 to 10 entries");
    check(s.numRecentBookmarkFiles >= 0 && s.numRecentBookmarkFiles <= 10,
          "the recent bookmarks list holds 0 to 10 entries");
    checkRecentList(s.recentFiles, s.numRecentFiles,
                    "the recent media list is within its length, without repeats");
    checkRecentList(s.recentBookmarkFiles, s.numRecentBookmarkFiles,
                    "the recent bookmarks list is within its length, without repeats");
    check(s.tcpPort >= 0 && s.tcpPort <= 65535, "the port is 0 to 65535");
    check(s.timelineDisplayType < 3, "the timeline label style is below 3");
    check(s.rangeTimelineDisplayType < 3, "the range timeline label style is below 3");
}

bool sameSettings(const AppSettings& a, const AppSettings& b)
{
    return a.windowGeometry == b.windowGeometry && a.showTimeline == b.showTimeline &&
           a.showRangeTimeline == b.showRangeTimeline && a.showMenuBar == b.showMenuBar &&
           a.showBottomToolbar == b.showBottomToolbar && a.volume == b.volume && a.muted == b.muted &&
           a.alwaysOnTop == b.alwaysOnTop && a.recentFiles == b.recentFiles &&
           a.recentBookmarkFiles == b.recentBookmarkFiles && a.loop == b.loop &&
           a.loopOnStep == b.loopOnStep && a.loopOnScrub == b.loopOnScrub && a.autoplay == b.autoplay &&
           a.audioScrub == b.audioScrub && a.cacheSize == b.cacheSize &&
           a.cacheTrailingPct == b.cacheTrailingPct && a.numRecentFiles == b.numRecentFiles &&
           a.numRecentBookmarkFiles == b.numRecentBookmarkFiles &&
           a.openMediaInNewPlayers == b.openMediaInNewPlayers && a.resizeToFit == b.resizeToFit &&
           a.continuePlayingAfterSeek == b.continuePlayingAfterSeek &&
           a.endlessMouseScrub == b.endlessMouseScrub && a.tcpPort == b.tcpPort &&
           a.consoleGeometry == b.consoleGeometry && a.displayConsoleOnType == b.displayConsoleOnType &&
           a.timelineDisplayType == b.timelineDisplayType &&
           a.timelinePositionAtTop == b.timelinePositionAtTop &&
           a.timelineShowFrameBookmarks == b.timelineShowFrameBookmarks &&
           a.timelineShowRangeBookmarks == b.timelineShowRangeBookmarks &&
           a.timelineShowCache == b.timelineShowCache &&
           a.rangeTimelineDisplayType == b.rangeTimelineDisplayType &&
           a.rangeTimelinePositionAtTop == b.rangeTimelinePositionAtTop &&
           a.rangeTimelineShowFrameBookmarks == b.rangeTimelineShowFrameBookmarks &&
           a.rangeTimelineShowCache == b.rangeTimelineShowCache;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A home of its own per input: QSettings caches the files it has read by
    // path, size and modification time, which two inputs written in the same
    // millisecond could share.
    QTemporaryDir home;
    check(home.isValid(), "a temporary home can be made");
    const QByteArray previousHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString path = settingsFilePath();
    check(path.startsWith(home.path()), "the settings file lies in the home folder");
    {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly), "the settings file can be written");
        check(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
              "the settings file can be written");
    }

    resetAppSettings();
    loadAppSettings();
    const AppSettings loaded = appSettings();
    checkInRange(loaded);

    check(saveAppSettings(), "the loaded settings can be saved over the file they came from");
    resetAppSettings();
    loadAppSettings();
    check(sameSettings(loaded, appSettings()), "saved settings load back unchanged");

    resetAppSettings();
    qputenv("HOME", previousHome);
    return 0;
}
