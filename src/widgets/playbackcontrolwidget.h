#pragma once

#include <QWidget>

class QPushButton;

// The transport buttons of the player window's bottom bar. They only emit
// requests; the window connects them to its commands and reports back whether
// it plays through setPlaying.
class PlaybackControlWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PlaybackControlWidget(QWidget* parent = nullptr);

    // The play button shows the pause icon exactly while playing forwards,
    // the play-backward button while playing backwards.
    void setPlaying(bool playing, bool backward = false);
    bool isPlaying() const { return m_playing; }
    bool isPlayingBackward() const { return m_playing && m_backward; }

signals:
    void playForwardClicked();
    void playBackwardClicked();
    void stepForwardClicked();
    void stepBackwardClicked();
    void seekStartClicked();
    void seekEndClicked();

public slots:
    void playForward();
    void playBackward();
    void stepForward();
    void stepBackward();
    void seekStart();
    void seekEnd();

private:
    QPushButton* createButton(const QString& objectName, const QString& icon, const QString& toolTip);

    QPushButton* m_playButton = nullptr;
    QPushButton* m_playBackwardButton = nullptr;
    QPushButton* m_stepForwardButton = nullptr;
    QPushButton* m_stepBackwardButton = nullptr;
    QPushButton* m_seekStartButton = nullptr;
    QPushButton* m_seekEndButton = nullptr;
    bool m_playing = false;
    bool m_backward = false;
};
