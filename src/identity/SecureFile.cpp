#include "identity/SecureFile.h"

#include "identity/FileSystemError.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t privateDirectoryMode = 0700;
// mkostemp replaces these with random characters.
constexpr char temporaryMarker[] = "XXXXXX";
constexpr qsizetype temporaryMarkerLength = sizeof temporaryMarker - 1;

struct SplitPath
{
    QByteArray directory;
    QByteArray name;
};

SplitPath split(const QByteArray &nativePath)
{
    const qsizetype slash = nativePath.lastIndexOf('/');
    if (slash < 0)
        return {".", nativePath};
    return {slash == 0 ? QByteArray("/") : nativePath.left(slash), nativePath.mid(slash + 1)};
}

// The sibling of path that writeAtomically writes first: hidden, and marked by a random suffix
// so it can never be mistaken for a stored value.
QByteArray temporaryTemplate(const SplitPath &parts)
{
    return parts.directory + "/." + parts.name + "." + temporaryMarker;
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int descriptor)
        : fd(descriptor)
    {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd; }
    // Closing is where some file systems first report a failed write, so its result matters.
    bool close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

private:
    int fd;
};

// Unlinks the temporary unless the rename that publishes it went through.
class TemporaryFile
{
public:
    explicit TemporaryFile(QByteArray nativePath)
        : path(std::move(nativePath))
    {}
    ~TemporaryFile()
    {
        if (!published)
            ::unlink(path.constData());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const char *nativePath() const { return path.constData(); }
    void markPublished() { published = true; }

private:
    QByteArray path;
    bool published = false;
};

bool isMissing(int errorNumber)
{
    // A path whose folder is really a file holds no value either.
    return errorNumber == ENOENT || errorNumber == ENOTDIR;
}

void writeAll(int fd, QByteArrayView bytes, const QString &path)
{
    const char *next = bytes.data();
    auto remaining = static_cast<std::size_t>(bytes.size());
    while (remaining > 0) {
        const ssize_t written = ::write(fd, next, remaining);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw FileSystemError(errno, path);
        }
        next += written;
        remaining -= static_cast<std::size_t>(written);
    }
}

// Makes the rename itself durable. Best effort: the new value is already in place and readable,
// and reporting a failure now would tell the caller the save failed when it did not.
void syncDirectory(const QByteArray &directory)
{
    const FileDescriptor fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

namespace SecureFile {

bool createPrivateDirectory(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    for (qsizetype end = 1; end <= native.size(); ++end) {
        if (end < native.size() && native.at(end) != '/')
            continue;
        const QByteArray prefix = native.left(end);
        if (::mkdir(prefix.constData(), privateDirectoryMode) != 0 && errno != EEXIST)
            return false;
    }
    struct stat status
    {};
    return ::stat(native.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

void writeAtomically(const QString &path, QByteArrayView bytes)
{
    const SplitPath parts = split(QFile::encodeName(path));
    QByteArray temporaryPath = temporaryTemplate(parts);
    // mkostemp creates the file with O_EXCL and mode 0600, so it is private from the first byte.
    FileDescriptor fd(::mkostemp(temporaryPath.data(), O_CLOEXEC));
    if (fd.get() < 0)
        throw FileSystemError(errno, path);
    TemporaryFile temporary(temporaryPath);

    writeAll(fd.get(), bytes, path);
    if (::fsync(fd.get()) != 0)
        throw FileSystemError(errno, path);
    if (!fd.close())
        throw FileSystemError(errno, path);
    if (::rename(temporary.nativePath(), QFile::encodeName(path).constData()) != 0)
        throw FileSystemError(errno, path);
    temporary.markPublished();
    syncDirectory(parts.directory);
}

std::optional<QByteArray> read(const QString &path)
{
    // Non-blocking, so that a pipe at the path cannot stall the store until a writer appears.
    const FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (isMissing(errno))
            return std::nullopt;
        throw FileSystemError(errno, path);
    }
    struct stat status
    {};
    if (::fstat(fd.get(), &status) != 0)
        throw FileSystemError(errno, path);
    if (S_ISDIR(status.st_mode))
        throw FileSystemError(EISDIR, path);
    if (!S_ISREG(status.st_mode))
        throw FileSystemError(EINVAL, path);

    QByteArray contents;
    contents.reserve(static_cast<qsizetype>(status.st_size));
    char chunk[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw FileSystemError(errno, path);
        }
        if (count == 0)
            return contents;
        contents.append(chunk, static_cast<qsizetype>(count));
    }
}

void remove(const QString &path)
{
    if (::remove(QFile::encodeName(path).constData()) != 0 && !isMissing(errno))
        throw FileSystemError(errno, path);
}

void removeLeftoverTemporaries(const QString &path)
{
    const SplitPath parts = split(QFile::encodeName(path));
    const QByteArray prefix = "." + parts.name + ".";
    const qsizetype temporaryNameLength = prefix.size() + temporaryMarkerLength;
    DIR *directory = ::opendir(parts.directory.constData());
    if (directory == nullptr)
        return;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() == temporaryNameLength && name.startsWith(prefix))
            ::unlink((parts.directory + "/" + name.toByteArray()).constData());
    }
    ::closedir(directory);
}

bool exists(const QString &path)
{
    struct stat status
    {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

} // namespace SecureFile
