#pragma once

#include <QString>
#include <system_error>

// A failed file system call, described the way the system describes it: what() reads
// "<path>: <strerror text>", for example ".../secure/accessToken: Permission denied".
class FileSystemError : public std::system_error
{
public:
    FileSystemError(int errorNumber, const QString &path);

    const QString &path() const { return filePath; }

private:
    QString filePath;
};
