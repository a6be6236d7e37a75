#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The process-wide record of every setting of the program. It is filled once
// by loadAppSettings() when the player window is built and written back by
// saveAppSettings(); the window, the timelines, the volume control and the
// console read and change the fields in place in between. GUI thread only.
//
// The defaults are the member initialisers below; the groups, keys and
// validation rules live in one table in appsettings.cpp. The file is
// ~/.talmont/orvel.ini in INI format.
struct AppSettings
{
    // "main"
    QByteArray windowGeometry;
    bool showTimeline = true;
    bool showRangeTimeline = false;
    bool showMenuBar = true;
    bool showBottomToolbar = true;
    int volume = 100;
    bool muted = false;
    bool alwaysOnTop = false;
    // "file"
    QStringList recentFiles;
    QStringList recentBookmarkFiles;
    // "playback"
    bool loop = false;
    bool loopOnStep = false;
    bool loopOnScrub = false;
    bool autoplay = false;
    // "audio"
    bool audioScrub = true;
    // "preferences"
    int cacheSize = 512;           // megabytes (10^6 bytes)
    float cacheTrailingPct = 0.8f; // fraction, 0 to 1
    int numRecentFiles = 5;
    int numRecentBookmarkFiles = 5;
    bool openMediaInNewPlayers = false;
    bool resizeToFit = true;
    bool continuePlayingAfterSeek = true;
    bool endlessMouseScrub = true;
    int tcpPort = 17171;
    // "console"
    QByteArray consoleGeometry;
    int displayConsoleOnType = 1;
    // "timeline"
    int timelineDisplayType = 0;
    bool timelinePositionAtTop = false;
    bool timelineShowFrameBookmarks = true;
    bool timelineShowRangeBookmarks = true;
    bool timelineShowCache = false;
    int rangeTimelineDisplayType = 0;
    bool rangeTimelinePositionAtTop = true;
    bool rangeTimelineShowFrameBookmarks = true;
    bool rangeTimelineShowCache = true;
};

// True when every setting of the two records is equal.
bool operator==(const AppSettings& a, const AppSettings& b);
bool operator!=(const AppSettings& a, const AppSettings& b);

// The one record of the process.
AppSettings& appSettings();

// ~/.talmont, created when missing; empty when it cannot be made.
QString settingsDirectory();
// ~/.talmont/orvel.ini, or empty without a settings directory.
QString settingsFilePath();
// Where the settings file belongs, whether or not it can be written there:
// ~/.talmont/orvel.ini when HOME names an existing folder, else empty. Creates
// nothing.
QString settingsFileLocation();
// ~/.talmont/bookmarks, created when missing; empty when it cannot be made.
QString bookmarksDirectory();

// Reads the settings file into the record, validates it and trims the recent
// lists. Keys the file does not hold keep the record's value (the default at
// start-up); a value that is not of the key's type or out of its range gets
// the default, silently. A missing, unreadable or oversized file leaves the
// record as it is. A line whose value is a serialised object (as another
// program or version may write) costs that key only: it gets its default, the
// file as it was is kept beside it as orvel.ini.bad before anything is
// written over it, and the returned warnings say so, for the console. A
// broken settings file never stops the program.
QStringList loadAppSettings();
// Writes the whole record. Returns false when the file could not be written
// (no usable home directory, a read-only or full disk, or a damaged file that
// could not be kept as orvel.ini.bad first); the previous file then stays as
// it was.
bool saveAppSettings();
// Puts every field back to its default.
void resetAppSettings();

// Puts the path at the front of its recent list, once, and trims the list to
// its maximum. An empty path is ignored.
void addRecentFile(const QString& path);
void addRecentBookmarkFile(const QString& path);
// Store the maximum length of a list and drop the entries beyond it.
void setNumRecentFiles(int count);
void setNumRecentBookmarkFiles(int count);
