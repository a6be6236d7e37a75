#include "appsettings.h"

#include "inifile.h"
#include "salvagedinifile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <cmath>
#include <variant>

namespace {

// The check a value read from the file must pass; a value that fails it, like
// one that does not parse as the key's type, gets the key's default.
enum class Check
{
    None,
    Range,         // minimum <= value <= maximum
    UnsignedRange, // the same as unsigned numbers, so that negative values fail too
    Below,         // value < maximum, signed: negative values pass
    Fraction,      // a finite number from 0 to 1
};

using Member = std::variant<bool AppSettings::*, int AppSettings::*, float AppSettings::*,
                            QByteArray AppSettings::*, QStringList AppSettings::*>;

struct SettingKey
{
    const char* group;
    const char* key;
    Member member;
    Check check = Check::None;
    int minimum = 0;
    int maximum = 0;
};

// Every setting, once: group, key, field and check, in the order the file is
// read. The defaults are the member initialisers of AppSettings.
const SettingKey settingKeys[] = {
    {"main", "windowGeometry", &AppSettings::windowGeometry},
    {"main", "showTimeline", &AppSettings::showTimeline},
    {"main", "showRangeTimeline", &AppSettings::showRangeTimeline},
    {"main", "showMenuBar", &AppSettings::showMenuBar},
    {"main", "showBottomToolbar", &AppSettings::showBottomToolbar},
    // The volume control itself replaces a value outside 0 to 150.
    {"main", "volume", &AppSettings::volume},
    {"main", "muted", &AppSettings::muted},
    {"main", "alwaysOnTop", &AppSettings::alwaysOnTop},
    {"file", "recentFiles", &AppSettings::recentFiles},
    {"file", "recentBookmarkFiles", &AppSettings::recentBookmarkFiles},
    {"playback", "loop", &AppSettings::loop},
    {"playback", "loopOnStep", &AppSettings::loopOnStep},
    {"playback", "loopOnScrub", &AppSettings::loopOnScrub},
    {"playback", "autoplay", &AppSettings::autoplay},
    {"audio", "audioScrub", &AppSettings::audioScrub},
    {"preferences", "cacheSize", &AppSettings::cacheSize, Check::Range, 256, 4096},
    // The cache multiplies its capacity by this fraction and truncates the
    // product to an int: anything but a fraction would overflow it.
    {"preferences", "cacheTrailingPct", &AppSettings::cacheTrailingPct, Check::Fraction},
    {"preferences", "numRecentFiles", &AppSettings::numRecentFiles, Check::UnsignedRange, 0, 10},
    {"preferences", "numRecentBookmarkFiles", &AppSettings::numRecentBookmarkFiles, Check::UnsignedRange, 0,
     10},
    {"preferences", "openMediaInNewPlayers", &AppSettings::openMediaInNewPlayers},
    {"preferences", "resizeToFit", &AppSettings::resizeToFit},
    {"preferences", "continuePlayingAfterSeek", &AppSettings::continuePlayingAfterSeek},
    {"preferences", "endlessMouseScrub", &AppSettings::endlessMouseScrub},
    // Below 1024 a port needs privileges; 0 would listen where no client looks.
    {"preferences", "tcpPort", &AppSettings::tcpPort, Check::UnsignedRange, 1024, 65535},
    {"console", "consoleGeometry", &AppSettings::consoleGeometry},
    {"console", "displayConsoleOnType", &AppSettings::displayConsoleOnType},
    {"timeline", "timelineDisplayType", &AppSettings::timelineDisplayType, Check::Below, 0, 3},
    {"timeline", "timelinePositionAtTop", &AppSettings::timelinePositionAtTop},
    {"timeline", "timelineShowFrameBookmarks", &AppSettings::timelineShowFrameBookmarks},
    {"timeline", "timelineShowRangeBookmarks", &AppSettings::timelineShowRangeBookmarks},
    {"timeline", "timelineShowCache", &AppSettings::timelineShowCache},
    {"timeline", "rangeTimelineDisplayType", &AppSettings::rangeTimelineDisplayType, Check::Below, 0, 3},
    {"timeline", "rangeTimelinePositionAtTop", &AppSettings::rangeTimelinePositionAtTop},
    {"timeline", "rangeTimelineShowFrameBookmarks", &AppSettings::rangeTimelineShowFrameBookmarks},
    {"timeline", "rangeTimelineShowCache", &AppSettings::rangeTimelineShowCache},
};

const AppSettings& defaultSettings()
{
    static const AppSettings defaults;
    return defaults;
}

QString settingName(const SettingKey& k)
{
    return QString::fromLatin1(k.group) + QLatin1Char('/') + QString::fromLatin1(k.key);
}

// The text of a single value; lists and missing values have none.
bool scalarText(const QVariant& value, QString* text)
{
    const int type = value.userType();
    if (!value.isValid() || type == QMetaType::QStringList || type == QMetaType::QVariantList ||
        !value.canConvert<QString>())
        return false;
    *text = value.toString().trimmed();
    return true;
}

// QSettings reads every number and boolean back as text. The parsers accept
// only what the key's type can hold: "abc" is no number and 99999999999 is no
// int (QVariant would turn the first into 0 and wrap the second around).
bool parse(const QVariant& value, bool* out)
{
    QString text;
    if (!scalarText(value, &text))
        return false;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1"))
        *out = true;
    else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || text == QLatin1String("0"))
        *out = false;
    else
        return false;
    return true;
}

