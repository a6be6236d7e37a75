#include "volumewidget.h"

#include "appsettings.h"
#include "zslider.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QScopedValueRollback>
#include <algorithm>

namespace {

constexpr int maximumVolume = 150;
constexpr int normalVolume = 100;

} // namespace

VolumeWidget::VolumeWidget(QWidget* parent) : QWidget(parent)
{
    AppSettings& settings = appSettings();
    if (settings.volume < 0 || settings.volume > maximumVolume)
        settings.volume = normalVolume;

    m_slider = new ZSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("volumeSlider"));
    m_slider->setRange(0, maximumVolume);

    m_muteButton = new QPushButton(this);
    m_muteButton->setObjectName(QStringLiteral("muteButton"));
    m_muteButton->setFixedSize(19, 19);
    m_muteButton->setFlat(true);
    m_muteButton->setStyleSheet(QStringLiteral("QPushButton:flat:pressed { border: none; }"));
    m_muteButton->setIcon(QIcon(QStringLiteral(":/icons/volume")));

    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_muteButton);
    layout->addWidget(m_slider);

    connect(m_slider, &QSlider::valueChanged, this, &VolumeWidget::onSliderValueChange);
    connect(m_muteButton, &QPushButton::clicked, this, &VolumeWidget::toggleMute);

    // The saved state sets the icon and the slider even though it is already
    // the current flag.
    applyMuted(settings.muted);
}

int VolumeWidget::volume() const
{
    return appSettings().volume;
}

bool VolumeWidget::isMuted() const
{
    return appSettings().muted;
}

void VolumeWidget::moveSlider(int value)
{
    QScopedValueRollback<bool> suppress(m_sliderHandlerSuppressed, true);
    m_slider->setValue(value);
}

void VolumeWidget::applyMuted(bool muted)
{
    appSettings().muted = muted;
    if (muted) {
        m_muteButton->setIcon(QIcon(QStringLiteral(":/icons/mute")));
        m_muteButton->setToolTip(tr("Unmute"));
        moveSlider(0);
        emit volumeChanged(0);
    } else {
        m_muteButton->setIcon(QIcon(QStringLiteral(":/icons/volume")));
        m_muteButton->setToolTip(tr("Mute"));
        moveSlider(volume());
        emit volumeChanged(volume());
    }
}

void VolumeWidget::setMuted(bool muted)
{
    if (muted == isMuted())
        return;
    applyMuted(muted);
}

void VolumeWidget::toggleMute()
{
    setMuted(!isMuted());
}

void VolumeWidget::onSliderValueChange(int value)
{
    if (m_sliderHandlerSuppressed)
        return;
    if (!isMuted() && value == volume())
        return;
    appSettings().volume = value;
    // Dragging the slider of a muted widget unmutes it at the dragged level.
    if (isMuted())
        setMuted(false);
    else
        emit volumeChanged(value);
}

void VolumeWidget::setVolume(int volume)
{
    volume = std::clamp(volume, 0, maximumVolume);
    appSettings().volume = volume;
    m_slider->setValue(volume);
}
