#pragma once

#include <QObject>

// Whether one key is held down in the application, shortcut or not: J and L
// step a single frame while K is held, as editors know from the shuttle keys.
// Watches the key events of the whole application; install with
// QCoreApplication::installEventFilter.
class HeldKey : public QObject
{
    Q_OBJECT

public:
    HeldKey(int key, QObject* parent);
    bool isHeld() const { return held; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const int key;
    bool held = false;
};
