#include "net/HttpStream.h"

#include "net/ReplyActivity.h"
#include "net/ReplyOutcome.h"

#include <QNetworkReply>
#include <string_view>

HttpStream::HttpStream(QNetworkReply *networkReply, std::stop_token stop)
    : reply(networkReply)
    , onStop(std::move(stop), [this] {
        cancelled = true;
        if (QNetworkReply *running = reply.data())
            running->abort();
    })
{}

HttpStream::~HttpStream()
{
    QNetworkReply *owned = reply.data();
    if (!owned)
        return;
    // Nobody waits on the reply any more; let Qt delete it once it has finished its own signal
    // delivery. A reply that has already failed (an error status) is winding down by itself, and
    // aborting it would report a second error.
    if (!owned->isFinished() && owned->error() == QNetworkReply::NoError)
        owned->abort();
    owned->deleteLater();
}

QCoro::Task<> HttpStream::waitForHead()
{
    while (reply && !reply->isFinished() && !ReplyOutcome::statusCode(*reply))
        co_await ReplyActivity(reply);
    if (!reply || reply->isFinished())
        throwIfFailed();
    m_statusCode = ReplyOutcome::statusCode(*reply);
    m_headers = ReplyOutcome::headers(*reply);
}

QByteArray HttpStream::header(QByteArrayView name) const
{
    for (const auto &[key, value] : m_headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QCoro::Task<std::optional<std::string>> HttpStream::nextLine()
{
    for (;;) {
        if (auto line = takeLine())
            co_return line;
        if (bodyEnded)
            co_return std::nullopt;
        if (!reply)
            throwIfFailed();
        if (reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->readAll();
            receivedBytes += chunk.size();
            splitter.append(std::string_view(chunk.constData(), std::size_t(chunk.size())));
            continue;
        }
        if (reply->isFinished()) {
            // Lines that were complete before a failure have been handed out; the partial line
            // after them is not an answer.
            throwIfFailed();
            if (auto failure = ReplyOutcome::truncation(*reply, receivedBytes))
                throw std::move(*failure);
            splitter.finish();
            bodyEnded = true;
            continue;
        }
        co_await ReplyActivity(reply);
    }
}

std::optional<std::string> HttpStream::takeLine()
{
    if (const auto line = splitter.nextLine())
        return std::string(*line);
    return std::nullopt;
}

void HttpStream::throwIfFailed() const
{
    if (!reply)
        throw TransportError(TransportError::Kind::cancelled, "The request was cancelled.");
    if (auto failure = ReplyOutcome::failure(*reply, cancelled))
        throw std::move(*failure);
}
