#include "remotesession.h"

namespace {

// Up to three decimals, without trailing zeros: 25, 23.976, 0.5.
QString decimal(double value)
{
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

const char* stateName(RemotePlayer::State state)
{
    switch (state) {
    case RemotePlayer::State::NoClip:
        break;
    case RemotePlayer::State::Loading:
        return "loading";
    case RemotePlayer::State::Paused:
        return "paused";
    case RemotePlayer::State::Playing:
        return "playing";
    }
    return "none";
}

} // namespace

RemoteSession::RemoteSession(RemotePlayer& player) : player(player) {}

void RemoteSession::append(const QVector<RemoteCommand>& commands)
{
    for (const RemoteCommand& command : commands)
        queue.enqueue(command);
}

void RemoteSession::run()
{
    for (;;) {
        if (inFlight) {
            const RemotePlayer::Status status = player.remoteStatus();
            if (status.isBusy())
                return;
            const InFlight done = *inFlight;
            inFlight.reset();
            finish(done, status);
        }
        if (queue.isEmpty() || exited)
            return;
        if (mustWait(queue.head(), player.remoteStatus()))
            return;
        start(queue.dequeue());
    }
}

bool RemoteSession::mustWait(const RemoteCommand& command, const RemotePlayer::Status& status)
{
    switch (command.type) {
    case RemoteCommand::Frame:
    case RemoteCommand::FrameRelative:
    case RemoteCommand::RangeStart:
    case RemoteCommand::RangeEnd:
    case RemoteCommand::Play:
    case RemoteCommand::Pause:
    case RemoteCommand::Speed:
    case RemoteCommand::Bookmark:
    case RemoteCommand::SaveBookmarks:
        return status.isLoading();
    case RemoteCommand::FrameQuery:
        return status.isBusy();
    default:
        return false;
    }
}

void RemoteSession::start(const RemoteCommand& command)
{
    switch (command.type) {
    case RemoteCommand::None:
        reject(command.error);
        return;
    case RemoteCommand::Exit:
        exited = true;
        return;
    case RemoteCommand::Reply:
        replies = command.on;
        acknowledge();
        return;
    case RemoteCommand::Status:
        answer(statusLine(player.remoteStatus()));
        return;
    case RemoteCommand::Loop:
        player.setLoop(command.on);
        acknowledge();
        return;
    default:
        startClipCommand(command);
        return;
    }
}

void RemoteSession::startClipCommand(const RemoteCommand& command)
{
    if (command.type == RemoteCommand::File || command.type == RemoteCommand::BookmarksFile) {
        if (!player.openExternal(command.path, command.value, command.rangeEnd)) {
            fail(player.lastErrorMessage());
            return;
        }
        if (replies) {
            const RemotePlayer::Status status = player.remoteStatus();
            inFlight = InFlight{command, status.opens, status.failedOpens};
        }
        return;
    }

    const RemotePlayer::Status status = player.remoteStatus();
    if (!status.hasClip()) {
        // A query is answered whether or not replies are on.
        if (replies || command.type == RemoteCommand::FrameQuery)
            answer("error no clip loaded");
        return;
    }
    switch (command.type) {
    case RemoteCommand::FrameQuery:
        answer("frame " + QByteArray::number(status.frame));
        return;
    case RemoteCommand::Frame:
        player.goToFrame(command.value);
        break;
    case RemoteCommand::FrameRelative:
        player.setCurrentFrameRelative(command.value);
        break;
    case RemoteCommand::RangeStart:
        player.setRangeStart(command.value);
        break;
    case RemoteCommand::RangeEnd:
        player.setRangeEnd(command.value);
        break;
    case RemoteCommand::Play:
        player.play();
        break;
    case RemoteCommand::Pause:
        player.pause();
        break;
    case RemoteCommand::Speed:
        player.setSpeedMultiplier(command.speed);
        break;
    case RemoteCommand::Bookmark:
        if (command.value < 1 || command.value > status.frameCount) {
            fail(QStringLiteral("frame %1 is not in the clip (1 to %2)")
                     .arg(command.value)
                     .arg(status.frameCount));
            return;
        }
        player.addFrameBookmark(command.value);
        break;
    case RemoteCommand::SaveBookmarks:
        if (!player.saveBookmarksTo(command.path)) {
            fail(player.lastErrorMessage());
            return;
        }
        break;
    default:
        return;
    }
    // A seek may still be on its way: the reply waits until it has landed.
    if (replies)
        inFlight = InFlight{command, status.opens, status.failedOpens};
}

void RemoteSession::finish(const InFlight& done, const RemotePlayer::Status& status)
{
    const bool opened =
        done.command.type == RemoteCommand::File || done.command.type == RemoteCommand::BookmarksFile;
    // An open that failed late leaves the clip before it in place.
    const bool failedLate = status.failedOpens != done.failedOpens;
    if (!opened || (status.hasClip() && status.opens == done.opens && !failedLate)) {
        acknowledge();
    } else if (status.opens != done.opens) {
        fail(QStringLiteral("another file was opened before %1 was ready").arg(done.command.path));
    } else {
        const QString reason = player.lastErrorMessage();
        fail(reason.isEmpty() ? QStringLiteral("cannot open %1").arg(done.command.path) : reason);
    }
}

void RemoteSession::answer(const QByteArray& line)
{
    if (write)
        write(line + '\n');
}

void RemoteSession::acknowledge()
{
    if (replies)
        answer("ok");
}

void RemoteSession::fail(const QString& message)
{
    if (replies)
        answer("error " + message.toUtf8());
}

void RemoteSession::reject(const QString& message)
{
    if (replies) {
        fail(message);
    } else if (!warnedOfJunk) {
        warnedOfJunk = true;
        player.reportWarning(
            QStringLiteral("remote control: ignored a line that is no command (%1)").arg(message));
    }
}

QByteArray RemoteSession::statusLine(const RemotePlayer::Status& status)
{
    // One pass over the placeholders: a file name holding "%2" stays as it is.
    const QString line =
        QStringLiteral("status state=%1 frame=%2 frames=%3 fps=%4 rstart=%5 rend=%6 speed=%7 loop=%8 file=%9")
            .arg(QLatin1String(stateName(status.state)), QString::number(status.frame),
                 QString::number(status.frameCount), decimal(status.frameRate),
                 QString::number(status.rangeStart), QString::number(status.rangeEnd), decimal(status.speed),
                 QLatin1String(status.loop ? "on" : "off"), RemoteCommand::quoted(status.file));
    return line.toUtf8();
}
