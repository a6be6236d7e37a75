#pragma once

#include "appsettings.h"

#include <QObject>
#include <functional>

class QTimer;

// Saves the settings record shortly after it changes, so that a crash or a
// power cut loses at most the last moments. The record is changed in place
// all over the program, so rather than being told, the saver compares it with
// what it wrote last every couple of seconds and writes it when it differs:
// a burst of changes (a volume drag) is one write, and an idle program
// writes nothing.
class SettingsSaver : public QObject
{
    Q_OBJECT

public:
    static constexpr int checkIntervalMs = 2000;

    // beforeWrite brings into the record what is read off the window only
    // when saving, such as its geometry: a window moved about causes no write
    // by itself, but every write holds where it is.
    explicit SettingsSaver(std::function<void()> beforeWrite, QObject* parent = nullptr);

    // Writes the record when it differs from what was written last.
    void saveIfChanged();
    // Writes the record now, changed or not. False when it could not be
    // written.
    bool save();

signals:
    // A write failed: said on the first failure after a success (or at the
    // start), not again while the failures go on.
    void saveFailed(const QString& location);

private:
    std::function<void()> beforeWrite;
    AppSettings written;
    bool failing = false;
    QTimer* timer = nullptr;
};
