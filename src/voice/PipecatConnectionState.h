#pragma once

#include <QString>
#include <optional>

// The peer connection's states as the engine numbers them, with the text each is shown as.
enum class PipecatConnectionState
{
    new_ = 0,
    connecting = 1,
    connected = 2,
    disconnected = 3,
    failed = 4,
    closed = 5
};

namespace PipecatConnectionStates {
// None for a number outside 0 to 5.
std::optional<PipecatConnectionState> fromRawValue(int rawValue);
QString displayText(PipecatConnectionState state);
inline bool isConnected(PipecatConnectionState state)
{
    return state == PipecatConnectionState::connected;
}
} // namespace PipecatConnectionStates
