#pragma once

#include <QString>
#include <QStringList>

// The program's command line: [file [rangeStart [rangeEnd]]], plus the
// conventional --help and --version that print and leave at once.
struct CommandLine
{
    enum class Request
    {
        Run,
        Help,
        Version
    };

    Request request = Request::Run;
    QString file;
    int rangeStart = -1;
    int rangeEnd = -1;

    // From the arguments after the program path.
    static CommandLine parse(const QStringList& arguments);
    // A range number: decimal, -1 when missing or not a number.
    static int rangeValue(const QStringList& arguments, int index);
    static QString usage();
};
