#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One command of the remote-control protocol, parsed from one text line.
//
// A line is UTF-8 text, trimmed of surrounding white space. Words are
// separated by spaces; a part in double or single quotes is one word, spaces
// included, without its quotes. The first word is the command (compared
// case-sensitively), the rest its arguments:
//   exit                       end this connection
//   file path [start [end]]    open media, or a bookmarks file when the path ends in ".bmk"
//   frame n | frameRelative n  go to a frame / step by n frames (n may be fractional: 12.9 -> 12)
//   rstart n | rend n          set a playback range end (n a whole decimal number)
// Anything else, and a command whose arguments do not read, is no command.
struct RemoteCommand
{
    enum Type
    {
        None,
        Exit,
        File,
        BookmarksFile,
        Frame,
        FrameRelative,
        RangeStart,
        RangeEnd,
    };

    Type type = None;
    // File and BookmarksFile: the path.
    QString path;
    // Frame, FrameRelative, RangeStart, RangeEnd: the number; File and
    // BookmarksFile: the range start, -1 when missing or unreadable.
    int value = -1;
    // File and BookmarksFile: the range end, -1 when missing or unreadable.
    int rangeEnd = -1;

    bool isValid() const { return type != None; }

    // Parses one received line (without its line feed). A line that is not
    // valid UTF-8 or holds a NUL byte is no command.
    static RemoteCommand fromLine(const QByteArray& line);
    // Parses the words of a line; the first one is the command.
    static RemoteCommand fromWords(const QStringList& words);
    // Splits a trimmed line into words. Quote characters alternate between
    // unquoted and quoted pieces; the first piece counts as quoted only when
    // the line starts with a double quote. Empty pieces are dropped, which
    // shifts the alternation (so file "" 10 gives file | " 10").
    static QStringList splitWords(const QString& line);
};
