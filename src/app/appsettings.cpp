#include "appsettings.h"

#include <QDir>
#include <QSettings>
#include <climits>
#include <variant>

namespace {

// The range check of an int setting: a value outside [minimum, maximum]
// becomes fallback. An unsigned check compares as unsigned numbers, so that
// negative values fall outside a range that starts at 0.
struct IntRange
{
    bool active = false;
    bool unsignedCompare = false;
    int minimum = 0;
    int maximum = 0;
    int fallback = 0;
};

using Member = std::variant<bool AppSettings::*, int AppSettings::*, float AppSettings::*, QByteArray AppSettings::*,
                            QStringList AppSettings::*>;

struct SettingKey
{
    const char* group;
    const char* key;
    Member member;
    IntRange range;
};

IntRange unsignedBetween(int minimum, int maximum, int fallback)
{
    return IntRange{true, true, minimum, maximum, fallback};
}

IntRange atMost(int maximum, int fallback)
{
    return IntRange{true, false, INT_MIN, maximum, fallback};
}

// Every setting, once: group, key, field and validation after loading, in
// the order the file is read.
const SettingKey settingKeys[] = {
    {"main", "windowGeometry", &AppSettings::windowGeometry, {}},
    {"main", "showTimeline", &AppSettings::showTimeline, {}},
    {"main", "showRangeTimeline", &AppSettings::showRangeTimeline, {}},
    {"main", "showMenuBar", &AppSettings::showMenuBar, {}},
    {"main", "showBottomToolbar", &AppSettings::showBottomToolbar, {}},
    {"main", "volume", &AppSettings::volume, {}},
    {"main", "muted", &AppSettings::muted, {}},
    {"main", "alwaysOnTop", &AppSettings::alwaysOnTop, {}},
    {"file", "recentFiles", &AppSettings::recentFiles, {}},
    {"file", "recentBookmarkFiles", &AppSettings::recentBookmarkFiles, {}},
    {"playback", "loop", &AppSettings::loop, {}},
    {"playback", "loopOnStep", &AppSettings::loopOnStep, {}},
    {"playback", "loopOnScrub", &AppSettings::loopOnScrub, {}},
    {"playback", "autoplay", &AppSettings::autoplay, {}},
    {"audio", "audioScrub", &AppSettings::audioScrub, {}},
    {"preferences", "cacheSize", &AppSettings::cacheSize, unsignedBetween(256, 4096, 512)},
    {"preferences", "cacheTrailingPct", &AppSettings::cacheTrailingPct, {}},
    // Unsigned comparisons: negative counts and ports fall back too.
    {"preferences", "numRecentFiles", &AppSettings::numRecentFiles, unsignedBetween(0, 10, 5)},
    {"preferences", "numRecentBookmarkFiles", &AppSettings::numRecentBookmarkFiles, unsignedBetween(0, 10, 5)},
    {"preferences", "openMediaInNewPlayers", &AppSettings::openMediaInNewPlayers, {}},
    {"preferences", "resizeToFit", &AppSettings::resizeToFit, {}},
    {"preferences", "continuePlayingAfterSeek", &AppSettings::continuePlayingAfterSeek, {}},
    {"preferences", "endlessMouseScrub", &AppSettings::endlessMouseScrub, {}},
    {"preferences", "tcpPort", &AppSettings::tcpPort, unsignedBetween(0, 65535, 17171)},
    {"console", "consoleGeometry", &AppSettings::consoleGeometry, {}},
    {"console", "displayConsoleOnType", &AppSettings::displayConsoleOnType, {}},
    // Display types: a signed comparison against 3, so negative values pass.
    {"timeline", "timelineDisplayType", &AppSettings::timelineDisplayType, atMost(2, 0)},
    {"timeline", "timelinePositionAtTop", &AppSettings::timelinePositionAtTop, {}},
    {"timeline", "timelineShowFrameBookmarks", &AppSettings::timelineShowFrameBookmarks, {}},
    {"timeline", "timelineShowRangeBookmarks", &AppSettings::timelineShowRangeBookmarks, {}},
    {"timeline", "timelineShowCache", &AppSettings::timelineShowCache, {}},
    {"timeline", "rangeTimelineDisplayType", &AppSettings::rangeTimelineDisplayType, atMost(2, 0)},
    {"timeline", "rangeTimelinePositionAtTop", &AppSettings::rangeTimelinePositionAtTop, {}},
    {"timeline", "rangeTimelineShowFrameBookmarks", &AppSettings::rangeTimelineShowFrameBookmarks, {}},
    {"timeline", "rangeTimelineShowCache", &AppSettings::rangeTimelineShowCache, {}},
};

QString settingName(const SettingKey& k)
{
    return QString::fromLatin1(k.group) + QLatin1Char('/') + QString::fromLatin1(k.key);
}

void readValue(const QSettings& file, const SettingKey& k, AppSettings& s)
{
    const QString name = settingName(k);
    if (!file.contains(name))
        return;
    const QVariant v = file.value(name);
    std::visit(
        [&](auto member) {
            using T = std::decay_t<decltype(s.*member)>;
            if constexpr (std::is_same_v<T, bool>)
                s.*member = v.toBool();
            else if constexpr (std::is_same_v<T, int>)
                s.*member = v.toInt();
            else if constexpr (std::is_same_v<T, float>)
                s.*member = v.toFloat();
            else if constexpr (std::is_same_v<T, QByteArray>)
                s.*member = v.toByteArray();
            else
                s.*member = v.toStringList();
        },
        k.member);
}

void writeValue(QSettings& file, const SettingKey& k, const AppSettings& s)
{
    std::visit([&](auto member) { file.setValue(settingName(k), QVariant::fromValue(s.*member)); }, k.member);
}

void validate(const SettingKey& k, AppSettings& s)
{
    if (!k.range.active)
        return;
    int& value = s.*std::get<int AppSettings::*>(k.member);
    const IntRange& r = k.range;
    const bool outside = r.unsignedCompare ? static_cast<unsigned>(value) < static_cast<unsigned>(r.minimum) ||
                                                 static_cast<unsigned>(value) > static_cast<unsigned>(r.maximum)
                                           : value < r.minimum || value > r.maximum;
    if (outside)
        value = k.range.fallback;
}

void trim(QStringList& list, int maximum)
{
    while (list.size() > qMax(maximum, 0))
        list.removeLast();
}

void addRecent(QStringList& list, const QString& path, int maximum)
{
    const int existing = list.indexOf(path);
    if (existing >= 0)
        list.removeAt(existing);
    list.prepend(path);
    trim(list, maximum);
}

// The absolute path of a directory, made when missing; empty when it cannot be made.
QString ensureDirectory(const QString& path)
{
    QDir dir(path);
    if (!dir.exists() && !QDir().mkpath(path))
        return QString();
    return dir.exists() ? dir.absolutePath() : QString();
}

} // namespace

