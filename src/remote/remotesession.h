#pragma once

#include "remotecommand.h"
#include "remoteplayer.h"

#include <QByteArray>
#include <QQueue>
#include <QVector>
#include <functional>
#include <optional>

// The commands of one remote-control connection, run in the order they came.
//
// A command that acts on the clip waits while a clip loads, so that "file x"
// followed by "frame 77" shows frame 77 of x; "frame?" also waits for a seek
// on its way. An open is not held back: like one from the menu, it replaces
// what loads. The session outlives its connection: a client that sends and
// hangs up at once still gets its commands run.
//
// Replies: after "reply on" every command gets one line, "ok" or
// "error <message>", once it is done: a command that leaves the player busy
// (an open, a seek) is in flight until the player settles, and the commands
// after it wait for it, so the replies come in order and a "status" after
// them tells their outcome. "status" and "frame?" always answer with one
// line. Without replies, the first line that is no command is reported on
// the player's console.
class RemoteSession
{
public:
    using Writer = std::function<void(const QByteArray& line)>;

    explicit RemoteSession(RemotePlayer& player);

    void append(const QVector<RemoteCommand>& commands);
    // Runs what can run now; call again whenever the player's state changes.
    void run();
    // Where replies go (one line each, with its line feed); none once the
    // connection is gone.
    void setWriter(Writer writer) { write = std::move(writer); }

    int queuedCount() const { return queue.size(); }
    // Nothing queued and nothing in flight.
    bool isFinished() const { return queue.isEmpty() && !inFlight; }
    // "exit" was reached: the connection is to be closed.
    bool hasExited() const { return exited; }

    // The answer to "status".
    static QByteArray statusLine(const RemotePlayer::Status& status);

private:
    struct InFlight
    {
        RemoteCommand command;
        int opens = 0;       // the player's open count after the command started
        int failedOpens = 0; // and its count of opens that failed later
    };

    static bool mustWait(const RemoteCommand& command, const RemotePlayer::Status& status);
    void start(const RemoteCommand& command);
    void startClipCommand(const RemoteCommand& command);
    void finish(const InFlight& done, const RemotePlayer::Status& status);
    void answer(const QByteArray& line);
    void acknowledge();
    void fail(const QString& message);
    void reject(const QString& message);

    RemotePlayer& player;
    Writer write;
    QQueue<RemoteCommand> queue;
    std::optional<InFlight> inFlight;
    bool replies = false;
    bool exited = false;
    bool warnedOfJunk = false;
};
