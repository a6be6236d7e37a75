#include "inifile.h"

#include "salvagedinifile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QTemporaryFile>
#include <QVariant>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace IniFile {
namespace {

// Watches a stream of unescaped characters for the start of a serialised
// value. QSettings deserialises a value, or an element of a list, only when
// it begins with the marker; it begins after "=" or "," and the blanks it
// skips. A marker right after any other visible character is text inside a
// value, such as a file named "take@DateTime(2).mp4" or the string QSettings
// writes as "@String(@Variant(...))", and is harmless; so is "@@Variant(",
// which is how QSettings writes a string that begins with "@". Blanks,
// control characters and anything beyond ASCII count as possible starts.
class MarkerWatch
{
public:
    void push(uint c)
    {
        recent[count++ & mask] = ushort(c);
        if (c == '(' && (endsWith("@Variant(") || endsWith("@DateTime(")))
            seen = true;
    }
    bool found() const { return seen; }

private:
    bool endsWith(const char* marker) const
    {
        const qint64 length = qint64(std::strlen(marker));
        if (count < length)
            return false;
        for (qint64 i = 0; i < length; ++i) {
            if (recent[(count - length + i) & mask] != uchar(marker[i]))
                return false;
        }
        return count == length || mayPrecedeValue(recent[(count - length - 1) & mask]);
    }

    static bool mayPrecedeValue(ushort c)
    {
        return c == '=' || c == ',' || c == ']' || c <= ' ' || c >= 0x7f;
    }

    static constexpr qint64 mask = 15;
    ushort recent[mask + 1] = {};
    qint64 count = 0;
    bool seen = false;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

char escapedCharacter(char code)
{
    static const char codes[] = "abfnrtv\"?'\\";
    static const char values[] = "\a\b\f\n\r\t\v\"?'\\";
    const char* found = code != 0 ? std::strchr(codes, code) : nullptr;
    return found ? values[found - codes] : 0;
}

} // namespace

// Reads the whole text the way QSettings unescapes a value: quotes dropped,
// backslash escapes decoded (hexadecimal and octal ones of any length, kept to
// 16 bits), an escaped line break joining two lines, any other escaped
// character dropped. Keys, section names and comments go through the same
// decoding, which can only make the check stricter: every value QSettings
// splits off starts right after a character that is kept here.
bool containsSerialisedValue(const QByteArray& text)
{
    MarkerWatch watch;
    const char* p = text.constData();
    const char* const end = p + text.size();
    while (p < end && !watch.found()) {
        const char c = *p++;
        if (c == '"')
            continue;
        if (c != '\\') {
            watch.push(uchar(c));
            continue;
        }
        if (p == end)
            break;
        const char code = *p++;
        if (const char value = escapedCharacter(code)) {
            watch.push(uchar(value));
        } else if (code == 'x') {
            if (p == end || hexDigit(*p) < 0)
                continue;
            uint value = 0;
            while (p < end && hexDigit(*p) >= 0)
                value = (value << 4) + uint(hexDigit(*p++));
            watch.push(value & 0xffff);
        } else if (code >= '0' && code <= '7') {
            uint value = uint(code - '0');
            while (p < end && *p >= '0' && *p <= '7')
                value = (value << 3) + uint(*p++ - '0');
            watch.push(value & 0xffff);
        } else if (code == '\n' || code == '\r') {
            if (p < end && (*p == '\n' || *p == '\r') && *p != code)
                ++p;
        }
    }
    return watch.found();
}

namespace {

// QSettings reads a one-element list back as a string, an empty list as an
// invalid value, and numbers and booleans as their text.
bool sameValue(const QVariant& written, const QVariant& read)
{
    const int a = written.userType();
    const int b = read.userType();
    if (!written.isValid() || !read.isValid() || a == QMetaType::QStringList || b == QMetaType::QStringList)
        return written.toStringList() == read.toStringList();
    if (a == QMetaType::QByteArray || b == QMetaType::QByteArray)
        return a == b && written.toByteArray() == read.toByteArray();
    if (a == b)
        return written == read;
    return written.toString() == read.toString();
}

bool hasContent(const QString& path, const QMap<QString, QVariant>& expected)
{
    const QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return false;
    const QStringList keys = file.allKeys();
    if (keys.size() != expected.size())
        return false;
    for (const QString& key : keys) {
        const auto it = expected.constFind(key);
        if (it == expected.constEnd() || !sameValue(it.value(), file.value(key)))
            return false;
    }
    return true;
}

bool renameOver(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// QSettings keeps the files it has read in a process-wide cache and reads one
// again only when its size or modification time (in milliseconds) changed.
// A file renamed into place keeps the time it was written, which can equal
// that of the file it replaces; every file this writer puts in place gets a
// time later than any earlier version of it could have.
QDateTime nextModificationTime(const QFileInfo& previous)
{
    static std::atomic<qint64> lastIssued{0};
    qint64 next = QDateTime::currentMSecsSinceEpoch();
    if (previous.exists())
        next = qMax(next, previous.lastModified().toMSecsSinceEpoch());
    next = qMax(next, lastIssued.load()) + 1;
    lastIssued = next;
    return QDateTime::fromMSecsSinceEpoch(next);
}

void setModificationTime(const QString& path, const QDateTime& time)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        file.setFileTime(time, QFileDevice::FileModificationTime);
}

// Carries the keys of the old file over, as QSettings does when it writes in
// place, unless the file has lines QSettings cannot parse: such a file is
// damaged (random bytes give tens of thousands of junk keys), and carrying
// its keys over would keep the damage for good.
void copyKeys(const QString& from, QSettings& to)
{
    const QSettings old(from, QSettings::IniFormat);
    const QStringList keys = old.allKeys();
    if (old.status() != QSettings::NoError)
        return;
    for (const QString& key : keys) {
        // A key QSettings reports with stray slashes (from a line such as
        // "/=1") would be normalised into another key, or none, on the way.
        if (!key.startsWith(QLatin1Char('/')) && !key.endsWith(QLatin1Char('/')) &&
            !key.contains(QLatin1String("//")))
            to.setValue(key, old.value(key));
    }
}

QString resolvedTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    return info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
}

} // namespace

