#include "rangebookmarkdialog.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>

RangeBookmarkDialog::RangeBookmarkDialog(const QVector<RangeBookmark>& ranges, int current, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Range Bookmarks"));
    resize(360, 480);

    names.reserve(ranges.size());
    for (const RangeBookmark& r : ranges)
        names << r.name;
    shownNames = new QStringListModel(this);

    filterField = new QLineEdit(this);
    filterField->setObjectName(QStringLiteral("filterField"));
    filterField->setPlaceholderText(tr("Filter"));
    filterField->setClearButtonEnabled(true);

    list = new QListView(this);
    list->setObjectName(QStringLiteral("rangeList"));
    list->setModel(shownNames);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows of one height: a list of a hundred thousand entries lays out at once.
    list->setUniformItemSizes(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filterField);
    layout->addWidget(list);
    layout->addWidget(buttons);

    connect(filterField, &QLineEdit::textChanged, this, &RangeBookmarkDialog::setFilter);
    connect(list, &QListView::activated, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    setFilter(QString());
    if (current >= 0 && current < ranges.size()) {
        const QModelIndex index = shownNames->index(current);
        list->setCurrentIndex(index);
        list->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    filterField->setFocus();
}

void RangeBookmarkDialog::setFilter(const QString& text)
{
    // The list is made anew rather than narrowed row by row, which a view
    // follows in time proportional to the rows removed times the rows left.
    QVector<int> positions;
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).contains(text, Qt::CaseInsensitive))
            positions.append(i);
    }
    showEntries(positions);
}

void RangeBookmarkDialog::showEntries(const QVector<int>& positions)
{
    QStringList shown;
    shown.reserve(positions.size());
    for (int position : positions)
        shown << names.at(position);
    shownPositions = positions;
    shownNames->setStringList(shown);
    if (!shown.isEmpty())
        list->setCurrentIndex(shownNames->index(0));
}

int RangeBookmarkDialog::shownCount() const
{
    return shownPositions.size();
}

int RangeBookmarkDialog::chosenIndex() const
{
    const QModelIndex index = list->currentIndex();
    return index.isValid() ? shownPositions.value(index.row(), -1) : -1;
}
