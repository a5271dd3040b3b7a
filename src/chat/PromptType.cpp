#include "chat/PromptType.h"

std::string_view rawValue(PromptType type)
{
    switch (type) {
    case PromptType::text:
        return "text";
    case PromptType::voice:
        return "voice";
    }
    return {};
}
