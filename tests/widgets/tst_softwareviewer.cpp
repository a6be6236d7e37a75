// The video viewer: scaled to fit with the aspect ratio kept, centred on
// black, the odd spare pixel on the rightColour, and a null pixmap.
#include "softwareviewer.h"
#include "widgettesthelpers.h"

#include <QPainter>
#include <QtTest>

using namespace WidgetTest;

namespace {

const QColor black(0, 0, 0);
const QColor leftColour(220, 40, 40);
const QColor rightColour(40, 40, 220);

// Red on the leftColour half, blue on the rightColour, so a mirrored or misplaced picture shows.
QPixmap twoColourPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(leftColour);
    QPainter painter(&image);
    painter.fillRect(width / 2, 0, width - width / 2, height, rightColour);
    painter.end();
    return QPixmap::fromImage(image);
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
    const QImage image = render(viewer);
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
    const QImage image = render(viewer);
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
    QImage image = render(viewer);
    // 101 spare columns: 50 on the leftColour, 51 on the rightColour.
    QCOMPARE(viewer.displayedWidth(), 200);
    QCOMPARE_PIXEL(image, 49, 100, black);
    QCOMPARE_PIXEL(image, 50, 100, leftColour);
    QCOMPARE_PIXEL(image, 249, 100, rightColour);
    QCOMPARE_PIXEL(image, 250, 100, black);
    QCOMPARE_PIXEL(image, 300, 100, black);

    viewer.resize(200, 301);
    QTRY_COMPARE(viewer.height(), 301);
    image = render(viewer);
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
    const QImage image = render(viewer);
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
    render(viewer);
    QCOMPARE(viewer.displayedWidth(), 320);
    viewer.setPixmap(QPixmap());
    image = render(viewer);
    QCOMPARE_PIXEL(image, 160, 120, black);
    QCOMPARE(viewer.displayedWidth(), 0);
    QCOMPARE(viewer.displayedHeight(), 0);
}

int runSoftwareViewerTests(int argc, char** argv)
{
    SoftwareViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_softwareviewer.moc"
