// The transport buttons, the volume control with its mute logic, the slider
// that jumps to a click and passes keys on, and the compiled-in resources.
#include "appsettings.h"
#include "playbackcontrolwidget.h"
#include "volumewidget.h"
#include "widgettesthelpers.h"
#include "zslider.h"

#include <QFile>
#include <QIcon>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace WidgetTest;

namespace {

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool showsIcon(const QPushButton* button, const QString& path)
{
    return iconImage(button->icon()) == iconImage(QIcon(path));
}

// The play icon pointing left, as the play-backward button shows it.
bool showsBackwardIcon(const QPushButton* button)
{
    const QPixmap play(QStringLiteral(":/icons/play"));
    return iconImage(button->icon()) == iconImage(QIcon(play.transformed(QTransform().scale(-1, 1))));
}

// A parent that records the keys its children let through.
class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys << event->key(); }
};

QList<int> intValues(const QSignalSpy& spy)
{
    QList<int> values;
    for (const QList<QVariant>& arguments : spy)
        values << arguments.at(0).toInt();
    return values;
}

} // namespace

class ControlsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void resourcesAreCompiledIn();
    void styleSheetRules();

    void transportButtons();
    void playButtonShowsPauseWhilePlaying();

    void sliderClickEndsSnapToTheLimits();
    void sliderClickJumpsToThePosition();
    void sliderHandleDragFollowsThePointer();
    void sliderInvertedAppearance();
    void sliderPassesKeysToItsParent();

    void volumeLayout();
    void muteSendsZeroAndBackTheStoredVolume();
    void outOfRangeStoredVolumeStartsAtNormalLevel();
    void savedMuteIsAppliedAtConstruction();
    void setVolumeZeroWhileMutedStaysMuted();
    void setVolumeClampsAndUnmutes();
    void movingTheSliderUnmutesAtThatLevel();
};

void ControlsTest::init()
{
    appSettings() = AppSettings();
}

void ControlsTest::resourcesAreCompiledIn()
{
    const QStringList icons = {"play",      "pause",   "stepfwd", "stepbwd",
                               "seekstart", "seekend", "mute",    "volume"};
    for (const QString& name : icons) {
        const QImage image(":/icons/" + name);
        QVERIFY2(!image.isNull(), qPrintable(name));
        QVERIFY(image.hasAlphaChannel());
        // A light glyph on a transparent ground, antialiased.
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        int opaqueLight = 0;
        int partial = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour.alpha() == 255 && colour.lightness() > 180)
                    ++opaqueLight;
                else if (colour.alpha() > 0 && colour.alpha() < 255)
                    ++partial;
                QVERIFY(colour.alpha() == 0 || colour.lightness() > 150);
            }
        QVERIFY2(opaqueLight > image.width() * image.height() / 20, qPrintable(name));
        QVERIFY(partial > 0);
    }
    // Mirrored pairs are distinct pictures.
    QVERIFY(QImage(":/icons/stepfwd") != QImage(":/icons/stepbwd"));
    QVERIFY(QImage(":/icons/seekstart") != QImage(":/icons/seekend"));
    QVERIFY(QImage(":/icons/play") != QImage(":/icons/pause"));
    // The application icon, under both spellings of its path.
    const QImage application(":icons/application.png");
    QVERIFY(!application.isNull());
    QVERIFY(application.width() >= 64);
    QCOMPARE(application, QImage(":/icons/application.png"));
    QVERIFY(QFile::exists(":/stylesheets/fusiondark.qss"));
}

