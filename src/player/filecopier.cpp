#include "filecopier.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr qint64 chunkBytes = 4 * 1024 * 1024;

} // namespace

FileCopier::FileCopier(QObject* parent) : QObject(parent) {}

FileCopier::~FileCopier()
{
    if (!watcher)
        return;
    cancel();
    watcher->waitForFinished();
}

QString FileCopier::refusalOf(const QString& source, const QString& target)
{
    const QString sourcePath = QFileInfo(source).canonicalFilePath();
    // A target that does not exist yet is compared through its folder.
    const QFileInfo targetInfo(target);
    const QString folder = QFileInfo(targetInfo.absolutePath()).canonicalFilePath();
    const QString targetPath = targetInfo.exists() ? targetInfo.canonicalFilePath()
                                                   : folder + QLatin1Char('/') + targetInfo.fileName();
    if (!sourcePath.isEmpty() && sourcePath == targetPath)
        return tr("Cannot copy a file onto itself: %1").arg(target);
    return QString();
}

void FileCopier::copy(const QString& source, const QString& target)
{
    cancelled = false;
    made = false;
    watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, &FileCopier::reportFinished);
    watcher->setFuture(QtConcurrent::run([this, source, target] { return copyFile(source, target); }));
}

QString FileCopier::copyFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return tr("Failed to read %1: %2").arg(source, in.errorString());
    // Left uncommitted, the temporary file is removed with out.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return tr("Failed to copy file to %1: %2").arg(target, out.errorString());
    const qint64 total = qMax<qint64>(in.size(), 1);
    qint64 done = 0;
    int shown = -1;
    QByteArray chunk;
    while (!in.atEnd()) {
        if (cancelled)
            return QString();
        chunk = in.read(chunkBytes);
        if (chunk.isEmpty() && in.error() != QFile::NoError)
            return tr("Failed to read %1: %2").arg(source, in.errorString());
        if (out.write(chunk) != chunk.size())
            return tr("Failed to copy file to %1: %2").arg(target, out.errorString());
        done += chunk.size();
        const int percent = int(done * 100 / total);
        if (percent != shown)
            emit progressed(shown = percent);
    }
    if (!out.commit())
        return tr("Failed to copy file to %1: %2").arg(target, out.errorString());
    made = true;
    return QString();
}

void FileCopier::reportFinished()
{
    const QString error = watcher->result();
    watcher->deleteLater();
    watcher = nullptr;
    emit finished(made, error);
}
