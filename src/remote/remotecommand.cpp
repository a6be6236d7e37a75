#include "remotecommand.h"

#include <QTextCodec>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// Decodes strict UTF-8: junk that does not decode, or holds a NUL byte, has
// no text to act on.
std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return std::nullopt;
    static QTextCodec* const codec = QTextCodec::codecForMib(106); // UTF-8
    QTextCodec::ConverterState state;
    QString text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return std::nullopt;
    return text;
}

// A decimal number, possibly fractional, truncated towards zero. Values that
// do not fit an int (or are not finite) do not read as a frame number.
std::optional<int> readTruncated(const QString& word)
{
    bool ok = false;
    const double value = word.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double truncated = std::trunc(value);
    if (truncated < double(std::numeric_limits<int>::min()) ||
        truncated > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(truncated);
}

// A whole decimal number; "12.9" does not read.
std::optional<int> readWhole(const QString& word)
{
    bool ok = false;
    const int value = word.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<bool> readOnOff(const QString& word)
{
    if (word == QLatin1String("on"))
        return true;
    if (word == QLatin1String("off"))
        return false;
    return std::nullopt;
}

RemoteCommand make(RemoteCommand::Type type)
{
    RemoteCommand command;
    command.type = type;
    return command;
}

RemoteCommand refusal(const QString& error)
{
    RemoteCommand command;
    command.error = error;
    return command;
}

RemoteCommand usage(const char* text)
{
    return refusal(QStringLiteral("usage: %1").arg(QLatin1String(text)));
}

RemoteCommand numberCommand(RemoteCommand::Type type, std::optional<int> number, const char* usageText)
{
    if (!number)
        return usage(usageText);
    RemoteCommand command = make(type);
    command.value = *number;
    return command;
}

RemoteCommand onOffCommand(RemoteCommand::Type type, const QString& word, const char* usageText)
{
    const std::optional<bool> on = readOnOff(word);
    if (!on)
        return usage(usageText);
    RemoteCommand command = make(type);
    command.on = *on;
    return command;
}

RemoteCommand fileCommand(const QStringList& words)
{
    if (words.size() < 2)
        return usage("file PATH [START [END]]");
    RemoteCommand command;
    command.path = words.at(1);
    command.type = command.path.endsWith(QLatin1String(".bmk"), Qt::CaseSensitive)
                       ? RemoteCommand::BookmarksFile
                       : RemoteCommand::File;
    if (words.size() > 2)
        command.value = readTruncated(words.at(2)).value_or(-1);
    if (words.size() > 3)
        command.rangeEnd = readTruncated(words.at(3)).value_or(-1);
    return command;
}

RemoteCommand speedCommand(const QString& word)
{
    bool ok = false;
    const double speed = word.toDouble(&ok);
    if (!ok || !(speed >= RemoteCommand::minimumSpeed && speed <= RemoteCommand::maximumSpeed))
        return usage("speed X (X from 0.1 to 4)");
    RemoteCommand command = make(RemoteCommand::Speed);
    command.speed = speed;
    return command;
}

RemoteCommand saveBookmarksCommand(const QStringList& words)
{
    if (words.size() < 2)
        return usage("save-bookmarks PATH");
    RemoteCommand command = make(RemoteCommand::SaveBookmarks);
    command.path = words.at(1);
    return command;
}

} // namespace

RemoteCommand RemoteCommand::fromLine(const QByteArray& line)
{
    const std::optional<QString> text = decodeUtf8(line);
    if (!text)
        return refusal(QStringLiteral("not UTF-8 text"));
    return fromWords(splitWords(text->trimmed()));
}

RemoteCommand RemoteCommand::fromWords(const QStringList& words)
{
    if (words.isEmpty())
        return {};
    const QString& name = words.first();
    const QString argument = words.value(1);
    if (name == QLatin1String("exit"))
        return make(Exit);
    if (name == QLatin1String("file"))
        return fileCommand(words);
    if (name == QLatin1String("frame"))
        return numberCommand(Frame, readTruncated(argument), "frame N");
    if (name == QLatin1String("frameRelative"))
        return numberCommand(FrameRelative, readTruncated(argument), "frameRelative N");
    if (name == QLatin1String("rstart"))
        return numberCommand(RangeStart, readWhole(argument), "rstart N (a whole number)");
    if (name == QLatin1String("rend"))
        return numberCommand(RangeEnd, readWhole(argument), "rend N (a whole number)");
    if (name == QLatin1String("play"))
        return make(Play);
    if (name == QLatin1String("pause"))
        return make(Pause);
    if (name == QLatin1String("speed"))
        return speedCommand(argument);
    if (name == QLatin1String("loop"))
        return onOffCommand(Loop, argument, "loop on|off");
    if (name == QLatin1String("bookmark"))
        return numberCommand(Bookmark, readWhole(argument), "bookmark N (a whole number)");
    if (name == QLatin1String("save-bookmarks"))
        return saveBookmarksCommand(words);
    if (name == QLatin1String("reply"))
        return onOffCommand(Reply, argument, "reply on|off");
    if (name == QLatin1String("status"))
        return make(Status);
    if (name == QLatin1String("frame?"))
        return make(FrameQuery);
    return refusal(QStringLiteral("unknown command %1").arg(quoted(name)));
}

QStringList RemoteCommand::splitWords(const QString& line)
{
    QStringList words;
    bool quoted = line.startsWith(QLatin1Char('"'));
    QString piece;
    const auto endPiece = [&] {
        // An empty piece does not count: the alternation stays where it is.
        if (piece.isEmpty())
            return;
        if (quoted)
            words.append(piece);
        else
            words.append(piece.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        piece.clear();
        quoted = !quoted;
    };
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            endPiece();
        } else if (c == QLatin1Char('\\') && quoted && i + 1 < line.size()) {
            piece.append(line.at(++i));
        } else {
            piece.append(c);
        }
    }
    endPiece();
    return words;
}

QString RemoteCommand::quoted(const QString& word)
{
    QString text;
    text.reserve(word.size() + 2);
    text.append(QLatin1Char('"'));
    for (const QChar c : word) {
        if (c == QLatin1Char('\n')) {
            text.append(QLatin1String("\\n"));
            continue;
        }
        if (c == QLatin1Char('\r')) {
            text.append(QLatin1String("\\r"));
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('\\'))
            text.append(QLatin1Char('\\'));
        text.append(c);
    }
    text.append(QLatin1Char('"'));
    return text;
}
