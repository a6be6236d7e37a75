#pragma once

#include "bookmarks.h"

#include <QList>
#include <QObject>
#include <QString>

template <typename T>
class QFutureWatcher;

// Writes bookmarks files on a worker thread, so that saving millions of
// bookmarks never stalls the window. Saves run one at a time, in the order
// they were asked for, each writing the bookmarks as they were when it was
// asked for.
class BookmarksFileSaver : public QObject
{
    Q_OBJECT

public:
    explicit BookmarksFileSaver(QObject* parent = nullptr);
    // Finishes every save asked for, without reporting them.
    ~BookmarksFileSaver() override;

    // Writes a copy of the bookmarks to path, as Bookmarks::save does.
    void save(const Bookmarks& bookmarks, const QString& path);
    bool isSaving() const { return watcher != nullptr; }
    // Returns when every save asked for is done and reported.
    void finishSaves();

signals:
    // The bookmarks of that revision are written to path, or could not be
    // (saved false: the file there before stays as it was).
    void finished(const QString& path, quint64 revision, bool saved);

private:
    struct Job
    {
        Bookmarks bookmarks;
        QString path;
    };

    void startNext();
    void reportRunning();

    QList<Job> waiting;
    Job running;
    QFutureWatcher<bool>* watcher = nullptr;
};
