// The video viewer: scaled to fit with the aspect ratio kept, centred on
// black, the odd spare pixel on the right, and a null pixmap; zoom on the
// pointer and on the centre, pan, sharp pixels above 1:1, rotation and flips
// while zoomed, the pixel readout, and frames handed over already scaled to
// the size they are shown at. The tests of zoom, pan and pixels count
// device pixels, so they also run with a device pixel ratio of 2
// (tst_widgets_hidpi).
#include "patience.h"
#include "softwareviewer.h"
#include "widgettesthelpers.h"

#include <QPainter>
#include <QtTest>
#include <atomic>

using namespace WidgetTest;

namespace {

const QColor black(0, 0, 0);
const QColor leftColour(220, 40, 40);
const QColor rightColour(40, 40, 220);

// Red on the left half, blue on the right, so a mirrored or misplaced picture shows.
QPixmap twoColourPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(leftColour);
    QPainter painter(&image);
    painter.fillRect(width / 2, 0, width - width / 2, height, rightColour);
    painter.end();
    return QPixmap::fromImage(image);
}

// Every pixel names its own coordinates: red and green the low bits of x and
// y, blue their high bits, so a grab tells which file pixel each device pixel shows.
QImage coordinatePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x & 255, y & 255, (x >> 8) | (y >> 8) << 4);
    }
    return image;
}

QPoint coordinatesOf(QRgb colour)
{
    return QPoint(qRed(colour) | (qBlue(colour) & 15) << 8, qGreen(colour) | (qBlue(colour) >> 4) << 8);
}

// The picture on screen once the viewer has rendered what it was last given.
QImage shown(SoftwareViewer& viewer)
{
    if (!QTest::qWaitFor([&] { return viewer.isPictureCurrent(); }, patienceMs))
        qWarning("the viewer never finished rendering");
    return render(viewer);
}

qreal ratio(const QWidget& widget)
{
    return widget.devicePixelRatioF();
}

// The widget point on device pixel `device`.
QPoint logical(const QWidget& widget, QPoint device)
{
    return QPoint(qRound(device.x() / ratio(widget)), qRound(device.y() / ratio(widget)));
}

// The zoom factor shows for a moment in the top-left corner, over the picture.
bool underZoomLabel(const QWidget& widget, QPoint device)
{
    return QRect(0, 0, 160, 50).contains(device / ratio(widget));
}

// Zooms in from Actual Pixels until the label reads `label`.
void zoomInTo(SoftwareViewer& viewer, const QString& label)
{
    viewer.zoomToActualPixels();
    for (int i = 0; i < 10 && viewer.zoomText() != label; ++i)
        viewer.zoomIn();
    QCOMPARE(viewer.zoomText(), label);
}

void ctrlWheel(QWidget& widget, QPoint position, int notches)
{
    QWheelEvent event(position, widget.mapToGlobal(position), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

// Where file pixel (0, 0) of a coordinate picture lies in a grab, seen from
// the device pixel at `probe` (zoom: device pixels per file pixel, whole).
QPoint originIn(const QImage& grab, QPoint probe, int zoom)
{
    QPoint file = coordinatesOf(grab.pixel(probe));
    // Back to the first device pixel of that file pixel.
    QPoint start = probe;
    while (start.x() > 0 && grab.pixel(start.x() - 1, probe.y()) == grab.pixel(probe))
        start.rx()--;
    while (start.y() > 0 && grab.pixel(probe.x(), start.y() - 1) == grab.pixel(probe))
        start.ry()--;
    return start - file * zoom;
}

} // namespace

class SoftwareViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void pillarboxCentresHorizontally();
    void letterboxCentresVertically();
    void oddSparePixelGoesRightAndBottom();
    void smallPictureIsScaledUp();
    void nullPixmapPaintsBlack();
    void fitDrawsAtDeviceResolution();
    void actualPixelsShowsEachFilePixelOnOneDevicePixel();
    void zoomStepsAndTheirLabels();
    void zoomingOnThePointerKeepsThePixelUnderIt();
    void middleDragPansByTheDraggedDistance();
    void zoomedPixelsAreSharpSquares();
    void rotationAndFlipsTurnTheZoomedPicture();
    void readoutNamesThePixelUnderThePointer();
    void framePreparedAtTheShownSizeIsShownAsItIs();
};