void ControlsTest::styleSheetRules()
{
    QFile file(":/stylesheets/fusiondark.qss");
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString sheet = QString::fromUtf8(file.readAll());
    const int commentStart = sheet.indexOf("/*");
    const int commentEnd = sheet.indexOf("*/", commentStart);
    QVERIFY(commentStart > 0 && commentEnd > commentStart);
    const QString active = sheet.left(commentStart) + sheet.mid(commentEnd + 2);
    const QString comment = sheet.mid(commentStart, commentEnd - commentStart);
    const auto rule = [](const QString& text, const QString& selector) {
        const int start = text.indexOf(selector + " {");
        return start < 0 ? QString() : text.mid(start, text.indexOf('}', start) - start);
    };
    const QString separator = rule(active, "QMenu::separator");
    QVERIFY(separator.contains("height: 1px"));
    QVERIFY(separator.contains("background: #333337"));
    QVERIFY(separator.contains("margin-left: 10px"));
    QVERIFY(separator.contains("margin-right: 10px"));
    const QString toolTip = rule(active, "QToolTip");
    QVERIFY(toolTip.contains("color: #ffffff"));
    QVERIFY(toolTip.contains("background-color: #2a82da"));
    QVERIFY(toolTip.contains("border: 1px solid white"));
    // The menu item rules are there but commented out.
    QVERIFY(!active.contains("QMenuBar::item") && !active.contains("QMenu::item"));
    QVERIFY(comment.contains("QMenuBar::item:selected { background: #3e3e40; }"));
    QVERIFY(comment.contains("QMenuBar::item:pressed { background: #1b1b1c; }"));
    QVERIFY(comment.contains("QMenu::item:selected { color: #f1f1f1; background: #333337; }"));
    // And the style sheet parses: a tool tip takes its colours.
    qApp->setStyleSheet(sheet);
    qApp->setStyleSheet(QString());
}

