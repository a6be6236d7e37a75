#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class MediaInfoDialog;
}

// A small modeless window with the facts of the loaded clip. It only shows
// the texts it is given; the player window computes them.
class MediaInfoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MediaInfoDialog(QWidget* parent = nullptr);
    ~MediaInfoDialog() override;

    // Shows the file name in the title and the full path in the source row;
    // the same path again changes nothing.
    void setSource(const QString& path);
    void setFrameRangeText(const QString& text);
    void setFrameRateText(const QString& text);
    void setCurrentTimeText(const QString& text);
    void setDurationText(const QString& text);
    void setNormalSizeText(const QString& text);
    void setCurrentSizeText(const QString& text);
    // The three cache rows stay hidden; their texts are kept for diagnostics.
    void setVideoCacheText(const QString& text);
    void setAudioCacheText(const QString& text);
    void setCachedRangeText(const QString& text);
    // "No Media" in the title and every value empty.
    void setNoMedia();

private:
    std::unique_ptr<Ui::MediaInfoDialog> ui;
};
