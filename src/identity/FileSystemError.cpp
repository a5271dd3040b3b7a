#include "identity/FileSystemError.h"

FileSystemError::FileSystemError(int errorNumber, const QString &path)
    : std::system_error(errorNumber, std::generic_category(), path.toStdString())
    , filePath(path)
{}
