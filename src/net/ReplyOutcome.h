#pragma once

#include "net/TransportError.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>
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

// The failure of a reply that finished without an error although fewer body bytes arrived than
// its Content-Length announced. Qt reports a connection closed at an unlucky moment as a clean
// end of the body; the length is how the answer itself tells it was cut.
std::optional<TransportError> truncation(const QNetworkReply &reply, qint64 receivedBytes);

} // namespace ReplyOutcome
