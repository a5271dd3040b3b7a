#include "net/HttpClient.h"

#include "model/SharedInstance.h"
#include "net/ReplyActivity.h"
#include "net/ReplyOutcome.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <functional>

namespace HttpClient {

namespace {

// A line break in a header value would end the header and let the rest of the value pose as
// headers of its own; such values come from data (a user identifier, a token), never from us.
void requireSafeHeaders(const HttpRequest &request)
{
    for (const auto &[name, value] : request.headers) {
        if (name.contains('\r') || name.contains('\n') || name.contains('\0') ||
            value.contains('\r') || value.contains('\n') || value.contains('\0'))
            throw TransportError(TransportError::Kind::other,
                                 "The request has a header value that cannot be sent.");
    }
}

QNetworkReply *send(const HttpRequest &request)
{
    requireSafeHeaders(request);
    QNetworkRequest networkRequest(request.url);
    networkRequest.setTransferTimeout(int(request.timeout.count()));
    // A redirect is answered, never followed: Qt would send the Authorization header along, and
    // for 307 and 308 the body too, to whatever host the Location names.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    return sharedManager().sendCustomRequest(networkRequest, request.method, request.body);
}

TransportError cancellation()
{
    return {TransportError::Kind::cancelled, "The request was cancelled."};
}

// A request cancelled before it starts is never sent: Qt leaves part of a request behind when it
// is aborted before its own thread has taken it up.
void throwIfStopped(const std::stop_token &stop)
{
    if (stop.stop_requested())
        throw cancellation();
}

// Owns a reply for the length of one exchange; the reply is deleted later, never while Qt may
// still be inside one of its signals. The manager deletes its replies when it goes, so the reply
// is only ever reached through the guarded pointer.
struct ReplyHolder
{
    QPointer<QNetworkReply> reply;

    ~ReplyHolder()
    {
        QNetworkReply *owned = reply.data();
        if (owned == nullptr)
            return;
        if (!owned->isFinished() && owned->error() == QNetworkReply::NoError)
            owned->abort();
        owned->deleteLater();
    }
};

} // namespace

QNetworkAccessManager &sharedManager()
{
    return SharedInstance<QNetworkAccessManager>::get();
}

QCoro::Task<HttpResponse> data(HttpRequest request, std::stop_token stop)
{
    throwIfStopped(stop);
    const ReplyHolder holder{send(request)};
    bool cancelled = false;
    bool tooLarge = false;
    const std::stop_callback<std::function<void()>> onStop(std::move(stop), [&] {
        cancelled = true;
        if (QNetworkReply *running = holder.reply.data())
            running->abort();
    });

    HttpResponse response;
    QNetworkReply *reply = nullptr;
    for (;;) {
        // Gone with the manager, which the application's owner destroyed during the wait.
        reply = holder.reply.data();
        if (reply == nullptr)
            throw cancellation();
        if (reply->isOpen())
            response.body += reply->readAll();
        if (response.body.size() > maximumBodySize && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
        if (reply->isFinished())
            break;
        co_await ReplyActivity(reply);
    }

    if (tooLarge)
        throw TransportError(TransportError::Kind::responseTooLarge,
                             "The server's answer is too large.");
    if (auto failure = ReplyOutcome::failure(*reply, cancelled))
        throw std::move(*failure);
    if (auto failure = ReplyOutcome::truncation(*reply, response.body.size()))
        throw std::move(*failure);
    response.statusCode = ReplyOutcome::statusCode(*reply);
    response.headers = ReplyOutcome::headers(*reply);
    co_return response;
}

QCoro::Task<std::unique_ptr<HttpStream>> bytes(HttpRequest request, std::stop_token stop)
{
    throwIfStopped(stop);
    auto stream = std::make_unique<HttpStream>(send(request), std::move(stop));
    co_await stream->waitForHead();
    co_return stream;
}

} // namespace HttpClient
