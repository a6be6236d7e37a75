// The console window: message prefixes, the "Show on" pop-up rules, the
// prefix colours and the geometry kept between close and show.
#include "consolewindow.h"
#include "patience.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

namespace {

QTextDocument* documentOf(ConsoleWindow& console)
{
    return console.findChild<QPlainTextEdit*>(QStringLiteral("textView"))->document();
}

// The coloured ranges of one line, as "start+length:colour".
QStringList colouredRanges(const QTextBlock& block)
{
    QStringList ranges;
    for (const QTextLayout::FormatRange& range : block.layout()->formats())
        ranges << QStringLiteral("%1+%2:%3")
                      .arg(range.start)
                      .arg(range.length)
                      .arg(range.format.foreground().color().name());
    return ranges;
}

enum Kind
{
    Error,
    Warning,
    Info,
    Output
};

void send(ConsoleWindow& console, Kind kind, const QString& text)
{
    switch (kind) {
    case Error:
        console.error(text);
        break;
    case Warning:
        console.warning(text);
        break;
    case Info:
        console.info(text);
        break;
    case Output:
        console.output(text);
        break;
    }
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void offersTheFiveShowOnChoices()
    {
        ConsoleWindow console;
        auto* combo = console.findChild<QComboBox*>(QStringLiteral("showOnCombo"));
        QVERIFY(combo);
        const QStringList texts = {"Errors Only", "Errors and Warnings", "Errors, Warnings and Info",
                                   "Any Output", "Disabled"};
        const QList<int> values = {1, 2, 3, 4, 0};
        QCOMPARE(combo->count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(combo->itemText(i), texts[i]);
            QCOMPARE(combo->itemData(i).toInt(), values[i]);
        }
        QCOMPARE(console.windowTitle(), QStringLiteral("Console"));
        QVERIFY(console.isHidden());
    }

    void setsTheChoiceByValue()
    {
        ConsoleWindow console;
        auto* combo = console.findChild<QComboBox*>(QStringLiteral("showOnCombo"));
        console.setShowOnType(0);
        QCOMPARE(combo->currentText(), QStringLiteral("Disabled"));
        QCOMPARE(console.showOnType(), 0);
        console.setShowOnType(3);
        QCOMPARE(console.showOnType(), 3);
        QCOMPARE(combo->currentIndex(), 2);
        console.setShowOnType(7);
        QCOMPARE(console.showOnType(), 3);
        console.setShowOnType(-1);
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(console.showOnType(), 0);
        console.error(QStringLiteral("nobody sees this pop up"));
        QVERIFY(console.isHidden());
    }

    void popsUpByTheChoice_data()
    {
        QTest::addColumn<int>("showOn");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("popsUp");
        const QString lines[] = {"ERROR: m", "WARNING: m", "INFO: m", "m"};
        const char* kindNames[] = {"error", "warning", "info", "output"};
        for (int showOn = 0; showOn <= 4; ++showOn) {
            for (int kind = Error; kind <= Output; ++kind) {
                // Errors need a choice above 0, warnings above 1, and so on.
                const bool popsUp = showOn > kind;
                QTest::addRow("show on %d, %s", showOn, kindNames[kind])
                    << showOn << kind << lines[kind] << popsUp;
            }
        }
    }
    void popsUpByTheChoice()
    {
        QFETCH(int, showOn);
        QFETCH(int, kind);
        QFETCH(QString, line);
        QFETCH(bool, popsUp);
        ConsoleWindow console;
        console.setShowOnType(showOn);
        send(console, Kind(kind), QStringLiteral("m"));
        QCOMPARE(console.text(), line);
        QCOMPARE(console.isVisible(), popsUp);
    }

    void appendsOneLinePerMessage()
    {
        ConsoleWindow console;
        console.setShowOnType(0);
        console.error(QStringLiteral("File not found: /a.mov"));
        console.warning(QStringLiteral("w"));
        console.info(QStringLiteral("i"));
        console.output(QStringLiteral("two\nlines"));
        QCOMPARE(console.text(),
                 QStringLiteral("ERROR: File not found: /a.mov\nWARNING: w\nINFO: i\ntwo\nlines"));
        console.findChild<QPushButton*>(QStringLiteral("clearButton"))->click();
        QCOMPARE(console.text(), QString());
    }

    void coloursOnlyALeadingPrefix()
    {
        ConsoleWindow console;
        console.setShowOnType(0);
        console.error(QStringLiteral("cannot open"));
        console.warning(QStringLiteral("slow disk"));
        console.info(QStringLiteral("loaded"));
        console.output(QStringLiteral("the text ERROR: inside a line"));
        console.output(QStringLiteral("error: lower case"));
        console.error(QStringLiteral("WARNING: nested"));
        QTextDocument* document = documentOf(console);
        QCOMPARE(document->blockCount(), 6);
        QCOMPARE(colouredRanges(document->findBlockByNumber(0)), QStringList{"0+7:#ff0000"});
        QCOMPARE(colouredRanges(document->findBlockByNumber(1)), QStringList{"0+9:#ffff00"});
        QCOMPARE(colouredRanges(document->findBlockByNumber(2)), QStringList{"0+6:#00ffff"});
        QCOMPARE(colouredRanges(document->findBlockByNumber(3)), QStringList{});
        QCOMPARE(colouredRanges(document->findBlockByNumber(4)), QStringList{});
        QCOMPARE(colouredRanges(document->findBlockByNumber(5)), QStringList{"0+7:#ff0000"});
    }

    void reopensWhereItWasClosed()
    {
        ConsoleWindow console;
        console.show();
        QVERIFY(QTest::qWaitForWindowExposed(&console, patienceMs));
        const QRect placed(120, 90, 420, 260);
        console.setGeometry(placed);
        QTRY_COMPARE_WITH_TIMEOUT(console.geometry(), placed, patienceMs);
        QVERIFY(console.close());
        QVERIFY(console.isHidden());

        // Moved while hidden, it comes back where the user left it, both when
        // shown by hand and when a message pops it up.
        console.setGeometry(10, 10, 320, 200);
        console.show();
        QTRY_COMPARE_WITH_TIMEOUT(console.geometry(), placed, patienceMs);
        console.close();
        console.setGeometry(10, 10, 320, 200);
        console.setShowOnType(1);
        console.error(QStringLiteral("pops up"));
        QVERIFY(console.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(console.geometry(), placed, patienceMs);
    }

    void escapeClosesAndKeepsTheGeometry()
    {
        ConsoleWindow console;
        console.show();
        QVERIFY(QTest::qWaitForWindowExposed(&console, patienceMs));
        const QRect placed(200, 150, 360, 240);
        console.setGeometry(placed);
        QTRY_COMPARE_WITH_TIMEOUT(console.geometry(), placed, patienceMs);
        QTest::keyClick(&console, Qt::Key_Escape);
        QVERIFY(console.isHidden());
        console.resize(300, 180);
        console.show();
        QTRY_COMPARE_WITH_TIMEOUT(console.geometry(), placed, patienceMs);

        // Other keys leave it open; the Close button closes.
        QTest::keyClick(&console, Qt::Key_A);
        QVERIFY(console.isVisible());
        console.findChild<QPushButton*>(QStringLiteral("closeButton"))->click();
        QVERIFY(console.isHidden());
    }
};

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
