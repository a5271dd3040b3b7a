#include "voice/VoiceChatSystemPromptBuilder.h"

#include <QStringList>

namespace VoiceChatSystemPromptBuilder {

QString defaultPrompt()
{
    return QStringList{
        QStringLiteral("You are Vessa, a personal AI voice assistant."),
        QString(),
        QStringLiteral("VOICE BEHAVIOR:"),
        QStringLiteral("- Speak in SHORT, NATURAL sentences (5-10 words max)"),
        QStringLiteral("- Keep talking during tool calls to prevent dead air"),
        QStringLiteral("- Be conversational and warm"),
        QString(),
        QStringLiteral("Always call list_skills before data operations to see user's skills."),
    }
        .join(QLatin1Char('\n'));
}

QString build(const std::optional<QString> &cachedPrompt)
{
    return cachedPrompt ? *cachedPrompt : defaultPrompt();
}

} // namespace VoiceChatSystemPromptBuilder
