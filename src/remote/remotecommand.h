#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One command of the remote-control protocol, parsed from one text line.
//
// A line is UTF-8 text, trimmed of surrounding white space. Words are
// separated by spaces; a part in double or single quotes is one word, spaces
// included, without its quotes. Inside quotes a backslash makes the next
// character an ordinary one (\" \' \\). The first word is the command
// (compared case-sensitively), the rest its arguments:
//   exit                       end this connection
//   file path [start [end]]    open media, or a bookmarks file when the path ends in ".bmk"
//   frame n | frameRelative n  go to a frame / to the nth frame of the range (12.9 -> 12)
//   rstart n | rend n          set a playback range end (n a whole decimal number)
//   play | pause               start or pause playback
//   speed x                    playback speed, from 0.1 to 4
//   loop on|off                loop playback inside the range
//   bookmark n                 add a frame bookmark
//   save-bookmarks path        write the bookmarks file
//   reply on|off               answer every command of this connection with one line
//   status | frame?            ask what the player shows (always answered)
// A line that is none of these, or whose arguments do not read, is no command
// and says why in `error`; an empty line says nothing.
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
        Play,
        Pause,
        Speed,
        Loop,
        Bookmark,
        SaveBookmarks,
        Reply,
        Status,
        FrameQuery,
    };

    static constexpr double minimumSpeed = 0.1;
    static constexpr double maximumSpeed = 4.0;

    Type type = None;
    // File, BookmarksFile, SaveBookmarks: the path.
    QString path;
    // Frame, FrameRelative, RangeStart, RangeEnd, Bookmark: the number; File
    // and BookmarksFile: the range start, -1 when missing or unreadable.
    int value = -1;
    // File and BookmarksFile: the range end, -1 when missing or unreadable.
    int rangeEnd = -1;
    // Speed: the multiplier.
    double speed = 1.0;
    // Loop and Reply: on or off.
    bool on = false;
    // None: why the line is no command; empty for a line without words.
    QString error;

    bool isValid() const { return type != None; }

    // Parses one received line (without its line feed). A line that is not
    // valid UTF-8 or holds a NUL byte is no command.
    static RemoteCommand fromLine(const QByteArray& line);
    // Parses the words of a line; the first one is the command.
    static RemoteCommand fromWords(const QStringList& words);
    // Splits a trimmed line into words. Quote characters alternate between
    // unquoted and quoted pieces; the first piece counts as quoted only when
    // the line starts with a double quote. Empty pieces are dropped, which
    // shifts the alternation (so file "" 10 gives file | " 10"). In a quoted
    // piece a backslash takes the next character as it is, quotes included;
    // elsewhere a backslash is an ordinary character.
    static QStringList splitWords(const QString& line);
    // The word as a quoted word that splitWords reads back unchanged.
    static QString quoted(const QString& word);
};
