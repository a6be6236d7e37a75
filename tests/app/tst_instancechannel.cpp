// What a launch hands to the running player: its command line read into
// files and ranges, and the message that carries it on the channel.
#include "commandline.h"
#include "instancechannel.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

using Result = InstanceChannel::Result;

QString describe(const QVector<CommandLine::Entry>& entries)
{
    QStringList parts;
    for (const CommandLine::Entry& e : entries)
        parts << QStringLiteral("%1[%2,%3]").arg(e.file).arg(e.rangeStart).arg(e.rangeEnd);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class InstanceChannelTest : public QObject
{
    Q_OBJECT

private slots:
    void readsFilesAndRanges_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("entries");
        QTest::newRow("none") << QStringList{} << "";
        QTest::newRow("file") << QStringList{"a.mov"} << "a.mov[-1,-1]";
        QTest::newRow("range") << QStringList{"a.mov", "10", "20"} << "a.mov[10,20]";
        QTest::newRow("word as start") << QStringList{"a.mov", "abc", "20"} << "a.mov[-1,20]";
        QTest::newRow("fraction as start") << QStringList{"a.mov", "10.5", "20"} << "a.mov[-1,20]";
        QTest::newRow("three files") << QStringList{"a.mov", "b.mp4", "/c/c.mkv"}
                                     << "a.mov[-1,-1] b.mp4[-1,-1] /c/c.mkv[-1,-1]";
        QTest::newRow("files with ranges")
            << QStringList{"a.mov", "5", "b.mov", "1", "9", "c.bmk"} << "a.mov[5,-1] b.mov[1,9] c.bmk[-1,-1]";
        QTest::newRow("word after range end")
            << QStringList{"a.mov", "1", "2", "abc"} << "a.mov[1,2] abc[-1,-1]";
        QTest::newRow("empty file skipped") << QStringList{"", "a.mov", "", "20"} << "a.mov[-1,20]";
        QTest::newRow("help") << QStringList{"--help", "a.mov"} << "";
    }
    void readsFilesAndRanges()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, entries);
        QCOMPARE(describe(CommandLine::parse(arguments).entries), entries);
    }

    void aWordNamingAFileStartsTheNextEntry()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        QFile(QStringLiteral("take2")).open(QIODevice::WriteOnly);
        QCOMPARE(describe(CommandLine::parse({"take1", "take2"}).entries),
                 QStringLiteral("take1[-1,-1] take2[-1,-1]"));
    }

    void absoluteArgumentsReadBackUnchangedFromAnotherFolder()
    {
        QTemporaryDir launchDir;
        QTemporaryDir otherDir;
        QVERIFY(QDir::setCurrent(launchDir.path()));
        const QString base = QDir::currentPath();
        const QVector<CommandLine::Entry> entries =
            CommandLine::parse({"rel.mov", "10", "20", "sub/x.bmk", "abc", "3", "/abs/y.mp4"}).entries;
        const QStringList handed = CommandLine::absoluteArguments(entries);
        QVERIFY(QDir::setCurrent(otherDir.path()));
        QCOMPARE(describe(CommandLine::parse(handed).entries),
                 QStringLiteral("%1/rel.mov[10,20] %1/sub/x.bmk[-1,3] /abs/y.mp4[-1,-1]").arg(base));
    }

    void messagesRoundTrip_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("file and range") << QStringList{"/clips/shot 10.mov", "10", "20"};
        QTest::newRow("empty argument") << QStringList{"a", "", "b"};
        QTest::newRow("unicode and byte order mark")
            << QStringList{QString(QChar(0xfeff)) + QStringLiteral("/\u00e9t\u00e9/\U0001F3AC.mov")};
        QTest::newRow("line feeds and quotes") << QStringList{"/a\nb/\"c\"'.mov"};
        QTest::newRow("long") << QStringList{
            QString(InstanceChannel::maxPayloadLength - 1, QLatin1Char('p'))};
    }
    void messagesRoundTrip()
    {
        QFETCH(QStringList, arguments);
        const QByteArray bytes = InstanceChannel::encode({arguments, 123456789});
        QVERIFY(!bytes.isEmpty());
        InstanceChannel::Message message;
        int length = 0;
        QCOMPARE(InstanceChannel::decode(bytes + "trailing", &message, &length), Result::Complete);
        QCOMPARE(length, bytes.size());
        QCOMPARE(message.arguments, arguments);
        QCOMPARE(message.deadline, qint64(123456789));
        // Every cut before the end waits for more.
        for (int cut = 0; cut < bytes.size(); cut += 1 + cut / 8)
            QCOMPARE(InstanceChannel::decode(bytes.left(cut), &message, &length), Result::Incomplete);
    }

    void tooLongArgumentsAreNotSent()
    {
        QVERIFY(InstanceChannel::encode({{QString(InstanceChannel::maxPayloadLength, QLatin1Char('p'))}, 1})
                    .isEmpty());
    }

    void junkIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("http") << QByteArray("GET / HTTP/1.1\r\n");
        QTest::newRow("other word") << QByteArray("orvel-handoff 1 0\n");
        QTest::newRow("leading zero") << QByteArray("orvel-handover 01 0\n");
        QTest::newRow("sign") << QByteArray("orvel-handover -1 0\n");
        QTest::newRow("missing length") << QByteArray("orvel-handover 1\n");
        QTest::newRow("extra blank") << QByteArray("orvel-handover 1  0\n");
        QTest::newRow("huge length") << QByteArray("orvel-handover 1 999999999\n");
        QTest::newRow("no header end") << QByteArray("orvel-handover ") + QByteArray(80, '1');
        QTest::newRow("payload without terminator") << QByteArray("orvel-handover 1 3\nabc");
        QTest::newRow("invalid utf-8") << QByteArray("orvel-handover 1 3\n\xc3(\0", 22);
    }
    void junkIsRefused()
    {
        QFETCH(QByteArray, bytes);
        InstanceChannel::Message message;
        int length = 0;
        QCOMPARE(InstanceChannel::decode(bytes, &message, &length), Result::Invalid);
    }
};

QTEST_GUILESS_MAIN(InstanceChannelTest)
#include "tst_instancechannel.moc"