bool parse(const QVariant& value, int* out)
{
    QString text;
    bool ok = false;
    const int number = scalarText(value, &text) ? text.toInt(&ok, 10) : 0;
    if (ok)
        *out = number;
    return ok;
}

bool parse(const QVariant& value, float* out)
{
    QString text;
    bool ok = false;
    const float number = scalarText(value, &text) ? text.toFloat(&ok) : 0.0f;
    if (ok && std::isfinite(number))
        *out = number;
    return ok && std::isfinite(number);
}

bool parse(const QVariant& value, QByteArray* out)
{
    *out = value.toByteArray();
    return true;
}

bool parse(const QVariant& value, QStringList* out)
{
    *out = value.toStringList();
    return true;
}

bool passes(const SettingKey& k, int value)
{
    switch (k.check) {
    case Check::Range:
        return value >= k.minimum && value <= k.maximum;
    case Check::UnsignedRange:
        return unsigned(value) >= unsigned(k.minimum) && unsigned(value) <= unsigned(k.maximum);
    case Check::Below:
        return value < k.maximum;
    case Check::None:
    case Check::Fraction:
        break;
    }
    return true;
}

bool passes(const SettingKey& k, float value)
{
    return k.check != Check::Fraction || (value >= 0.0f && value <= 1.0f);
}

template <typename T>
bool passes(const SettingKey&, const T&)
{
    return true;
}

void resetToDefault(const QString& name, AppSettings& s)
{
    for (const SettingKey& k : settingKeys) {
        if (settingName(k) == name)
            std::visit([&](auto member) { s.*member = defaultSettings().*member; }, k.member);
    }
}

void readValue(const QSettings& file, const SettingKey& k, AppSettings& s)
{
    const QString name = settingName(k);
    if (!file.contains(name))
        return;
    const QVariant stored = file.value(name);
    std::visit(
        [&](auto member) {
            auto value = s.*member;
            const bool good = parse(stored, &value) && passes(k, value);
            s.*member = good ? value : defaultSettings().*member;
        },
        k.member);
}