void ControlsTest::transportButtons()
{
    PlaybackControlWidget controls;
    showAndWait(controls, QSize(400, 42));
    QCOMPARE(controls.sizePolicy().horizontalPolicy(), QSizePolicy::MinimumExpanding);
    QCOMPARE(controls.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    const QStringList order = {"seekStartButton", "stepBackwardButton", "playBackwardButton",
                               "playButton",      "stepForwardButton",  "seekEndButton"};
    const QStringList icons = {":/icons/seekstart", ":/icons/stepbwd", QString(),
                               ":/icons/play",      ":/icons/stepfwd", ":/icons/seekend"};
    const QList<const char*> signalNames = {SIGNAL(seekStartClicked()),    SIGNAL(stepBackwardClicked()),
                                            SIGNAL(playBackwardClicked()), SIGNAL(playForwardClicked()),
                                            SIGNAL(stepForwardClicked()),  SIGNAL(seekEndClicked())};
    int previousRight = -1;
    for (int i = 0; i < order.size(); ++i) {
        QPushButton* button = controls.findChild<QPushButton*>(order[i]);
        QVERIFY2(button, qPrintable(order[i]));
        QCOMPARE(button->size(), QSize(30, 30));
        QVERIFY(!button->isFlat());
        QVERIFY(button->text().isEmpty());
        QVERIFY(icons[i].isEmpty() ? showsBackwardIcon(button) : showsIcon(button, icons[i]));
        // Left to right with 4 pixels between, centred by the stretches.
        if (previousRight >= 0)
            QCOMPARE(button->x(), previousRight + 1 + 4);
        previousRight = button->geometry().right();
        QCOMPARE(button->y(), 6);

        QList<QSignalSpy*> spies;
        for (const char* name : signalNames)
            spies << new QSignalSpy(&controls, name);
        QTest::mouseClick(button, Qt::LeftButton);
        for (int j = 0; j < spies.size(); ++j)
            QCOMPARE(spies[j]->count(), i == j ? 1 : 0);
        qDeleteAll(spies);
    }
    QCOMPARE(controls.findChild<QPushButton*>("seekStartButton")->x(), 400 - previousRight - 1);
    QCOMPARE(controls.height(), 42);
}

void ControlsTest::playButtonShowsPauseWhilePlaying()
{
    PlaybackControlWidget controls;
    QPushButton* play = controls.findChild<QPushButton*>("playButton");
    QVERIFY(!controls.isPlaying());
    controls.setPlaying(true);
    QVERIFY(showsIcon(play, ":/icons/pause"));
    QVERIFY(controls.isPlaying());
    controls.setPlaying(true);
    QVERIFY(showsIcon(play, ":/icons/pause"));
    controls.setPlaying(false);
    QVERIFY(showsIcon(play, ":/icons/play"));
    // Playing backwards, the play-backward button is the one that pauses.
    QPushButton* backward = controls.findChild<QPushButton*>("playBackwardButton");
    controls.setPlaying(true, true);
    QVERIFY(showsIcon(backward, ":/icons/pause"));
    QVERIFY(showsIcon(play, ":/icons/play"));
    QVERIFY(controls.isPlayingBackward());
    controls.setPlaying(false);
    QVERIFY(showsBackwardIcon(backward));
    // The button still asks to play (the window toggles).
    QSignalSpy spy(&controls, &PlaybackControlWidget::playForwardClicked);
    controls.setPlaying(true);
    play->click();
    QCOMPARE(spy.count(), 1);
}

void ControlsTest::sliderClickEndsSnapToTheLimits()
{
    ZSlider slider(Qt::Horizontal);
    slider.setRange(0, 150);
    showAndWait(slider, QSize(400, 20));
    QSignalSpy moved(&slider, &ZSlider::sliderPositionChanged);
    // 0.5 % of 400 pixels: x 0 and 1 set the minimum, x 399 the maximum.
    for (int x : {0, 1}) {
        slider.setValue(75);
        press(slider, QPoint(x, 10));
        release(slider, QPoint(x, 10));
        QCOMPARE(slider.value(), 0);
    }
    slider.setValue(75);
    press(slider, QPoint(399, 10));
    release(slider, QPoint(399, 10));
    QCOMPARE(slider.value(), 150);
    QCOMPARE(moved.count(), 3);
    // Just inside the margins the position counts: qRound(150 * 2 / 400) and
    // qRound(150 * 398 / 400).
    slider.setValue(75);
    press(slider, QPoint(2, 10));
    release(slider, QPoint(2, 10));
    QCOMPARE(slider.value(), 1);
    press(slider, QPoint(398, 10));
    release(slider, QPoint(398, 10));
    QCOMPARE(slider.value(), 149);
}

void ControlsTest::sliderClickJumpsToThePosition()
{
    ZSlider slider(Qt::Horizontal);
    slider.setRange(0, 150);
    showAndWait(slider, QSize(400, 20));
    slider.setValue(140);
    QSignalSpy moved(&slider, &ZSlider::sliderPositionChanged);
    QSignalSpy changed(&slider, &QSlider::valueChanged);
    press(slider, QPoint(100, 10)); // qRound(37.5) = 38, no page step
    release(slider, QPoint(100, 10));
    QCOMPARE(slider.value(), 38);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(changed.count(), 1);
    // A click on the current value changes nothing and signals nothing.
    slider.setValue(0);
    moved.clear();
    press(slider, QPoint(1, 10));
    QCOMPARE(moved.count(), 0);
    release(slider, QPoint(1, 10));
    // Other buttons do not jump.
    slider.setValue(75);
    press(slider, QPoint(20, 10), Qt::RightButton);
    release(slider, QPoint(20, 10), Qt::RightButton);
    QCOMPARE(slider.value(), 75);
}

void ControlsTest::sliderHandleDragFollowsThePointer()
{
    ZSlider slider(Qt::Horizontal);
    slider.setRange(0, 150);
    showAndWait(slider, QSize(400, 20));
    slider.setValue(75);
    QSignalSpy moved(&slider, &ZSlider::sliderPositionChanged);
    // A press on the handle grabs it without moving it.
    press(slider, QPoint(200, 10));
    QVERIFY(slider.isSliderDown());
    QCOMPARE(slider.value(), 75);
    QCOMPARE(moved.count(), 0);
    drag(slider, QPoint(300, 10)); // qRound(112.5)
    QCOMPARE(slider.value(), 113);
    drag(slider, QPoint(1, 4)); // no end margins while dragging
    QCOMPARE(slider.value(), 0);
    QCOMPARE(moved.count(), 2);
    // Past either end the slider holds at that end.
    drag(slider, QPoint(520, 10));
    QCOMPARE(slider.value(), 150);
    drag(slider, QPoint(-80, 10));
    QCOMPARE(slider.value(), 0);
    release(slider, QPoint(-80, 10));
    QVERIFY(!slider.isSliderDown());
    // Without a grabbed handle a move changes nothing.
    drag(slider, QPoint(300, 10));
    QCOMPARE(slider.value(), 0);
}

void ControlsTest::sliderInvertedAppearance()
{
    ZSlider slider(Qt::Horizontal);
    slider.setRange(0, 150);
    slider.setInvertedAppearance(true);
    showAndWait(slider, QSize(400, 20));
    slider.setValue(75);
    press(slider, QPoint(100, 10));
    release(slider, QPoint(100, 10));
    QCOMPARE(slider.value(), 150 - 38);
    press(slider, QPoint(0, 10));
    release(slider, QPoint(0, 10));
    QCOMPARE(slider.value(), 150);
}

void ControlsTest::sliderPassesKeysToItsParent()
{
    KeyRecorder parent;
    ZSlider* slider = new ZSlider(Qt::Horizontal, &parent);
    slider->setRange(0, 150);
    slider->setValue(75);
    showAndWait(parent, QSize(400, 30));
    slider->setFocus();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_Space})
        QTest::keyClick(slider, key);
    QCOMPARE(slider->value(), 75);
    QCOMPARE(parent.keys,
             (QList<int>{Qt::Key_Right, Qt::Key_Left, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_Space}));
}

