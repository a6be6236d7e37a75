#include "orvelsession.h"

#include "frameindex.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTest>
#include <csignal>

namespace {

int freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (condition())
            return true;
        QTest::qWait(50);
    }
    return condition();
}

} // namespace

XServer::XServer(bool withWindowManager)
{
    // Xvfb picks a free display itself (under its lock files) and names it
    // on its standard output once it accepts clients, so test programs that
    // run at the same time never end up sharing one display and clipboard.
    auto server = std::make_unique<QProcess>();
    server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server->start(QStringLiteral("Xvfb"),
                  {"-displayfd", "1", "-screen", "0", "1920x1200x24", "-nolisten", "tcp", "-noreset"});
    if (!server->waitForStarted(patienceMs))
        return;
    QByteArray announced;
    waitUntil(
        [&] {
            announced += server->readAllStandardOutput();
            return announced.contains('\n') || server->state() != QProcess::Running;
        },
        patienceMs);
    bool isNumber = false;
    const int display = announced.trimmed().toInt(&isNumber);
    if (isNumber && server->state() == QProcess::Running) {
        displayName = QStringLiteral(":%1").arg(display);
        xvfb = std::move(server);
    } else {
        server->kill();
        server->waitForFinished(3000);
    }
    if (xvfb && withWindowManager) {
        windowManager = std::make_unique<QProcess>();
        windowManager->setProcessEnvironment(environment());
        windowManager->start(QStringLiteral("openbox"), QStringList());
        windowManager->waitForStarted(patienceMs);
        // A window manager announces itself on the root window once it runs.
        waitUntil(
            [&] {
                QProcess xprop;
                xprop.setProcessEnvironment(environment());
                xprop.start(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"});
                xprop.waitForFinished(patienceMs);
                return xprop.readAllStandardOutput().contains("window id");
            },
            patienceMs);
    }
}

XServer::~XServer()
{
    if (windowManager) {
        windowManager->terminate();
        windowManager->waitForFinished(3000);
    }
    if (xvfb) {
        xvfb->terminate();
        if (!xvfb->waitForFinished(3000))
            xvfb->kill();
    }
}

bool XServer::isRunning() const
{
    return xvfb && xvfb->state() == QProcess::Running;
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), displayName);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // The player paints in software and never uses OpenGL. Without this, Qt
    // loads Mesa's GLX driver for every window, and that driver's start-up
    // allocation, unloaded before the leak scan, fails the sanitizer build.
    env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    return env;
}

OrvelSession::OrvelSession(XServer& xServer) : x(xServer), tcpPort(freeTcpPort())
{
    writeSettings(QStringLiteral("preferences"), QStringLiteral("tcpPort"), tcpPort);
    // Without a window manager every window opens at the top left corner: a
    // console popping up over the player would take the clicks meant for it.
    // (Machines without a sound card report one error per clip.)
    writeSettings(QStringLiteral("console"), QStringLiteral("displayConsoleOnType"), 0);
}

OrvelSession::~OrvelSession()
{
    if (process && process->state() == QProcess::Running) {
        process->kill();
        process->waitForFinished(3000);
    }
}

QString OrvelSession::binary()
{
    return QString::fromLocal8Bit(qgetenv("ORVEL_BINARY"));
}

void OrvelSession::writeSettings(const QString& group, const QString& key, const QVariant& value)
{
    QDir(homeDir.path()).mkpath(QStringLiteral(".talmont"));
    QSettings settings(homeDir.path() + QStringLiteral("/.talmont/orvel.ini"), QSettings::IniFormat);
    settings.setValue(group + QLatin1Char('/') + key, value);
}

void OrvelSession::setEnvironment(const QString& name, const QString& value)
{
    extraEnvironment.insert(name, value);
}

bool OrvelSession::start(const QStringList& arguments)
{
    process = std::make_unique<QProcess>();
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("HOME"), homeDir.path());
    env.insert(QStringLiteral("TMPDIR"), tmpDir.path());
    env.insert(extraEnvironment);
    process->setProcessEnvironment(env);
    process->start(binary(), arguments);
    if (!process->waitForStarted(patienceMs))
        return false;
    if (findWindow(patienceMs))
        return true;
    reportWhyNoWindowCame();
    return false;
}

void OrvelSession::reportWhyNoWindowCame()
{
    if (isRunning())
        qWarning("the player runs but shows no window; it wrote:\n%s", standardError().constData());
    else
        qWarning("the player ended (exit code %d) without a window; it wrote:\n%s", exitCode(),
                 standardError().constData());
}

