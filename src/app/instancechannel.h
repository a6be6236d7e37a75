#pragma once

#include <QByteArray>
#include <QStringList>

// The messages of the single-instance channel, a local socket on which a
// later launch hands its arguments to the running player.
//
// A launch sends one message: the header line
//   orvel-handover DEADLINE LENGTH\n
// then LENGTH bytes holding each argument in UTF-8 followed by a NUL byte.
// DEADLINE is the time, in milliseconds of the system's monotonic clock, after
// which the launch no longer waits: a player that reads the message later
// must not act on it. The player answers "ok\n" when it has the message.
// Numbers are decimal without leading zeros. Nothing here reads outside the
// bytes it is given, whatever they hold.
class InstanceChannel
{
public:
    struct Message
    {
        QStringList arguments;
        qint64 deadline = 0;
    };

    enum class Result
    {
        Incomplete, // more bytes are needed
        Complete,
        Invalid, // no message: the connection is to be closed
    };

    static constexpr int maxHeaderLength = 64;
    static constexpr int maxPayloadLength = 64 * 1024;
    static const QByteArray acknowledgement;

    // Now, on the clock of the deadlines: the monotonic clock, which on Linux
    // counts from the boot and so reads the same in every process.
    static qint64 clockNow();

    // Empty when the arguments do not fit maxPayloadLength.
    static QByteArray encode(const Message& message);
    // Reads the message at the start of `bytes`; on Complete, `length` is the
    // number of bytes it took.
    static Result decode(const QByteArray& bytes, Message* message, int* length);
};
