#include "zslider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

ZSlider::ZSlider(QWidget* parent) : QSlider(parent) {}

ZSlider::ZSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {}

bool ZSlider::isOnHandle(QPoint pos) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this).contains(pos);
}

int ZSlider::valueAt(QPoint pos, bool withEndMargins) const
{
    // Along the groove: left to right, or bottom to top for a vertical slider.
    const bool horizontal = orientation() == Qt::Horizontal;
    const int length = horizontal ? width() : height();
    const int position = horizontal ? pos.x() : height() - pos.y();
    int value;
    const int margin = int(length * 0.005f);
    if (withEndMargins && position < margin)
        value = minimum();
    else if (withEndMargins && position > length - margin)
        value = maximum();
    else
        value = qRound(minimum() + float((maximum() - minimum()) * position) / length);
    if (invertedAppearance())
        value = maximum() + minimum() - value;
    return value;
}

void ZSlider::applyValue(int value)
{
    if (value == this->value() || value < minimum() || value > maximum())
        return;
    setValue(value);
    emit sliderPositionChanged();
}

void ZSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isOnHandle(event->pos())) {
        QSlider::mousePressEvent(event); // grabs the handle
        return;
    }
    applyValue(valueAt(event->pos(), true));
}

void ZSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::NoButton || !isSliderDown()) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    // A pointer dragged past an end holds the slider at that end.
    applyValue(std::clamp(valueAt(event->pos(), false), minimum(), maximum()));
}

void ZSlider::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}