void SoftwareViewerTest::construction()
{
    SoftwareViewer viewer;
    QCOMPARE(viewer.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(viewer.sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(viewer.minimumSize(), QSize(100, 100));
    QVERIFY(viewer.pixmap().isNull());
    QCOMPARE(viewer.displayedWidth(), 0);
    QCOMPARE(viewer.displayedHeight(), 0);
    const QPixmap picture = twoColourPicture(64, 48);
    viewer.setPixmap(picture);
    QCOMPARE(viewer.pixmap().cacheKey(), picture.cacheKey());
}

void SoftwareViewerTest::pillarboxCentresHorizontally()
{
    SoftwareViewer viewer;
    showAndWait(viewer, QSize(400, 200));
    viewer.setPixmap(twoColourPicture(300, 300)); // taller than the widget's proportions
    const QImage image = shown(viewer);
    QCOMPARE(viewer.displayedWidth(), 200);
    QCOMPARE(viewer.displayedHeight(), 200);
    QCOMPARE_PIXEL(image, 99, 100, black);
    QCOMPARE_PIXEL(image, 100, 100, leftColour);
    QCOMPARE_PIXEL(image, 100, 0, leftColour);
    QCOMPARE_PIXEL(image, 150, 199, leftColour);
    QCOMPARE_PIXEL(image, 250, 100, rightColour);
    QCOMPARE_PIXEL(image, 299, 100, rightColour);
    QCOMPARE_PIXEL(image, 300, 100, black);
    QCOMPARE_PIXEL(image, 0, 0, black);
    QCOMPARE_PIXEL(image, 399, 199, black);
}

void SoftwareViewerTest::letterboxCentresVertically()
{
    SoftwareViewer viewer;
    showAndWait(viewer, QSize(400, 400));
    viewer.setPixmap(twoColourPicture(1920, 1080));
    const QImage image = shown(viewer);
    // 400 wide keeps 16:9 at 225 high: 87 black rows above, 88 below.
    QCOMPARE(viewer.displayedWidth(), 400);
    QCOMPARE(viewer.displayedHeight(), 225);
    QCOMPARE_PIXEL(image, 100, 86, black);
    QCOMPARE_PIXEL(image, 100, 87, leftColour);
    QCOMPARE_PIXEL(image, 0, 200, leftColour);
    QCOMPARE_PIXEL(image, 399, 200, rightColour);
    QCOMPARE_PIXEL(image, 300, 311, rightColour);
    QCOMPARE_PIXEL(image, 300, 312, black);
    QCOMPARE_PIXEL(image, 300, 399, black);
}

void SoftwareViewerTest::oddSparePixelGoesRightAndBottom()
{
    SoftwareViewer viewer;
    showAndWait(viewer, QSize(301, 200));
    viewer.setPixmap(twoColourPicture(100, 100));
    QImage image = shown(viewer);
    // 101 spare columns: 50 on the leftColour, 51 on the rightColour.
    QCOMPARE(viewer.displayedWidth(), 200);
    QCOMPARE_PIXEL(image, 49, 100, black);
    QCOMPARE_PIXEL(image, 50, 100, leftColour);
    QCOMPARE_PIXEL(image, 249, 100, rightColour);
    QCOMPARE_PIXEL(image, 250, 100, black);
    QCOMPARE_PIXEL(image, 300, 100, black);

    viewer.resize(200, 301);
    QTRY_COMPARE_WITH_TIMEOUT(viewer.height(), 301, patienceMs);
    image = shown(viewer);
    QCOMPARE(viewer.displayedHeight(), 200);
    QCOMPARE_PIXEL(image, 50, 49, black);
    QCOMPARE_PIXEL(image, 50, 50, leftColour);
    QCOMPARE_PIXEL(image, 50, 249, leftColour);
    QCOMPARE_PIXEL(image, 50, 250, black);
}

void SoftwareViewerTest::smallPictureIsScaledUp()
{
    SoftwareViewer viewer;
    showAndWait(viewer, QSize(640, 360));
    viewer.setPixmap(twoColourPicture(32, 18));
    const QImage image = shown(viewer);
    QCOMPARE(viewer.displayedWidth(), 640);
    QCOMPARE(viewer.displayedHeight(), 360);
    QCOMPARE_PIXEL(image, 10, 10, leftColour);
    QCOMPARE_PIXEL(image, 630, 350, rightColour);
}

void SoftwareViewerTest::nullPixmapPaintsBlack()
{
    SoftwareViewer viewer;
    showAndWait(viewer, QSize(320, 240));
    QImage image = render(viewer);
    for (QPoint p : {QPoint(0, 0), QPoint(160, 120), QPoint(319, 239)})
        QCOMPARE_PIXEL(image, p.x(), p.y(), black);
    QCOMPARE(viewer.displayedWidth(), 0);
    QCOMPARE(viewer.displayedHeight(), 0);

    // A picture, then a clear: black again and nothing displayed.
    viewer.setPixmap(twoColourPicture(64, 48));
    shown(viewer);
    QCOMPARE(viewer.displayedWidth(), 320);
    viewer.setPixmap(QPixmap());
    image = shown(viewer);
    QCOMPARE_PIXEL(image, 160, 120, black);
    QCOMPARE(viewer.displayedWidth(), 0);
    QCOMPARE(viewer.displayedHeight(), 0);
}

// A viewer whose size is `device` in device pixels, whatever their ratio.
void showWithDeviceSize(SoftwareViewer& viewer, QSize device)
{
    showAndWait(viewer,
                QSize(qRound(device.width() / ratio(viewer)), qRound(device.height() / ratio(viewer))));
}

void SoftwareViewerTest::fitDrawsAtDeviceResolution()
{
    // One-pixel stripes fitted 1:1 onto the device pixels: drawn from a
    // picture at the widget's logical size, they would blur into grey.
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(400, 200));
    QImage stripes(400, 200, QImage::Format_RGB32);
    for (int x = 0; x < 400; ++x)
        stripes.setPixel(x, 0, x % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    for (int y = 1; y < 200; ++y)
        std::copy_n(stripes.constScanLine(0), stripes.bytesPerLine(), stripes.scanLine(y));
    viewer.setImage(stripes);
    const QImage image = shown(viewer);
    QCOMPARE(image.size(), QSize(400, 200));
    for (int x = 0; x < 400; ++x)
        QCOMPARE(image.pixel(x, 100), stripes.pixel(x, 100));
    QVERIFY(viewer.isFitToWindow());
    QCOMPARE(viewer.zoomText(), QStringLiteral("Fit 100%"));
}

void SoftwareViewerTest::actualPixelsShowsEachFilePixelOnOneDevicePixel()
{
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(800, 500));
    viewer.setImage(coordinatePicture(641, 361));
    viewer.zoomToActualPixels();
    QVERIFY(!viewer.isFitToWindow());
    QCOMPARE(viewer.zoomText(), QStringLiteral("100%"));
    const QImage image = shown(viewer);
    const QPoint origin = originIn(image, QPoint(400, 250), 1);
    // Centred, give or take the odd spare pixel: 159 spare columns, 139 spare rows.
    QVERIFY2(qAbs(2 * origin.x() - 159) <= 1 && qAbs(2 * origin.y() - 139) <= 1,
             qPrintable(QStringLiteral("%1, %2").arg(origin.x()).arg(origin.y())));
    for (int y = 0; y < 361; ++y) {
        for (int x = 0; x < 641; ++x) {
            if (!underZoomLabel(viewer, origin + QPoint(x, y)) &&
                coordinatesOf(image.pixel(origin.x() + x, origin.y() + y)) != QPoint(x, y))
                QFAIL(qPrintable(
                    QStringLiteral("file pixel %1, %2 is not on its own device pixel").arg(x).arg(y)));
        }
    }
    QCOMPARE_PIXEL(image, origin.x() - 1, 250, black);
    QCOMPARE_PIXEL(image, origin.x() + 641, 250, black);
    QCOMPARE_PIXEL(image, 400, origin.y() + 361, black);
    QCOMPARE(viewer.displayedWidth(), qRound(641 / ratio(viewer)));
    // The frame itself is untouched: the snapshot stays at the file's size.
    QCOMPARE(viewer.pixmap().size(), QSize(641, 361));
}

void SoftwareViewerTest::zoomStepsAndTheirLabels()
{
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(800, 600));
    viewer.setImage(coordinatePicture(641, 361)); // fits at 800 / 641
    QCOMPARE(viewer.zoomText(), QStringLiteral("Fit 124.8%"));
    QStringList steps;
    for (int i = 0; i < 6; ++i) {
        viewer.zoomIn();
        steps << viewer.zoomText();
    }
    for (int i = 0; i < 10; ++i) {
        viewer.zoomOut();
        steps << viewer.zoomText();
    }
    QCOMPARE(steps, (QStringList{"200%", "400%", "800%", "1600%", "3200%", "3200%", "1600%", "800%", "400%",
                                 "200%", "Fit 124.8%", "100%", "50%", "25%", "12.5%", "12.5%"}));
    viewer.fitToWindow();
    QVERIFY(viewer.isFitToWindow());
    QCOMPARE(viewer.displayedWidth(), qRound(800 / ratio(viewer)));
}

