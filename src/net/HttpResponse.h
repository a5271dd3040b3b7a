#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>
#include <utility>

// The answer to a whole-body request. Every status code is an answer, 2xx or not, a redirect
// (3xx) included, which is never followed; only a transfer that fails is an error
// (TransportError).
struct HttpResponse
{
    // None when the answer did not come over HTTP (a file: or data: URL), which callers treat as
    // an invalid response.
    std::optional<int> statusCode;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The value of the first header of that name, compared without regard to case; empty when
    // there is none.
    QByteArray header(QByteArrayView name) const;
};
