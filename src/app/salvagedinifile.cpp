#include "salvagedinifile.h"

#include "inifile.h"

#include <QTemporaryFile>

namespace {

struct Line
{
    int start = 0;
    int length = 0;
    int equals = -1; // the first "=" outside quotes, or -1
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The next line of an INI text from position on, split exactly as the INI
// reader of QSettings splits it, so that leaving one out changes no other.
// Blank lines and comment lines before it are skipped. False at the end.
bool nextLine(const QByteArray& data, int& position, Line& line)
{
    const int size = data.size();
    int start = position;
    while (start < size && isBlank(data.at(start)))
        ++start;
    bool inQuotes = false;
    bool ended = false;
    line.equals = -1;
    int i = start;
    while (i < size && !ended) {
        const char c = data.at(i++);
        switch (c) {
        case '=':
            if (!inQuotes && line.equals < 0)
                line.equals = i - 1;
            break;
        case '\n':
        case '\r':
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                ended = true;
            }
            break;
        case '\\':
            // An escaped character, or an escaped line break of one or two
            // characters, belongs to the line.
            if (i < size) {
                const char escaped = data.at(i++);
                if (i < size &&
                    ((escaped == '\n' && data.at(i) == '\r') || (escaped == '\r' && data.at(i) == '\n')))
                    ++i;
            }
            break;
        case '"':
            inQuotes = !inQuotes;
            break;
        case ';':
            if (i == start + 1) {
                // A comment line, skipped with the blanks after it.
                while (i < size && data.at(i) != '\n' && data.at(i) != '\r')
                    ++i;
                while (i < size && isBlank(data.at(i)))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                ended = true;
            }
            break;
        default:
            break;
        }
    }
    position = i;
    line.start = start;
    line.length = i - start;
    return line.length > 0;
}

// The group a section line opens: the text between the brackets, or the
// rest of the line without a closing one; "general" is no group.
QString groupOf(const QByteArray& sectionLine)
{
    const int close = sectionLine.indexOf(']');
    const QByteArray name = sectionLine.mid(1, close < 0 ? -1 : close - 1).trimmed();
    return name.compare("general", Qt::CaseInsensitive) == 0 ? QString() : QString::fromLatin1(name);
}

QString keyName(const QString& group, const QByteArray& line, int equals)
{
    const QString key = QString::fromLatin1(line.left(equals).trimmed());
    return group.isEmpty() ? key : group + QLatin1Char('/') + key;
}

} // namespace

SalvagedIniFile::SalvagedIniFile(const QString& filePath)
{
    if (!IniFile::readWhole(filePath, &original))
        return;
    if (!IniFile::containsSerialisedValue(original)) {
        path = filePath;
        readable = true;
        return;
    }
    readable = salvage();
}

SalvagedIniFile::~SalvagedIniFile() = default;

bool SalvagedIniFile::salvage()
{
    // A UTF-8 byte order mark tells QSettings how to decode the values.
    const QByteArray byteOrderMark("\xef\xbb\xbf");
    const int textStart = original.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
    QByteArray kept = original.left(textStart);
    bool first = true;
    QString group;
    bool inBadSection = false;
    int position = textStart;
    Line line;
    while (nextLine(original, position, line)) {
        const QByteArray text = original.mid(line.start, line.length);
        const bool isSection = text.startsWith('[');
        if (isSection) {
            group = groupOf(text);
            inBadSection = IniFile::containsSerialisedValue(text);
        }
        // The lines are joined again by single line breaks; a last line that
        // ends inside quotes stays exactly as it was.
        if (!inBadSection && !IniFile::containsSerialisedValue(text)) {
            if (!first)
                kept += '\n';
            kept += text;
            first = false;
        } else if (!isSection && line.equals >= 0) {
            dropped << keyName(group, text, line.equals - line.start);
        }
    }
    if (IniFile::containsSerialisedValue(kept))
        return false;

    copy = std::make_unique<QTemporaryFile>();
    if (!copy->open() || copy->write(kept) != kept.size() || !copy->flush())
        return false;
    copy->close();
    path = copy->fileName();
    return true;
}
