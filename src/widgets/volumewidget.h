#pragma once

#include <QWidget>

class QPushButton;
class ZSlider;

// A mute button beside a volume slider (0 to 150, 100 the normal level).
// The volume and the muted state are the settings values `volume` and `muted`,
// read and written in place, so what the user sets here is what is saved.
class VolumeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit VolumeWidget(QWidget* parent = nullptr);

    // Clamps to 0..150 and moves the slider; moving the slider of a muted
    // widget to a non-zero level unmutes it.
    void setVolume(int volume);
    int volume() const;
    void setMuted(bool muted);
    bool isMuted() const;

signals:
    // The level the output should have now: 0 while muted.
    void volumeChanged(int volume);

public slots:
    void onSliderValueChange(int value);
    void toggleMute();

private:
    void applyMuted(bool muted);
    // Moves the slider without running onSliderValueChange.
    void moveSlider(int value);

    ZSlider* m_slider = nullptr;
    QPushButton* m_muteButton = nullptr;
    bool m_sliderHandlerSuppressed = false;
};
