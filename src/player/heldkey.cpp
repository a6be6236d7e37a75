#include "heldkey.h"

#include <QKeyEvent>

HeldKey::HeldKey(int key, QObject* parent) : QObject(parent), key(key) {}

bool HeldKey::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // A release while another window had the focus never arrives.
    if (type == QEvent::WindowDeactivate)
        held = false;
    // A key bound to a shortcut arrives as a shortcut override, not as a
    // key press; its release arrives as usual.
    if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride || type == QEvent::KeyRelease) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (keyEvent->key() == key && keyEvent->modifiers() == Qt::NoModifier && !keyEvent->isAutoRepeat())
            held = type != QEvent::KeyRelease;
    }
    return QObject::eventFilter(watched, event);
}
