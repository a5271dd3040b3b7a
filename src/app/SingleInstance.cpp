#include "app/SingleInstance.h"

#include "app/ForwardedUrl.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <chrono>
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

// True when the path is a folder, not a link, of this user that no one else may enter; with
// closeIfOpen, a folder of ours that others may enter is closed to them first.
bool isPrivateFolder(const QString &path, bool closeIfOpen)
{
    // Opened without following a link and then checked and closed through that one descriptor,
    // so that a link swapped in meanwhile cannot turn either onto another folder.
    const int folder = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat status = {};
    const bool ours = ::fstat(folder, &status) == 0 && status.st_uid == ::geteuid();
    const bool closed = (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
    const bool isPrivate = ours && (closed || (closeIfOpen && ::fchmod(folder, S_IRWXU) == 0));
    ::close(folder);
    return isPrivate;
}

// The folder of the instance socket; empty when there is none that is the user's alone.
QString socketFolder()
{
    // The session's runtime folder, when it is what it should be.
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeFolder.isEmpty() && isPrivateFolder(runtimeFolder, false))
        return runtimeFolder;
    // Without it, Qt falls back to a folder of a known name in /tmp, which any user can make
    // first, and then refuses it. A folder of ours in the user's cache cannot be taken ahead of us.
    const QString cacheFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cacheFolder.isEmpty() || !QDir().mkpath(cacheFolder))
        return {};
    const QString ownFolder = cacheFolder + QStringLiteral("/com.kolvane.vessa-mac");
    ::mkdir(QFile::encodeName(ownFolder).constData(), S_IRWXU);
    return isPrivateFolder(ownFolder, true) ? ownFolder : QString();
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

    for (const QString &argument : arguments) {
        QByteArray line = argument.toUtf8();
        // The running instance would drop these anyway, and an overlong line would cost the
        // URLs after it, since the whole connection is dropped.
        if (line != toggleArgument && !ForwardedUrl::parse(line))
            continue;
        line.append('\n');
        socket.write(line);
    }
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
        else if (const std::optional<QUrl> url = ForwardedUrl::parse(line))
            emit urlReceived(*url);
    }
    if (pending.size() > ForwardedUrl::maximumLineLength) {
        pending.clear();
        socket.abort();
    }
}