bool readWhole(const QString& path, QByteArray* text)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable() || info.size() > maximumSize)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *text = file.readAll();
    if (file.error() != QFileDevice::NoError || text->size() > maximumSize) {
        text->clear();
        return false;
    }
    return true;
}

bool isSafeToRead(const QString& path)
{
    QByteArray text;
    return readWhole(path, &text) && !containsSerialisedValue(text);
}

bool write(const QString& path, const std::function<void(QSettings&)>& fill)
{
    if (path.isEmpty())
        return false;
    const QString target = resolvedTarget(path);
    const QFileInfo previous(target);
    const bool replacing = previous.exists();
    // As QSettings: a file it could not read and merge, or not open for
    // writing, is not replaced.
    if (previous.isDir() ||
        (replacing && (!previous.isFile() || !previous.isReadable() || !previous.isWritable())))
        return false;
    const QString folder = previous.absolutePath();
    if (!QDir().mkpath(folder))
        return false;

    // Two reserved names beside the target: QSettings writes the first, which
    // is then renamed to the second and read back from there, out of reach of
    // the cache QSettings keeps of the first.
    const QString pattern =
        folder + QStringLiteral("/.") + previous.fileName().left(64) + QStringLiteral(".XXXXXX");
    QTemporaryFile written(pattern);
    QTemporaryFile checked(pattern);
    if (!written.open() || !checked.open())
        return false;
    written.close();
    checked.close();

    QMap<QString, QVariant> expected;
    {
        QSettings out(written.fileName(), QSettings::IniFormat);
        if (replacing) {
            const SalvagedIniFile old(target);
            if (old.isReadable())
                copyKeys(old.readablePath(), out);
        }
        fill(out);
        for (const QString& key : out.allKeys())
            expected.insert(key, out.value(key));
        out.sync();
        if (out.status() != QSettings::NoError)
            return false;
    }
    // The new file must also pass the check its next reader makes.
    if (!renameOver(written.fileName(), checked.fileName()) || !hasContent(checked.fileName(), expected) ||
        !isSafeToRead(checked.fileName()))
        return false;

    const QFileDevice::Permissions permissions = replacing
                                                     ? previous.permissions()
                                                     : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                           QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(checked.fileName(), permissions);
    setModificationTime(checked.fileName(), nextModificationTime(previous));
    return renameOver(checked.fileName(), target);
}

} // namespace IniFile
