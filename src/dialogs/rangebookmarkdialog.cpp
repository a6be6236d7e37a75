#include "rangebookmarkdialog.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStringListModel>

RangeBookmarkDialog::RangeBookmarkDialog(const QVector<RangeBookmark>& ranges, int current, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Range Bookmarks"));
    resize(360, 480);

    QStringList names;
    names.reserve(ranges.size());
    for (const RangeBookmark& r : ranges)
        names << r.name;
    auto* all = new QStringListModel(names, this);
    filtered = new QSortFilterProxyModel(this);
    filtered->setSourceModel(all);
    filtered->setFilterCaseSensitivity(Qt::CaseInsensitive);

    filterField = new QLineEdit(this);
    filterField->setObjectName(QStringLiteral("filterField"));
    filterField->setPlaceholderText(tr("Filter"));
    filterField->setClearButtonEnabled(true);

    list = new QListView(this);
    list->setObjectName(QStringLiteral("rangeList"));
    list->setModel(filtered);
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

    if (current >= 0 && current < ranges.size()) {
        const QModelIndex index = filtered->mapFromSource(all->index(current));
        list->setCurrentIndex(index);
        list->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    filterField->setFocus();
}

void RangeBookmarkDialog::setFilter(const QString& text)
{
    filtered->setFilterFixedString(text);
    if (!list->currentIndex().isValid() && filtered->rowCount() > 0)
        list->setCurrentIndex(filtered->index(0, 0));
}

int RangeBookmarkDialog::shownCount() const
{
    return filtered->rowCount();
}

int RangeBookmarkDialog::chosenIndex() const
{
    const QModelIndex index = list->currentIndex();
    return index.isValid() ? filtered->mapToSource(index).row() : -1;
}
