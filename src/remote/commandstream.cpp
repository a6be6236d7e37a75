#include "commandstream.h"

CommandStream::CommandStream(int maxLineLength) : maxLineLength(maxLineLength) {}

CommandStream::State CommandStream::feed(const QByteArray& bytes, QVector<RemoteCommand>& commands)
{
    if (currentState != Open)
        return currentState;
    discardConsumed();
    buffer.append(bytes);

    while (currentState == Open) {
        const int lineFeed = buffer.indexOf('\n', scanned);
        const int lineEnd = lineFeed < 0 ? buffer.size() : lineFeed;
        if (lineEnd - lineStart > maxLineLength) {
            currentState = Overflowed;
            break;
        }
        if (lineFeed < 0) {
            scanned = buffer.size();
            break;
        }
        const RemoteCommand command = RemoteCommand::fromLine(
            QByteArray::fromRawData(buffer.constData() + lineStart, lineEnd - lineStart));
        lineStart = scanned = lineFeed + 1;
        if (command.type == RemoteCommand::Exit)
            currentState = Exited;
        else if (command.isValid())
            commands.append(command);
    }

    if (currentState != Open) {
        buffer.clear();
        lineStart = scanned = 0;
    }
    return currentState;
}

void CommandStream::discardConsumed()
{
    buffer.remove(0, lineStart);
    scanned -= lineStart;
    lineStart = 0;
}
