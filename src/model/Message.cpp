#include "model/Message.h"

#include "model/Timestamp.h"
#include "model/Uuid.h"

#include <utility>

Message::Message(MessageRole role, QString content, QList<ToolCall> toolCalls,
                 std::optional<QByteArray> imageData, QObject *parent)
    : Message(Uuid::makeString(), role, std::move(content), Timestamp::now(), std::move(toolCalls),
              std::move(imageData), parent)
{}

Message::Message(QString id, MessageRole role, QString content, double createdAt,
                 QList<ToolCall> toolCalls, std::optional<QByteArray> imageData, QObject *parent)
    : QObject(parent)
    , m_id(std::move(id))
    , m_role(role)
    , m_content(std::move(content))
    , m_createdAt(createdAt)
    , m_toolCalls(std::move(toolCalls))
    , m_imageData(std::move(imageData))
{}

QString Message::roleRawValue() const
{
    const auto raw = rawValue(m_role);
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

QVariantList Message::toolCallValues() const
{
    QVariantList values;
    values.reserve(m_toolCalls.size());
    for (const auto &toolCall : m_toolCalls)
        values.append(QVariant::fromValue(toolCall));
    return values;
}

void Message::setContent(const QString &content)
{
    if (content == m_content)
        return;
    m_content = content;
    emit contentChanged();
}

void Message::setToolCalls(const QList<ToolCall> &toolCalls)
{
    if (toolCalls == m_toolCalls)
        return;
    m_toolCalls = toolCalls;
    emit toolCallsChanged();
}

void Message::setImageData(std::optional<QByteArray> imageData)
{
    m_imageData = std::move(imageData);
}

void Message::setEnding(Ending ending)
{
    if (ending == m_ending)
        return;
    m_ending = ending;
    emit endingChanged();
}
