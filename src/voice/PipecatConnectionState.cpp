#include "voice/PipecatConnectionState.h"

namespace PipecatConnectionStates {

std::optional<PipecatConnectionState> fromRawValue(int rawValue)
{
    if (rawValue < 0 || rawValue > 5)
        return std::nullopt;
    return static_cast<PipecatConnectionState>(rawValue);
}

QString displayText(PipecatConnectionState state)
{
    switch (state) {
    case PipecatConnectionState::new_:
        return QStringLiteral("New");
    case PipecatConnectionState::connecting:
        return QStringLiteral("Connecting");
    case PipecatConnectionState::connected:
        return QStringLiteral("Connected");
    case PipecatConnectionState::disconnected:
        return QStringLiteral("Disconnected");
    case PipecatConnectionState::failed:
        return QStringLiteral("Failed");
    case PipecatConnectionState::closed:
        return QStringLiteral("Closed");
    }
    return {};
}

} // namespace PipecatConnectionStates
