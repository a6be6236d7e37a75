// The remote-control protocol: word splitting and argument conversion, the
// line stream, and the TCP server with real loopback clients.
#include "appsettings.h"
#include "commandstream.h"
#include "remotecommand.h"
#include "tcpserver.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

namespace {

// Every signal of the server, as one readable line each, in arrival order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(TcpServer& server)
    {
        connect(&server, &TcpServer::fileChanged, this, [this](const QString& f, int s, int e) {
            lines << QStringLiteral("file|%1|%2|%3").arg(f).arg(s).arg(e);
        });
        connect(&server, &TcpServer::bookmarksFileChanged, this, [this](const QString& f, int s, int e) {
            lines << QStringLiteral("bookmarks|%1|%2|%3").arg(f).arg(s).arg(e);
        });
        connect(&server, &TcpServer::frameChanged, this,
                [this](int n) { lines << QStringLiteral("frame|%1").arg(n); });
        connect(&server, &TcpServer::frameChangedRelative, this,
                [this](int n) { lines << QStringLiteral("frameRelative|%1").arg(n); });
        connect(&server, &TcpServer::rangeStartChanged, this,
                [this](int n) { lines << QStringLiteral("rstart|%1").arg(n); });
        connect(&server, &TcpServer::rangeEndChanged, this,
                [this](int n) { lines << QStringLiteral("rend|%1").arg(n); });
    }
    QStringList lines;
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
    case RemoteCommand::Exit:
        return QStringLiteral("exit");
    case RemoteCommand::None:
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
    std::unique_ptr<TcpServer> server;
    std::unique_ptr<SignalLog> log;

    std::unique_ptr<QTcpSocket> connectClient()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, server->serverPort());
        if (!client->waitForConnected(5000))
            return nullptr;
        return client;
    }
    // Sends the bytes and then the sentinel, and returns what the server
    // emitted for the bytes.
    QStringList roundTrip(QTcpSocket& client, const QByteArray& bytes)
    {
        log->lines.clear();
        client.write(bytes);
        client.write(sentinelLine);
        if (!QTest::qWaitFor([this] { return log->lines.contains(sentinel); }, 20000))
            return {QStringLiteral("<sentinel never arrived>")};
        QStringList emitted = log->lines;
        emitted.removeLast();
        return emitted;
    }
    bool waitForConnectionCount(int count)
    {
        return QTest::qWaitFor([&] { return server->connectionCount() == count; }, 5000);
    }

private slots:
    void init()
    {
        appSettings().tcpPort = 0; // a free port, read back with serverPort()
        server = std::make_unique<TcpServer>();
        QVERIFY(server->listen());
        QVERIFY(server->serverPort() != 0);
        log = std::make_unique<SignalLog>(*server);
    }
    void cleanup()
    {
        log.reset();
        server.reset();
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
        QVERIFY(client->waitForBytesWritten(5000));
        QTest::qWait(200);
        QVERIFY(log->lines.isEmpty());
        client->write("me 3");
        QVERIFY(client->waitForBytesWritten(5000));
        QTest::qWait(200);
        QVERIFY(log->lines.isEmpty());
        QCOMPARE(roundTrip(*client, "0\n"), QStringList{"frame|30"});
    }

    void stopsAtExit()
    {
        auto client = connectClient();
        QVERIFY(client);
        client->write("frame 1\nexit\nframe 2\nrstart 3\n");
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(server->connectionCount(), 0);
        QTest::qWait(100);
        QCOMPARE(log->lines, QStringList{"frame|1"});

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
        QTRY_COMPARE(server->connectionCount(), 0);
        // The unterminated "frame 4" never counted as a command.
        QCOMPARE(log->lines, QStringList{"frame|3"});
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
        QTRY_COMPARE(flooding->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(waitForConnectionCount(1));
        QCOMPARE(log->lines, QStringList{"frame|1"});

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
        QTRY_COMPARE(flooding->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(waitForConnectionCount(0));
        QVERIFY(log->lines.isEmpty());
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
        QTRY_COMPARE(second->state(), QAbstractSocket::UnconnectedState);
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
        QVERIFY(first->waitForBytesWritten(5000));
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
        QTRY_COMPARE(clients.front()->state(), QAbstractSocket::UnconnectedState);
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
        log.reset();
        server.reset();
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    }

    // --- Listening ---

    void refusesAPortInUse()
    {
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::LocalHost, 0));
        appSettings().tcpPort = occupier.serverPort();
        TcpServer blocked;
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
        QCOMPARE(wholeCommands.size(), 3);
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
