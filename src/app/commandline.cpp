#include "commandline.h"

#include <QFileInfo>

namespace {

bool isNumber(const QString& word)
{
    bool ok = false;
    word.toDouble(&ok);
    return ok;
}

bool isRangeValue(const QString& word)
{
    if (isNumber(word))
        return true;
    const bool pathLike = word.contains(QLatin1Char('/')) || word.contains(QLatin1Char('.'));
    return !pathLike && !QFileInfo::exists(word);
}

int rangeValue(const QString& word)
{
    bool ok = false;
    const int value = word.toInt(&ok, 10);
    return ok ? value : -1;
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine c;
    const QString first = arguments.value(0);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        c.request = Request::Help;
        return c;
    }
    if (first == QLatin1String("--version")) {
        c.request = Request::Version;
        return c;
    }
    int i = 0;
    while (i < arguments.size()) {
        Entry entry;
        entry.file = arguments.at(i++);
        if (entry.file.isEmpty())
            continue;
        if (i < arguments.size() && isRangeValue(arguments.at(i)))
            entry.rangeStart = rangeValue(arguments.at(i++));
        if (i < arguments.size() && isRangeValue(arguments.at(i)))
            entry.rangeEnd = rangeValue(arguments.at(i++));
        c.entries.append(entry);
    }
    return c;
}

QStringList CommandLine::absoluteArguments(const QVector<Entry>& entries)
{
    QStringList arguments;
    for (const Entry& entry : entries) {
        arguments << QFileInfo(entry.file).absoluteFilePath() << QString::number(entry.rangeStart)
                  << QString::number(entry.rangeEnd);
    }
    return arguments;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: orvel [FILE [RANGE_START [RANGE_END]]]...\n"
        "\n"
        "Opens FILE, a video clip or a bookmarks file (.bmk), in Orvel, the frame-accurate\n"
        "review player. RANGE_START and RANGE_END set the playback range in frames (1-based).\n"
        "With several files the last one is opened and the others are added to the recent\n"
        "files. When a player is already running, the files are handed to it; a launch that\n"
        "gets no confirmation from it within 2 seconds says so and exits with status 1.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "      --version  show the version and exit\n");
}
