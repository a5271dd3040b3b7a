#pragma once

#include <QMetaObject>
#include <QPointer>
#include <coroutine>

class QNetworkReply;

// Suspends a coroutine until something happens on a reply: its head arrives, more body arrives,
// or it finishes (also by abort(), which QCoro's readyRead awaiter never sees). Callers loop,
// checking what they wait for after each resumption, so a spurious wake-up is harmless. It never
// resumes for bytes that are already buffered: callers take those before they wait.
class ReplyActivity
{
public:
    explicit ReplyActivity(QNetworkReply *reply);
    ~ReplyActivity();
    // The coroutine machinery may move the awaiter before suspending on it; connections are made
    // only once it is suspended, so a move carries nothing but the reply.
    ReplyActivity(ReplyActivity &&other) noexcept;
    ReplyActivity(const ReplyActivity &) = delete;
    ReplyActivity &operator=(const ReplyActivity &) = delete;
    ReplyActivity &operator=(ReplyActivity &&) = delete;

    bool await_ready() const noexcept;
    void await_suspend(std::coroutine_handle<> handle);
    void await_resume() const noexcept {}

private:
    void resume();
    void disconnectAll();

    QPointer<QNetworkReply> reply;
    std::coroutine_handle<> waiting;
    QMetaObject::Connection connections[4];
};
