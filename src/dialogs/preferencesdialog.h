#pragma once

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QListWidget;
class QSpinBox;
class QStackedWidget;

// Edits the "preferences" group of the settings. The dialog only shows the
// stored values and collects new ones: whoever runs it reads the accessors
// when it is accepted and applies them; cancelling changes nothing.
class PreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesDialog(QWidget* parent = nullptr);

    int cacheSize() const;           // megabytes
    double cacheTrailingPct() const; // fraction of the cache behind the position
    int numRecentFiles() const;
    int numRecentBookmarkFiles() const;
    bool openMediaInNewPlayers() const;
    bool resizeToFit() const;
    bool continuePlayingAfterSeek() const;
    bool endlessMouseScrub() const;
    int tcpPort() const;

public slots:
    // Shows the current values of the settings.
    void loadSettings();
    // Warns, in a modal message box, that every player keeps its own cache,
    // when "Open media in new players" is checked.
    void openInNewPlayersWarning();

private:
    QWidget* createGeneralPage();
    QWidget* createNetworkPage();

    QListWidget* pageList = nullptr;
    QStackedWidget* pages = nullptr;
    QSpinBox* cacheSizeSpinBox = nullptr;
    QDoubleSpinBox* trailingCacheSpinBox = nullptr;
    QSpinBox* recentFilesSpinBox = nullptr;
    QSpinBox* recentBookmarkFilesSpinBox = nullptr;
    QCheckBox* openInNewPlayersCheckBox = nullptr;
    QCheckBox* resizeToFitCheckBox = nullptr;
    QCheckBox* continuePlayingCheckBox = nullptr;
    QCheckBox* endlessScrubCheckBox = nullptr;
    QSpinBox* tcpPortSpinBox = nullptr;
};
