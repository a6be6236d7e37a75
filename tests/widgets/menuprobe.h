#pragma once

#include "timelinewidget.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStringList>
#include <QTimer>

// Opens a timeline's context menu for real and reads it while it is shown.
namespace MenuProbe {

// One line per entry: "-" for a separator, "[x] " or "[ ] " before checkable
// entries, a submenu's title followed by its entries indented by two spaces.
inline void describeMenu(QMenu* menu, const QString& indent, const QString& trigger, QStringList& entries,
                         QAction** found)
{
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            entries << indent + "-";
            continue;
        }
        QString text = action->text();
        if (action->isCheckable())
            text = (action->isChecked() ? "[x] " : "[ ] ") + text;
        entries << indent + text;
        if (action->text() == trigger)
            *found = action;
        if (action->menu())
            describeMenu(action->menu(), indent + "  ", trigger, entries, found);
    }
}

inline void closeMenus()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (QMenu* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible())
            menu->close();
    }
}

// The entries of the menu opened at pos; triggers the entry whose text is
// trigger, if there is one, as a click on it would.
inline QStringList open(TimelineWidget& timeline, QPoint pos, const QString& trigger = QString())
{
    QStringList entries;
    QTimer::singleShot(0, [&] {
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            entries << "no menu shown";
            closeMenus();
            return;
        }
        QAction* found = nullptr;
        describeMenu(menu, QString(), trigger, entries, &found);
        closeMenus();
        if (found)
            found->trigger();
        else if (!trigger.isEmpty())
            entries << "no entry " + trigger;
    });
    timeline.contextMenu(pos);
    return entries;
}

} // namespace MenuProbe
