#pragma once

#include "model/MessageRole.h"
#include "model/ToolCall.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <optional>

// One message of a conversation. Belongs to the main thread. The views bind to content and
// toolCalls, which change in place while an assistant reply streams in.
class Message : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QString role READ roleRawValue CONSTANT)
    Q_PROPERTY(QString content READ content WRITE setContent NOTIFY contentChanged)
    Q_PROPERTY(double createdAt READ createdAt CONSTANT)
    Q_PROPERTY(QVariantList toolCalls READ toolCallValues NOTIFY toolCallsChanged)
    Q_PROPERTY(Ending ending READ ending NOTIFY endingChanged)

public:
    // How an assistant reply ended. A reply cut short keeps the text that arrived, and the view
    // says why it stops where it does.
    enum class Ending
    {
        complete,
        // The stream closed before the reply said it was finished.
        incomplete,
        // The user stopped it.
        stopped,
        // The send failed after part of the reply had arrived.
        failed,
    };
    Q_ENUM(Ending)

    // A new message: fresh id, created now.
    Message(MessageRole role, QString content, QList<ToolCall> toolCalls = {},
            std::optional<QByteArray> imageData = std::nullopt, QObject *parent = nullptr);
    Message(QString id, MessageRole role, QString content, double createdAt,
            QList<ToolCall> toolCalls = {}, std::optional<QByteArray> imageData = std::nullopt,
            QObject *parent = nullptr);

    const QString &id() const { return m_id; }
    MessageRole role() const { return m_role; }
    QString roleRawValue() const;
    const QString &content() const { return m_content; }
    double createdAt() const { return m_createdAt; }
    const QList<ToolCall> &toolCalls() const { return m_toolCalls; }
    // ToolCall gadgets for QML.
    QVariantList toolCallValues() const;
    // Raw bytes of an attached image file; not observed by the views.
    const std::optional<QByteArray> &imageData() const { return m_imageData; }

    void setContent(const QString &content);
    void setToolCalls(const QList<ToolCall> &toolCalls);
    void setImageData(std::optional<QByteArray> imageData);
    Ending ending() const { return m_ending; }
    void setEnding(Ending ending);

signals:
    void contentChanged();
    void toolCallsChanged();
    void endingChanged();

private:
    const QString m_id;
    const MessageRole m_role;
    QString m_content;
    const double m_createdAt;
    QList<ToolCall> m_toolCalls;
    std::optional<QByteArray> m_imageData;
    Ending m_ending = Ending::complete;
};
