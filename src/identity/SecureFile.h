#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// Owner-only files in an owner-only folder. Every failure of the system throws FileSystemError
// naming the path the caller asked about.
namespace SecureFile {

// Creates the folder and any missing parents, each with mode 0700; a folder that already exists
// is left as it is. Returns false when the folder could not be created.
bool createPrivateDirectory(const QString &path);

// Replaces the file at path with exactly these bytes, mode 0600. The bytes go to a temporary file
// beside it which is then renamed over it, so a crash or a failed write leaves either the old
// contents or the new, never a mix. The folder must exist.
void writeAtomically(const QString &path, QByteArrayView bytes);

// The whole file, or nothing when no file is at path. Only regular files are read: anything else
// there (a folder, a pipe, a device) is an error rather than a read that could block or never end.
std::optional<QByteArray> read(const QString &path);

// Removes the file (or empty folder) at path. Nothing at path counts as success.
void remove(const QString &path);

// Removes temporaries that an interrupted writeAtomically of path left behind. Never throws:
// whatever cannot be removed stays.
void removeLeftoverTemporaries(const QString &path);

// True when any file system object, even a dangling symbolic link, is at path.
bool exists(const QString &path);

} // namespace SecureFile