void ControlsTest::volumeLayout()
{
    VolumeWidget volume;
    showAndWait(volume, QSize(90, 24));
    QPushButton* mute = volume.findChild<QPushButton*>("muteButton");
    ZSlider* slider = volume.findChild<ZSlider*>("volumeSlider");
    QVERIFY(mute && slider);
    QCOMPARE(mute->size(), QSize(19, 19));
    QVERIFY(mute->isFlat());
    QCOMPARE(mute->styleSheet(), QString("QPushButton:flat:pressed { border: none; }"));
    QVERIFY(showsIcon(mute, ":/icons/volume"));
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 150);
    QCOMPARE(slider->value(), 100);
    QCOMPARE(mute->x(), 0);
    QCOMPARE(slider->x(), 19 + 2);
    QCOMPARE(slider->geometry().right(), 89);
}

void ControlsTest::muteSendsZeroAndBackTheStoredVolume()
{
    appSettings().volume = 80;
    VolumeWidget volume;
    showAndWait(volume, QSize(90, 24));
    QPushButton* mute = volume.findChild<QPushButton*>("muteButton");
    ZSlider* slider = volume.findChild<ZSlider*>("volumeSlider");
    QSignalSpy sent(&volume, &VolumeWidget::volumeChanged);
    QCOMPARE(slider->value(), 80);

    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(intValues(sent), QList<int>{0});
    QCOMPARE(slider->value(), 0);
    QVERIFY(volume.isMuted());
    QVERIFY(appSettings().muted);
    QCOMPARE(appSettings().volume, 80);
    QVERIFY(showsIcon(mute, ":/icons/mute"));

    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(intValues(sent), (QList<int>{0, 80}));
    QCOMPARE(slider->value(), 80);
    QVERIFY(!volume.isMuted());
    QVERIFY(!appSettings().muted);
    QCOMPARE(appSettings().volume, 80);
    QVERIFY(showsIcon(mute, ":/icons/volume"));

    // The same through the slots; a repeated setMuted does nothing.
    volume.toggleMute();
    volume.setMuted(true);
    QCOMPARE(intValues(sent), (QList<int>{0, 80, 0}));
    volume.setMuted(false);
    volume.setMuted(false);
    QCOMPARE(intValues(sent), (QList<int>{0, 80, 0, 80}));
    QCOMPARE(volume.volume(), 80);
}

