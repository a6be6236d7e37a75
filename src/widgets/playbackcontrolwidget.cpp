#include "playbackcontrolwidget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTransform>

namespace {

// The play icon pointing left.
QIcon playBackwardIcon()
{
    return QIcon(QPixmap(QStringLiteral(":/icons/play")).transformed(QTransform().scale(-1, 1)));
}

} // namespace

PlaybackControlWidget::PlaybackControlWidget(QWidget* parent) : QWidget(parent)
{
    m_playButton = createButton(QStringLiteral("playButton"), QStringLiteral(":/icons/play"), tr("Play"));
    m_playBackwardButton = createButton(QStringLiteral("playBackwardButton"), QStringLiteral(":/icons/play"),
                                        tr("Play Backward"));
    m_playBackwardButton->setIcon(playBackwardIcon());
    m_stepForwardButton = createButton(QStringLiteral("stepForwardButton"), QStringLiteral(":/icons/stepfwd"),
                                       tr("Step Forward"));
    m_stepBackwardButton = createButton(QStringLiteral("stepBackwardButton"),
                                        QStringLiteral(":/icons/stepbwd"), tr("Step Backward"));
    m_seekStartButton = createButton(QStringLiteral("seekStartButton"), QStringLiteral(":/icons/seekstart"),
                                     tr("Go to Range Start"));
    m_seekEndButton = createButton(QStringLiteral("seekEndButton"), QStringLiteral(":/icons/seekend"),
                                   tr("Go to Range End"));

    connect(m_playButton, &QPushButton::clicked, this, &PlaybackControlWidget::playForward);
    connect(m_playBackwardButton, &QPushButton::clicked, this, &PlaybackControlWidget::playBackward);
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
    layout->addWidget(m_playBackwardButton);
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

void PlaybackControlWidget::setPlaying(bool playing, bool backward)
{
    m_playing = playing;
    m_backward = backward;
    const bool forwards = playing && !backward;
    const bool backwards = playing && backward;
    const QIcon pause(QStringLiteral(":/icons/pause"));
    m_playButton->setIcon(forwards ? pause : QIcon(QStringLiteral(":/icons/play")));
    m_playButton->setToolTip(forwards ? tr("Pause") : tr("Play"));
    m_playBackwardButton->setIcon(backwards ? pause : playBackwardIcon());
    m_playBackwardButton->setToolTip(backwards ? tr("Pause") : tr("Play Backward"));
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
