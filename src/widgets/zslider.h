#pragma once

#include <QSlider>

// A slider that jumps to the clicked position instead of stepping by a page,
// follows the pointer while its handle is dragged, and ignores the keyboard so
// that key presses reach the parent widgets (the player window's shortcuts
// keep working while the slider has focus).
class ZSlider : public QSlider
{
    Q_OBJECT

public:
    explicit ZSlider(QWidget* parent = nullptr);
    explicit ZSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

signals:
    // A click or a handle drag set a new value.
    void sliderPositionChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool isOnHandle(QPoint pos) const;
    // The value under pos. With end margins, the outer 0.5 % at either end
    // snaps to the minimum or maximum.
    int valueAt(QPoint pos, bool withEndMargins) const;
    void applyValue(int value);
};
