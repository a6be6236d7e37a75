#pragma once

#include <QDialog>
#include <QVector>

class QLabel;

// A small modeless window with the facts of the loaded clip, one row each: a
// name on the left, the value on the right. It only shows the texts it is
// given; the player window computes them.
class MediaInfoDialog : public QDialog
{
    Q_OBJECT

public:
    // The rows, top to bottom. A new fact is a new entry here and in the
    // table of names in the source.
    enum class Row
    {
        Source,
        FrameRange,
        FrameRate,
        CurrentTime,
        Duration,
        NormalSize,
        CurrentSize,
        StartTime,
        StartTimecode,
        VideoCodec,
        PixelFormat,
        ColourMatrix,
        ColourRange,
        ColourPrimaries,
        Transfer,
        FieldOrder,
        AudioCodec,
        SampleFormat,
        SampleRate,
        ChannelLayout,
        // Hidden: their texts are kept for diagnostics.
        VideoCache,
        AudioCache,
        CachedRange,
    };

    explicit MediaInfoDialog(QWidget* parent = nullptr);
    ~MediaInfoDialog() override;

    // Shows the file name in the title and the full path in the source row;
    // the same path again changes nothing.
    void setSource(const QString& path);
    void setText(Row row, const QString& text);
    QString text(Row row) const;
    // "No Media" in the title and every value empty.
    void setNoMedia();

private:
    QLabel* titleLabel = nullptr;
    QVector<QLabel*> values;
};
