#pragma once

#include "net/TransportError.h"

#include <QByteArray>
#include <QList>
#include <optional>
#include <utility>

class QNetworkReply;

// How a reply ended, in the transport's terms: an answer with a status, or a failure.
namespace ReplyOutcome {

// The HTTP status once the head has arrived; none before that and for answers not sent over HTTP.
std::optional<int> statusCode(const QNetworkReply &reply);

QList<std::pair<QByteArray, QByteArray>> headers(const QNetworkReply &reply);

// The failure of a reply that has finished, if it failed as a transfer. Qt reports a 4xx or 5xx
// answer as an error too; such a reply is an answer and gives none here. `cancelled` tells an
// abort of ours from Qt's own abort on the inactivity limit, which Qt reports the same way.
std::optional<TransportError> failure(const QNetworkReply &reply, bool cancelled);

} // namespace ReplyOutcome
