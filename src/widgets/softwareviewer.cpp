#include "softwareviewer.h"

#include <QPainter>

SoftwareViewer::SoftwareViewer(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(100, 100);
}

void SoftwareViewer::setPixmap(QPixmap pixmap)
{
    m_pixmap = pixmap;
    update();
}

int SoftwareViewer::displayedWidth() const
{
    return m_pixmap.isNull() ? 0 : m_displayedWidth;
}

int SoftwareViewer::displayedHeight() const
{
    return m_pixmap.isNull() ? 0 : m_displayedHeight;
}

void SoftwareViewer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_pixmap.isNull()) {
        m_displayedWidth = 0;
        m_displayedHeight = 0;
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QSize target = m_pixmap.size().scaled(size(), Qt::KeepAspectRatio);
    const QPixmap scaled = m_pixmap.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_displayedWidth = scaled.width();
    m_displayedHeight = scaled.height();
    // Integer halves: an odd spare pixel stays black on the right (or bottom).
    painter.drawPixmap((width() - m_displayedWidth) / 2, (height() - m_displayedHeight) / 2, scaled);
}