// The shortest text that reads back as the same float, so that the file says
// 0.8 rather than a serialised float.
QString floatText(float value)
{
    for (int precision = 6; precision < 9; ++precision) {
        const QString text = QString::number(double(value), 'g', precision);
        if (text.toFloat() == value)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

QVariant fileValue(float value)
{
    return floatText(value);
}

template <typename T>
QVariant fileValue(const T& value)
{
    return QVariant::fromValue(value);
}

void writeValue(QSettings& file, const SettingKey& k, const AppSettings& s)
{
    std::visit([&](auto member) { file.setValue(settingName(k), fileValue(s.*member)); }, k.member);
}

void trim(QStringList& list, int maximum)
{
    while (list.size() > qMax(maximum, 0))
        list.removeLast();
}

// A list read from the file keeps the first entry of each path and no empty
// entries, as if every entry had been added by addRecent.
void cleanRecentList(QStringList& list, int maximum)
{
    list.removeAll(QString());
    list.removeDuplicates();
    trim(list, maximum);
}

void addRecent(QStringList& list, const QString& path, int maximum)
{
    if (path.isEmpty())
        return;
    const int existing = list.indexOf(path);
    if (existing >= 0)
        list.removeAt(existing);
    list.prepend(path);
    trim(list, maximum);
}

// The text of a damaged settings file as it was read, until it has been kept
// beside the settings file; empty when there is nothing to keep.
QByteArray& damagedOriginal()
{
    static QByteArray text;
    return text;
}

QString damagedCopyPath(const QString& path)
{
    return path + QStringLiteral(".bad");
}

// Writes the damaged file as it was read to orvel.ini.bad, with the
// permissions of the settings file. True when it is kept, or when there is
// nothing to keep.
bool keepDamagedOriginal(const QString& path)
{
    QByteArray& original = damagedOriginal();
    if (original.isEmpty())
        return true;
    const QString copyPath = damagedCopyPath(path);
    QSaveFile copy(copyPath);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(original) != original.size() || !copy.commit())
        return false;
    QFile::setPermissions(copyPath, QFileInfo(path).permissions());
    original.clear();
    return true;
}

// The absolute path of a folder, made when missing; empty when it cannot be.
QString ensureDirectory(const QString& path)
{
    if (!QFileInfo(path).isDir())
        QDir().mkpath(path);
    const QFileInfo info(path);
    return info.isDir() ? info.absoluteFilePath() : QString();
}

// Without HOME Qt answers the root folder, which is nobody's home. A home
// folder that does not exist is not created either.
QString usableHome()
{
    if (qEnvironmentVariableIsEmpty("HOME"))
        return QString();
    const QString home = QDir::homePath();
    return QFileInfo(home).isDir() ? home : QString();
}

} // namespace

AppSettings& appSettings()
{
    static AppSettings settings;
    return settings;
}

QString settingsDirectory()
{
    const QString home = usableHome();
    return home.isEmpty() ? QString() : ensureDirectory(home + QStringLiteral("/.talmont"));
}

QString settingsFileLocation()
{
    const QString home = usableHome();
    return home.isEmpty() ? QString() : home + QStringLiteral("/.talmont/orvel.ini");
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

bool operator==(const AppSettings& a, const AppSettings& b)
{
    for (const SettingKey& k : settingKeys) {
        if (!std::visit([&](auto member) { return a.*member == b.*member; }, k.member))
            return false;
    }
    return true;
}

bool operator!=(const AppSettings& a, const AppSettings& b)
{
    return !(a == b);
}

QStringList loadAppSettings()
{
    damagedOriginal().clear();
    const QString path = settingsFilePath();
    if (path.isEmpty())
        return {};
    const SalvagedIniFile file(path);
    if (!file.isReadable())
        return {};
    AppSettings& s = appSettings();
    {
        const QSettings settings(file.readablePath(), QSettings::IniFormat);
        for (const SettingKey& k : settingKeys)
            readValue(settings, k, s);
    }
    QStringList warnings;
    for (const QString& name : file.droppedKeys()) {
        resetToDefault(name, s);
        warnings << QStringLiteral("Unreadable value of %1 in the settings file %2: the default is used")
                        .arg(name, path);
    }
    cleanRecentList(s.recentFiles, s.numRecentFiles);
    cleanRecentList(s.recentBookmarkFiles, s.numRecentBookmarkFiles);
    if (file.readablePath() == path)
        return warnings;

    damagedOriginal() = file.originalText();
    if (keepDamagedOriginal(path))
        warnings << QStringLiteral("The settings file as it was is kept as %1").arg(damagedCopyPath(path));
    else
        warnings << QStringLiteral("Cannot keep the damaged settings file as %1: settings are not saved "
                                   "until it can be")
                        .arg(damagedCopyPath(path));
    return warnings;
}

bool saveAppSettings()
{
    const QString path = settingsFilePath();
    if (path.isEmpty() || !keepDamagedOriginal(path))
        return false;
    const AppSettings& s = appSettings();
    return IniFile::write(path, [&s](QSettings& file) {
        for (const SettingKey& k : settingKeys)
            writeValue(file, k, s);
    });
}

void resetAppSettings()
{
    appSettings() = defaultSettings();
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
