// The record layout of the single-instance channel, on blocks of exactly the
// channel's size, so that the address sanitizer catches any step past the end.
#include "instancechannel.h"

#include <QRandomGenerator>
#include <QtTest>
#include <memory>

namespace {

std::unique_ptr<char[]> emptyBlock()
{
    auto block = std::make_unique<char[]>(InstanceChannel::segmentSize);
    InstanceChannel::clear(block.get(), InstanceChannel::segmentSize);
    return block;
}

} // namespace

class InstanceChannelTest : public QObject
{
    Q_OBJECT

private slots:
    void payloadJoinsArgumentsAfterTheProgram()
    {
        QCOMPARE(InstanceChannel::payloadFor({"orvel"}), QStringLiteral("noargs"));
        QCOMPARE(InstanceChannel::payloadFor({"orvel", "a.mov", "10", "20"}),
                 QStringLiteral("a.mov-_???_-10-_???_-20"));
        QCOMPARE(InstanceChannel::argumentsOf(QStringLiteral("a.mov-_???_-10-_???_-20")),
                 (QStringList{"a.mov", "10", "20"}));
    }

    void emptyArgumentsDisappearInTheSplit()
    {
        const QString payload = InstanceChannel::payloadFor({"orvel", "a.mov", "", "20"});
        QCOMPARE(InstanceChannel::argumentsOf(payload), (QStringList{"a.mov", "20"}));
    }

    void emptyChannelDeliversNothing()
    {
        auto block = emptyBlock();
        QVERIFY(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize).isEmpty());
    }

    void onlyTheLastWaitingRecordIsDelivered()
    {
        auto block = emptyBlock();
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, "first"));
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, "second"));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize),
                 QStringLiteral("second"));
        QVERIFY(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize).isEmpty());
    }

    void shortRecordsKeepTheOneByteLength()
    {
        auto block = emptyBlock();
        const QByteArray payload(127, 'x');
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, payload));
        QCOMPARE(int(static_cast<unsigned char>(block[0])), 127);
        QCOMPARE(block[128], '\0');
    }

    void longPayloadsAreCarriedWhole_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("128") << 128;
        QTest::newRow("1000") << 1000;
        QTest::newRow("4096") << 4096;
        QTest::newRow("largest") << InstanceChannel::segmentSize - 3;
    }

    void longPayloadsAreCarriedWhole()
    {
        QFETCH(int, length);
        auto block = emptyBlock();
        QByteArray bytes = QStringLiteral("/clips/\u00e9lan ").toUtf8();
        bytes += QByteArray(length - bytes.size(), 'x');
        const QString path = QString::fromUtf8(bytes);
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, path.toUtf8()));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize), path);
    }

    void aPayloadLongerThanTheBlockIsRefused()
    {
        auto block = emptyBlock();
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, "waiting"));
        QVERIFY(!InstanceChannel::append(block.get(), InstanceChannel::segmentSize,
                                         QByteArray(InstanceChannel::segmentSize, 'x')));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize),
                 QStringLiteral("waiting"));
    }

    void aRecordThatDoesNotFitRestartsTheChannel()
    {
        auto block = emptyBlock();
        const QByteArray big(1500, 'b');
        for (int i = 0; i < 3; ++i)
            QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, big));
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, QByteArray(1500, 'c')));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize),
                 QString(1500, QLatin1Char('c')));
    }

    void damagedBlocksAreReadWithoutPassingTheEnd()
    {
        auto block = std::make_unique<char[]>(InstanceChannel::segmentSize);
        QRandomGenerator random(42);
        for (int round = 0; round < 2000; ++round) {
            for (int i = 0; i < InstanceChannel::segmentSize; ++i)
                block[i] = static_cast<char>(random.bounded(256));
            if (round % 3 == 0) // no terminator anywhere
                for (int i = 0; i < InstanceChannel::segmentSize; ++i)
                    block[i] = static_cast<char>(block[i] | 1);
            InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize);
            QCOMPARE(block[0], '\0');
        }
    }

    void appendingToADamagedBlockStillDelivers()
    {
        auto block = std::make_unique<char[]>(InstanceChannel::segmentSize);
        memset(block.get(), 0x7f, InstanceChannel::segmentSize); // lengths that never end
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, "fresh"));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize),
                 QStringLiteral("fresh"));
    }

    void aLongHeaderInTheLastByteIsNotFollowed()
    {
        auto block = std::make_unique<char[]>(InstanceChannel::segmentSize);
        memset(block.get(), 0, InstanceChannel::segmentSize);
        // Records filling the block up to its last byte, which starts a two-byte length.
        int pos = 0;
        while (pos + 1 + 100 < InstanceChannel::segmentSize - 1) {
            block[pos] = 100;
            memset(block.get() + pos + 1, 'a', 100);
            pos += 101;
        }
        memset(block.get() + pos, 'a', InstanceChannel::segmentSize - pos);
        block[InstanceChannel::segmentSize - 1] = static_cast<char>(0x85);
        InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize);
        QCOMPARE(block[0], '\0');
    }

    void invalidUtf8RecordsAreSkipped()
    {
        auto block = emptyBlock();
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, "good"));
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize,
                                        QByteArray("\xff\xfe\x80", 3)));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize),
                 QStringLiteral("good"));
    }

    void argumentsArriveCharacterForCharacter()
    {
        // A leading byte order mark belongs to the argument: the name of the
        // file the second launch was given.
        const QString payload = InstanceChannel::payloadFor({"orvel", QString(QChar(0xfeff)) + "a.mov", "7"});
        auto block = emptyBlock();
        QVERIFY(InstanceChannel::append(block.get(), InstanceChannel::segmentSize, payload.toUtf8()));
        QCOMPARE(InstanceChannel::takeLast(block.get(), InstanceChannel::segmentSize), payload);
    }
};

QTEST_APPLESS_MAIN(InstanceChannelTest)
#include "tst_instancechannel.moc"