void SoftwareViewerTest::zoomingOnThePointerKeepsThePixelUnderIt()
{
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(800, 600));
    viewer.setImage(coordinatePicture(641, 361));
    for (const QPoint device : {QPoint(100, 150), QPoint(524, 378), QPoint(700, 420), QPoint(400, 300)}) {
        viewer.fitToWindow();
        const QPoint pointer = logical(viewer, device);
        const QPoint file = coordinatesOf(shown(viewer).pixel(device));
        QCOMPARE(viewer.filePixelAt(pointer), file);
        for (const int notches : {1, 1, 2, -1}) {
            ctrlWheel(viewer, pointer, notches);
            const QImage image = shown(viewer);
            QCOMPARE(coordinatesOf(image.pixel(device)), file);
            QCOMPARE(viewer.filePixelAt(pointer), file);
        }
        QCOMPARE(viewer.zoomText(), QStringLiteral("800%"));
    }
    // Without Ctrl the wheel is left to the window.
    QWheelEvent plain(QPointF(50, 50), viewer.mapToGlobal(QPoint(50, 50)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&viewer, &plain);
    QVERIFY(!plain.isAccepted());
    QCOMPARE(viewer.zoomText(), QStringLiteral("800%"));
}

void SoftwareViewerTest::middleDragPansByTheDraggedDistance()
{
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(800, 600));
    viewer.setImage(coordinatePicture(641, 361));
    zoomInTo(viewer, QStringLiteral("400%"));
    const QImage before = shown(viewer);
    const QPoint from = logical(viewer, QPoint(400, 300));
    const QPoint moved(37, -23);
    // The left button belongs to the window's scrubbing.
    QVERIFY(!press(viewer, from, Qt::LeftButton));
    QVERIFY(!release(viewer, from, Qt::LeftButton));
    QVERIFY(press(viewer, from, Qt::MiddleButton));
    sendMouse(viewer, QEvent::MouseMove, from + QPoint(20, -5), Qt::NoButton, Qt::MiddleButton);
    sendMouse(viewer, QEvent::MouseMove, from + moved, Qt::NoButton, Qt::MiddleButton);
    QVERIFY(release(viewer, from + moved, Qt::MiddleButton));
    const QImage after = shown(viewer);
    const QPoint shift = moved * ratio(viewer);
    for (int y = 60; y < 540; y += 7) {
        for (int x = 0; x < 700; x += 5) {
            const QPoint at(x, y);
            if (!underZoomLabel(viewer, at) && !underZoomLabel(viewer, at + shift) &&
                after.pixel(x + shift.x(), y + shift.y()) != before.pixel(x, y))
                QFAIL(qPrintable(
                    QStringLiteral("device pixel %1, %2 did not move with the drag").arg(x).arg(y)));
        }
    }
    QCOMPARE(viewer.zoomText(), QStringLiteral("400%"));
}

