#pragma once

#include "rangebookmark.h"

#include <QDialog>
#include <QVector>

class QLineEdit;
class QListView;
class QStringListModel;

// Every range bookmark in a list that a filter field narrows down, for
// choosing one when there are too many for a menu. A double click or Enter
// on an entry, or OK, chooses it.
class RangeBookmarkDialog : public QDialog
{
    Q_OBJECT

public:
    // Shows the range bookmarks in their order, with the one at position
    // current selected (none when it is out of the list).
    RangeBookmarkDialog(const QVector<RangeBookmark>& ranges, int current, QWidget* parent = nullptr);

    // Shows only the entries whose name contains the text, in any case.
    void setFilter(const QString& text);
    // The number of entries shown.
    int shownCount() const;
    // The position in the list given to the constructor of the entry chosen,
    // or -1 when there is none.
    int chosenIndex() const;

private:
    // Shows the entries at these positions of the full list.
    void showEntries(const QVector<int>& positions);

    QStringList names;
    // The position in the full list of each entry shown.
    QVector<int> shownPositions;
    QLineEdit* filterField = nullptr;
    QListView* list = nullptr;
    QStringListModel* shownNames = nullptr;
};
