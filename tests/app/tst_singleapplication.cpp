// The single-instance hand-over between real processes. Every case runs with
// a TMPDIR of its own, which gives it a channel of its own.
#include "patience.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>
#include <unistd.h>

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

    QProcess* startPeer(const QStringList& arguments = {})
    {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(environment());
        p->start(peerPath(), arguments);
        return p;
    }

    // Starts a launch that must become the owner and waits until it is.
    QProcess* startOwner()
    {
        QProcess* p = startPeer();
        if (!p->waitForStarted() || !waitForLine(p, "owner")) {
            qWarning() << "owner did not start:" << p->readAllStandardError();
            return nullptr;
        }
        owners << p;
        return p;
    }

    // The next line the process prints, trimmed; empty when none comes.
    static QByteArray nextLine(QProcess* p, int timeoutMs = patienceMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!p->canReadLine() && timer.elapsed() < timeoutMs)
            p->waitForReadyRead(100);
        return p->canReadLine() ? p->readLine().trimmed() : QByteArray();
    }

    static bool waitForLine(QProcess* p, const QByteArray& line)
    {
        const QByteArray got = nextLine(p);
        if (got != line)
            qWarning() << "expected" << line << "got" << got;
        return got == line;
    }

    // A later launch: returns its first line of output and sets its exit code.
    QByteArray launch(const QStringList& arguments, int* exitCode, QByteArray* errors = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(peerPath(), arguments);
        p.waitForFinished(patienceMs);
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        if (errors)
            *errors = p.readAllStandardError();
        return p.readAllStandardOutput().trimmed();
    }

    void quitOwners()
    {
        // Owners leave through the channel, as a user closes the window.
        for (QProcess* p : owners) {
            if (p->state() == QProcess::Running) {
                int code = -1;
                launch({"quit"}, &code);
                if (!p->waitForFinished(patienceMs))
                    p->kill();
            }
            p->waitForFinished(patienceMs);
            delete p;
        }
        owners.clear();
    }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
    }

    void cleanup()
    {
        quitOwners();
        tmp.reset();
    }

    void launchesHandOverTheirArgumentsInOrderAndExit()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        const QList<QStringList> launches = {
            {"/clips/shot 10.mov", "10", "20"}, {}, {"/clips/a.mov", "", "-1"}, {"/clips/b.mov"}};
        for (const QStringList& arguments : launches) {
            int code = -1;
            QCOMPARE(launch(arguments, &code), QByteArray("sent"));
            QCOMPARE(code, 0);
        }
        for (const QStringList& arguments : launches)
            QVERIFY(waitForLine(owner, ("message: " + arguments.join(QLatin1Char('|')).toUtf8()).trimmed()));
    }

    void aLongPathIsHandedOverIntact()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        QString path = QStringLiteral("/clips/");
        while (path.size() < 3000)
            path += QStringLiteral("review \u00e9tape/");
        int code = -1;
        QCOMPARE(launch({path, "1", "99"}, &code), QByteArray("sent"));
        QVERIFY(waitForLine(owner, (QStringLiteral("message: ") + path + QStringLiteral("|1|99")).toUtf8()));
    }

    void simultaneousLaunchesMakeOneOwner()
    {
        for (int round = 0; round < 20; ++round) {
            std::unique_ptr<QProcess> first(startPeer({"first"}));
            std::unique_ptr<QProcess> second(startPeer({"second"}));
            QVERIFY(first->waitForStarted() && second->waitForStarted());
            QVERIFY(QTest::qWaitFor(
                [&] { return first->state() != QProcess::Running || second->state() != QProcess::Running; },
                patienceMs));
            // One of them handed over and ended; the other is the owner and got it.
            QProcess* owner = first->state() == QProcess::Running ? first.get() : second.get();
            QProcess* sender = owner == first.get() ? second.get() : first.get();
            QCOMPARE(sender->exitCode(), 0);
            QCOMPARE(sender->readAllStandardOutput().trimmed(), QByteArray("sent"));
            QVERIFY2(waitForLine(owner, "owner"), qPrintable(QStringLiteral("round %1").arg(round)));
            QVERIFY(waitForLine(owner, owner == first.get() ? "message: second" : "message: first"));
            owners << (owner == first.get() ? first.release() : second.release());
            quitOwners();
        }
    }

    void aStoppedOwnerMakesALaunchGiveUpWithoutOpening()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        QCOMPARE(kill(static_cast<pid_t>(owner->processId()), SIGSTOP), 0);
        int code = -1;
        QByteArray errors;
        QCOMPARE(launch({"late.mov"}, &code, &errors), QByteArray("no answer"));
        QCOMPARE(kill(static_cast<pid_t>(owner->processId()), SIGCONT), 0);
        QCOMPARE(code, 1);
        QVERIFY2(errors.contains("did not confirm"), errors.constData());
        // Resumed, the owner sees that the launch stopped waiting and opens nothing.
        QVERIFY(nextLine(owner).startsWith("refused: a launch stopped waiting"));
        QCOMPARE(launch({"next.mov"}, &code), QByteArray("sent"));
        QVERIFY(waitForLine(owner, "message: next.mov"));
    }

    void aLaunchAfterTheOwnerWasKilledBecomesTheOwner()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        owner->kill(); // SIGKILL: the socket and the lock file stay behind
        QVERIFY(owner->waitForFinished(patienceMs));
        QProcess* next = startOwner();
        QVERIFY2(next, "a launch after a crashed owner must become the owner");
        int code = -1;
        QCOMPARE(launch({"after-crash.mov"}, &code), QByteArray("sent"));
        QVERIFY(waitForLine(next, "message: after-crash.mov"));
    }

    void junkOnTheChannelIsRefusedAndItStaysUsable()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        QLocalSocket junk;
        junk.connectToServer(tmp->path() + QStringLiteral("/orvelUniqueKey-%1").arg(getuid()));
        QVERIFY2(junk.waitForConnected(patienceMs), qPrintable(junk.errorString()));
        junk.write("GET / HTTP/1.1\r\nHost: localhost\r\n\r\n");
        QVERIFY(junk.waitForDisconnected(patienceMs));
        QVERIFY(waitForLine(owner, "refused: a launch sent a message that cannot be read"));
        int code = -1;
        QCOMPARE(launch({"clean.mov"}, &code), QByteArray("sent"));
        QVERIFY(waitForLine(owner, "message: clean.mov"));
    }

    void theOwnerLeavesCleanlyAndTheNextLaunchOwnsTheChannel()
    {
        QProcess* owner = startOwner();
        QVERIFY(owner);
        int code = -1;
        QCOMPARE(launch({"quit"}, &code), QByteArray("sent"));
        QVERIFY(waitForLine(owner, "message: quit"));
        QVERIFY(owner->waitForFinished(patienceMs));
        QCOMPARE(owner->exitCode(), 0);
        QVERIFY(startOwner());
    }
};

QTEST_GUILESS_MAIN(SingleApplicationTest)
#include "tst_singleapplication.moc"
