#pragma once

#include "voice/RtcPeerConnectionDelegate.h"

#include <QPointer>
#include <functional>
#include <memory>

class VoiceChatService;

// Keeps the engine's callbacks apart from the service: logs each event on the engine's thread,
// and hands the ones that change the session to the service on the main thread. Posted work
// holds the wrapper only weakly, and the wrapper holds the service only weakly, so a callback
// that arrives after the session ended finds nothing and does nothing.
class PeerConnectionDelegateWrapper
    : public RtcPeerConnectionDelegate,
      public std::enable_shared_from_this<PeerConnectionDelegateWrapper>
{
public:
    // A wrapper without its service has nothing to forward to: the program stops.
    explicit PeerConnectionDelegateWrapper(VoiceChatService *service);

    void didChangeSignalingState(int state) override;
    void shouldNegotiate() override;
    void didChangeIceConnectionState(int state) override;
    void didChangeIceGatheringState(int state) override;
    void didGenerateCandidate(const RtcIceCandidate &candidate) override;
    void didOpenDataChannel() override;
    void didChangeConnectionState(int state) override;
    void didAddReceiver(RtcMediaKind kind) override;
    void didMeasureAudioLevel(AudioDirection direction, float level) override;
    void didFailAudioCapture() override;

private:
    void postToService(std::function<void(VoiceChatService &)> handler);

    // Read on the main thread only.
    QPointer<VoiceChatService> service;
};