void SoftwareViewerTest::zoomedPixelsAreSharpSquares()
{
    // A black frame with a white one-pixel line across and one down, in
    // 24-bit RGB (the viewer takes any format).
    QImage lines(64, 64, QImage::Format_RGB888);
    lines.fill(Qt::black);
    for (int i = 0; i < 64; ++i) {
        lines.setPixel(20, i, qRgb(255, 255, 255));
        lines.setPixel(i, 40, qRgb(255, 255, 255));
    }
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(400, 400));
    viewer.setImage(lines);
    zoomInTo(viewer, QStringLiteral("400%"));
    const QImage image = shown(viewer);
    // Along a row and down a column: pure white exactly 4 device pixels wide,
    // pure black everywhere else, nothing in between.
    for (const bool across : {true, false}) {
        int white = 0;
        for (int i = 0; i < 400; ++i) {
            const QPoint at = across ? QPoint(i, 300) : QPoint(300, i);
            if (underZoomLabel(viewer, at))
                continue;
            const QRgb pixel = image.pixel(at);
            QVERIFY2(pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255), qPrintable(QString::number(i)));
            white += pixel == qRgb(255, 255, 255) ? 1 : 0;
        }
        QCOMPARE(white, 4);
    }
}

void SoftwareViewerTest::rotationAndFlipsTurnTheZoomedPicture()
{
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(400, 400));
    viewer.setImage(coordinatePicture(160, 90));
    viewer.setRotation(90);
    viewer.setFlip(true, false);
    zoomInTo(viewer, QStringLiteral("200%"));
    // Mirrored, then turned clockwise: the top-left corner shows the file's
    // bottom-right pixel, and the frame is 90 wide and 160 high.
    const QImage turned = viewer.pixmap().toImage();
    QCOMPARE(turned.size(), QSize(90, 160));
    QCOMPARE(coordinatesOf(turned.pixel(0, 0)), QPoint(159, 89));
    QCOMPARE(coordinatesOf(turned.pixel(89, 0)), QPoint(159, 0));

    const QImage image = shown(viewer);
    const QPoint origin((400 - 180) / 2, (400 - 320) / 2);
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 180; ++x) {
            const QPoint at = origin + QPoint(x, y);
            if (!underZoomLabel(viewer, at) && image.pixel(at) != turned.pixel(x / 2, y / 2))
                QFAIL(qPrintable(
                    QStringLiteral("device pixel %1, %2 is not the turned picture").arg(x).arg(y)));
        }
    }
    QCOMPARE(viewer.filePixelAt(logical(viewer, origin)), QPoint(159, 89));
    QCOMPARE(viewer.filePixelAt(logical(viewer, origin + QPoint(178, 318))), QPoint(0, 0));

    // Back to the plain picture, still zoomed.
    viewer.setRotation(0);
    viewer.setFlip(false, false);
    const QImage plain = shown(viewer);
    QCOMPARE(viewer.zoomText(), QStringLiteral("200%"));
    const QPoint corner((400 - 320) / 2, (400 - 180) / 2);
    QCOMPARE(coordinatesOf(plain.pixel(corner + QPoint(0, 179))), QPoint(0, 89));
    QCOMPARE(coordinatesOf(plain.pixel(corner + QPoint(319, 179))), QPoint(159, 89));
}

