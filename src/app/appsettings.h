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
// validation rules live in one table in appsettings.cpp.
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
    int cacheSize = 512; // megabytes (10^6 bytes)
    float cacheTrailingPct = 0.8f;
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

// The one record of the process.
AppSettings& appSettings();

// ~/.talmont, created when missing; empty when it cannot be made.
QString settingsDirectory();
// ~/.talmont/orvel.ini, or empty without a settings directory.
QString settingsFilePath();
// ~/.talmont/bookmarks, created when missing; empty when it cannot be made.
QString bookmarksDirectory();

// Reads the settings file into the record, validates it and trims the recent
// lists. A missing or unreadable file leaves the defaults.
void loadAppSettings();
// Writes the whole record. Returns false when nothing could be written.
bool saveAppSettings();

// Puts the path at the front of its recent list, once, and trims the list.
void addRecentFile(const QString& path);
void addRecentBookmarkFile(const QString& path);
void setNumRecentFiles(int count);
void setNumRecentBookmarkFiles(int count);
