#pragma once

#include "remotecommand.h"

#include <QByteArray>
#include <QVector>

// Turns the bytes of one remote-control connection into commands, line by
// line, in the order they were received. A line counts only once its line
// feed has arrived. Memory stays bounded: a line longer than the limit ends
// the stream, whether or not its line feed came. A line that looks like
// HTTP ends it too: a web page can make a browser send a request to a local
// port, and nothing such a request carries may act on the player. After
// "exit", an over-long line or HTTP the stream takes no more input.
class CommandStream
{
public:
    enum State
    {
        Open,
        Exited,     // an "exit" command was read; everything after it is dropped
        Overflowed, // a line exceeded the limit; the connection should be closed
        Refused,    // a line looked like HTTP; the connection should be closed
    };

    // Longest line accepted, in bytes, without its line feed.
    static constexpr int defaultMaxLineLength = 64 * 1024;

    explicit CommandStream(int maxLineLength = defaultMaxLineLength);

    // Consumes received bytes and appends the command of every complete line
    // to `commands`, lines that are no command included (they carry their
    // error); lines without words add nothing. Stops after "exit" (appended
    // last) or at an over-long or HTTP line. Returns the state afterwards.
    State feed(const QByteArray& bytes, QVector<RemoteCommand>& commands);

    State state() const { return currentState; }
    // Bytes held of the line still waiting for its line feed.
    int pendingBytes() const { return buffer.size() - lineStart; }

    // An HTTP request line ("GET / HTTP/1.1", "POST /x") or header line
    // ("Host: 127.0.0.1"). No command of the protocol looks like either.
    static bool looksLikeHttp(const QByteArray& line);

private:
    void discardConsumed();

    int maxLineLength;
    State currentState = Open;
    QByteArray buffer;
    // Start of the first unconsumed line, and how far it has been searched
    // for a line feed (so a long line arriving in pieces is scanned once).
    int lineStart = 0;
    int scanned = 0;
};