void SoftwareViewerTest::readoutNamesThePixelUnderThePointer()
{
    QImage frame(64, 48, QImage::Format_RGB32);
    frame.fill(QColor(10, 20, 30));
    frame.setPixel(0, 0, qRgb(255, 0, 0));
    frame.setPixel(17, 30, qRgb(1, 2, 3));
    frame.setPixel(63, 47, qRgb(200, 100, 50));
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(640, 480)); // ten device pixels per file pixel
    viewer.setImage(frame);
    shown(viewer);
    const auto pointAt = [&](int x, int y) { return logical(viewer, QPoint(10 * x + 4, 10 * y + 4)); };

    // Off by default.
    QVERIFY(!viewer.isPixelReadoutEnabled());
    hover(viewer, pointAt(17, 30));
    QCOMPARE(viewer.pixelReadoutText(), QString());

    viewer.setPixelReadoutEnabled(true);
    const struct
    {
        int x, y;
        const char* text;
    } pixels[] = {{0, 0, "X 0  Y 0   R 255  G 0  B 0"},
                  {17, 30, "X 17  Y 30   R 1  G 2  B 3"},
                  {63, 47, "X 63  Y 47   R 200  G 100  B 50"}};
    for (const auto& pixel : pixels) {
        hover(viewer, pointAt(pixel.x, pixel.y));
        QCOMPARE(viewer.pixelReadoutText(), QString::fromLatin1(pixel.text));
    }
    // Shown in a dark box in the bottom-left corner, over the picture.
    const QImage image = shown(viewer);
    const QPoint insideBox = QPoint(9, viewer.height() - 10) * ratio(viewer);
    QCOMPARE_PIXEL(image, insideBox.x(), insideBox.y(), over(QColor(0, 0, 0, 170), QColor(10, 20, 30)));

    // A new frame updates it without a move of the pointer.
    frame.setPixel(63, 47, qRgb(7, 8, 9));
    viewer.setImage(frame);
    QCOMPARE(viewer.pixelReadoutText(), QStringLiteral("X 63  Y 47   R 7  G 8  B 9"));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&viewer, &leave);
    QCOMPARE(viewer.pixelReadoutText(), QString());
    viewer.setPixelReadoutEnabled(false);
    hover(viewer, pointAt(17, 30));
    QCOMPARE(viewer.pixelReadoutText(), QString());
}

