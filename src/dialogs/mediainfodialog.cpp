#include "mediainfodialog.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

struct RowName
{
    MediaInfoDialog::Row row;
    const char* objectName; // of the name label; the value label adds "Value"
    const char* text;
    bool shown;
};

using Row = MediaInfoDialog::Row;

// In the order of MediaInfoDialog::Row.
const RowName rowNames[] = {
    {Row::Source, "source", QT_TRANSLATE_NOOP("MediaInfoDialog", "Source:"), true},
    {Row::FrameRange, "frameRange", QT_TRANSLATE_NOOP("MediaInfoDialog", "Frame Range:"), true},
    {Row::FrameRate, "frameRate", QT_TRANSLATE_NOOP("MediaInfoDialog", "Frame Rate:"), true},
    {Row::CurrentTime, "currentTime", QT_TRANSLATE_NOOP("MediaInfoDialog", "Current Time:"), true},
    {Row::Duration, "duration", QT_TRANSLATE_NOOP("MediaInfoDialog", "Duration:"), true},
    {Row::NormalSize, "normalSize", QT_TRANSLATE_NOOP("MediaInfoDialog", "Normal Size:"), true},
    {Row::CurrentSize, "currentSize", QT_TRANSLATE_NOOP("MediaInfoDialog", "Current Size:"), true},
    {Row::StartTime, "startTime", QT_TRANSLATE_NOOP("MediaInfoDialog", "Start Time:"), true},
    {Row::StartTimecode, "startTimecode", QT_TRANSLATE_NOOP("MediaInfoDialog", "Start Timecode:"), true},
    {Row::VideoCodec, "videoCodec", QT_TRANSLATE_NOOP("MediaInfoDialog", "Video Codec:"), true},
    {Row::PixelFormat, "pixelFormat", QT_TRANSLATE_NOOP("MediaInfoDialog", "Pixel Format:"), true},
    {Row::ColourMatrix, "colourMatrix", QT_TRANSLATE_NOOP("MediaInfoDialog", "Colour Matrix:"), true},
    {Row::ColourRange, "colourRange", QT_TRANSLATE_NOOP("MediaInfoDialog", "Colour Range:"), true},
    {Row::ColourPrimaries, "colourPrimaries", QT_TRANSLATE_NOOP("MediaInfoDialog", "Primaries:"), true},
    {Row::Transfer, "transfer", QT_TRANSLATE_NOOP("MediaInfoDialog", "Transfer:"), true},
    {Row::FieldOrder, "fieldOrder", QT_TRANSLATE_NOOP("MediaInfoDialog", "Field Order:"), true},
    {Row::AudioCodec, "audioCodec", QT_TRANSLATE_NOOP("MediaInfoDialog", "Audio Codec:"), true},
    {Row::SampleFormat, "sampleFormat", QT_TRANSLATE_NOOP("MediaInfoDialog", "Sample Format:"), true},
    {Row::SampleRate, "sampleRate", QT_TRANSLATE_NOOP("MediaInfoDialog", "Sample Rate:"), true},
    {Row::ChannelLayout, "channelLayout", QT_TRANSLATE_NOOP("MediaInfoDialog", "Channel Layout:"), true},
    {Row::VideoCache, "videoCache", QT_TRANSLATE_NOOP("MediaInfoDialog", "Video Cache:"), false},
    {Row::AudioCache, "audioCache", QT_TRANSLATE_NOOP("MediaInfoDialog", "Audio Cache:"), false},
    {Row::CachedRange, "cachedRange", QT_TRANSLATE_NOOP("MediaInfoDialog", "Cached Range:"), false},
};

// A long path is cut off rather than widening the window without end (the
// title names the file); the other values are short and shown whole.
constexpr int MaximumSourceWidth = 320;

} // namespace

MediaInfoDialog::MediaInfoDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Media Information"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(300, 240);

    auto* layout = new QVBoxLayout(this);
    titleLabel = new QLabel(this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setTextFormat(Qt::RichText);
    titleLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(titleLabel);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto* rows = new QGridLayout;
    for (const RowName& entry : rowNames) {
        const int row = int(entry.row);
        Q_ASSERT(row == values.size());
        auto* name = new QLabel(tr(entry.text), this);
        name->setObjectName(QLatin1String(entry.objectName) + QStringLiteral("Label"));
        name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* value = new QLabel(this);
        value->setObjectName(QLatin1String(entry.objectName) + QStringLiteral("ValueLabel"));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (entry.row == Row::Source)
            value->setMaximumWidth(MaximumSourceWidth);
        rows->addWidget(name, row, 0);
        rows->addWidget(value, row, 1);
        name->setVisible(entry.shown);
        value->setVisible(entry.shown);
        values << value;
    }
    layout->addLayout(rows);
    layout->addStretch(1);
    setNoMedia();
}

MediaInfoDialog::~MediaInfoDialog() = default;

void MediaInfoDialog::setSource(const QString& path)
{
    if (path == text(Row::Source))
        return;
    titleLabel->setText(QStringLiteral("<b>%1</b>").arg(QFileInfo(path).fileName().toHtmlEscaped()));
    setText(Row::Source, path);
}

void MediaInfoDialog::setText(Row row, const QString& text)
{
    values.at(int(row))->setText(text);
}

QString MediaInfoDialog::text(Row row) const
{
    return values.at(int(row))->text();
}

void MediaInfoDialog::setNoMedia()
{
    titleLabel->setText(tr("<b>No Media</b>"));
    for (QLabel* value : values)
        value->clear();
}
