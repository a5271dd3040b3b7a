#pragma once

#include <QObject>

// The screens of a signed-in user's popover: the chat, with the voice chat or the settings laid
// over it while chosen.
namespace ChatViewScreen {
Q_NAMESPACE

enum Value
{
    chat,
    voiceChat,
    settings
};
Q_ENUM_NS(Value)

} // namespace ChatViewScreen
