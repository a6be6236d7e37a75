#include "bookmarksfileloader.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

BookmarksFileLoader::BookmarksFileLoader(QObject* parent) : QObject(parent) {}

// A load still running finishes on its own and its result is thrown away.
BookmarksFileLoader::~BookmarksFileLoader() = default;

void BookmarksFileLoader::load(const QString& path)
{
    cancel();
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    // A watcher per load: whatever the one of a dropped load still has to
    // report goes with it.
    watcher = new QFutureWatcher<Outcome>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, absolutePath] {
        const Outcome outcome = watcher->result();
        cancel();
        emit finished(absolutePath, outcome.result, outcome.bookmarks);
    });
    watcher->setFuture(QtConcurrent::run([absolutePath] {
        Outcome outcome;
        outcome.result = outcome.bookmarks.load(QFileInfo(absolutePath));
        return outcome;
    }));
}

void BookmarksFileLoader::cancel()
{
    if (!watcher)
        return;
    watcher->disconnect(this);
    watcher->deleteLater();
    watcher = nullptr;
}
