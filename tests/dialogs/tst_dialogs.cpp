// The preferences, media information, range bookmark and about dialogs.
#include "aboutdialog.h"
#include "appsettings.h"
#include "mediainfodialog.h"
#include "patience.h"
#include "preferencesdialog.h"
#include "rangebookmarkdialog.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

template <typename T>
T* child(QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

// The "preferences" group, to compare before and after a dialog ran.
QVariantList preferences()
{
    const AppSettings& s = appSettings();
    return {s.cacheSize,
            s.cacheTrailingPct,
            s.numRecentFiles,
            s.numRecentBookmarkFiles,
            s.openMediaInNewPlayers,
            s.resizeToFit,
            s.continuePlayingAfterSeek,
            s.endlessMouseScrub,
            s.tcpPort,
            s.recentFiles};
}

// Closes the next message box that opens and remembers its title and text.
struct MessageBoxCatcher
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;

    void arm()
    {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = true;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->accept();
        });
    }
};

// The value labels of the media information, one per row.
QStringList valueLabels(const QDialog& dialog)
{
    QStringList names;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->objectName().endsWith(QLatin1String("ValueLabel")))
            names << label->objectName();
    }
    return names;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init() { appSettings() = AppSettings(); }

    // --- Range bookmarks ---

    // A hundred thousand range bookmarks, narrowed by a filter; the entry
    // chosen is found in the full list whatever is shown.
    void rangeBookmarksAreFilteredAndChosen()
    {
        QVector<RangeBookmark> ranges;
        for (int i = 0; i < 100000; ++i)
            ranges.append(
                {i * 10 + 1, i * 10 + 5, QStringLiteral("[%1-%2]").arg(i * 10 + 1).arg(i * 10 + 5)});
        RangeBookmarkDialog dialog(ranges, 5000);
        // Shown, so that the list view follows every change of the filter.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, patienceMs));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Range Bookmarks"));
        QCOMPARE(dialog.shownCount(), 100000);
        QCOMPARE(dialog.chosenIndex(), 5000);

        QTest::keyClicks(child<QLineEdit>(dialog, "filterField"), QStringLiteral("[99991-99995]"));
        QCOMPARE(dialog.shownCount(), 1);
        QCOMPARE(dialog.chosenIndex(), 9999);
        dialog.setFilter(QStringLiteral("no such name"));
        QCOMPARE(dialog.shownCount(), 0);
        QCOMPARE(dialog.chosenIndex(), -1);
        dialog.setFilter(QStringLiteral("[71-75]"));
        QCOMPARE(dialog.shownCount(), 1);
        QCOMPARE(dialog.chosenIndex(), 7);

        // Enter on the entry chooses it.
        auto* list = child<QListView>(dialog, "rangeList");
        QTimer::singleShot(0, [list] { QTest::keyClick(list, Qt::Key_Return); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenIndex(), 7);
    }

    // --- Preferences ---

    void showsTheStoredPreferences()
    {
        AppSettings& s = appSettings();
        s.cacheSize = 2048;
        s.cacheTrailingPct = 0.3f;
        s.numRecentFiles = 7;
        s.numRecentBookmarkFiles = 0;
        s.openMediaInNewPlayers = true;
        s.resizeToFit = false;
        s.continuePlayingAfterSeek = false;
        s.endlessMouseScrub = true;
        s.tcpPort = 18000;
        PreferencesDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Preferences"));
        QCOMPARE(dialog.cacheSize(), 2048);
        QCOMPARE(dialog.cacheTrailingPct(), 0.3);
        QCOMPARE(dialog.numRecentFiles(), 7);
        QCOMPARE(dialog.numRecentBookmarkFiles(), 0);
        QCOMPARE(dialog.openMediaInNewPlayers(), true);
        QCOMPARE(dialog.resizeToFit(), false);
        QCOMPARE(dialog.continuePlayingAfterSeek(), false);
        QCOMPARE(dialog.endlessMouseScrub(), true);
        QCOMPARE(dialog.tcpPort(), 18000);
    }

    void keepsValuesInsideTheirRanges()
    {
        AppSettings& s = appSettings();
        s.cacheTrailingPct = 0.99f;
        s.cacheSize = 9000;
        s.numRecentFiles = 11;
        PreferencesDialog dialog;
        QCOMPARE(dialog.cacheTrailingPct(), 0.95);
        QCOMPARE(child<QDoubleSpinBox>(dialog, "trailingCacheSpinBox")->text(), QStringLiteral("0.95"));
        QCOMPARE(dialog.cacheSize(), 4096);
        QCOMPARE(dialog.numRecentFiles(), 10);
        s.cacheTrailingPct = 0.01f;
        s.cacheSize = 100;
        dialog.loadSettings();
        QCOMPARE(dialog.cacheTrailingPct(), 0.05);
        QCOMPARE(dialog.cacheSize(), 256);
        QCOMPARE(child<QSpinBox>(dialog, "tcpPortSpinBox")->maximum(), 65535);
        QCOMPARE(child<QSpinBox>(dialog, "tcpPortSpinBox")->minimum(), 1024);
    }

    void cancelChangesNothing()
    {
        appSettings().recentFiles = QStringList{"/a.mov", "/b.mov"};
        const QVariantList before = preferences();
        PreferencesDialog dialog;
        child<QListWidget>(dialog, "pageList")->setCurrentRow(1);
        child<QSpinBox>(dialog, "cacheSizeSpinBox")->setValue(1024);
        child<QDoubleSpinBox>(dialog, "trailingCacheSpinBox")->setValue(0.5);
        child<QSpinBox>(dialog, "recentFilesSpinBox")->setValue(1);
        child<QCheckBox>(dialog, "resizeToFitCheckBox")->setChecked(false);
        child<QSpinBox>(dialog, "tcpPortSpinBox")->setValue(1234);
        QTimer::singleShot(0, child<QPushButton>(dialog, "cancelButton"), &QPushButton::click);
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(preferences(), before);
    }

    void okAcceptsWithTheEditedValues()
    {
        PreferencesDialog dialog;
        child<QSpinBox>(dialog, "recentBookmarkFilesSpinBox")->setValue(3);
        child<QCheckBox>(dialog, "endlessScrubCheckBox")->setChecked(false);
        QTimer::singleShot(0, child<QPushButton>(dialog, "okButton"), &QPushButton::click);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.numRecentBookmarkFiles(), 3);
        QCOMPARE(dialog.endlessMouseScrub(), false);
    }

    void listDrivesThePages()
    {
        PreferencesDialog dialog;
        auto* list = child<QListWidget>(dialog, "pageList");
        auto* pages = child<QStackedWidget>(dialog, "pages");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("General"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("Network"));
        QCOMPARE(list->currentRow(), -1);
        QCOMPARE(pages->currentIndex(), 0);
        list->setCurrentRow(1);
        QCOMPARE(pages->currentIndex(), 1);
        QVERIFY(pages->currentWidget()->isAncestorOf(child<QSpinBox>(dialog, "tcpPortSpinBox")));
        list->setCurrentRow(0);
        QVERIFY(pages->currentWidget()->isAncestorOf(child<QSpinBox>(dialog, "cacheSizeSpinBox")));
    }

    void warnsAboutSeparateCachesOnlyWhenChecked()
    {
        PreferencesDialog dialog;
        auto* checkBox = child<QCheckBox>(dialog, "openInNewPlayersCheckBox");
        MessageBoxCatcher unchecked;
        checkBox->setChecked(false);
        unchecked.arm();
        dialog.openInNewPlayersWarning();
        QCoreApplication::processEvents();
        QVERIFY(!unchecked.seen);

        MessageBoxCatcher checked;
        checkBox->setChecked(true);
        checked.arm();
        dialog.openInNewPlayersWarning();
        QVERIFY(checked.seen);
        QCOMPARE(checked.title, QStringLiteral("Multiple Players Warning"));
        QCOMPARE(checked.text, QStringLiteral("A separate cache exists for each player"));
        QCOMPARE(checked.icon, QMessageBox::Warning);
    }

    // --- Media information ---

    void mediaInfoStartsWithNoMedia()
    {
        MediaInfoDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Media Information"));
        QCOMPARE(child<QLabel>(dialog, "titleLabel")->text(), QStringLiteral("<b>No Media</b>"));
        QCOMPARE(valueLabels(dialog).size(), int(MediaInfoDialog::Row::CachedRange) + 1);
        for (const QString& name : valueLabels(dialog))
            QVERIFY2(child<QLabel>(dialog, qPrintable(name))->text().isEmpty(), qPrintable(name));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    }

    void mediaInfoShowsItsTextsButNeverTheCacheRows()
    {
        using Row = MediaInfoDialog::Row;
        MediaInfoDialog dialog;
        dialog.setSource(QStringLiteral("/clips/shot 10.mov"));
        dialog.setText(Row::FrameRange, QStringLiteral("1 - 250"));
        dialog.setText(Row::CurrentSize, QStringLiteral("640 x 480"));
        dialog.setText(Row::ColourMatrix, QStringLiteral("BT.709"));
        dialog.setText(Row::ChannelLayout, QStringLiteral("stereo, 2 channels"));
        dialog.setText(Row::VideoCache, QStringLiteral("100 MB"));
        dialog.setText(Row::CachedRange, QStringLiteral("1 - 50"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, patienceMs));

        QCOMPARE(child<QLabel>(dialog, "titleLabel")->text(), QStringLiteral("<b>shot 10.mov</b>"));
        QCOMPARE(child<QLabel>(dialog, "sourceValueLabel")->text(), QStringLiteral("/clips/shot 10.mov"));
        QCOMPARE(child<QLabel>(dialog, "frameRangeValueLabel")->text(), QStringLiteral("1 - 250"));
        QCOMPARE(child<QLabel>(dialog, "currentSizeValueLabel")->text(), QStringLiteral("640 x 480"));
        QCOMPARE(child<QLabel>(dialog, "colourMatrixLabel")->text(), QStringLiteral("Colour Matrix:"));
        QCOMPARE(child<QLabel>(dialog, "colourMatrixValueLabel")->text(), QStringLiteral("BT.709"));
        QCOMPARE(dialog.text(Row::ChannelLayout), QStringLiteral("stereo, 2 channels"));
        QVERIFY(child<QLabel>(dialog, "normalSizeLabel")->isVisible());
        QVERIFY(child<QLabel>(dialog, "channelLayoutLabel")->isVisible());
        for (const char* name : {"videoCacheLabel", "videoCacheValueLabel", "audioCacheLabel",
                                 "audioCacheValueLabel", "cachedRangeLabel", "cachedRangeValueLabel"})
            QVERIFY2(!child<QLabel>(dialog, name)->isVisible(), name);

        dialog.setNoMedia();
        QCOMPARE(child<QLabel>(dialog, "titleLabel")->text(), QStringLiteral("<b>No Media</b>"));
        for (const QString& name : valueLabels(dialog))
            QVERIFY2(child<QLabel>(dialog, qPrintable(name))->text().isEmpty(), qPrintable(name));
    }

    void mediaInfoIgnoresTheSameSourceAgain()
    {
        MediaInfoDialog dialog;
        auto* title = child<QLabel>(dialog, "titleLabel");
        dialog.setSource(QStringLiteral("/clips/a.mov"));
        title->setText(QStringLiteral("marker"));
        dialog.setSource(QStringLiteral("/clips/a.mov"));
        QCOMPARE(title->text(), QStringLiteral("marker"));
        dialog.setSource(QStringLiteral("/clips/<b>.mov"));
        QCOMPARE(title->text(), QStringLiteral("<b>&lt;b&gt;.mov</b>"));
    }

    // --- About ---

    void aboutShowsVersionAndNotices()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Orvel"));
        QCOMPARE(child<QLabel>(dialog, "versionNumberLabel")->text(), QStringLiteral("1.4.1"));
        QVERIFY(!child<QLabel>(dialog, "authorNameLabel")->text().isEmpty());
        QVERIFY(!child<QLabel>(dialog, "authorNameLabel_2")->text().isEmpty());
        const QString notices = child<QTextEdit>(dialog, "textEdit")->toPlainText();
        QVERIFY(notices.contains(QStringLiteral("Qt Version: 5.3.2")));
        QVERIFY(!notices.contains(QStringLiteral("5.2.1")));
        QVERIFY(
            notices.contains(QStringLiteral("This software uses libraries from Qt project under LGPLv2.1.")));
        QVERIFY(notices.contains(
            QStringLiteral("This software uses libraries from the FFmpeg project under the LGPLv2.1.")));
        QVERIFY(notices.contains(
            QStringLiteral("This software uses libraries from PortAudio under the MIT license.")));
        QVERIFY(child<QTextEdit>(dialog, "textEdit")->isReadOnly());
        QCOMPARE(dialog.layout()->sizeConstraint(), QLayout::SetFixedSize);

        // The captions are shown whole and their values line up.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, patienceMs));
        for (const char* name : {"versionLabel", "authorLabel", "authorLabel_2"}) {
            auto* caption = child<QLabel>(dialog, name);
            QVERIFY2(caption->width() >= caption->sizeHint().width(), name);
            QCOMPARE(caption->width(), child<QLabel>(dialog, "versionLabel")->width());
        }
    }

    void aboutClosesWithOk()
    {
        AboutDialog dialog;
        QTimer::singleShot(0, child<QPushButton>(dialog, "okButton"), &QPushButton::click);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
