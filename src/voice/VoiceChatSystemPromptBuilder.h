#pragma once

#include <QString>
#include <optional>

// The instructions a voice agent is given: the user's own when the prompt service has one cached,
// ours otherwise.
namespace VoiceChatSystemPromptBuilder {

QString defaultPrompt();
QString build(const std::optional<QString> &cachedPrompt);

} // namespace VoiceChatSystemPromptBuilder