void ControlsTest::outOfRangeStoredVolumeStartsAtNormalLevel()
{
    for (int stored : {200, 151, -5}) {
        appSettings().volume = stored;
        VolumeWidget volume;
        QCOMPARE(volume.volume(), 100);
        QCOMPARE(appSettings().volume, 100);
        QCOMPARE(volume.findChild<ZSlider*>()->value(), 100);
    }
    for (int stored : {0, 150}) {
        appSettings().volume = stored;
        VolumeWidget volume;
        QCOMPARE(volume.volume(), stored);
        QCOMPARE(volume.findChild<ZSlider*>()->value(), stored);
    }
}

void ControlsTest::savedMuteIsAppliedAtConstruction()
{
    appSettings().volume = 80;
    appSettings().muted = true;
    VolumeWidget volume;
    QVERIFY(volume.isMuted());
    QCOMPARE(volume.findChild<ZSlider*>()->value(), 0);
    QVERIFY(showsIcon(volume.findChild<QPushButton*>(), ":/icons/mute"));
    QCOMPARE(volume.volume(), 80);
    QSignalSpy sent(&volume, &VolumeWidget::volumeChanged);
    volume.toggleMute();
    QCOMPARE(intValues(sent), QList<int>{80});
}

void ControlsTest::setVolumeZeroWhileMutedStaysMuted()
{
    appSettings().volume = 80;
    VolumeWidget volume;
    volume.setMuted(true);
    QSignalSpy sent(&volume, &VolumeWidget::volumeChanged);
    volume.setVolume(0);
    QVERIFY(volume.isMuted());
    QCOMPARE(volume.volume(), 0);
    QCOMPARE(sent.count(), 0);
    QVERIFY(showsIcon(volume.findChild<QPushButton*>(), ":/icons/mute"));
}

void ControlsTest::setVolumeClampsAndUnmutes()
{
    VolumeWidget volume;
    ZSlider* slider = volume.findChild<ZSlider*>();
    QSignalSpy sent(&volume, &VolumeWidget::volumeChanged);
    volume.setVolume(200);
    QCOMPARE(volume.volume(), 150);
    QCOMPARE(slider->value(), 150);
    volume.setVolume(-5);
    QCOMPARE(volume.volume(), 0);
    QCOMPARE(slider->value(), 0);
    // A setter: on an unmuted widget the slider follows without a request.
    QCOMPARE(sent.count(), 0);

    volume.setVolume(70);
    volume.setMuted(true);
    sent.clear();
    volume.setVolume(40);
    QVERIFY(!volume.isMuted());
    QCOMPARE(volume.volume(), 40);
    QCOMPARE(slider->value(), 40);
    QCOMPARE(intValues(sent), QList<int>{40});
}

void ControlsTest::movingTheSliderUnmutesAtThatLevel()
{
    appSettings().volume = 80;
    VolumeWidget volume;
    showAndWait(volume, QSize(90, 24));
    ZSlider* slider = volume.findChild<ZSlider*>();
    QSignalSpy sent(&volume, &VolumeWidget::volumeChanged);

    // Unmuted: the slider's value is sent; the same value again is not.
    slider->setValue(90);
    slider->setValue(90);
    QCOMPARE(intValues(sent), QList<int>{90});
    QCOMPARE(appSettings().volume, 90);

    volume.setMuted(true);
    sent.clear();
    // A click on the slider of a muted widget unmutes it at the clicked level.
    const int x = slider->width() / 2;
    press(*slider, QPoint(x, slider->height() / 2));
    release(*slider, QPoint(x, slider->height() / 2));
    const int level = qRound(float(150 * x) / slider->width());
    QVERIFY(!volume.isMuted());
    QCOMPARE(volume.volume(), level);
    QCOMPARE(slider->value(), level);
    QCOMPARE(intValues(sent), QList<int>{level});
    QVERIFY(showsIcon(volume.findChild<QPushButton*>(), ":/icons/volume"));
}

int runControlsTests(int argc, char** argv)
{
    ControlsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_controls.moc"