void SoftwareViewerTest::framePreparedAtTheShownSizeIsShownAsItIs()
{
    SoftwareViewer viewer;
    showWithDeviceSize(viewer, QSize(400, 300));
    const QImage file = coordinatePicture(800, 400);
    // The first frame of a clip is wanted at the size it will be shown at.
    QCOMPARE(viewer.wantedPictureSize(), QSize());
    QCOMPARE(viewer.wantedPictureSize(file.size()), QSize(400, 200));
    viewer.setImage(file);
    QCOMPARE(viewer.wantedPictureSize(), QSize(400, 200));
    // The file's pixels are asked for (on any thread) only by what needs them.
    std::atomic<int> fileAsked{0};
    const auto fileImage = [&] {
        ++fileAsked;
        return file;
    };
    const QColor green(10, 200, 30);
    QImage prepared(400, 200, QImage::Format_RGB32);
    prepared.fill(green);
    viewer.setPreparedImage(prepared, file.size(), fileImage);
    // Shown as it is, it needs no rendering thread: it is current once the
    // event loop has turned.
    QCoreApplication::processEvents();
    if (ratio(viewer) == 1.0)
        QVERIFY(viewer.isPictureCurrent());
    QImage screen = shown(viewer);
    QCOMPARE_PIXEL(screen, 0, 50, green);
    QCOMPARE_PIXEL(screen, 399, 249, green);
    QCOMPARE_PIXEL(screen, 200, 49, black);
    QCOMPARE(fileAsked.load(), 0);
    QCOMPARE(viewer.image(), file);
    QCOMPARE(viewer.image(), file);
    QCOMPARE(fileAsked.load(), 1);

    // Turned, the frame prepared for the upright view no longer fits: the
    // file's pixels are scaled instead, until a frame of the new size comes.
    viewer.setRotation(90);
    QCOMPARE(viewer.wantedPictureSize(), QSize(300, 150));
    screen = shown(viewer);
    QVERIFY(screen.pixelColor(200, 150) != green && screen.pixelColor(200, 150) != black);
    fileAsked = 0;
    viewer.setPreparedImage(twoColourPicture(300, 150).toImage().convertToFormat(QImage::Format_RGB32),
                            file.size(), fileImage);
    screen = shown(viewer);
    // Its left half turned to the top.
    QCOMPARE_PIXEL(screen, 200, 10, leftColour);
    QCOMPARE_PIXEL(screen, 200, 290, rightColour);
    QCOMPARE_PIXEL(screen, 120, 150, black);
    QCOMPARE(fileAsked.load(), 0);
}

int runSoftwareViewerTests(int argc, char** argv)
{
    SoftwareViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_softwareviewer.moc"
