#pragma once

#include "net/LineSplitter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCoroTask>
#include <QList>
#include <QPointer>
#include <QtGlobal>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>

class QNetworkReply;

// A response whose head has arrived and whose body is read line by line as it arrives: each line
// is handed out as soon as its terminator is in, not when the body ends. Dropping the stream
// aborts the transfer.
class HttpStream
{
public:
    HttpStream(QNetworkReply *reply, std::stop_token stop);
    ~HttpStream();
    HttpStream(const HttpStream &) = delete;
    HttpStream &operator=(const HttpStream &) = delete;

    // Waits until the response head has arrived. Throws TransportError when the transfer fails
    // before it does.
    QCoro::Task<> waitForHead();

    // None when the answer did not come over HTTP.
    std::optional<int> statusCode() const { return m_statusCode; }
    // Empty when there is no header of that name.
    QByteArray header(QByteArrayView name) const;

    // The next line without its terminator, or none at the clean end of the body. Throws
    // TransportError when the transfer fails before the body ends (a lost connection, a timeout,
    // a cancelled request): a body cut short is not a complete answer.
    QCoro::Task<std::optional<std::string>> nextLine();

private:
    std::optional<std::string> takeLine();
    void throwIfFailed() const;

    QPointer<QNetworkReply> reply;
    std::optional<int> m_statusCode;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    LineSplitter splitter;
    qint64 receivedBytes = 0;
    bool bodyEnded = false;
    bool cancelled = false;
    std::stop_callback<std::function<void()>> onStop;
};
