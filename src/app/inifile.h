#pragma once

#include <QString>
#include <functional>

class QSettings;

// Reading and writing the program's INI files (the settings file and bookmarks
// files) through QSettings in INI format, made safe against two things
// QSettings does not guard against by itself:
//
// - A hostile file. A value written as "@Variant(...)" or "@DateTime(...)" is
//   deserialised with QDataStream while the file is parsed, and a forged
//   container length in it makes QSettings abort the process on a failed
//   allocation. The program never writes such values, so a file that holds
//   one is not read at all.
// - A failed write. On a full disk QSettings can report success after
//   replacing the file with a truncated copy, and an error met while reading
//   the old file masks a later write error. Files are therefore written to a
//   temporary file beside the target, read back and compared, and only then
//   renamed over the target, so a failed save leaves the old file as it was.
namespace IniFile {

// Files beyond this size are not read: no settings or bookmarks file comes
// near it, and QSettings would hold the whole text in memory several times.
constexpr qint64 maximumSize = 256 * 1024 * 1024;

// Reads the whole file when path names a regular, readable file of at most
// maximumSize bytes; false otherwise.
bool readWhole(const QString& path, QByteArray* text);

// True when path names a regular, readable file of at most maximumSize bytes
// that holds no serialised-object value, so QSettings may parse it.
bool isSafeToRead(const QString& path);

// True when QSettings could deserialise an object somewhere in this INI text.
bool containsSerialisedValue(const QByteArray& text);

// Writes an INI file: the keys of the file already at path (those a SalvagedIniFile reads of it, when it
// has no line QSettings cannot parse), then whatever fill sets. Returns true only when the new file is in
// place with exactly that content and passes isSafeToRead; otherwise the file at path is left as it was. A
// symbolic link is followed; the permissions of an existing file are kept; a missing folder is created, as
// QSettings does.
bool write(const QString& path, const std::function<void(QSettings&)>& fill);

} // namespace IniFile
