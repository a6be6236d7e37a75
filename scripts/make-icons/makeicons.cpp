// Paints Orvel's icons: light, antialiased glyphs on a transparent background
// for the dark palette, drawn on a grid of design units and rendered at twice
// the size they are shown at, plus the application icon.
//
// Usage: makeicons OUTPUT_DIR
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>
#include <functional>

namespace {

const QColor glyphColour(208, 208, 208);
const QColor accentColour(42, 130, 218);

// An image of size pixels whose painter draws in units of a units-wide grid.
QImage paintGlyph(int pixels, double units, const std::function<void(QPainter&)>& draw)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / units, pixels / units);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glyphColour);
    draw(painter);
    return image;
}

// A triangle with slightly rounded corners, which keeps its tips from
// flickering into single grey pixels at small sizes.
void triangle(QPainter& painter, QPointF a, QPointF b, QPointF c)
{
    QPen pen(glyphColour, 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.save();
    painter.setPen(pen);
    painter.drawPolygon(QPolygonF({a, b, c}));
    painter.restore();
}

void bar(QPainter& painter, double x, double y, double w, double h)
{
    painter.drawRoundedRect(QRectF(x, y, w, h), 0.6, 0.6);
}

// Transport glyphs on a 20-unit grid.
void play(QPainter& p)
{
    triangle(p, {6.5, 4.0}, {6.5, 16.0}, {16.0, 10.0});
}

void pause(QPainter& p)
{
    bar(p, 5.0, 4.0, 3.6, 12.0);
    bar(p, 11.4, 4.0, 3.6, 12.0);
}

void stepForward(QPainter& p)
{
    triangle(p, {4.5, 4.5}, {4.5, 15.5}, {12.5, 10.0});
    bar(p, 13.5, 4.5, 2.6, 11.0);
}

void seekEnd(QPainter& p)
{
    triangle(p, {2.8, 4.5}, {2.8, 15.5}, {9.0, 10.0});
    triangle(p, {9.0, 4.5}, {9.0, 15.5}, {15.2, 10.0});
    bar(p, 15.4, 4.5, 2.4, 11.0);
}

// Audio glyphs on a 16-unit grid.
void speaker(QPainter& p)
{
    QPainterPath path;
    path.moveTo(1.5, 6.0);
    path.lineTo(4.5, 6.0);
    path.lineTo(8.5, 2.5);
    path.lineTo(8.5, 13.5);
    path.lineTo(4.5, 10.0);
    path.lineTo(1.5, 10.0);
    path.closeSubpath();
    QPen pen(glyphColour, 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.save();
    p.setPen(pen);
    p.drawPath(path);
    p.restore();
}

void volume(QPainter& p)
{
    speaker(p);
    QPen pen(glyphColour, 1.3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // Two sound waves, quarter arcs around the cone's mouth.
    p.drawArc(QRectF(7.0, 5.0, 5.0, 6.0), -55 * 16, 110 * 16);
    p.drawArc(QRectF(6.5, 2.0, 8.5, 12.0), -55 * 16, 110 * 16);
}

void mute(QPainter& p)
{
    speaker(p);
    QPen pen(glyphColour, 1.4, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14.5, 5.5));
}

// The application icon on a 64-unit grid: a play symbol over a timeline with
// its playback range and current-frame marker.
void application(QPainter& p)
{
    QLinearGradient background(0, 0, 0, 64);
    background.setColorAt(0.0, QColor(62, 62, 66));
    background.setColorAt(1.0, QColor(30, 30, 32));
    p.setBrush(background);
    p.setPen(QPen(QColor(90, 90, 96), 1.0));
    p.drawRoundedRect(QRectF(2.5, 2.5, 59.0, 59.0), 11.0, 11.0);

    p.setPen(QPen(QColor(232, 232, 232), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(232, 232, 232));
    p.drawPolygon(QPolygonF({QPointF(24.0, 13.0), QPointF(24.0, 39.0), QPointF(45.0, 26.0)}));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 80, 84));
    p.drawRoundedRect(QRectF(9.0, 48.0, 46.0, 4.0), 1.5, 1.5);
    p.setBrush(accentColour);
    p.drawRoundedRect(QRectF(18.0, 47.0, 24.0, 6.0), 1.5, 1.5);
    p.setBrush(QColor(240, 240, 240));
    p.drawRoundedRect(QRectF(32.0, 44.0, 2.5, 12.0), 1.0, 1.0);
}

QImage mirrored(const QImage& image)
{
    return image.mirrored(true, false);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: makeicons OUTPUT_DIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }

    // Transport buttons show their icons at 20 px, the mute button at 16 px.
    constexpr int transportPixels = 40;
    constexpr int audioPixels = 32;
    const QImage forward = paintGlyph(transportPixels, 20, stepForward);
    const QImage end = paintGlyph(transportPixels, 20, seekEnd);
    const QList<QPair<QString, QImage>> icons = {
        {"play.png", paintGlyph(transportPixels, 20, play)},
        {"pause.png", paintGlyph(transportPixels, 20, pause)},
        {"stepfwd.png", forward},
        {"stepbwd.png", mirrored(forward)},
        {"seekend.png", end},
        {"seekstart.png", mirrored(end)},
        {"volume.png", paintGlyph(audioPixels, 16, volume)},
        {"mute.png", paintGlyph(audioPixels, 16, mute)},
        {"application.png", paintGlyph(256, 64, application)},
    };
    for (const auto& icon : icons) {
        const QString path = out.filePath(icon.first);
        if (!icon.second.save(path, "PNG")) {
            err << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
