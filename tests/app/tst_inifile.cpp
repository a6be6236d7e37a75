// The INI file helpers under the settings store and the bookmarks file: what
// they refuse to read, what is salvaged of a file with a serialised value, and
// that a write either puts the complete file in place or leaves the old one
// untouched.
#include "filesizelimit.h"
#include "inifile.h"
#include "salvagedinifile.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool writeMain(const QString& path, const QString& key, const QVariant& value)
{
    return IniFile::write(path, [&](QSettings& s) { s.setValue(QStringLiteral("main/") + key, value); });
}

// A folder in which no file can be created, by root either.
const QString procFolder = QStringLiteral("/proc");

// A payload QSettings hands to QDataStream: a serialised int.
const QByteArray serialisedInt = "(\\0\\0\\0\\x2\\0\\0\\0\\0\\x5)";

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        path = folder->filePath(QStringLiteral("test.ini"));
    }
    void cleanup()
    {
        QFile::setPermissions(folder->path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        folder.reset();
    }

    void writesCompleteFileAndNothingElse()
    {
        const QStringList list{QStringLiteral("a,b"), QStringLiteral(" c "), QStringLiteral("@d")};
        QVERIFY(IniFile::write(path, [&](QSettings& s) {
            s.setValue(QStringLiteral("main/text"), QStringLiteral("x,y \"quoted\" \u00e9\u65e5"));
            s.setValue(QStringLiteral("main/list"), list);
            s.setValue(QStringLiteral("main/one"), QStringList{QStringLiteral("only,one")});
            s.setValue(QStringLiteral("main/none"), QStringList{});
            s.setValue(QStringLiteral("other/number"), -7);
            s.setValue(QStringLiteral("other/bytes"), QByteArray("\0\1\xff", 3));
        }));
        const QSettings s(path, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("main/text")).toString(),
                 QStringLiteral("x,y \"quoted\" \u00e9\u65e5"));
        QCOMPARE(s.value(QStringLiteral("main/list")).toStringList(), list);
        QCOMPARE(s.value(QStringLiteral("main/one")).toStringList(), QStringList{QStringLiteral("only,one")});
        QCOMPARE(s.value(QStringLiteral("main/none")).toStringList(), QStringList{});
        QCOMPARE(s.value(QStringLiteral("other/number")).toInt(), -7);
        QCOMPARE(s.value(QStringLiteral("other/bytes")).toByteArray(), QByteArray("\0\1\xff", 3));
        QCOMPARE(entriesOf(folder->path()), QStringList{QStringLiteral("test.ini")});
        const QFileDevice::Permissions rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QCOMPARE(QFileInfo(path).permissions() & (rw | QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 rw | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }

    void keepsOtherKeysOfTheOldFile()
    {
        // A line with a serialised value is the only one left behind.
        writeFile(path, "[main]\nold=1\nkept=2\nbad=@Variant" + serialisedInt + "\n[other]\nx=\"a,b\"\n");
        QVERIFY(writeMain(path, QStringLiteral("old"), 5));
        const QSettings s(path, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("main/old")).toInt(), 5);
        QCOMPARE(s.value(QStringLiteral("main/kept")).toInt(), 2);
        QCOMPARE(s.value(QStringLiteral("other/x")).toString(), QStringLiteral("a,b"));
        QVERIFY(!s.contains(QStringLiteral("main/bad")));
    }

    void dropsTheKeysOfADamagedFile()
    {
        writeFile(path, "[other]\nx=1\nbroken line\n");
        QVERIFY(writeMain(path, QStringLiteral("v"), 5));
        const QSettings s(path, QSettings::IniFormat);
        QCOMPARE(s.allKeys(), QStringList{QStringLiteral("main/v")});
    }

    void keepsPermissionsAndFollowsSymbolicLinks()
    {
        writeFile(path, "[main]\nold=1\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QString link = folder->filePath(QStringLiteral("link.ini"));
        QVERIFY(QFile::link(path, link));
        QVERIFY(writeMain(link, QStringLiteral("new"), 2));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("main/new")).toInt(), 2);
        const QFileDevice::Permissions modeBits =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(path).permissions() & modeBits, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void createsMissingFolders()
    {
        const QString deep = folder->filePath(QStringLiteral("a/b/test.ini"));
        QVERIFY(writeMain(deep, QStringLiteral("x"), 1));
        QCOMPARE(QSettings(deep, QSettings::IniFormat).value(QStringLiteral("main/x")).toInt(), 1);
    }

    // QSettings caches parsed files and only rereads one whose size or time
    // changed; files of equal size replaced within a millisecond must still
    // read back new.
    void quickRewritesOfEqualSizeReadBackNew()
    {
        for (int i = 0; i < 40; ++i) {
            const QString value = QStringLiteral("value%1").arg(i, 2, 10, QLatin1Char('0'));
            QVERIFY(writeMain(path, QStringLiteral("v"), value));
            QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("main/v")).toString(), value);
        }
    }

    // On a full disk QSettings reports success after replacing the file with a
    // truncated one, and an error met while reading the old file hides the
    // write error; neither may cost the old file.
    void fullDiskLeavesOldFile_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::newRow("clean file") << QByteArray("[main]\nv=old\n[other]\nx=1\n");
        QTest::newRow("file with a broken line") << QByteArray("broken line\n[main]\nv=old\n");
    }
    void fullDiskLeavesOldFile()
    {
        QFETCH(QByteArray, old);
        writeFile(path, old);
        {
            FileSizeLimit limit(4096);
            QVERIFY(!writeMain(path, QStringLiteral("v"), QString(60000, QLatin1Char('x'))));
            QVERIFY(!writeMain(path, QStringLiteral("v"), QString(4090, QLatin1Char('x'))));
        }
        QCOMPARE(contentOf(path), old);
        QCOMPARE(entriesOf(folder->path()), QStringList{QStringLiteral("test.ini")});
        QVERIFY(writeMain(path, QStringLiteral("v"), QString(60000, QLatin1Char('x'))));
        QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("main/v")).toString().size(),
                 60000);
    }

    void unwritablePlacesFail()
    {
        QVERIFY(!writeMain(procFolder + QStringLiteral("/orvel-test.ini"), QStringLiteral("v"), 1));
        QVERIFY(!writeMain(procFolder + QStringLiteral("/orvel-test/sub/x.ini"), QStringLiteral("v"), 1));
        QVERIFY(!writeMain(QString(), QStringLiteral("v"), 1));
        QVERIFY(!writeMain(folder->path(), QStringLiteral("v"), 1));
        QVERIFY(QFileInfo(folder->path()).isDir());
    }

    void readOnlyFileOrFolderFails()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root; the full-disk case covers the failing write");
        const QByteArray old = "[main]\nv=old\n";
        writeFile(path, old);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QVERIFY(!writeMain(path, QStringLiteral("v"), 1));
        QCOMPARE(contentOf(path), old);
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QVERIFY(!writeMain(path, QStringLiteral("v"), 1));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(contentOf(path), old);
        QVERIFY(QFile::setPermissions(folder->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!writeMain(path, QStringLiteral("v"), 1));
        QCOMPARE(contentOf(path), old);
    }

    // Every spelling below reaches QDataStream inside QSettings; a forged
    // container length there aborts the process, so none may be read.
    void refusesSerialisedValues_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("decodesObject"); // what QSettings itself makes of it
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << QByteArray("@Variant") + serialisedInt << true << false;
        QTest::newRow("date-time") << QByteArray("@DateTime") + serialisedInt << true << false;
        QTest::newRow("hex escape") << QByteArray("\\x40Variant") + serialisedInt << true << false;
        QTest::newRow("long hex escape") << QByteArray("\\x10040Variant") + serialisedInt << true << false;
        QTest::newRow("octal escape") << QByteArray("@\\126ariant") + serialisedInt << true << false;
        QTest::newRow("quoted") << QByteArray("\"@Variant") + serialisedInt + "\"" << true << false;
        QTest::newRow("list element") << QByteArray("x, @Variant") + serialisedInt << true << false;
        QTest::newRow("continued line") << QByteArray("@Var\\\niant") + serialisedInt << true << false;
        QTest::newRow("dropped escape") << QByteArray("@Va\\qriant") + serialisedInt << true << false;
        QTest::newRow("empty quotes") << QByteArray("@Va\"\"riant") + serialisedInt << true << false;
        QTest::newRow("leading spaces") << QByteArray("   @Variant") + serialisedInt << true << false;
        QTest::newRow("escaped at sign") << QByteArray("@@Variant") + serialisedInt << false << true;
        QTest::newRow("byte array") << QByteArray("@ByteArray(\\0\\x1)") << false << true;
        QTest::newRow("invalid") << QByteArray("@Invalid()") << false << true;
        QTest::newRow("rectangle") << QByteArray("@Rect(1 2 3 4)") << false << true;
        QTest::newRow("words") << QByteArray("\"Variant(1), DateTime(2)\"") << false << true;
        // Only the start of a value or list element is deserialised.
        QTest::newRow("marker inside a path") << QByteArray("/clips/take@DateTime(2).mp4") << false << true;
        QTest::newRow("marker inside a string value") << QByteArray("@String(@Variant(1))") << false << true;
        QTest::newRow("after a tab") << QByteArray("\t@Variant") + serialisedInt << true << false;
        // Refused although QSettings reads it as a string: the check does not
        // follow quotes, and no file of the program holds such a text.
        QTest::newRow("marker inside a quoted element") << QByteArray("\"a,@Variant(1)\"") << false << false;
    }
    void refusesSerialisedValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, decodesObject);
        QFETCH(bool, safe);
        writeFile(path, "[g]\nkey=" + value + "\n");
        QCOMPARE(IniFile::isSafeToRead(path), safe);
        const int type = QSettings(path, QSettings::IniFormat).value(QStringLiteral("g/key")).userType();
        const bool decoded = type != QMetaType::QString && type != QMetaType::QByteArray &&
                             type != QMetaType::UnknownType && type != QMetaType::QRect;
        QCOMPARE(decoded, decodesObject);

        // What is salvaged of it loses that line only.
        writeFile(path, "a=1\n[g]\nbefore=2\nkey=" + value + "\nafter=3\n[h]\nz=4\n");
        const SalvagedIniFile salvaged(path);
        QVERIFY(salvaged.isReadable());
        QVERIFY(IniFile::isSafeToRead(salvaged.readablePath()));
        QCOMPARE(salvaged.readablePath() == path, safe);
        QCOMPARE(salvaged.droppedKeys(), safe ? QStringList() : QStringList{QStringLiteral("g/key")});
        const QSettings file(salvaged.readablePath(), QSettings::IniFormat);
        QStringList expected{"a", "g/after", "g/before", "h/z"};
        if (safe)
            expected << QStringLiteral("g/key");
        QStringList keys = file.allKeys();
        keys.sort();
        expected.sort();
        QCOMPARE(keys, expected);
        QCOMPARE(file.value(QStringLiteral("g/after")).toInt(), 3);
    }

    // Lines are told apart as QSettings tells them apart.
    void salvagesLineByLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("dropped");
        const QByteArray bad = "@Variant" + serialisedInt;
        QTest::newRow("quoted line break") << "[g]\nkey=\"x\n" + bad + "\"\nok=1\n"
                                           << QStringList{"g/ok"} << QStringList{"g/key"};
        QTest::newRow("escaped line break") << "[g]\nkey=x, \\\n" + bad + "\nok=1\n"
                                            << QStringList{"g/ok"} << QStringList{"g/key"};
        QTest::newRow("comment lines") << "; " + bad + "\n[g]\nok=1 ; =" + bad + "\n"
                                       << QStringList{"g/ok"} << QStringList{};
        QTest::newRow("bad section") << "[g]\nok=1\n[=" + bad + "]\nx=1\ny=2\n[h]\nz=3\n"
                                     << QStringList{"g/ok", "h/z"}
                                     << QStringList{"=" + bad + "/x", "=" + bad + "/y"};
        QTest::newRow("general section and CRLF") << "a=" + bad + "\r\nb=2\r\n[General]\r\nc=3\r\n"
                                                  << QStringList{"b", "c"} << QStringList{"a"};
        QTest::newRow("byte order mark") << "\xef\xbb\xbf[g]\nname=caf\xc3\xa9\nkey=" + bad + "\n"
                                         << QStringList{"g/name"} << QStringList{"g/key"};
    }
    void salvagesLineByLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, dropped);
        writeFile(path, text);
        const SalvagedIniFile salvaged(path);
        QVERIFY(salvaged.isReadable());
        QCOMPARE(salvaged.originalText(), text);
        QCOMPARE(salvaged.droppedKeys(), dropped);
        const QSettings file(salvaged.readablePath(), QSettings::IniFormat);
        QCOMPARE(file.allKeys(), keys);
        if (keys.contains(QStringLiteral("g/name")))
            QCOMPARE(file.value(QStringLiteral("g/name")).toString(), QStringLiteral("caf\u00e9"));
        // Nothing is salvaged from what is no readable file.
        QVERIFY(!SalvagedIniFile(folder->path()).isReadable());
        QVERIFY(!SalvagedIniFile(folder->filePath(QStringLiteral("missing.ini"))).isReadable());
    }

    void neverWritesWhatItWouldRefuse()
    {
        writeFile(path, "[main]\nv=old\n");
        QVERIFY(!writeMain(path, QStringLiteral("v"), QStringLiteral("a,@Variant(1)")));
        QCOMPARE(contentOf(path), QByteArray("[main]\nv=old\n"));
        // A leading "@" is escaped by QSettings and harmless.
        QVERIFY(writeMain(path, QStringLiteral("v"), QStringLiteral("@Variant(1)")));
        QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("main/v")).toString(),
                 QStringLiteral("@Variant(1)"));
    }

    void writesTextThatOnlyContainsAMarker()
    {
        // QSettings writes a string holding a NUL character as "@String(...)".
        const QString withNul = QStringLiteral("@DateTime(") + QChar(0) + QStringLiteral("o");
        const QString path2 = QStringLiteral("/clips/take@Variant(2).mp4");
        QVERIFY(writeMain(path, QStringLiteral("a"), withNul));
        QVERIFY(writeMain(path, QStringLiteral("b"), path2));
        QVERIFY(IniFile::isSafeToRead(path));
        const QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("main/a")).toString(), withNul);
        QCOMPARE(file.value(QStringLiteral("main/b")).toString(), path2);
    }

    void refusesForgedContainerLength()
    {
        // A string list claiming 2^31 - 1 elements: QSettings would abort on
        // the allocation.
        writeFile(path, "[main]\nranges=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n");
        QVERIFY(!IniFile::isSafeToRead(path));
    }

    void refusesWhatIsNoFile()
    {
        QVERIFY(!IniFile::isSafeToRead(folder->filePath(QStringLiteral("missing.ini"))));
        QVERIFY(!IniFile::isSafeToRead(folder->path()));
        QVERIFY(!IniFile::isSafeToRead(QString()));
        const QString fifo = folder->filePath(QStringLiteral("fifo.ini"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!IniFile::isSafeToRead(fifo));
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(IniFile::maximumSize + 1)); // sparse: takes no space
        huge.close();
        QVERIFY(!IniFile::isSafeToRead(path));
        writeFile(path, "[main]\nv=1\n");
        QVERIFY(IniFile::isSafeToRead(path));
    }

private:
    std::unique_ptr<QTemporaryDir> folder;
    QString path;
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