int OrvelSession::launchAgain(const QStringList& arguments, int timeoutMs, QByteArray* output,
                              const QString& workingDirectory)
{
    const std::unique_ptr<QProcess> other = startAnother(arguments, workingDirectory);
    if (!other->waitForFinished(timeoutMs)) {
        other->kill();
        other->waitForFinished(3000);
        return -1;
    }
    if (output)
        *output = other->readAllStandardOutput() + other->readAllStandardError();
    return other->exitStatus() == QProcess::NormalExit ? other->exitCode() : -1;
}

std::unique_ptr<QProcess> OrvelSession::startAnother(const QStringList& arguments,
                                                     const QString& workingDirectory) const
{
    auto other = std::make_unique<QProcess>();
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("HOME"), homeDir.path());
    env.insert(QStringLiteral("TMPDIR"), tmpDir.path());
    other->setProcessEnvironment(env);
    other->setWorkingDirectory(workingDirectory);
    other->start(binary(), arguments);
    return other;
}

bool OrvelSession::isRunning() const
{
    return process && process->state() == QProcess::Running;
}

qint64 OrvelSession::pid() const
{
    return process ? process->processId() : 0;
}

QString OrvelSession::runTool(const QString& program, const QStringList& arguments, int timeoutMs) const
{
    QProcess tool;
    tool.setProcessEnvironment(x.environment());
    tool.start(program, arguments);
    tool.waitForFinished(timeoutMs);
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

bool OrvelSession::findWindow(int timeoutMs)
{
    const QString pidText = QString::number(pid());
    return waitUntil(
               [&] {
                   if (!isRunning())
                       return true;
                   const QStringList ids =
                       runTool(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", pidText})
                           .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                   for (const QString& id : ids) {
                       const QString name = runTool(QStringLiteral("xdotool"), {"getwindowname", id});
                       if (name != QLatin1String("Console") && !name.isEmpty()) {
                           window = id;
                           return true;
                       }
                   }
                   return false;
               },
               timeoutMs) &&
           !window.isEmpty();
}

QString OrvelSession::title() const
{
    return window.isEmpty() ? QString() : runTool(QStringLiteral("xdotool"), {"getwindowname", window});
}

bool OrvelSession::waitForTitle(const QString& expected, int timeoutMs) const
{
    return waitUntil([&] { return title() == expected; }, timeoutMs);
}

int OrvelSession::frameInTitle(const QString& title)
{
    static const QRegularExpression pattern(QStringLiteral(" -- Frame (-?\\d+)$"));
    const QRegularExpressionMatch m = pattern.match(title);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

int OrvelSession::waitForFrameInTitle(int timeoutMs) const
{
    int frame = -1;
    waitUntil(
        [&] {
            frame = frameInTitle(title());
            return frame >= 0;
        },
        timeoutMs);
    return frame;
}

bool OrvelSession::sendCommand(const QString& line)
{
    if (socket.state() != QAbstractSocket::ConnectedState) {
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(tcpPort));
        if (!socket.waitForConnected(patienceMs))
            return false;
    }
    socket.write(line.toUtf8() + '\n');
    return socket.waitForBytesWritten(patienceMs);
}

QStringList OrvelSession::converse(const QByteArray& lines, int count)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(tcpPort));
    if (!client.waitForConnected(5000))
        return {};
    client.write(lines);
    QStringList answer;
    while (answer.size() < count && (client.canReadLine() || client.waitForReadyRead(patienceMs))) {
        while (client.canReadLine() && answer.size() < count)
            answer << QString::fromUtf8(client.readLine()).chopped(1);
    }
    return answer;
}

void OrvelSession::focus()
{
    runTool(QStringLiteral("xdotool"), {"windowfocus", "--sync", window});
}

void OrvelSession::key(const QString& keys)
{
    focus();
    keyToFocused(keys);
}

void OrvelSession::keyToFocused(const QString& keys)
{
    QStringList arguments{"key", "--clearmodifiers", "--delay", "30"};
    arguments += keys.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    runTool(QStringLiteral("xdotool"), arguments);
}

void OrvelSession::typeText(const QString& text)
{
    runTool(QStringLiteral("xdotool"), {"type", "--delay", "20", text});
}

void OrvelSession::click(int x, int y, int button)
{
    mouseDown(x, y, button);
    mouseUp(button);
}

void OrvelSession::mouseDown(int x, int y, int button)
{
    mouseMoveTo(x, y);
    runTool(QStringLiteral("xdotool"), {"mousedown", QString::number(button)});
}

void OrvelSession::mouseMoveTo(int x, int y)
{
    runTool(QStringLiteral("xdotool"),
            {"mousemove", "--window", window, QString::number(x), QString::number(y)});
}

void OrvelSession::mouseUp(int button)
{
    runTool(QStringLiteral("xdotool"), {"mouseup", QString::number(button)});
}

