#pragma once

#include <string_view>

// The kind of conversation a system prompt is for. The raw value names it on the wire and in the
// cache keys.
enum class PromptType
{
    text,
    voice,
};

std::string_view rawValue(PromptType type);
