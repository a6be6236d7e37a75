#pragma once

#include <QPixmap>
#include <QWidget>

// Shows the current video frame scaled to fit, aspect ratio kept, centred on
// black. It does no decoding, mirroring or rotating: the playback controller
// hands it finished pixmaps. A null pixmap clears the picture.
class SoftwareViewer : public QWidget
{
    Q_OBJECT

public:
    explicit SoftwareViewer(QWidget* parent = nullptr);

    QPixmap pixmap() const { return m_pixmap; }
    // The size of the picture as painted last; 0 while there is no picture.
    int displayedWidth() const;
    int displayedHeight() const;

public slots:
    void setPixmap(QPixmap pixmap);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_pixmap;
    int m_displayedWidth = 0;
    int m_displayedHeight = 0;
};
