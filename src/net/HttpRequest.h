#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>
#include <chrono>
#include <utility>

// One request to a remote service: an absolute URL, the method, header fields in the order they
// are set, a body, and the inactivity limit after which the transfer fails as timed out.
struct HttpRequest
{
    static constexpr std::chrono::milliseconds defaultTimeout{60'000};

    explicit HttpRequest(QUrl target)
        : url(std::move(target))
    {}

    void setHeader(QByteArray name, QByteArray value)
    {
        headers.emplace_back(std::move(name), std::move(value));
    }

    QUrl url;
    QByteArray method = "GET";
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // The longest time without any byte sent or received, not a limit on the whole exchange: a
    // slow stream stays alive as long as it keeps sending.
    std::chrono::milliseconds timeout = defaultTimeout;
};
