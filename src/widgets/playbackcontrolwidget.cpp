#include "playbackcontrolwidget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

PlaybackControlWidget::PlaybackControlWidget(QWidget* parent) : QWidget(parent)
{
    m_playButton = createButton(QStringLiteral("playButton"), QStringLiteral(":/icons/play"), tr("Play"));
    m_stepForwardButton = createButton(QStringLiteral("stepForwardButton"), QStringLiteral(":/icons/stepfwd"),
                                       tr("Step Forward"));
    m_stepBackwardButton = createButton(QStringLiteral("stepBackwardButton"),
                                        QStringLiteral(":/icons/stepbwd"), tr("Step Backward"));
    m_seekStartButton = createButton(QStringLiteral("seekStartButton"), QStringLiteral(":/icons/seekstart"),
                                     tr("Go to Range Start"));
    m_seekEndButton = createButton(QStringLiteral("seekEndButton"), QStringLiteral(":/icons/seekend"),
                                   tr("Go to Range End"));

    connect(m_playButton, &QPushButton::clicked, this, &PlaybackControlWidget::playForward);
    connect(m_stepForwardButton, &QPushButton::clicked, this, &PlaybackControlWidget::stepForward);
    connect(m_stepBackwardButton, &QPushButton::clicked, this, &PlaybackControlWidget::stepBackward);
    connect(m_seekStartButton, &QPushButton::clicked, this, &PlaybackControlWidget::seekStart);
    connect(m_seekEndButton, &QPushButton::clicked, this, &PlaybackControlWidget::seekEnd);

    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 6);
    layout->setSpacing(4);
    layout->addStretch();
    layout->addWidget(m_seekStartButton);
    layout->addWidget(m_stepBackwardButton);
    layout->addWidget(m_playButton);
    layout->addWidget(m_stepForwardButton);
    layout->addWidget(m_seekEndButton);
    layout->addStretch();

    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
}

QPushButton* PlaybackControlWidget::createButton(const QString& objectName, const QString& icon,
                                                 const QString& toolTip)
{
    QPushButton* button = new QPushButton(this);
    button->setObjectName(objectName);
    button->setIcon(QIcon(icon));
    button->setToolTip(toolTip);
    button->setFlat(false);
    button->setFixedSize(30, 30);
    return button;
}

void PlaybackControlWidget::setPlaying(bool playing)
{
    m_playing = playing;
    m_playButton->setIcon(QIcon(playing ? QStringLiteral(":/icons/pause") : QStringLiteral(":/icons/play")));
    m_playButton->setToolTip(playing ? tr("Pause") : tr("Play"));
}

void PlaybackControlWidget::playForward()
{
    emit playForwardClicked();
}

void PlaybackControlWidget::playBackward()
{
    emit playBackwardClicked();
}

void PlaybackControlWidget::stepForward()
{
    emit stepForwardClicked();
}

void PlaybackControlWidget::stepBackward()
{
    emit stepBackwardClicked();
}

void PlaybackControlWidget::seekStart()
{
    emit seekStartClicked();
}

void PlaybackControlWidget::seekEnd()
{
    emit seekEndClicked();
}
