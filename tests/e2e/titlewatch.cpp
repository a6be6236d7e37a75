#include "titlewatch.h"

#include "orvelsession.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

TitleWatch::TitleWatch(const XServer& x, const QString& window) : xprop(std::make_unique<QProcess>())
{
    xprop->setProcessEnvironment(x.environment());
    xprop->start(QStringLiteral("xprop"), {"-spy", "-id", window, "_NET_WM_NAME"});
    xprop->waitForStarted(patienceMs);
    // The first line is the title at the start.
    waitFor([](const QList<int>& frames) { return !frames.isEmpty(); }, patienceMs);
}

TitleWatch::~TitleWatch()
{
    xprop->kill();
    xprop->waitForFinished(3000);
}

bool TitleWatch::isRunning() const
{
    return xprop->state() == QProcess::Running;
}

const QList<int>& TitleWatch::frames()
{
    // _NET_WM_NAME(UTF8_STRING) = "clip.mp4 -- Frame 12"
    static const QRegularExpression frameAtEnd(QStringLiteral(" -- Frame (-?\\d+)\"$"));
    pending += xprop->readAllStandardOutput();
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending.left(end));
        pending.remove(0, end + 1);
        const QRegularExpressionMatch m = frameAtEnd.match(line);
        named << (m.hasMatch() ? m.captured(1).toInt() : -1);
    }
    return named;
}

bool TitleWatch::waitFor(const std::function<bool(const QList<int>&)>& condition, int timeoutMs)
{
    return QTest::qWaitFor([&] { return condition(frames()); }, timeoutMs);
}

QString TitleWatch::describe()
{
    QStringList list;
    for (int frame : frames())
        list << QString::number(frame);
    return QStringLiteral("frames named: %1").arg(list.join(QLatin1Char(' ')));
}
