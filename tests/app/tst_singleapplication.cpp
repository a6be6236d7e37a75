// The single-instance hand-over between real processes. Every case runs with
// a TMPDIR of its own, which gives it a channel of its own.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>

namespace {

QString peerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/instancepeer");
}

} // namespace

class SingleApplicationTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp;
    QList<QProcess*> owners;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp->path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // Starts a launch that must become the owner and waits until it is.
    QProcess* startOwner()
    {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(environment());
        p->start(peerPath(), QStringList());
        if (!p->waitForStarted() || !waitForLine(p, "owner")) {
            qWarning() << "owner did not start:" << p->readAllStandardError();
            return nullptr;
        }
        owners << p;
        return p;
    }

    bool waitForLine(QProcess* p, const QByteArray& line, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (p->canReadLine()) {
                const QByteArray got = p->readLine().trimmed();
                if (got == line)
                    return true;
                qWarning() << "unexpected line" << got;
                return false;
            }
            p->waitForReadyRead(100);
        }
        return false;
    }

    // A later launch: returns its exit code and its first line of output.
    QByteArray launch(const QStringList& arguments, int* exitCode)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(peerPath(), arguments);
        p.waitForFinished(10000);
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAllStandardOutput().trimmed();
    }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
    }

    void cleanup()
    {
        // Owners leave through the channel, so that the last one removes the
        // shared block instead of leaving it in the system.
        for (QProcess* p : owners) {
            if (p->state() == QProcess::Running) {
                int code = -1;
                launch({"quit"}, &code);
                if (!p->waitForFinished(3000))
                    p->kill();
            }
            p->waitForFinished(5000);
            delete p;
        }
        owners.clear();
        tmp.reset();
    }

    void aSecondLaunchHandsOverItsArgumentsAndExits()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        int code = -1;
        QCOMPARE(launch({"/clips/shot 10.mov", "10", "20"}, &code), QByteArray("sent 1"));
        QCOMPARE(code, 0);
        QVERIFY(waitForLine(owner, "message: /clips/shot 10.mov|10|20"));
    }

    void aLaunchWithoutArgumentsSendsNoargs()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        int code = -1;
        QCOMPARE(launch({}, &code), QByteArray("sent 1"));
        QVERIFY(waitForLine(owner, "message: noargs"));
    }

    void twoLaunchesWithinOnePollDeliverOnlyTheLast()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        // A stopped owner cannot poll: both records wait in the channel.
        QCOMPARE(kill(static_cast<pid_t>(owner->processId()), SIGSTOP), 0);
        int code = -1;
        QCOMPARE(launch({"first.mov"}, &code), QByteArray("sent 1"));
        QCOMPARE(launch({"second.mov", "5"}, &code), QByteArray("sent 1"));
        QCOMPARE(kill(static_cast<pid_t>(owner->processId()), SIGCONT), 0);
        QVERIFY(waitForLine(owner, "message: second.mov|5"));
        // Nothing else follows.
        QVERIFY(!owner->waitForReadyRead(3 * 200 + 200));
    }

    void aLongPathIsHandedOverIntact()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        QString path = QStringLiteral("/clips/");
        while (path.size() < 1000)
            path += QStringLiteral("review \u00e9tape/");
        path = path.left(1000);
        int code = -1;
        QCOMPARE(launch({path, "1", "99"}, &code), QByteArray("sent 1"));
        QVERIFY(waitForLine(owner, (QStringLiteral("message: ") + path + QStringLiteral("|1|99")).toUtf8()));
    }

    void aLaunchAfterTheOwnerWasKilledBecomesTheOwner()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        owner->kill(); // SIGKILL: the channel and the lock file stay behind
        QVERIFY(owner->waitForFinished(5000));
        QProcess* next = startOwner();
        QVERIFY2(next, "a launch after a crashed owner must become the owner");
        int code = -1;
        QCOMPARE(launch({"after-crash.mov"}, &code), QByteArray("sent 1"));
        QVERIFY(waitForLine(next, "message: after-crash.mov"));
    }

    void aDamagedChannelIsSurvived()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        QSharedMemory segment;
        // The same key under the same TMPDIR reaches the owner's block.
        qputenv("TMPDIR", tmp->path().toLocal8Bit());
        segment.setKey(QStringLiteral("orvelUniqueKey"));
        QVERIFY2(segment.attach(), qPrintable(segment.errorString()));
        QRandomGenerator random(7);
        for (int round = 0; round < 5; ++round) {
            segment.lock();
            auto* bytes = static_cast<char*>(segment.data());
            for (int i = 0; i < segment.size(); ++i)
                bytes[i] = static_cast<char>(random.bounded(1, 256));
            segment.unlock();
            QTest::qWait(250);
        }
        segment.detach();
        qunsetenv("TMPDIR");
        QCOMPARE(owner->state(), QProcess::Running);
        owner->readAllStandardOutput(); // whatever the garbage decoded to
        int code = -1;
        QCOMPARE(launch({"clean.mov"}, &code), QByteArray("sent 1"));
        QElapsedTimer timer;
        timer.start();
        bool delivered = false;
        while (!delivered && timer.elapsed() < 5000) {
            owner->waitForReadyRead(100);
            while (owner->canReadLine())
                delivered |= owner->readLine().trimmed() == "message: clean.mov";
        }
        QVERIFY(delivered);
    }

    void theOwnerLeavesCleanlyAndTheNextLaunchOwnsTheChannel()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        int code = -1;
        QCOMPARE(launch({"quit"}, &code), QByteArray("sent 1"));
        QVERIFY(waitForLine(owner, "message: quit"));
        QVERIFY(owner->waitForFinished(5000));
        QCOMPARE(owner->exitCode(), 0);
        QVERIFY(startOwner());
    }
};

QTEST_GUILESS_MAIN(SingleApplicationTest)
#include "tst_singleapplication.moc"
