#include "net/ReplyOutcome.h"

#include <QNetworkReply>
#include <QVariant>

namespace ReplyOutcome {

namespace {

// Qt numbers transfer failures (connection, proxy) below 200 and failures of an answer that did
// arrive (content, protocol, server) from 200 on.
bool isTransferFailure(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

TransportError connectionLost()
{
    return {TransportError::Kind::connectionLost,
            "The network connection was lost before the server finished its answer."};
}

TransportError describe(const QNetworkReply &reply)
{
    using Kind = TransportError::Kind;
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return {Kind::timedOut, "The request timed out."};
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
        return {Kind::cannotConnect, "Could not connect to the server."};
    case QNetworkReply::RemoteHostClosedError:
        return connectionLost();
    default:
        return {Kind::other, reply.errorString().toStdString()};
    }
}

} // namespace

std::optional<int> statusCode(const QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

QList<std::pair<QByteArray, QByteArray>> headers(const QNetworkReply &reply)
{
    QList<std::pair<QByteArray, QByteArray>> pairs;
    for (const auto &[name, value] : reply.rawHeaderPairs())
        pairs.emplace_back(name, value);
    return pairs;
}

std::optional<TransportError> failure(const QNetworkReply &reply, bool cancelled)
{
    if (cancelled)
        return TransportError(TransportError::Kind::cancelled, "The request was cancelled.");
    const auto error = reply.error();
    if (error == QNetworkReply::NoError)
        return std::nullopt;
    if (!isTransferFailure(error) && statusCode(reply))
        return std::nullopt;
    return describe(reply);
}

std::optional<TransportError> truncation(const QNetworkReply &reply, qint64 receivedBytes)
{
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    // A compressed body is counted after Qt has inflated it, so its length says nothing here.
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    const bool comparable = length.isValid() && (encoding.isEmpty() || encoding == "identity");
    const auto status = statusCode(reply);
    const bool hasBody = status && *status != 204 && *status != 304;
    if (comparable && hasBody && receivedBytes < length.toLongLong())
        return connectionLost();
    return std::nullopt;
}

} // namespace ReplyOutcome
