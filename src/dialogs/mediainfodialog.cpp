#include "mediainfodialog.h"

#include "ui_mediainfodialog.h"

#include <QFileInfo>

MediaInfoDialog::MediaInfoDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::MediaInfoDialog>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const QList<QWidget*> cacheRows = {ui->videoCacheLabel,  ui->videoCacheValueLabel,
                                       ui->audioCacheLabel,  ui->audioCacheValueLabel,
                                       ui->cachedRangeLabel, ui->cachedRangeValueLabel};
    for (QWidget* widget : cacheRows)
        widget->hide();
    setNoMedia();
}

MediaInfoDialog::~MediaInfoDialog() = default;

void MediaInfoDialog::setSource(const QString& path)
{
    if (path == ui->sourceValueLabel->text())
        return;
    ui->titleLabel->setText(QStringLiteral("<b>%1</b>").arg(QFileInfo(path).fileName().toHtmlEscaped()));
    ui->sourceValueLabel->setText(path);
}

void MediaInfoDialog::setFrameRangeText(const QString& text)
{
    ui->frameRangeValueLabel->setText(text);
}

void MediaInfoDialog::setFrameRateText(const QString& text)
{
    ui->frameRateValueLabel->setText(text);
}

void MediaInfoDialog::setCurrentTimeText(const QString& text)
{
    ui->currentTimeValueLabel->setText(text);
}

void MediaInfoDialog::setDurationText(const QString& text)
{
    ui->durationValueLabel->setText(text);
}

void MediaInfoDialog::setNormalSizeText(const QString& text)
{
    ui->normalSizeValueLabel->setText(text);
}

void MediaInfoDialog::setCurrentSizeText(const QString& text)
{
    ui->currentSizeValueLabel->setText(text);
}

void MediaInfoDialog::setVideoCacheText(const QString& text)
{
    ui->videoCacheValueLabel->setText(text);
}

void MediaInfoDialog::setAudioCacheText(const QString& text)
{
    ui->audioCacheValueLabel->setText(text);
}

void MediaInfoDialog::setCachedRangeText(const QString& text)
{
    ui->cachedRangeValueLabel->setText(text);
}

void MediaInfoDialog::setNoMedia()
{
    ui->titleLabel->setText(tr("<b>No Media</b>"));
    const QList<QLabel*> values = {ui->sourceValueLabel,      ui->frameRangeValueLabel,
                                   ui->frameRateValueLabel,   ui->currentTimeValueLabel,
                                   ui->durationValueLabel,    ui->normalSizeValueLabel,
                                   ui->currentSizeValueLabel, ui->videoCacheValueLabel,
                                   ui->audioCacheValueLabel,  ui->cachedRangeValueLabel};
    for (QLabel* value : values)
        value->clear();
}
