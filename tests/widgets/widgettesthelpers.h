#pragma once

#include "patience.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QList>
#include <QMouseEvent>
#include <QPair>
#include <QWidget>
#include <QtTest>

// Shared by the widget tests: mouse events with any button state and global
// position, rendering, and the colour arithmetic of translucent fills.
namespace WidgetTest {

// Sends a mouse event straight to the widget. QTest's own mouse moves carry no
// buttons, and its release warns when the widget leaves the event unaccepted
// (as the timelines do, on purpose).
inline bool sendMouse(QWidget& widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                      QPoint globalPos = QPoint(-1, -1))
{
    if (globalPos == QPoint(-1, -1))
        globalPos = widget.mapToGlobal(pos);
    QMouseEvent event(type, pos, globalPos, button, buttons, modifiers);
    QApplication::sendEvent(&widget, &event);
    return event.isAccepted();
}

inline bool press(QWidget& widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return sendMouse(widget, QEvent::MouseButtonPress, pos, button, button, modifiers);
}

inline void drag(QWidget& widget, QPoint pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    sendMouse(widget, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton, modifiers);
}

inline void hover(QWidget& widget, QPoint pos)
{
    sendMouse(widget, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
}

inline bool release(QWidget& widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    return sendMouse(widget, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

inline void showAndWait(QWidget& widget, QSize size)
{
    widget.setWindowFlags(Qt::FramelessWindowHint);
    widget.resize(size);
    widget.move(100, 100);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget, patienceMs));
}

inline QImage render(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The colour of a translucent fill painted over an opaque colour.
inline QColor over(const QColor& fill, const QColor& under)
{
    const double a = fill.alphaF();
    const auto mix = [a](int top, int bottom) { return qRound(top * a + bottom * (1.0 - a)); };
    return QColor(mix(fill.red(), under.red()), mix(fill.green(), under.green()),
                  mix(fill.blue(), under.blue()));
}

// Equal within the rounding of the raster engine's blending.
inline bool near(const QColor& actual, const QColor& expected, int tolerance = 2)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance;
}

inline QString describe(const QColor& colour)
{
    return QStringLiteral("(%1, %2, %3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

} // namespace WidgetTest

#define QCOMPARE_PIXEL(image, x, y, expected)                                                                \
    do {                                                                                                     \
        const QColor actualColour_ = (image).pixelColor((x), (y));                                           \
        if (!WidgetTest::near(actualColour_, (expected)))                                                    \
            QFAIL(                                                                                           \
                qPrintable(QStringLiteral("pixel (%1, %2) is %3, expected %4")                               \
                               .arg(x)                                                                       \
                               .arg(y)                                                                       \
                               .arg(WidgetTest::describe(actualColour_), WidgetTest::describe(expected))));  \
    } while (false)
