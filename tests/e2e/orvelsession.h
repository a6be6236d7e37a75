#pragma once

#include "patience.h"
#include "testclips.h"

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>

// A display of its own for the tests of the real program: an Xvfb server on a
// free display number, optionally with a window manager (needed for stacking
// and activation), torn down with the object.
class XServer
{
public:
    explicit XServer(bool withWindowManager = false);
    ~XServer();
    bool isRunning() const;
    QString display() const { return displayName; }
    bool hasWindowManager() const { return windowManager != nullptr; }
    QProcessEnvironment environment() const;

private:
    QString displayName;
    std::unique_ptr<QProcess> xvfb;
    std::unique_ptr<QProcess> windowManager;
};

// One run of the real orvel program, the way a person and a pipeline tool
// meet it: started under Xvfb with a HOME, a TMPDIR (so a single-instance
// channel of its own) and a free remote-control port of its own; driven by
// TCP commands, by xdotool keys and mouse, and read back through its window
// title and the picture that "Take Snapshot" puts on the clipboard.
class OrvelSession
{
public:
    explicit OrvelSession(XServer& x);
    ~OrvelSession();

    // Writes settings into the session's HOME before the program starts.
    void writeSettings(const QString& group, const QString& key, const QVariant& value);
    // An environment variable for the program, set before it starts.
    void setEnvironment(const QString& name, const QString& value);
    int port() const { return tcpPort; }
    QString home() const { return homeDir.path(); }
    QString tmp() const { return tmpDir.path(); }

    // Starts the program and waits for its main window.
    bool start(const QStringList& arguments = {});
    // Starts another launch in the same HOME/TMPDIR/display (in the given
    // working folder) and waits for it to end; returns its exit code (-1 if it
    // did not end within the time).
    int launchAgain(const QStringList& arguments, int timeoutMs = patienceMs, QByteArray* output = nullptr,
                    const QString& workingDirectory = QString());
    // Another launch in the same HOME/TMPDIR/display, left running.
    std::unique_ptr<QProcess> startAnother(const QStringList& arguments,
                                           const QString& workingDirectory = QString()) const;
    bool isRunning() const;
    qint64 pid() const;
    QString windowId() const { return window; }

    QString title() const;
    // Polls the title until it equals `expected`.
    bool waitForTitle(const QString& expected, int timeoutMs = patienceMs) const;
    // Polls until the title names a frame; returns it, or -1.
    int waitForFrameInTitle(int timeoutMs = patienceMs) const;
    static int frameInTitle(const QString& title);

    bool sendCommand(const QString& line);
    // Sends the lines on a connection of their own and returns the first
    // `count` lines of the answer (fewer when the connection ends first).
    QStringList converse(const QByteArray& lines, int count);
    // Keys to the main window (focused first).
    void key(const QString& keys);
    // Keys to whichever window has the focus (a dialog, say).
    void keyToFocused(const QString& keys);
    void typeText(const QString& text);
    void focus();
    // Mouse actions at a position inside the main window.
    void click(int x, int y, int button = 1);
    void mouseDown(int x, int y, int button = 1);
    void mouseMoveTo(int x, int y);
    void mouseUp(int button = 1);
    QSize windowSize() const;
    // Waits for a visible window of the program with that title.
    QString waitForWindow(const QString& title, int timeoutMs = patienceMs) const;
    // Waits until the window has the keyboard focus.
    bool waitForFocus(const QString& windowId) const;
    bool hasWindow(const QString& title) const;

    void setClipboardText(const QString& text) const;
    QString clipboardText() const;

    // Presses Ctrl+C and reads the frame index of the picture on the clipboard
    // (-1 if none could be read).
    int snapshotIndex();
    // The title and the picture both show frame n of the clip; says what was
    // shown instead when they do not.
    bool showsFrame(const TestClip& clip, int n);
    // The window title while frame n of the clip is current.
    static QString titleFor(const TestClip& clip, int frame);
    QImage clipboardImage() const;

    // Closes the window as a person would, and waits for the program to end.
    bool closeWindow(int timeoutMs = patienceMs);
    // The same close, without waiting: the window may ask something first.
    void requestClose();
    bool waitForExit(int timeoutMs = patienceMs);
    // Waits for the dialog with that title to have the focus and sends it
    // the keys.
    bool answerDialog(const QString& title, const QString& keys);
    bool terminate(int timeoutMs = patienceMs);
    // Ends the program at once with SIGKILL, as a crash or a power cut
    // would, and waits for it to be gone.
    bool kill(int timeoutMs = patienceMs);
    int exitCode() const;
    QByteArray standardError();

    static QString binary();

private:
    QString runTool(const QString& program, const QStringList& arguments, int timeoutMs = patienceMs) const;
    bool findWindow(int timeoutMs);
    void reportWhyNoWindowCame();

    XServer& x;
    QTemporaryDir homeDir;
    QTemporaryDir tmpDir;
    int tcpPort = 0;
    std::unique_ptr<QProcess> process;
    QProcessEnvironment extraEnvironment;
    QTcpSocket socket;
    QString window;
    QByteArray errors;
};
