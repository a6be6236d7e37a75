// The window's file commands: opening media and bookmarks files from every
// path (dialog, recent lists, command line, second launch, remote control,
// drag and drop), saving bookmarks and copying the current media.
#include "appsettings.h"
#include "bookmarksfileloader.h"
#include "bookmarksfilesaver.h"
#include "commandline.h"
#include "consolewindow.h"
#include "filecopier.h"
#include "inifile.h"
#include "player.h"
#include "settingssaver.h"
#include "tcpserver.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QUrl>
#include <cstdio>

namespace {

const QString uriListType = QStringLiteral("text/uri-list");

bool isBookmarksFileName(const QString& name)
{
    return name.endsWith(QLatin1Char('.') + Bookmarks::fileExtension, Qt::CaseSensitive);
}

QString bookmarksFilter()
{
    return QStringLiteral("All Files (*.*);;Bookmarks Files (*.%1)").arg(Bookmarks::fileExtension);
}

QString bookmarksSelectedFilter()
{
    return QStringLiteral("Bookmarks Files (*.%1)").arg(Bookmarks::fileExtension);
}

// A name typed without extension would be taken for media everywhere else.
QString withBookmarksExtension(const QString& path)
{
    const QFileInfo info(path);
    if (!info.suffix().isEmpty())
        return info.absoluteFilePath();
    return info.absoluteFilePath() + QLatin1Char('.') + Bookmarks::fileExtension;
}

} // namespace

void Player::reportError(const QString& message)
{
    // Also on the standard error stream, for whoever started the program
    // from a terminal or a script.
    fprintf(stderr, "ERROR: %s\n", qPrintable(message));
    lastError = message;
    if (consoleWindow)
        consoleWindow->error(message);
}

void Player::reportWarning(const QString& message)
{
    fprintf(stderr, "WARNING: %s\n", qPrintable(message));
    if (consoleWindow)
        consoleWindow->warning(message);
}

void Player::saveSettings()
{
    settingsSaver->save();
}

void Player::captureWindowSettings()
{
    AppSettings& s = appSettings();
    s.windowGeometry = saveGeometry();
    if (consoleWindow) {
        s.consoleGeometry = consoleWindow->saveGeometry();
        s.displayConsoleOnType = consoleWindow->showOnType();
    }
}

void Player::open()
{
    if (lastOpenDir.isEmpty()) {
        const QStringList& recent = appSettings().recentFiles;
        const QFileInfo mostRecent(recent.value(0));
        lastOpenDir = !recent.isEmpty() && mostRecent.exists() ? mostRecent.absolutePath() : QDir::homePath();
    }
    // Exactly the suffixes the player opens.
    const QString extensions =
        QStringLiteral("*.") + PlaybackManager::supportedSuffixes().join(QStringLiteral(" *."));
    const QString filter = QStringLiteral("All Files (*.*);;Video Files (%1)").arg(extensions);
    QString selected = QStringLiteral("Video Files (%1)").arg(extensions);
    const QString file = QFileDialog::getOpenFileName(this, tr("Open File"), lastOpenDir, filter, &selected);
    if (file.isEmpty())
        return;
    lastOpenDir = QFileInfo(file).absolutePath();
    open(file, -1, -1);
}

void Player::open(const QString& filename, int rangeStart, int rangeEnd)
{
    if (filename.isEmpty())
        return;
    const QFileInfo info(filename);
    if (!info.exists()) {
        reportError(tr("File not found: %1").arg(info.absoluteFilePath()));
        return;
    }
    const QString path = info.absoluteFilePath();
    // Checked before anything is let go of: a refused file leaves the loaded
    // clip playing with its bookmarks.
    const QString refusal = PlaybackManager::refusalOf(path);
    if (!refusal.isEmpty()) {
        reportError(refusal);
        return;
    }
    if (!settleUnsavedBookmarks())
        return;
    // The clip opened last wins over a bookmarks file still loading.
    cancelBookmarksFileLoad();
    bookmarks.clear();
    bookmarksFilePath.clear();
    bookmarks.mediaPath = path;
    markBookmarksSaved(bookmarks.revision());
    pendingRangeStart = rangeStart;
    pendingRangeEnd = rangeEnd;
    const AppSettings& s = appSettings();
    if (playbackManager->setMedia(path, qint64(s.cacheSize) * 1000000, s.cacheTrailingPct)) {
        ++acceptedOpens;
        addRecentFile(path);
        rebuildRecentMediaMenu();
    }
}

