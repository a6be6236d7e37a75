#include "remotecommand.h"

#include <QRegularExpression>
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

RemoteCommand numberCommand(RemoteCommand::Type type, std::optional<int> number)
{
    RemoteCommand command;
    if (number) {
        command.type = type;
        command.value = *number;
    }
    return command;
}

RemoteCommand fileCommand(const QStringList& words)
{
    RemoteCommand command;
    if (words.size() < 2)
        return command;
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

} // namespace

RemoteCommand RemoteCommand::fromLine(const QByteArray& line)
{
    const std::optional<QString> text = decodeUtf8(line);
    if (!text)
        return {};
    return fromWords(splitWords(text->trimmed()));
}

RemoteCommand RemoteCommand::fromWords(const QStringList& words)
{
    if (words.isEmpty())
        return {};
    const QString& name = words.first();
    const QString argument = words.value(1);
    if (name == QLatin1String("exit")) {
        RemoteCommand command;
        command.type = Exit;
        return command;
    }
    if (name == QLatin1String("file"))
        return fileCommand(words);
    if (words.size() < 2)
        return {};
    if (name == QLatin1String("frame"))
        return numberCommand(Frame, readTruncated(argument));
    if (name == QLatin1String("frameRelative"))
        return numberCommand(FrameRelative, readTruncated(argument));
    if (name == QLatin1String("rstart"))
        return numberCommand(RangeStart, readWhole(argument));
    if (name == QLatin1String("rend"))
        return numberCommand(RangeEnd, readWhole(argument));
    return {};
}

QStringList RemoteCommand::splitWords(const QString& line)
{
    static const QRegularExpression quote(QStringLiteral("[\"']"));
    const QStringList pieces = line.split(quote, Qt::SkipEmptyParts);
    bool quoted = line.startsWith(QLatin1Char('"'));
    QStringList words;
    for (const QString& piece : pieces) {
        if (quoted)
            words.append(piece);
        else
            words.append(piece.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        quoted = !quoted;
    }
    return words;
}
