#pragma once

#include "voice/RtcTypes.h"

// What the engine tells about one peer connection. Every call arrives on one of the engine's own
// threads, never the main thread, and may race with closing the connection: an implementation
// copies what it needs and hands it on, and must not call back into the connection.
//
// States are the engine's numbers: a peer connection is 0 new, 1 connecting, 2 connected,
// 3 disconnected, 4 failed, 5 closed; ICE connection and gathering states and signalling states
// are only ever logged.
class RtcPeerConnectionDelegate
{
public:
    enum class AudioDirection
    {
        local,
        remote
    };

    virtual ~RtcPeerConnectionDelegate() = default;

    virtual void didChangeSignalingState(int state) = 0;
    virtual void shouldNegotiate() = 0;
    virtual void didChangeIceConnectionState(int state) = 0;
    virtual void didChangeIceGatheringState(int state) = 0;
    virtual void didGenerateCandidate(const RtcIceCandidate &candidate) = 0;
    virtual void didOpenDataChannel() = 0;
    virtual void didChangeConnectionState(int state) = 0;
    // A remote track arrived; only audio is played, anything else is received and dropped.
    virtual void didAddReceiver(RtcMediaKind kind) = 0;
    // About twenty times a second per direction while audio flows: the level of what is sent
    // (silence while the track is disabled) and of what is played.
    virtual void didMeasureAudioLevel(AudioDirection direction, float level) = 0;
    // The microphone's branch failed (device gone, sound server gone): nothing is sent any more.
    virtual void didFailAudioCapture() = 0;
};
