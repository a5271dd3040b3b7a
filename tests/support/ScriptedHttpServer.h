#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <utility>

class QTcpSocket;

// One request as the server received it. Header names are lower-cased.
struct RecordedRequest
{
    QByteArray method;
    // The request target as sent: the path with its query.
    QByteArray target;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &lowerCaseName) const;
    QByteArray path() const;
};

// One scripted answer, faults included.
struct ScriptedReply
{
    enum class Framing
    {
        contentLength,
        chunked,
    };

    int status = 200;
    QList<std::pair<QByteArray, QByteArray>> headers;
    // Sent one after another with chunkDelay before each but the first.
    QList<QByteArray> chunks;
    std::chrono::milliseconds chunkDelay{0};
    Framing framing = Framing::contentLength;
    // Close the connection after the last chunk without completing the framing: a
    // Content-Length larger than what was sent, or no final empty chunk.
    bool dropAfterChunks = false;
    // Keep the connection open after the last chunk without ending the body, as a stream that is
    // still running does.
    bool holdOpen = false;
    // Read the request and never answer.
    bool neverAnswer = false;

    static ScriptedReply json(QByteArray body, int status = 200);
    static ScriptedReply text(QByteArray body, int status = 200);
    // One server-sent event of that type with that JSON as its data.
    static QByteArray event(const QByteArray &type, const QByteArray &json);
    // An event stream sent as one chunk per line group, with the given delay between chunks.
    static ScriptedReply eventStream(QList<QByteArray> chunks,
                                     std::chrono::milliseconds delay = std::chrono::milliseconds{
                                         0});
};

// An HTTP/1.1 server on 127.0.0.1 and a free port, on the test's own thread: it answers while the
// test waits on a task (QCoro::waitFor runs the event loop). Each connection carries one request
// and is closed after the answer.
class ScriptedHttpServer : public QObject
{
public:
    using Handler = std::function<ScriptedReply(const RecordedRequest &)>;

    ScriptedHttpServer();
    ~ScriptedHttpServer() override;

    quint16 port() const;
    // http://127.0.0.1:<port> followed by the path (which may hold a query).
    QUrl url(const QByteArray &pathAndQuery = "/") const;

    // Answers requests with that method to that path (the query is not compared). Requests
    // nobody answers get 404.
    void route(const QByteArray &method, const QByteArray &path, Handler handler);
    void route(const QByteArray &method, const QByteArray &path, ScriptedReply reply);

    const QList<RecordedRequest> &requests() const { return received; }

    // While held, requests are recorded but not answered; release() answers them in the order
    // they came. Tests use this instead of sleeping to keep an exchange in flight.
    void hold();
    void release();
    // Runs the event loop until that many requests have come in; false after the time limit.
    bool waitForRequests(qsizetype count, int timeoutMs = 20'000);

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const RecordedRequest &request);
    void sendChunks(QTcpSocket *socket, ScriptedReply reply, qsizetype next);
    void finish(QTcpSocket *socket, const ScriptedReply &reply);

    QTcpServer server;
    QHash<QByteArray, Handler> handlers;
    QHash<QTcpSocket *, QByteArray> pending;
    QList<RecordedRequest> received;
    bool held = false;
    QList<std::pair<QPointer<QTcpSocket>, RecordedRequest>> heldRequests;
};
