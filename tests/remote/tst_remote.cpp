// The remote-control protocol: word splitting and argument conversion, the
// line stream, and the TCP server with real loopback clients.
#include "appsettings.h"
#include "commandstream.h"
#include "patience.h"
#include "remotecommand.h"
#include "tcpserver.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

namespace {

// The player as the server drives it: every call is logged as one readable
// line, with "@busy" when it came while a clip loaded or a seek was on its
// way. Opens load at once unless told otherwise.
class FakePlayer : public RemotePlayer
{
public:
    FakePlayer()
    {
        status.state = State::Paused;
        status.frame = 1;
        status.frameCount = 300;
        status.frameRate = 25.0;
        status.rangeStart = 1;
        status.rangeEnd = 300;
    }

    Status remoteStatus() const override { return status; }
    bool openExternal(const QString& path, int start, int end) override
    {
        log(QStringLiteral("%1|%2|%3|%4")
                .arg(QLatin1String(path.endsWith(QLatin1String(".bmk")) ? "bookmarks" : "file"), path)
                .arg(start)
                .arg(end));
        if (path.contains(QLatin1String("missing"))) {
            error = QStringLiteral("File not found: %1").arg(path);
            return false;
        }
        ++status.opens;
        status.file = path;
        status.state = loadsAtOnce ? State::Paused : State::Loading;
        return true;
    }
    QString lastErrorMessage() const override { return error; }
    void goToFrame(int frame) override
    {
        log(QStringLiteral("frame|%1").arg(frame));
        status.frame = frame;
    }
    void setCurrentFrameRelative(int frame) override { log(QStringLiteral("frameRelative|%1").arg(frame)); }
    void setRangeStart(int frame) override { log(QStringLiteral("rstart|%1").arg(frame)); }
    void setRangeEnd(int frame) override { log(QStringLiteral("rend|%1").arg(frame)); }
    void play() override { log(QStringLiteral("play")); }
    void pause() override { log(QStringLiteral("pause")); }
    void setSpeedMultiplier(double speed) override { log(QStringLiteral("speed|%1").arg(speed)); }
    void setLoop(bool on) override { log(QStringLiteral("loop|%1").arg(on)); }
    void addFrameBookmark(int frame) override { log(QStringLiteral("bookmark|%1").arg(frame)); }
    bool saveBookmarksTo(const QString& path) override
    {
        log(QStringLiteral("save|%1").arg(path));
        error = QStringLiteral("Failed to save bookmarks file: %1").arg(path);
        return !path.contains(QLatin1String("unwritable"));
    }
    void reportWarning(const QString& message) override { warnings << message; }

    void log(const QString& line) { lines << line + QLatin1String(status.isBusy() ? "@busy" : ""); }

    Status status;
    bool loadsAtOnce = true;
    QString error;
    QStringList lines;
    QStringList warnings;
};

// The same readable line for a parsed command, so both levels share tables.
QString describe(const RemoteCommand& c)
{
    switch (c.type) {
    case RemoteCommand::File:
        return QStringLiteral("file|%1|%2|%3").arg(c.path).arg(c.value).arg(c.rangeEnd);
    case RemoteCommand::BookmarksFile:
        return QStringLiteral("bookmarks|%1|%2|%3").arg(c.path).arg(c.value).arg(c.rangeEnd);
    case RemoteCommand::Frame:
        return QStringLiteral("frame|%1").arg(c.value);
    case RemoteCommand::FrameRelative:
        return QStringLiteral("frameRelative|%1").arg(c.value);
    case RemoteCommand::RangeStart:
        return QStringLiteral("rstart|%1").arg(c.value);
    case RemoteCommand::RangeEnd:
        return QStringLiteral("rend|%1").arg(c.value);
    case RemoteCommand::Play:
        return QStringLiteral("play");
    case RemoteCommand::Pause:
        return QStringLiteral("pause");
    case RemoteCommand::Speed:
        return QStringLiteral("speed|%1").arg(c.speed);
    case RemoteCommand::Loop:
        return QStringLiteral("loop|%1").arg(c.on);
    case RemoteCommand::Bookmark:
        return QStringLiteral("bookmark|%1").arg(c.value);
    case RemoteCommand::SaveBookmarks:
        return QStringLiteral("save|%1").arg(c.path);
    default:
        break;
    }
    return QString();
}

// A command after which nothing else is sent, so its arrival proves that
// everything sent before it has been handled.
const QByteArray sentinelLine = "frame 424242\n";
const QString sentinel = QStringLiteral("frame|424242");

} // namespace

