// Fuzzes the remote-control protocol: line buffering, word splitting and
// command dispatch, on arbitrary bytes cut into arbitrary packets.
//
// The first input byte picks the packet size (low 6 bits, 1 to 64 bytes) and
// whether the line limit is tiny (high bit), so that lines straddling packets
// and over-long lines are both reached with small inputs. Besides the
// sanitizers, the target checks that the commands and the final state do not
// depend on how the bytes were cut, that every command is well-formed (a line
// that is no command says why), and that a word quoted for a reply splits
// back into itself.
#include "commandstream.h"
#include "remotecommand.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "remote command invariant broken: %s\n", what);
        std::abort();
    }
}

bool sameCommand(const RemoteCommand& a, const RemoteCommand& b)
{
    return a.type == b.type && a.path == b.path && a.value == b.value && a.rangeEnd == b.rangeEnd &&
           a.speed == b.speed && a.on == b.on && a.error == b.error;
}

void checkWellFormed(const RemoteCommand& command)
{
    const bool bookmarks = command.path.endsWith(QLatin1String(".bmk"));
    switch (command.type) {
    case RemoteCommand::File:
        check(!command.path.isEmpty() && !bookmarks, "a media file command has a non-bookmarks path");
        break;
    case RemoteCommand::BookmarksFile:
        check(bookmarks, "a bookmarks file command has a .bmk path");
        break;
    case RemoteCommand::SaveBookmarks:
        check(!command.path.isEmpty(), "save-bookmarks has a path");
        break;
    case RemoteCommand::Speed:
        check(command.speed >= RemoteCommand::minimumSpeed && command.speed <= RemoteCommand::maximumSpeed,
              "a speed is within its limits");
        break;
    case RemoteCommand::None:
        check(!command.error.isEmpty(), "a line that is no command says why");
        break;
    default:
        check(command.path.isEmpty(), "only file commands carry a path");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int packetSize = 1 + (data[0] & 0x3f);
    const int maxLineLength = (data[0] & 0x80) ? 32 : CommandStream::defaultMaxLineLength;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), int(size - 1));

    CommandStream whole(maxLineLength);
    QVector<RemoteCommand> wholeCommands;
    const CommandStream::State wholeState = whole.feed(input, wholeCommands);

    CommandStream pieces(maxLineLength);
    QVector<RemoteCommand> pieceCommands;
    CommandStream::State pieceState = CommandStream::Open;
    for (int offset = 0; offset < input.size(); offset += packetSize) {
        const int length = qMin(packetSize, input.size() - offset);
        pieceState = pieces.feed(QByteArray::fromRawData(input.constData() + offset, length), pieceCommands);
        check(pieces.pendingBytes() <= maxLineLength + packetSize, "the stream holds a bounded line");
    }

    check(pieceState == wholeState, "the state does not depend on packet sizes");
    check(pieceCommands.size() == wholeCommands.size(), "the commands do not depend on packet sizes");
    for (int i = 0; i < wholeCommands.size(); ++i) {
        check(sameCommand(pieceCommands[i], wholeCommands[i]), "the commands do not depend on packet sizes");
        checkWellFormed(wholeCommands[i]);
        const bool exit = wholeCommands[i].type == RemoteCommand::Exit;
        check(exit == (wholeState == CommandStream::Exited && i == wholeCommands.size() - 1),
              "exit ends the stream and is the last command");
    }

    // The splitter on its own, on text that did not come through the stream.
    const QString text = QString::fromUtf8(input).trimmed();
    const QStringList words = RemoteCommand::splitWords(text);
    for (const QString& word : words)
        check(!word.isEmpty(), "no word is empty");
    const RemoteCommand direct = RemoteCommand::fromWords(words);
    if (!words.isEmpty())
        checkWellFormed(direct);
    // Line breaks are written as \n and \r, which read back as letters.
    for (const QString& word : words) {
        if (!word.contains(QLatin1Char('\n')) && !word.contains(QLatin1Char('\r')))
            check(RemoteCommand::splitWords(RemoteCommand::quoted(word)) == QStringList{word},
                  "a quoted word splits back into itself");
    }
    return 0;
}
