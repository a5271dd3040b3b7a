#include "app/SingleInstance.h"

#include "app/ForwardedUrl.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A running instance on the same machine answers at once; these only bound a stuck one, so that
// the browser's hand-over never hangs.
constexpr int connectTimeoutMs = 2000;
constexpr int writeTimeoutMs = 2000;
// A starter holds the lock only between its failed connect and its listen.
constexpr std::chrono::seconds lockTimeout{5};

// True when the path is a folder, not a link, of this user that no one else may enter.
bool isPrivateFolder(const QString &path)
{
    const int folder = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat status = {};
    const bool isPrivate = ::fstat(folder, &status) == 0 && status.st_uid == ::geteuid() &&
                           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
    ::close(folder);
    return isPrivate;
}

enum class OwnFolder
{
    usable,
    cannotBeMade,
    refused
};

// Makes the folder of ours, or checks the one found at its name, which must be a folder, not a
// link, of this user. Others who may read or enter it are shut out. One that others may write to
// is refused rather than closed: whatever they left in it, a socket answering at our name among
// it, would stay. Emptying it is no remedy either, since what they made in it need not be ours to
// remove; the user, told why, removes it and the next start makes a private one.
OwnFolder claimFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return OwnFolder::cannotBeMade;
    // Opened without following a link and then checked and closed through that one descriptor,
    // so that a link swapped in meanwhile cannot turn either onto another folder.
    const int folder = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status = {};
    const char *refusal = nullptr;
    if (folder < 0 || ::fstat(folder, &status) != 0 || status.st_uid != ::geteuid())
        refusal = "it is not a folder of this user";
    else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        refusal = "other users may write to it, and what they left in it could receive sign-in "
                  "callbacks; remove it, and the next start makes a private one";
    else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::fchmod(folder, S_IRWXU) != 0)
        refusal = std::strerror(errno);
    if (folder >= 0)
        ::close(folder);
    if (refusal == nullptr)
        return OwnFolder::usable;
    qWarning().noquote() << "vessa: refusing" << path << "for the instance socket:" << refusal;
    return OwnFolder::refused;
}

// The folder of the instance socket; empty when there is none that is the user's alone.
QString socketFolder()
{
    // The session's runtime folder, when it is what it should be.
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeFolder.isEmpty() && isPrivateFolder(runtimeFolder))
        return runtimeFolder;
    // Without it, Qt falls back to a folder of a known name in /tmp, which any user can make
    // first, and then refuses it. A folder of ours in the user's cache cannot be taken ahead of
    // us. One found there that is not as it should be stops the start: moving elsewhere would
    // hide the fault, and once it is mended, starts would disagree on where the running one is.
    const QString cacheFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cacheFolder.isEmpty() && QDir().mkpath(cacheFolder)) {
        const QString ownFolder = cacheFolder + QStringLiteral("/com.kolvane.vessa-mac");
        if (const OwnFolder claimed = claimFolder(ownFolder); claimed != OwnFolder::cannotBeMade)
            return claimed == OwnFolder::usable ? ownFolder : QString();
    }
    // Without a home to hold a cache, a folder of ours among everyone's temporary files, named
    // after the user: one that someone else made there first is refused.
    const QString temporaryFolder =
        QDir::tempPath() + QStringLiteral("/com.kolvane.vessa-mac-%1").arg(::geteuid());
    return claimFolder(temporaryFolder) == OwnFolder::usable ? temporaryFolder : QString();
}

} // namespace

QString SingleInstance::defaultSocketPath()
{
    const QString folder = socketFolder();
    if (folder.isEmpty())
        return {};
    return folder + QLatin1Char('/') + QLatin1StringView(socketFileName);
}

SingleInstance::SingleInstance(QString socketPath,
                               std::chrono::milliseconds unfinishedConnectionLimit, QObject *parent)
    : QObject(parent)
    , path(std::move(socketPath))
    , connectionLimit(unfinishedConnectionLimit)
{
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::start(const QStringList &arguments)
{
    if (path.isEmpty()) {
        failure = QStringLiteral("no private folder for the instance socket");
        return Role::unavailable;
    }

    // 1. A running instance takes the URLs.
    Forwarding forwarding = forward(arguments);
    if (forwarding == Forwarding::nobodyListening) {
        // 2. Starters that found nobody decide one at a time: otherwise each would remove the
        //    other's fresh socket and listen, and both would be primary.
        QLockFile lock(path + QStringLiteral(".lock"));
        if (!lock.tryLock(lockTimeout)) {
            failure = QStringLiteral("another start holds %1").arg(lock.fileName());
            return Role::unavailable;
        }
        // 3. The starter that held the lock before may be the running instance by now.
        forwarding = forward(arguments);
        // 4. Still nobody: become the running instance.
        if (forwarding == Forwarding::nobodyListening)
            return listen() ? Role::primary : Role::unavailable;
    }
    return forwarding == Forwarding::delivered ? Role::forwarded : Role::unavailable;
}

SingleInstance::Forwarding SingleInstance::forward(const QStringList &arguments)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        // No file, or a file nobody accepts on (an instance that ended without removing it).
        if (socket.error() == QLocalSocket::ServerNotFoundError ||
            socket.error() == QLocalSocket::ConnectionRefusedError)
            return Forwarding::nobodyListening;
        failure = socket.errorString();
        return Forwarding::failed;
    }

    QByteArray lines;
    for (const QString &argument : arguments) {
        const QByteArray line = argument.toUtf8();
        // The running instance would drop these anyway, and an overlong line would cost the
        // URLs after it, since the whole connection is dropped.
        if (line == toggleArgument || ForwardedUrl::parse(line))
            lines.append(line).append('\n');
    }
    if (lines.isEmpty())
        lines = QByteArray(showLine).append('\n');
    socket.write(lines);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(writeTimeoutMs)) {
            failure = socket.errorString();
            return Forwarding::failed;
        }
    }
    socket.disconnectFromServer();
    return Forwarding::delivered;
}

bool SingleInstance::listen()
{
    QLocalServer::removeServer(path);
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(path)) {
        failure = server.errorString();
        return false;
    }
    return true;
}

void SingleInstance::close()
{
    server.close();
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        // Owned by this object rather than the server, so that they go only after this object's
        // connections: a socket closed during destruction must not call back into it.
        socket->setParent(this);
        // Bounded so that a peer that never sends a newline cannot make us buffer without end.
        socket->setReadBufferSize(ForwardedUrl::maximumLineLength + 1);
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, pending] { readLines(*socket, *pending); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, pending] {
            readLines(*socket, *pending);
            socket->deleteLater();
        });
        // A forwarding start writes its lines and closes within milliseconds; a peer that keeps
        // the connection open is stuck or hostile.
        QTimer::singleShot(connectionLimit, socket, [socket] { socket->abort(); });
    }
}

void SingleInstance::readLines(QLocalSocket &socket, QByteArray &pending)
{
    pending.append(socket.readAll());
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
        const QByteArray line = pending.first(end);
        pending.remove(0, end + 1);
        if (line == toggleArgument)
            emit toggleRequested();
        else if (line == showLine)
            emit showRequested();
        else if (const std::optional<QUrl> url = ForwardedUrl::parse(line))
            emit urlReceived(*url);
    }
    if (pending.size() > ForwardedUrl::maximumLineLength) {
        pending.clear();
        socket.abort();
    }
}
