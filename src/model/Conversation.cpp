#include "model/Conversation.h"

#include "model/Graphemes.h"
#include "model/Timestamp.h"
#include "model/Uuid.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <utility>

namespace {

bool onMainThread()
{
    const auto *application = QCoreApplication::instance();
    return application == nullptr || QThread::currentThread() == application->thread();
}

// Counts and cuts by grapheme cluster so a flag, an emoji sequence or a letter with its accents
// is never split.
QString titleFrom(const QString &content)
{
    const QStringView head = Graphemes::prefix(content, Conversation::titleLength);
    if (head.size() == content.size())
        return content;
    return head.toString() + QStringLiteral("...");
}

} // namespace

Conversation::Conversation(QObject *parent)
    : Conversation(Timestamp::now(), parent)
{}

Conversation::Conversation(double now, QObject *parent)
    : Conversation(Uuid::makeString(), std::nullopt, now, now, {}, parent)
{}

Conversation::Conversation(QString id, std::optional<QString> title, double createdAt,
                           double updatedAt, QList<Message *> messages, QObject *parent)
    : QObject(parent)
    , m_id(std::move(id))
    , m_title(std::move(title))
    , m_createdAt(createdAt)
    , m_updatedAt(updatedAt)
    , m_messages(std::move(messages))
{
    for (auto *message : std::as_const(m_messages))
        adopt(message);
}

QVariant Conversation::titleValue() const
{
    return m_title ? QVariant(*m_title) : QVariant();
}

void Conversation::setTitle(const std::optional<QString> &title)
{
    if (title == m_title)
        return;
    m_title = title;
    emit titleChanged();
}

void Conversation::setUpdatedAt(double updatedAt)
{
    if (updatedAt == m_updatedAt)
        return;
    m_updatedAt = updatedAt;
    emit updatedAtChanged();
}

void Conversation::addMessage(Message *message)
{
    adopt(message);
    m_messages.append(message);
    emit messagesChanged();
    setUpdatedAt(Timestamp::now());
    sortMessages();
}

void Conversation::removeMessage(Message *message)
{
    if (!m_messages.removeOne(message))
        return;
    emit messagesChanged();
    setUpdatedAt(Timestamp::now());
    sortMessages();
    if (message->parent() == this)
        delete message;
}

void Conversation::generateTitle()
{
    Q_ASSERT(onMainThread());
    if (m_title)
        return;
    const auto firstUser =
        std::find_if(m_sortedMessages.cbegin(), m_sortedMessages.cend(),
                     [](const Message *message) { return message->role() == MessageRole::user; });
    if (firstUser == m_sortedMessages.cend())
        return;
    setTitle(titleFrom((*firstUser)->content()));
}

void Conversation::adopt(Message *message)
{
    if (message->parent() == nullptr)
        message->setParent(this);
}

void Conversation::sortMessages()
{
    Q_ASSERT(onMainThread());
    auto sorted = m_messages;
    // Stable: messages created at the same instant keep the order in which they were added.
    std::stable_sort(sorted.begin(), sorted.end(), [](const Message *left, const Message *right) {
        return left->createdAt() < right->createdAt();
    });
    m_sortedMessages = std::move(sorted);
    emit sortedMessagesChanged();
}
