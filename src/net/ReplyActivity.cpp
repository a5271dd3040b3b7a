#include "net/ReplyActivity.h"

#include <QNetworkReply>
#include <utility>

ReplyActivity::ReplyActivity(QNetworkReply *watched)
    : reply(watched)
{}

ReplyActivity::ReplyActivity(ReplyActivity &&other) noexcept
    : reply(other.reply)
{}

ReplyActivity::~ReplyActivity()
{
    disconnectAll();
}

bool ReplyActivity::await_ready() const noexcept
{
    return !reply || reply->isFinished();
}

void ReplyActivity::await_suspend(std::coroutine_handle<> handle)
{
    waiting = handle;
    const auto wake = [this] { resume(); };
    connections[0] = QObject::connect(reply, &QNetworkReply::metaDataChanged, wake);
    connections[1] = QObject::connect(reply, &QIODevice::readyRead, wake);
    connections[2] = QObject::connect(reply, &QNetworkReply::finished, wake);
    connections[3] = QObject::connect(reply, &QObject::destroyed, wake);
}

void ReplyActivity::resume()
{
    // Disconnect before resuming: the coroutine may finish and destroy this awaiter, and a second
    // signal from the same emission must not resume it twice.
    disconnectAll();
    if (const auto handle = std::exchange(waiting, nullptr))
        handle.resume();
}

void ReplyActivity::disconnectAll()
{
    for (auto &connection : connections)
        QObject::disconnect(connection);
}
