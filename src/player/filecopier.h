#pragma once

#include <QObject>
#include <QString>
#include <atomic>

template <typename T>
class QFutureWatcher;

// Copies a file on a worker thread into a temporary file beside the target,
// which then replaces the target by a rename: a failure or a cancel leaves
// the target as it was and no partial copy behind.
class FileCopier : public QObject
{
    Q_OBJECT

public:
    explicit FileCopier(QObject* parent = nullptr);
    // Cancels a copy under way and waits for it.
    ~FileCopier() override;

    // Why source cannot be copied to target (they are the same file, once
    // symbolic links are resolved), or an empty string.
    static QString refusalOf(const QString& source, const QString& target);

    void copy(const QString& source, const QString& target);
    void cancel() { cancelled = true; }

signals:
    void progressed(int percent);
    // error is empty when the copy was made or cancelled.
    void finished(bool copied, const QString& error);

private:
    QString copyFile(const QString& source, const QString& target);
    void reportFinished();

    QFutureWatcher<QString>* watcher = nullptr;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> made{false};
};
