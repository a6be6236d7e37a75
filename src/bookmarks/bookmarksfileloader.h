#pragma once

#include "bookmarks.h"

#include <QObject>
#include <QString>

template <typename T>
class QFutureWatcher;

// Reads bookmarks files on a worker thread, so that a file of millions of
// bookmarks never stalls the window. One file at a time: a new load, or
// cancel(), drops the load in progress, whose result is then never reported.
class BookmarksFileLoader : public QObject
{
    Q_OBJECT

public:
    explicit BookmarksFileLoader(QObject* parent = nullptr);
    ~BookmarksFileLoader() override;

    // Starts reading the file.
    void load(const QString& path);
    void cancel();
    bool isLoading() const { return watcher != nullptr; }

signals:
    // The file named by path (absolute) has been read into bookmarks, as
    // Bookmarks::load reads it.
    void finished(const QString& path, Bookmarks::LoadResult result, const Bookmarks& bookmarks);

private:
    struct Outcome
    {
        Bookmarks bookmarks;
        Bookmarks::LoadResult result = Bookmarks::LoadResult::Missing;
    };

    QFutureWatcher<Outcome>* watcher = nullptr;
};