class TestRemote : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakePlayer> player;
    std::unique_ptr<TcpServer> server;

    std::unique_ptr<QTcpSocket> connectClient()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, server->serverPort());
        if (!client->waitForConnected(patienceMs))
            return nullptr;
        return client;
    }
    // Sends the bytes and then the sentinel, and returns what the server
    // asked of the player for the bytes.
    QStringList roundTrip(QTcpSocket& client, const QByteArray& bytes)
    {
        player->lines.clear();
        client.write(bytes);
        client.write(sentinelLine);
        if (!QTest::qWaitFor([this] { return player->lines.contains(sentinel); }, patienceMs))
            return {QStringLiteral("<sentinel never arrived>")};
        QStringList emitted = player->lines;
        emitted.removeLast();
        return emitted;
    }
    // Sends the lines and reads the given number of reply lines.
    static QStringList replies(QTcpSocket& client, const QByteArray& lines, int count)
    {
        client.write(lines);
        QStringList got;
        QTest::qWaitFor(
            [&] {
                while (client.canReadLine())
                    got << QString::fromUtf8(client.readLine()).chopped(1);
                return got.size() >= count;
            },
            patienceMs);
        return got;
    }
    bool waitForConnectionCount(int count)
    {
        return QTest::qWaitFor([&] { return server->connectionCount() == count; }, patienceMs);
    }

