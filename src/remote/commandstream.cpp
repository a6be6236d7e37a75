#include "commandstream.h"

#include <QRegularExpression>

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
        const QByteArray line = QByteArray::fromRawData(buffer.constData() + lineStart, lineEnd - lineStart);
        lineStart = scanned = lineFeed + 1;
        if (looksLikeHttp(line)) {
            currentState = Refused;
            break;
        }
        const RemoteCommand command = RemoteCommand::fromLine(line);
        if (command.isValid() || !command.error.isEmpty())
            commands.append(command);
        if (command.type == RemoteCommand::Exit)
            currentState = Exited;
    }

    if (currentState != Open) {
        buffer.clear();
        lineStart = scanned = 0;
    }
    return currentState;
}

bool CommandStream::looksLikeHttp(const QByteArray& line)
{
    // A method in capitals, a space and a target (an origin-form path, an
    // absolute URL, "*" or a CONNECT authority); or a header name, its colon
    // and a blank, as browsers write them (so a path like C:/clips is none).
    static const QRegularExpression requestLine(
        QStringLiteral("^(GET|POST|PUT|DELETE|HEAD|OPTIONS|PATCH|CONNECT|TRACE|PRI) +[^ ]"));
    static const QRegularExpression headerLine(QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+:([ \\t]|$)"));
    const QString text = QString::fromLatin1(line.left(256)).trimmed();
    return requestLine.match(text).hasMatch() || headerLine.match(text).hasMatch();
}

void CommandStream::discardConsumed()
{
    buffer.remove(0, lineStart);
    scanned -= lineStart;
    lineStart = 0;
}