QSize OrvelSession::windowSize() const
{
    // "Geometry: 641x483" on the last line.
    const QString text = runTool(QStringLiteral("xdotool"), {"getwindowgeometry", window});
    static const QRegularExpression pattern(QStringLiteral("Geometry: (\\d+)x(\\d+)"));
    const QRegularExpressionMatch m = pattern.match(text);
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

QString OrvelSession::waitForWindow(const QString& title, int timeoutMs) const
{
    QString found;
    waitUntil(
        [&] {
            const QStringList ids = runTool(QStringLiteral("xdotool"),
                                            {"search", "--onlyvisible", "--pid", QString::number(pid())})
                                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const QString& id : ids) {
                if (runTool(QStringLiteral("xdotool"), {"getwindowname", id}) == title) {
                    found = id;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool OrvelSession::waitForFocus(const QString& windowId) const
{
    return waitUntil([&] { return runTool(QStringLiteral("xdotool"), {"getwindowfocus"}) == windowId; },
                     patienceMs);
}

bool OrvelSession::hasWindow(const QString& title) const
{
    return !waitForWindow(title, 0).isEmpty();
}

void OrvelSession::setClipboardText(const QString& text) const
{
    QProcess xclip;
    xclip.setProcessEnvironment(x.environment());
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-i"});
    xclip.waitForStarted(patienceMs);
    xclip.write(text.toUtf8());
    xclip.closeWriteChannel();
    xclip.waitForFinished(patienceMs);
    // xclip takes the clipboard from a background process, after the command
    // has returned.
    waitUntil([&] { return clipboardText() == text; }, patienceMs);
}

QString OrvelSession::clipboardText() const
{
    return runTool(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
}

QImage OrvelSession::clipboardImage() const
{
    QProcess xclip;
    xclip.setProcessEnvironment(x.environment());
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    xclip.waitForFinished(patienceMs);
    return QImage::fromData(xclip.readAllStandardOutput(), "PNG");
}

int OrvelSession::snapshotIndex()
{
    // The clipboard may still hold an earlier snapshot, which a read right
    // after the key press would return. A text put there first, and seen
    // there, makes sure the picture read is this one.
    static int marks = 0;
    setClipboardText(QStringLiteral("before snapshot %1").arg(++marks));
    key(QStringLiteral("ctrl+c"));
    QImage image;
    waitUntil(
        [&] {
            image = clipboardImage();
            return !image.isNull();
        },
        patienceMs);
    return FrameIndex::read(image);
}

bool OrvelSession::closeWindow(int timeoutMs)
{
    requestClose();
    return waitForExit(timeoutMs);
}

void OrvelSession::requestClose()
{
    // With a window manager: its close request, as the title bar's button
    // sends it. Without one: the program's own "Exit" shortcut.
    if (x.hasWindowManager())
        runTool(QStringLiteral("wmctrl"), {"-i", "-c", window});
    else
        key(QStringLiteral("ctrl+q"));
}

bool OrvelSession::waitForExit(int timeoutMs)
{
    return process->waitForFinished(timeoutMs);
}

bool OrvelSession::answerDialog(const QString& title, const QString& keys)
{
    const QString dialog = waitForWindow(title);
    if (dialog.isEmpty() || !waitForFocus(dialog))
        return false;
    keyToFocused(keys);
    return true;
}

bool OrvelSession::terminate(int timeoutMs)
{
    process->terminate();
    return process->waitForFinished(timeoutMs);
}

bool OrvelSession::kill(int timeoutMs)
{
    socket.abort();
    process->kill();
    return process->waitForFinished(timeoutMs);
}

int OrvelSession::exitCode() const
{
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

QByteArray OrvelSession::standardError()
{
    if (process)
        errors += process->readAllStandardError();
    return errors;
}

QString OrvelSession::titleFor(const TestClip& clip, int frame)
{
    return QStringLiteral("%1 -- Frame %2").arg(clip.name).arg(frame);
}

bool OrvelSession::showsFrame(const TestClip& clip, int n)
{
    // With or without the mark of unsaved bookmarks after the name.
    const QString plain = titleFor(clip, n);
    const QString marked = QStringLiteral("%1* -- Frame %2").arg(clip.name).arg(n);
    if (!waitUntil([&] { return title() == plain || title() == marked; }, patienceMs)) {
        qWarning("title is \"%s\", expected frame %d; the program said:\n%s", qPrintable(title()), n,
                 standardError().right(2000).constData());
        return false;
    }
    const int index = snapshotIndex();
    if (index != clip.firstIndex + n - 1) {
        qWarning("frame %d: the picture shows index %d", n, index);
        return false;
    }
    return true;
}
