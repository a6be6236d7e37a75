#include "commandline.h"

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
    c.file = first;
    c.rangeStart = rangeValue(arguments, 1);
    c.rangeEnd = rangeValue(arguments, 2);
    return c;
}

int CommandLine::rangeValue(const QStringList& arguments, int index)
{
    if (index >= arguments.size())
        return -1;
    bool ok = false;
    const int value = arguments[index].toInt(&ok, 10);
    return ok ? value : -1;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: orvel [FILE [RANGE_START [RANGE_END]]]\n"
        "\n"
        "Opens FILE, a video clip or a bookmarks file (.bmk), in Orvel, the frame-accurate\n"
        "review player. RANGE_START and RANGE_END set the playback range in frames (1-based).\n"
        "When a player is already running, the arguments are handed to it.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "      --version  show the version and exit\n");
}
