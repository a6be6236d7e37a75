#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QTemporaryFile;

// What QSettings may read of an INI file. A file that passes
// IniFile::isSafeToRead is read as it is. In any other file of a readable
// size, the lines whose value is a serialised object (as another program or
// version may write) are left out, together with a section whose name holds
// such a text and the keys under it; the rest is written to a temporary copy
// that QSettings reads instead. So one bad line costs that line only.
//
// Lines are told apart the way QSettings splits them: a line break inside
// quotes or after a backslash does not end a line, and a semicolon outside
// quotes starts a comment. Comments are not copied.
class SalvagedIniFile
{
public:
    // Reads the file once.
    explicit SalvagedIniFile(const QString& path);
    ~SalvagedIniFile();
    SalvagedIniFile(const SalvagedIniFile&) = delete;
    SalvagedIniFile& operator=(const SalvagedIniFile&) = delete;

    // False for a missing file, a folder or other non-regular file, one that
    // cannot be read or is larger than IniFile::maximumSize, and when no safe
    // copy could be made.
    bool isReadable() const { return readable; }
    // The file to open with QSettings: the file itself, or the copy without
    // the bad lines, which lives as long as this object. Empty when the file
    // is not readable.
    QString readablePath() const { return path; }
    // "group/key" (just "key" outside any group) of every line left out, in
    // the order of the file; empty when the file is read as it is.
    const QStringList& droppedKeys() const { return dropped; }
    // The bytes of the file as they were read.
    const QByteArray& originalText() const { return original; }

private:
    bool salvage();

    QString path;
    QByteArray original;
    QStringList dropped;
    std::unique_ptr<QTemporaryFile> copy;
    bool readable = false;
};