void Player::openByName(const QString& filename, int rangeStart, int rangeEnd)
{
    if (isBookmarksFileName(filename))
        openBookmarksFile(filename, rangeStart, rangeEnd);
    else
        open(filename, rangeStart, rangeEnd);
}

void Player::openRecent()
{
    if (auto* action = qobject_cast<QAction*>(sender()))
        open(action->text(), -1, -1);
}

void Player::openRecentBookmarksFile()
{
    if (auto* action = qobject_cast<QAction*>(sender()))
        openBookmarksFile(action->text(), -1, -1);
}

void Player::rebuildRecentMediaMenu()
{
    recentMediaMenu->clear();
    const AppSettings& s = appSettings();
    for (const QString& path : s.recentFiles.mid(0, qMax(s.numRecentFiles, 0))) {
        QAction* action = recentMediaMenu->addAction(path);
        connect(action, &QAction::triggered, this, &Player::openRecent);
    }
}

void Player::rebuildRecentBookmarksMenu()
{
    recentBookmarksMenu->clear();
    const AppSettings& s = appSettings();
    for (const QString& path : s.recentBookmarkFiles.mid(0, qMax(s.numRecentBookmarkFiles, 0))) {
        QAction* action = recentBookmarksMenu->addAction(path);
        connect(action, &QAction::triggered, this, &Player::openRecentBookmarksFile);
    }
}

void Player::receiveMessageFromOtherInstance(const QStringList& args)
{
    if (isHidden())
        show();
    else if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    openLaunchFiles(CommandLine::parse(args).entries);
}

void Player::openLaunchFiles(const QVector<CommandLine::Entry>& files)
{
    int opened = -1;
    for (int i = 0; i < files.size(); ++i) {
        if (QFileInfo::exists(files[i].file))
            opened = i;
    }
    for (int i = 0; i < files.size(); ++i) {
        if (i == opened)
            continue;
        const QFileInfo file(files[i].file);
        const QString path = file.absoluteFilePath();
        const bool bookmarksFile = isBookmarksFileName(path);
        if (!file.exists()) {
            reportError(
                (bookmarksFile ? tr("Bookmarks file not found: %1") : tr("File not found: %1")).arg(path));
        } else if (bookmarksFile) {
            addRecentBookmarkFile(path);
            consoleWindow->info(tr("Added to Recent Bookmarks, not opened: %1").arg(path));
        } else {
            addRecentFile(path);
            consoleWindow->info(tr("Added to Recent Media, not opened: %1").arg(path));
        }
    }
    rebuildRecentMediaMenu();
    rebuildRecentBookmarksMenu();
    if (opened >= 0)
        openExternal(files[opened].file, files[opened].rangeStart, files[opened].rangeEnd);
}

void Player::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(uriListType))
        event->acceptProposedAction();
    else
        QWidget::dragEnterEvent(event);
}

void Player::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(uriListType))
        event->acceptProposedAction();
    else
        QWidget::dragMoveEvent(event);
}

void Player::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasFormat(uriListType)) {
        QWidget::dropEvent(event);
        return;
    }
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString local = url.toLocalFile();
        if (local.isEmpty())
            continue;
        const QFileInfo info(local);
        if (!info.exists() || !info.isFile())
            continue;
        if (info.suffix() == Bookmarks::fileExtension)
            openBookmarksFile(info.absoluteFilePath(), -1, -1);
        else
            open(info.absoluteFilePath(), -1, -1);
    }
    event->acceptProposedAction();
}

