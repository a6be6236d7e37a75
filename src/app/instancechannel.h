#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The record layout of the single-instance channel: a fixed-size block of
// shared memory into which later launches append their arguments and which
// the running player drains.
//
// A record is a length, then that many bytes of UTF-8 payload. Payloads of
// 1 to 127 bytes have a one-byte length; longer ones a two-byte length whose
// first byte has its top bit set (high 7 bits, then low 8 bits). A 0 byte ends
// the records. Nothing here reads or writes outside the block, whatever bytes
// it holds.
class InstanceChannel
{
public:
    static constexpr int segmentSize = 5000;
    static const QString separator;
    static const QString noArguments;

    // The payload of one launch: its arguments after the program path, joined
    // with the separator, or "noargs" when there are none.
    static QString payloadFor(const QStringList& arguments);
    // The arguments a payload carries; empty parts are dropped.
    static QStringList argumentsOf(const QString& payload);

    // Appends a record behind those already waiting; when it does not fit
    // there (or the block is damaged), the channel restarts with this record
    // alone, since only the last record is ever delivered. Returns false when
    // the payload is too long for the block.
    static bool append(char* segment, int size, const QByteArray& payload);
    // The payload of the last well-formed record (earlier ones are
    // superseded), then empties the channel. Empty when nothing waits.
    static QString takeLast(char* segment, int size);
    // Marks the channel empty.
    static void clear(char* segment, int size);

private:
    // Reads the record header at pos: its header and payload lengths. False
    // at the terminator or when the header runs past the end.
    static bool readHeader(const char* segment, int size, int pos, int* headerLength, int* payloadLength);
    // The offset of the terminator, or -1 when the records run past the end.
    static int terminatorOffset(const char* segment, int size);
};
