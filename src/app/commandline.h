#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The program's command line: FILE [RANGE_START [RANGE_END]], possibly for
// several files, plus the conventional --help and --version that print and
// leave at once.
//
// A word right after a file, or after its range start, is a range value when
// it is a number, or when it neither names anything that exists nor looks
// like a path (no slash, no dot): so "clip.mov abc 20" is clip.mov without a
// range start and with 20 as its range end. Any other word starts the next
// file. A range value that is not a whole number is -1, "not given".
struct CommandLine
{
    enum class Request
    {
        Run,
        Help,
        Version
    };

    struct Entry
    {
        QString file;
        int rangeStart = -1;
        int rangeEnd = -1;
    };

    Request request = Request::Run;
    QVector<Entry> entries;

    // From the arguments after the program path.
    static CommandLine parse(const QStringList& arguments);
    // The entries as arguments again, each file made absolute against the
    // current folder and followed by both range values, so that parse()
    // anywhere reads them back unchanged.
    static QStringList absoluteArguments(const QVector<Entry>& entries);
    static QString usage();
};