AppSettings& appSettings()
{
    static AppSettings settings;
    return settings;
}

QString settingsDirectory()
{
    const QString home = QDir::homePath();
    if (home.isEmpty() || !QFileInfo(home).isDir())
        return QString();
    return ensureDirectory(home + QStringLiteral("/.talmont"));
}

QString settingsFilePath()
{
    const QString dir = settingsDirectory();
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/orvel.ini");
}

QString bookmarksDirectory()
{
    const QString dir = settingsDirectory();
    return dir.isEmpty() ? QString() : ensureDirectory(dir + QStringLiteral("/bookmarks"));
}

void loadAppSettings()
{
    const QString path = settingsFilePath();
    if (path.isEmpty())
        return;
    AppSettings& s = appSettings();
    {
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable())
            return;
        const QSettings file(path, QSettings::IniFormat);
        for (const SettingKey& k : settingKeys)
            readValue(file, k, s);
    }
    for (const SettingKey& k : settingKeys)
        validate(k, s);
    trim(s.recentFiles, s.numRecentFiles);
    trim(s.recentBookmarkFiles, s.numRecentBookmarkFiles);
}

bool saveAppSettings()
{
    const QString path = settingsFilePath();
    if (path.isEmpty() || QFileInfo(path).isDir())
        return false;
    QSettings file(path, QSettings::IniFormat);
    const AppSettings& s = appSettings();
    for (const SettingKey& k : settingKeys)
        writeValue(file, k, s);
    file.sync();
    return file.status() == QSettings::NoError;
}

void addRecentFile(const QString& path)
{
    AppSettings& s = appSettings();
    addRecent(s.recentFiles, path, s.numRecentFiles);
}

void addRecentBookmarkFile(const QString& path)
{
    AppSettings& s = appSettings();
    addRecent(s.recentBookmarkFiles, path, s.numRecentBookmarkFiles);
}

void setNumRecentFiles(int count)
{
    AppSettings& s = appSettings();
    s.numRecentFiles = count;
    trim(s.recentFiles, count);
}

void setNumRecentBookmarkFiles(int count)
{
    AppSettings& s = appSettings();
    s.numRecentBookmarkFiles = count;
    trim(s.recentBookmarkFiles, count);
}
