#include "settingssaver.h"

#include <QTimer>

SettingsSaver::SettingsSaver(std::function<void()> beforeWrite, QObject* parent)
    : QObject(parent), beforeWrite(std::move(beforeWrite)), written(appSettings()), timer(new QTimer(this))
{
    connect(timer, &QTimer::timeout, this, &SettingsSaver::saveIfChanged);
    timer->start(checkIntervalMs);
}

void SettingsSaver::saveIfChanged()
{
    if (appSettings() != written)
        save();
}

bool SettingsSaver::save()
{
    if (beforeWrite)
        beforeWrite();
    if (saveAppSettings()) {
        written = appSettings();
        failing = false;
        return true;
    }
    // Without a home folder there is nowhere to save to, and nothing to say.
    const QString location = settingsFileLocation();
    if (!failing && !location.isEmpty())
        emit saveFailed(location);
    failing = true;
    return false;
}
