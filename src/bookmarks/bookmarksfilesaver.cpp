#include "bookmarksfilesaver.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

BookmarksFileSaver::BookmarksFileSaver(QObject* parent) : QObject(parent) {}

BookmarksFileSaver::~BookmarksFileSaver()
{
    blockSignals(true);
    finishSaves();
}

void BookmarksFileSaver::save(const Bookmarks& bookmarks, const QString& path)
{
    waiting.append(Job{bookmarks, path});
    if (!watcher)
        startNext();
}

void BookmarksFileSaver::finishSaves()
{
    while (watcher) {
        watcher->waitForFinished();
        reportRunning();
    }
}

void BookmarksFileSaver::startNext()
{
    if (waiting.isEmpty())
        return;
    running = waiting.takeFirst();
    watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, &BookmarksFileSaver::reportRunning);
    const Job job = running;
    watcher->setFuture(QtConcurrent::run([job] { return job.bookmarks.save(job.path); }));
}

void BookmarksFileSaver::reportRunning()
{
    const bool saved = watcher->result();
    // finishSaves may get here before the watcher has said it is finished.
    watcher->disconnect(this);
    watcher->deleteLater();
    watcher = nullptr;
    const Job done = running;
    running = Job();
    emit finished(done.path, done.bookmarks.revision(), saved);
    startNext();
}