void Player::copyCurrentMedia()
{
    if (playbackManager->state() == PlaybackManager::Stopped)
        return;
    const QFileInfo source(playbackManager->mediaFilename());
    if (!source.exists())
        return;
    const QString filter = QStringLiteral("All Files (*.*);;Current Media (*.%1)").arg(source.suffix());
    QString selected = QStringLiteral("Current Media (*.%1)").arg(source.suffix());
    const QString target = QFileDialog::getSaveFileName(this, tr("Copy Current Media"),
                                                        source.absoluteFilePath(), filter, &selected);
    if (target.isEmpty())
        return;
    const QString refusal = FileCopier::refusalOf(source.absoluteFilePath(), target);
    if (!refusal.isEmpty()) {
        reportError(refusal);
        return;
    }
    // The window goes on while a large clip is copied; closing it cancels
    // the copy.
    auto* copier = new FileCopier(this);
    auto* progress = new QProgressDialog(tr("Copying %1").arg(source.fileName()), tr("Cancel"), 0, 100, this);
    progress->setWindowTitle(tr("Copy Current Media"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setMinimumDuration(0);
    connect(copier, &FileCopier::progressed, progress, &QProgressDialog::setValue);
    connect(progress, &QProgressDialog::canceled, copier, &FileCopier::cancel);
    connect(copier, &FileCopier::finished, this, [this, copier, progress](bool, const QString& error) {
        progress->close();
        copier->deleteLater();
        if (!error.isEmpty())
            reportError(error);
    });
    copier->copy(source.absoluteFilePath(), target);
}

QString Player::bookmarksDialogDirectory() const
{
    if (!lastBookmarksDir.isEmpty())
        return lastBookmarksDir;
    const QStringList& recent = appSettings().recentBookmarkFiles;
    const QFileInfo mostRecent(recent.value(0));
    if (!recent.isEmpty() && mostRecent.exists())
        return mostRecent.absolutePath();
    return bookmarksDirectory();
}

void Player::openBookmarksFile()
{
    QString selected = bookmarksSelectedFilter();
    const QString file = QFileDialog::getOpenFileName(this, tr("Open Bookmarks"), bookmarksDialogDirectory(),
                                                      bookmarksFilter(), &selected);
    if (file.isEmpty())
        return;
    lastBookmarksDir = QFileInfo(file).absolutePath();
    openBookmarksFile(file, -1, -1);
}

void Player::openBookmarksFile(const QString& filename, int rangeStart, int rangeEnd)
{
    if (filename.isEmpty())
        return;
    const QFileInfo file(filename);
    if (!file.exists()) {
        reportError(tr("Bookmarks file not found: %1").arg(file.absoluteFilePath()));
        return;
    }
    // Read on a worker thread: the window keeps answering while a large file
    // loads, with a busy pointer meanwhile.
    bookmarksFileRangeStart = rangeStart;
    bookmarksFileRangeEnd = rangeEnd;
    bookmarksFileUnattended = unattended;
    if (!bookmarksLoader->isLoading())
        QApplication::setOverrideCursor(Qt::BusyCursor);
    bookmarksLoader->load(file.absoluteFilePath());
    ++acceptedOpens;
}

void Player::cancelBookmarksFileLoad()
{
    if (!bookmarksLoader->isLoading())
        return;
    bookmarksLoader->cancel();
    QApplication::restoreOverrideCursor();
}

void Player::bookmarksFileLoaded(const QString& path, Bookmarks::LoadResult result, const Bookmarks& loaded)
{
    QApplication::restoreOverrideCursor();
    const QScopedValueRollback<bool> fromOutside(unattended, bookmarksFileUnattended);
    if (!openLoadedBookmarks(path, result, loaded))
        ++failedOpens;
    // Remote commands held while the file was read go on.
    QMetaObject::invokeMethod(tcpServer, &TcpServer::playerChanged, Qt::QueuedConnection);
}

bool Player::openLoadedBookmarks(const QString& path, Bookmarks::LoadResult result, const Bookmarks& loaded)
{
    switch (result) {
    case Bookmarks::LoadResult::Loaded:
        break;
    case Bookmarks::LoadResult::Missing:
        reportError(tr("Bookmarks file not found: %1").arg(path));
        return false;
    case Bookmarks::LoadResult::TooLarge:
        reportError(tr("Bookmarks file too large (over %1 MB): %2")
                        .arg(IniFile::maximumSize / (1024 * 1024))
                        .arg(path));
        return false;
    case Bookmarks::LoadResult::Unreadable:
        reportError(tr("Bookmarks file cannot be read: %1").arg(path));
        return false;
    }
    // Nothing of the loaded clip changes until the file's clip is known to
    // open.
    const QString media = clipOfBookmarks(path, loaded);
    if (media.isEmpty())
        return false;
    const QString refusal = PlaybackManager::refusalOf(media);
    if (!refusal.isEmpty()) {
        reportError(refusal);
        return false;
    }
    if (!settleUnsavedBookmarks())
        return false;
    bookmarks = loaded;
    bookmarksFilePath = path;
    markBookmarksSaved(bookmarks.revision());
    bookmarksChanged();
    addRecentBookmarkFile(bookmarksFilePath);
    rebuildRecentBookmarksMenu();
    pendingRangeStart = bookmarksFileRangeStart;
    pendingRangeEnd = bookmarksFileRangeEnd;
    const AppSettings& s = appSettings();
    return playbackManager->setMedia(media, qint64(s.cacheSize) * 1000000, s.cacheTrailingPct);
}

QString Player::clipOfBookmarks(const QString& path, const Bookmarks& loaded)
{
    if (loaded.mediaPath.isEmpty()) {
        reportError(tr("Media path not set in bookmarks file."));
        return QString();
    }
    QFileInfo media(loaded.mediaPath);
    if (!media.exists()) {
        // A bookmarks file moved together with its clip still finds it.
        media = QFileInfo(QFileInfo(path).absoluteDir().filePath(media.fileName()));
        if (!media.exists()) {
            reportError(tr("Media file not found: %1").arg(media.absoluteFilePath()));
            return QString();
        }
    }
    return media.absoluteFilePath();
}

void Player::saveBookmarksFile()
{
    if (playbackManager->state() == PlaybackManager::Stopped)
        return;
    if (bookmarksFilePath.isEmpty()) {
        saveBookmarksFileAs();
        return;
    }
    // Written on a worker thread; the window goes on meanwhile.
    bookmarksSaver->save(bookmarks, bookmarksFilePath);
}

void Player::bookmarksFileSaved(const QString& path, quint64 revision, bool saved)
{
    if (!saved) {
        reportError(tr("Failed to save bookmarks file: %1").arg(path));
        return;
    }
    if (path == bookmarksFilePath)
        markBookmarksSaved(revision);
    addRecentBookmarkFile(path);
    rebuildRecentBookmarksMenu();
}

void Player::saveBookmarksFileAs()
{
    if (playbackManager->state() == PlaybackManager::Stopped)
        return;
    const QString file = askBookmarksFileName();
    if (file.isEmpty())
        return;
    bookmarksFilePath = file;
    saveBookmarksFile();
}

QString Player::askBookmarksFileName()
{
    QString selected = bookmarksSelectedFilter();
    const QString file = QFileDialog::getSaveFileName(this, tr("Save Bookmarks"), bookmarksDirectory(),
                                                      bookmarksFilter(), &selected);
    return file.isEmpty() ? QString() : withBookmarksExtension(file);
}