private slots:
    void init()
    {
        appSettings().tcpPort = 0; // a free port, read back with serverPort()
        player = std::make_unique<FakePlayer>();
        server = std::make_unique<TcpServer>(*player);
        QVERIFY(server->listen());
        QVERIFY(server->serverPort() != 0);
    }
    void cleanup()
    {
        server.reset();
        player.reset();
    }

    // --- Word splitting ---

    void splitsWords_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("quoted path") << "file \"C:/clips/shot 10.mov\" 101 240"
                                     << QStringList{"file", "C:/clips/shot 10.mov", "101", "240"};
        QTest::newRow("plain") << "frame 57" << QStringList{"frame", "57"};
        QTest::newRow("leading double quote") << "\"frame\" 57" << QStringList{"frame", "57"};
        QTest::newRow("leading single quote") << "'file a' b" << QStringList{"file", "a", " b"};
        QTest::newRow("empty quotes shift") << "file \"\" 10" << QStringList{"file", " 10"};
        QTest::newRow("single quoted path")
            << "file '/my clips/a.mov' 3" << QStringList{"file", "/my clips/a.mov", "3"};
        QTest::newRow("double spaces") << "frame   57" << QStringList{"frame", "57"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("only quotes") << "\"'\"'" << QStringList{};
        QTest::newRow("unterminated quote") << "file \"/a b.mov" << QStringList{"file", "/a b.mov"};
        QTest::newRow("escaped single quote")
            << "file \"director\\'s cut.mov\"" << QStringList{"file", "director's cut.mov"};
        QTest::newRow("escaped double quotes")
            << "file \"a \\\"b\\\" c.mov\" 10" << QStringList{"file", "a \"b\" c.mov", "10"};
        QTest::newRow("escaped backslash")
            << "file 'C:\\\\clips\\\\a.mov'" << QStringList{"file", "C:\\clips\\a.mov"};
        QTest::newRow("backslash outside quotes")
            << "file C:\\clips\\a.mov" << QStringList{"file", "C:\\clips\\a.mov"};
        QTest::newRow("trailing backslash in quotes") << "file \"a\\" << QStringList{"file", "a\\"};
    }
    void splitsWords()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        QCOMPARE(RemoteCommand::splitWords(line), words);
    }

    // --- Commands and argument conversion, over a real connection ---

    void executesCommands_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("emitted");
        QTest::newRow("frame") << QByteArray("frame 57") << QStringList{"frame|57"};
        QTest::newRow("frame truncates") << QByteArray("frame 12.9") << QStringList{"frame|12"};
        QTest::newRow("frame negative truncates") << QByteArray("frame -2.5") << QStringList{"frame|-2"};
        QTest::newRow("frame not a number") << QByteArray("frame abc") << QStringList{};
        QTest::newRow("frame missing") << QByteArray("frame") << QStringList{};
        QTest::newRow("frame beyond int") << QByteArray("frame 1e30") << QStringList{};
        QTest::newRow("frame nan") << QByteArray("frame nan") << QStringList{};
        QTest::newRow("frame extra words") << QByteArray("frame 5 6 7") << QStringList{"frame|5"};
        QTest::newRow("quoted command") << QByteArray("\"frame\" 57") << QStringList{"frame|57"};
        QTest::newRow("frameRelative") << QByteArray("frameRelative -3.7") << QStringList{"frameRelative|-3"};
        QTest::newRow("rstart") << QByteArray("rstart 12") << QStringList{"rstart|12"};
        QTest::newRow("rstart fractional") << QByteArray("rstart 12.9") << QStringList{};
        QTest::newRow("rstart missing") << QByteArray("rstart") << QStringList{};
        QTest::newRow("rend") << QByteArray("rend -4") << QStringList{"rend|-4"};
        QTest::newRow("rend text") << QByteArray("rend x") << QStringList{};
        QTest::newRow("file only path") << QByteArray("file C:/a.mov") << QStringList{"file|C:/a.mov|-1|-1"};
        QTest::newRow("file with start")
            << QByteArray("file C:/a.mov 10") << QStringList{"file|C:/a.mov|10|-1"};
        QTest::newRow("file with range")
            << QByteArray("file C:/a.mov 10.7 20") << QStringList{"file|C:/a.mov|10|20"};
        QTest::newRow("file unreadable start")
            << QByteArray("file C:/a.mov x 20") << QStringList{"file|C:/a.mov|-1|20"};
        QTest::newRow("file fifth word ignored")
            << QByteArray("file C:/a.mov 1 2 3") << QStringList{"file|C:/a.mov|1|2"};
        QTest::newRow("file quoted path") << QByteArray("file \"C:/clips/shot 10.mov\" 101 240")
                                          << QStringList{"file|C:/clips/shot 10.mov|101|240"};
        QTest::newRow("bookmarks") << QByteArray("file \"C:/my clips/a.bmk\" 1 50")
                                   << QStringList{"bookmarks|C:/my clips/a.bmk|1|50"};
        QTest::newRow("bmk is case-sensitive")
            << QByteArray("file C:/a.BMK") << QStringList{"file|C:/a.BMK|-1|-1"};
        QTest::newRow("file without path") << QByteArray("file") << QStringList{};
        QTest::newRow("single quote alternation") << QByteArray("'file a' b") << QStringList{"file|a|-1|-1"};
        QTest::newRow("empty quotes shift") << QByteArray("file \"\" 10") << QStringList{"file| 10|-1|-1"};
        QTest::newRow("carriage return") << QByteArray("frame 8\r") << QStringList{"frame|8"};
        QTest::newRow("surrounding blanks") << QByteArray(" \t frame 8 \t") << QStringList{"frame|8"};
        QTest::newRow("unknown command") << QByteArray("jump 5") << QStringList{};
        QTest::newRow("command case") << QByteArray("Frame 5") << QStringList{};
        QTest::newRow("empty line") << QByteArray("") << QStringList{};
        QTest::newRow("only spaces") << QByteArray("     ") << QStringList{};
        QTest::newRow("only quotes") << QByteArray("\"\" '' \"") << QStringList{};
        QTest::newRow("play") << QByteArray("play") << QStringList{"play"};
        QTest::newRow("pause") << QByteArray("pause") << QStringList{"pause"};
        QTest::newRow("speed") << QByteArray("speed 0.5") << QStringList{"speed|0.5"};
        QTest::newRow("speed too fast") << QByteArray("speed 4.5") << QStringList{};
        QTest::newRow("speed not a number") << QByteArray("speed x") << QStringList{};
        QTest::newRow("loop on") << QByteArray("loop on") << QStringList{"loop|1"};
        QTest::newRow("loop off") << QByteArray("loop off") << QStringList{"loop|0"};
        QTest::newRow("loop unreadable") << QByteArray("loop yes") << QStringList{};
        QTest::newRow("bookmark") << QByteArray("bookmark 12") << QStringList{"bookmark|12"};
        QTest::newRow("bookmark fractional") << QByteArray("bookmark 1.5") << QStringList{};
        QTest::newRow("save-bookmarks")
            << QByteArray("save-bookmarks \"/my notes/a.bmk\"") << QStringList{"save|/my notes/a.bmk"};
        QTest::newRow("escaped quote in path")
            << QByteArray("file \"/clips/director\\'s \\\"cut\\\".mov\" 10")
            << QStringList{"file|/clips/director's \"cut\".mov|10|-1"};
        QTest::newRow("utf-8 path") << QByteArray("file /clips/\xc3\xa9t\xc3\xa9.mov")
                                    << QStringList{
                                           QString::fromUtf8("file|/clips/\xc3\xa9t\xc3\xa9.mov|-1|-1")};
    }
    void executesCommands()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, emitted);
        const auto client = connectClient();
        QVERIFY(client);
        QCOMPARE(roundTrip(*client, line + '\n'), emitted);
        // The pure parser agrees with what went over the wire.
        const RemoteCommand parsed = RemoteCommand::fromLine(line);
        QCOMPARE(parsed.isValid() ? QStringList{describe(parsed)} : QStringList{}, emitted);
    }

    // --- Replies, queries and waiting for the clip ---

    void repliesWhenAskedAndAnswersQueries()
    {
        const auto client = connectClient();
        QVERIFY(client);
        player->status.rangeStart = 10;
        player->status.rangeEnd = 20;
        player->status.frameRate = 24000.0 / 1001.0;
        player->status.speed = 0.5;
        player->status.loop = true;
        player->status.file = QStringLiteral("/clips/director's \"cut\".mov");
        const QString status = QStringLiteral("status state=paused frame=5 frames=300 fps=23.976 rstart=10 "
                                              "rend=20 speed=0.5 loop=on file=\"/clips/director\\'s "
                                              "\\\"cut\\\".mov\"");
        // Without replies only the queries answer.
        QCOMPARE(replies(*client, "frame 5\njump\nframe?\n", 1), QStringList{"frame 5"});
        QCOMPARE(replies(*client, "status\n", 1), QStringList{status});
        QCOMPARE(player->warnings.size(), 1); // the first line that was no command
        QCOMPARE(replies(*client,
                         "reply on\nframe 7\nframe x\njump\n\nframe?\nbookmark 400\n"
                         "save-bookmarks /unwritable/a.bmk\nloop off\nreply off\nframe 8\nframe?\n",
                         9),
                 (QStringList{"ok", "ok", "error usage: frame N", "error unknown command \"jump\"", "frame 7",
                              "error frame 400 is not in the clip (1 to 300)",
                              "error Failed to save bookmarks file: /unwritable/a.bmk", "ok", "frame 8"}));
    }

    void commandsWaitForALoadingClip_data()
    {
        QTest::addColumn<bool>("withReplies");
        QTest::newRow("one-way") << false;
        QTest::newRow("replies") << true;
    }
    void commandsWaitForALoadingClip()
    {
        QFETCH(bool, withReplies);
        player->loadsAtOnce = false;
        auto client = connectClient();
        QVERIFY(client);
        if (withReplies)
            QCOMPARE(replies(*client, "reply on\n", 1), QStringList{"ok"});
        client->write("file /clips/x.mov 5\n");
        QTRY_COMPARE_WITH_TIMEOUT(player->lines, QStringList{"file|/clips/x.mov|5|-1"}, patienceMs);
        // From another client too: the clip commands wait, a status answers at once.
        const auto other = connectClient();
        QVERIFY(other);
        other->write("frame 77\nrstart 3\n");
        QTRY_COMPARE_WITH_TIMEOUT(server->waitingCommands(), 2, patienceMs);
        const QStringList loading = replies(*connectClient(), "status\n", 1);
        QVERIFY2(loading.value(0).startsWith("status state=loading"), qPrintable(loading.value(0)));
        // The client that hangs up at once still has its commands run.
        client->write("frame 78\nframe?\n");
        if (!withReplies)
            client->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(server->waitingCommands(), 4, patienceMs);

        player->status.state = RemotePlayer::State::Paused;
        server->playerChanged();
        QTRY_COMPARE_WITH_TIMEOUT(player->lines.size(), 4, patienceMs);
        QCOMPARE(player->lines, (QStringList{"file|/clips/x.mov|5|-1", "frame|78", "frame|77", "rstart|3"}));
        if (withReplies)
            QCOMPARE(replies(*client, "", 3), (QStringList{"ok", "ok", "frame 78"}));
    }

    void aFileThatCannotBeOpenedIsAnError()
    {
        const auto client = connectClient();
        QVERIFY(client);
        QCOMPARE(replies(*client, "reply on\nfile /missing.mov\n", 2),
                 (QStringList{"ok", "error File not found: /missing.mov"}));
        // A load that fails after it started.
        player->loadsAtOnce = false;
        client->write("file /clips/broken.mov\n");
        QTRY_COMPARE_WITH_TIMEOUT(player->lines.size(), 2, patienceMs);
        player->status.state = RemotePlayer::State::NoClip;
        player->error = QStringLiteral("Failed to open media. Invalid file.");
        server->playerChanged();
        QCOMPARE(replies(*client, "frame 3\n", 2),
                 (QStringList{"error Failed to open media. Invalid file.", "error no clip loaded"}));
        // A bookmarks file found unreadable once it was read: the clip before
        // it stays, and the open is still an error.
        client->write("file /clips/notes.bmk\n");
        QTRY_COMPARE_WITH_TIMEOUT(player->lines.size(), 3, patienceMs);
        player->status.state = RemotePlayer::State::Paused;
        ++player->status.failedOpens;
        player->error = QStringLiteral("Bookmarks file cannot be read: /clips/notes.bmk");
        server->playerChanged();
        QCOMPARE(replies(*client, "frame 4\n", 2),
                 (QStringList{"error Bookmarks file cannot be read: /clips/notes.bmk", "ok"}));
    }

    void refusesHttpWithAWarning_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QStringList>("emitted");
        QTest::newRow("POST") << QByteArray("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 10\r\n\r\n"
                                            "frame 111\n")
                              << QStringList{};
        QTest::newRow("GET") << QByteArray("GET /file%20/x.mov HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                             << QStringList{};
        QTest::newRow("header first") << QByteArray("Host: 127.0.0.1\r\nframe 111\n") << QStringList{};
        QTest::newRow("after a command")
            << QByteArray("frame 5\nPUT /x HTTP/1.1\nframe 6\n") << QStringList{"frame|5"};
    }
    void refusesHttpWithAWarning()
    {
        QFETCH(QByteArray, request);
        QFETCH(QStringList, emitted);
        const auto client = connectClient();
        QVERIFY(client);
        client->write(request);
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, patienceMs);
        QCOMPARE(player->lines, emitted);
        QCOMPARE(player->warnings.size(), 1);
        QVERIFY(player->warnings.first().contains(QLatin1String("HTTP")));
        // Paths and Windows drives are no header lines.
        const auto good = connectClient();
        QVERIFY(good);
        QCOMPARE(roundTrip(*good, "C:/clips/a.mov\nfile C:/a.mov\n"), QStringList{"file|C:/a.mov|-1|-1"});
    }

    // --- Line handling ---

    void runsSeveralCommandsOfOnePacketInOrder()
    {
        const auto client = connectClient();
        QVERIFY(client);
        QCOMPARE(roundTrip(*client, "rstart 10\nrend 20\nframe 15\nframeRelative 2\n"),
                 (QStringList{"rstart|10", "rend|20", "frame|15", "frameRelative|2"}));
    }

    void waitsForTheLineFeedOfASplitCommand()
    {
        const auto client = connectClient();
        QVERIFY(client);
        client->write("fra");
        QVERIFY(client->waitForBytesWritten(patienceMs));
        QTest::qWait(200);
        QVERIFY(player->lines.isEmpty());
        client->write("me 3");
        QVERIFY(client->waitForBytesWritten(patienceMs));
        QTest::qWait(200);
        QVERIFY(player->lines.isEmpty());
        QCOMPARE(roundTrip(*client, "0\n"), QStringList{"frame|30"});
    }

    void stopsAtExit()
    {
        auto client = connectClient();
        QVERIFY(client);
        client->write("frame 1\nexit\nframe 2\nrstart 3\n");
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, patienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(server->connectionCount(), 0, patienceMs);
        QTest::qWait(100);
        QCOMPARE(player->lines, QStringList{"frame|1"});

        // The server still takes new clients.
        client = connectClient();
        QVERIFY(client);
        QCOMPARE(roundTrip(*client, "frame 2\n"), QStringList{"frame|2"});
    }

    void deliversTenThousandCommandsInOrder()
    {
        const auto client = connectClient();
        QVERIFY(client);
        QByteArray burst;
        QStringList expected;
        for (int i = 1; i <= 10000; ++i) {
            burst += "frame " + QByteArray::number(i) + '\n';
            expected << QStringLiteral("frame|%1").arg(i);
        }
        QCOMPARE(roundTrip(*client, burst), expected);
    }

    void executesTheLastCommandOfAClientThatClosesAtOnce()
    {
        auto client = connectClient();
        QVERIFY(client);
        QVERIFY(waitForConnectionCount(1));
        client->write("frame 3\nframe 4");
        client->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(server->connectionCount(), 0, patienceMs);
        // The unterminated "frame 4" never counted as a command.
        QCOMPARE(player->lines, QStringList{"frame|3"});
    }

    void ignoresJunkAndStaysUsable()
    {
        const auto client = connectClient();
        QVERIFY(client);
        QCOMPARE(roundTrip(*client, QByteArray("frame 7\xff\n", 9)), QStringList{});
        QCOMPARE(roundTrip(*client, QByteArray("frame\0 8\n", 9)), QStringList{});
        QCOMPARE(roundTrip(*client, QByteArray("frame 9\0\n", 9)), QStringList{});
        QCOMPARE(roundTrip(*client, "file /a\xc3.mov\n"), QStringList{});
        QByteArray junk;
        quint32 seed = 12345;
        for (int i = 0; i < 200000; ++i) {
            seed = seed * 1664525u + 1013904223u;
            char byte = char(seed >> 24);
            junk += byte == '\n' ? '\0' : byte;
            if (i % 1000 == 999)
                junk += '\n';
        }
        junk += '\n';
        QCOMPARE(roundTrip(*client, junk), QStringList{});
        QCOMPARE(roundTrip(*client, "frame 10\n"), QStringList{"frame|10"});
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
    }

    // --- Over-long lines ---

    void acceptsALineAtTheLimit()
    {
        const auto client = connectClient();
        QVERIFY(client);
        const QByteArray path = "/" + QByteArray(CommandStream::defaultMaxLineLength - 10, 'p') + ".mov";
        const QByteArray line = "file " + path;
        QCOMPARE(line.size(), CommandStream::defaultMaxLineLength);
        QCOMPARE(roundTrip(*client, line + '\n'),
                 QStringList{"file|" + QString::fromLatin1(path) + "|-1|-1"});
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
    }

    void closesOnlyTheConnectionWithAnOverlongLine()
    {
        const auto good = connectClient();
        QVERIFY(good);
        const auto flooding = connectClient();
        QVERIFY(flooding);
        QVERIFY(waitForConnectionCount(2));

        // The commands before the long line still run; nothing after it does.
        flooding->write("frame 1\n");
        flooding->write(QByteArray(CommandStream::defaultMaxLineLength + 1, 'x'));
        flooding->write("\nframe 2\n");
        QTRY_COMPARE_WITH_TIMEOUT(flooding->state(), QAbstractSocket::UnconnectedState, patienceMs);
        QVERIFY(waitForConnectionCount(1));
        QCOMPARE(player->lines, QStringList{"frame|1"});

        QCOMPARE(roundTrip(*good, "frame 5\n"), QStringList{"frame|5"});
    }

    void closesAClientThatNeverSendsALineFeed()
    {
        const auto flooding = connectClient();
        QVERIFY(flooding);
        const QByteArray block(16 * 1024, 'y');
        for (int i = 0; i < 64 && flooding->state() == QAbstractSocket::ConnectedState; ++i) {
            flooding->write(block);
            flooding->waitForBytesWritten(1000);
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE_WITH_TIMEOUT(flooding->state(), QAbstractSocket::UnconnectedState, patienceMs);
        QVERIFY(waitForConnectionCount(0));
        QVERIFY(player->lines.isEmpty());
    }

    // --- Several clients ---

    void servesASecondClientWithoutDisturbingTheFirst()
    {
        auto first = connectClient();
        QVERIFY(first);
        auto second = connectClient();
        QVERIFY(second);
        QVERIFY(waitForConnectionCount(2));
        QCOMPARE(roundTrip(*second, "frame 2\n"), QStringList{"frame|2"});
        QCOMPARE(roundTrip(*first, "frame 1\n"), QStringList{"frame|1"});

        // The older one going away leaves the newer one working, and the
        // other way round.
        first->disconnectFromHost();
        QVERIFY(waitForConnectionCount(1));
        QCOMPARE(roundTrip(*second, "rstart 4\n"), QStringList{"rstart|4"});

        first = connectClient();
        QVERIFY(first);
        QVERIFY(waitForConnectionCount(2));
        second->disconnectFromHost();
        QVERIFY(waitForConnectionCount(1));
        QCOMPARE(roundTrip(*first, "rend 9\n"), QStringList{"rend|9"});

        // An exit ends only its own connection.
        second = connectClient();
        QVERIFY(second);
        QVERIFY(waitForConnectionCount(2));
        second->write("exit\n");
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QAbstractSocket::UnconnectedState, patienceMs);
        QVERIFY(waitForConnectionCount(1));
        QCOMPARE(roundTrip(*first, "frame 6\n"), QStringList{"frame|6"});
    }

    void keepsEachClientsPartialLineApart()
    {
        const auto first = connectClient();
        QVERIFY(first);
        const auto second = connectClient();
        QVERIFY(second);
        first->write("fra");
        QVERIFY(first->waitForBytesWritten(patienceMs));
        QCOMPARE(roundTrip(*second, "rend 3\n"), QStringList{"rend|3"});
        QCOMPARE(roundTrip(*first, "me 8\n"), QStringList{"frame|8"});
    }

    void closesTheOldestClientBeyondTheLimit()
    {
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < TcpServer::maxConnections + 1; ++i) {
            clients.push_back(connectClient());
            QVERIFY(clients.back());
        }
        QTRY_COMPARE_WITH_TIMEOUT(clients.front()->state(), QAbstractSocket::UnconnectedState, patienceMs);
        QVERIFY(waitForConnectionCount(TcpServer::maxConnections));
        for (size_t i = 1; i < clients.size(); ++i)
            QCOMPARE(roundTrip(*clients[i], "frame " + QByteArray::number(int(i)) + '\n'),
                     QStringList{QStringLiteral("frame|%1").arg(i)});
    }

    void survivesItsClientsWhenDestroyed()
    {
        const auto client = connectClient();
        QVERIFY(client);
        QVERIFY(waitForConnectionCount(1));
        server.reset();
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, patienceMs);
    }

    // --- Listening ---

    void refusesAPortInUse()
    {
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::LocalHost, 0));
        appSettings().tcpPort = occupier.serverPort();
        TcpServer blocked(*player);
        QVERIFY(!blocked.listen());
        QVERIFY(!blocked.isListening());
        QVERIFY(!blocked.errorString().isEmpty());
        // The port freed, the same server can listen.
        occupier.close();
        QVERIFY(blocked.listen());
        QCOMPARE(int(blocked.serverPort()), appSettings().tcpPort);
    }

    void refusesToListenTwice()
    {
        const quint16 port = server->serverPort();
        QVERIFY(!server->listen());
        QCOMPARE(server->serverPort(), port);
    }

    // --- The line stream alone ---

    void streamResultDoesNotDependOnPacketSizes()
    {
        const QByteArray input = "frame 1\r\nrstart 2\n\n'file a' b\nexit\nframe 3\n";
        CommandStream whole;
        QVector<RemoteCommand> wholeCommands;
        QCOMPARE(whole.feed(input, wholeCommands), CommandStream::Exited);
        QCOMPARE(wholeCommands.size(), 4);
        QCOMPARE(wholeCommands.last().type, RemoteCommand::Exit);
        for (int i = 0; i < input.size(); ++i) {
            CommandStream pieces;
            QVector<RemoteCommand> pieceCommands;
            pieces.feed(input.left(i), pieceCommands);
            QCOMPARE(pieces.feed(input.mid(i), pieceCommands), CommandStream::Exited);
            QCOMPARE(pieceCommands.size(), wholeCommands.size());
            for (int c = 0; c < pieceCommands.size(); ++c)
                QCOMPARE(describe(pieceCommands[c]), describe(wholeCommands[c]));
        }
    }

    void streamOverflowsOnALongLineArrivingByteByByte()
    {
        CommandStream stream(16);
        QVector<RemoteCommand> commands;
        QCOMPARE(stream.feed("frame 1\n", commands), CommandStream::Open);
        CommandStream::State state = CommandStream::Open;
        int fed = 0;
        while (state == CommandStream::Open && fed < 100) {
            state = stream.feed("a", commands);
            ++fed;
            QVERIFY(stream.pendingBytes() <= 16);
        }
        QCOMPARE(state, CommandStream::Overflowed);
        QCOMPARE(fed, 17);
        QCOMPARE(stream.feed("\nframe 2\n", commands), CommandStream::Overflowed);
        QCOMPARE(commands.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRemote)
#include "tst_remote.moc"
