#pragma once

#include "voice/VoiceChatService.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// Describes the voice session to QML, so that the voice screen binds to its flags and levels by
// type. Only the screen's controller makes sessions.
struct VoiceChatServiceForeign
{
    Q_GADGET
    QML_FOREIGN(VoiceChatService)
    QML_NAMED_ELEMENT(VoiceChatService)
    QML_UNCREATABLE("The voice chat screen makes its own voice session")
};
