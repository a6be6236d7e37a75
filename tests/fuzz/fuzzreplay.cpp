// Replays the seed inputs and past findings of a fuzz target once each, so
// that every build checks them without libFuzzer. The folders come from
// ORVEL_FUZZ_INPUTS (colon-separated); a missing folder holds no input,
// but a target must have some. A target that drives widgets is replayed
// under a QApplication (ORVEL_FUZZ_REPLAY_GUI).
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtTest>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

class FuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replaysEveryInput_data()
    {
        QTest::addColumn<QString>("path");
        int count = 0;
        const QStringList folders =
            qEnvironmentVariable("ORVEL_FUZZ_INPUTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        for (const QString& folder : folders) {
            QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                const QString path = files.next();
                QTest::newRow(qPrintable(QDir(folder).dirName() + '/' + files.fileName())) << path;
                ++count;
            }
        }
        // A target without inputs would pass without checking anything.
        if (count == 0)
            QTest::newRow("no inputs found") << QString();
    }
    void replaysEveryInput()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray input = file.readAll();
        QCOMPARE(
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size())),
            0);
    }
};

#ifdef ORVEL_FUZZ_REPLAY_GUI
QTEST_MAIN(FuzzReplay)
#else
QTEST_GUILESS_MAIN(FuzzReplay)
#endif
#include "fuzzreplay.moc"
