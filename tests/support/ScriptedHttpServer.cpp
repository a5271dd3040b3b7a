#include "support/ScriptedHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <optional>
#include <utility>

namespace {

QByteArray routeKey(const QByteArray &method, const QByteArray &path)
{
    return method + ' ' + path;
}

// The request once its head and Content-Length body are in; none while bytes are missing.
std::optional<RecordedRequest> parseRequest(const QByteArray &bytes)
{
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lines = bytes.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    RecordedRequest request;
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        request.headers.emplace_back(name, value);
        if (name == "content-length")
            contentLength = value.toLongLong();
    }
    const qsizetype bodyStart = headEnd + 4;
    if (bytes.size() - bodyStart < contentLength)
        return std::nullopt;
    request.body = bytes.mid(bodyStart, contentLength);
    return request;
}

QByteArray chunkFrame(const QByteArray &chunk)
{
    return QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray &lowerCaseName) const
{
    for (const auto &[name, value] : headers) {
        if (name == lowerCaseName)
            return value;
    }
    return {};
}

QByteArray RecordedRequest::path() const
{
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

namespace {

ScriptedReply wholeBody(QByteArray contentType, QByteArray body, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.headers = {{"Content-Type", std::move(contentType)}};
    reply.chunks = {std::move(body)};
    return reply;
}

} // namespace

ScriptedReply ScriptedReply::json(QByteArray body, int status)
{
    return wholeBody("application/json", std::move(body), status);
}

ScriptedReply ScriptedReply::text(QByteArray body, int status)
{
    return wholeBody("text/plain; charset=utf-8", std::move(body), status);
}

QByteArray ScriptedReply::event(const QByteArray &type, const QByteArray &json)
{
    return "event: " + type + "\ndata: " + json + "\n\n";
}

ScriptedReply ScriptedReply::eventStream(QList<QByteArray> chunks, std::chrono::milliseconds delay)
{
    ScriptedReply reply;
    reply.headers = {{"Content-Type", "text/event-stream"}};
    reply.chunks = std::move(chunks);
    reply.chunkDelay = delay;
    reply.framing = Framing::chunked;
    return reply;
}

ScriptedHttpServer::ScriptedHttpServer()
{
    connect(&server, &QTcpServer::newConnection, this, &ScriptedHttpServer::accept);
    if (!server.listen(QHostAddress::LocalHost, 0))
        qFatal("ScriptedHttpServer: cannot listen on 127.0.0.1");
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    server.close();
    const auto sockets = pending.keys();
    for (QTcpSocket *socket : sockets)
        socket->abort();
}

quint16 ScriptedHttpServer::port() const
{
    return server.serverPort();
}

QUrl ScriptedHttpServer::url(const QByteArray &pathAndQuery) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()) +
                QString::fromUtf8(pathAndQuery));
}

void ScriptedHttpServer::route(const QByteArray &method, const QByteArray &path, Handler handler)
{
    handlers.insert(routeKey(method, path), std::move(handler));
}

void ScriptedHttpServer::route(const QByteArray &method, const QByteArray &path,
                               ScriptedReply reply)
{
    route(method, path, [reply](const RecordedRequest &) { return reply; });
}

void ScriptedHttpServer::hold()
{
    held = true;
}

void ScriptedHttpServer::release()
{
    held = false;
    for (const auto &[socket, request] : std::exchange(heldRequests, {})) {
        if (socket)
            answer(socket, request);
    }
}

bool ScriptedHttpServer::waitForRequests(qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return received.size() >= count; }, timeoutMs);
}

void ScriptedHttpServer::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        pending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void ScriptedHttpServer::readFrom(QTcpSocket *socket)
{
    const auto found = pending.find(socket);
    if (found == pending.end())
        return;
    found->append(socket->readAll());
    if (const auto request = parseRequest(*found)) {
        found->clear();
        disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
        received.append(*request);
        if (held)
            heldRequests.append({socket, *request});
        else
            answer(socket, *request);
    }
}

void ScriptedHttpServer::answer(QTcpSocket *socket, const RecordedRequest &request)
{
    const auto handler = handlers.constFind(routeKey(request.method, request.path()));
    ScriptedReply reply =
        handler != handlers.cend() ? (*handler)(request) : ScriptedReply::text("no route", 404);
    if (reply.neverAnswer)
        return;

    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\nConnection: close\r\n";
    for (const auto &[name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    if (reply.framing == ScriptedReply::Framing::contentLength) {
        qsizetype length = 0;
        for (const QByteArray &chunk : reply.chunks)
            length += chunk.size();
        head +=
            "Content-Length: " + QByteArray::number(length + (reply.dropAfterChunks ? 100 : 0)) +
            "\r\n";
    } else if (reply.framing == ScriptedReply::Framing::chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    }
    socket->write(head + "\r\n");
    sendChunks(socket, std::move(reply), 0);
}

void ScriptedHttpServer::sendChunks(QTcpSocket *socket, ScriptedReply reply, qsizetype next)
{
    if (next == reply.chunks.size()) {
        finish(socket, reply);
        return;
    }
    const QByteArray &chunk = reply.chunks[next];
    socket->write(reply.framing == ScriptedReply::Framing::chunked ? chunkFrame(chunk) : chunk);
    socket->flush();
    if (next + 1 == reply.chunks.size() || reply.chunkDelay.count() == 0) {
        sendChunks(socket, std::move(reply), next + 1);
        return;
    }
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(reply.chunkDelay, this, [this, guarded, reply, next] {
        if (guarded)
            sendChunks(guarded, reply, next + 1);
    });
}

void ScriptedHttpServer::finish(QTcpSocket *socket, const ScriptedReply &reply)
{
    if (reply.holdOpen)
        return;
    if (reply.framing == ScriptedReply::Framing::chunked && !reply.dropAfterChunks)
        socket->write("0\r\n\r\n");
    // A graceful close sends everything written first, so a drop cuts the body exactly where the
    // script says. A drop waits a moment first, as a server that dies mid-answer does: a close
    // that arrives together with the last bytes can pass for a clean end in Qt's HTTP reader.
    if (!reply.dropAfterChunks) {
        socket->disconnectFromHost();
        return;
    }
    socket->flush();
    QTimer::singleShot(std::chrono::milliseconds{30}, socket,
                       [socket] { socket->disconnectFromHost(); });
}
