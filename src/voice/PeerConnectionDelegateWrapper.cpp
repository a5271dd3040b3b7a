#include "voice/PeerConnectionDelegateWrapper.h"

#include "model/Log.h"
#include "voice/VoiceChatService.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdlib>

PeerConnectionDelegateWrapper::PeerConnectionDelegateWrapper(VoiceChatService *owner)
    : service(owner)
{
    if (owner == nullptr)
        std::abort();
}

void PeerConnectionDelegateWrapper::didChangeSignalingState(int state)
{
    Log::write(QStringLiteral("[VoiceService] Signaling state: %1").arg(state));
}

void PeerConnectionDelegateWrapper::shouldNegotiate()
{
    Log::write(QStringLiteral("[VoiceService] Negotiation needed"));
}

void PeerConnectionDelegateWrapper::didChangeIceConnectionState(int state)
{
    Log::write(QStringLiteral("[VoiceService] ICE connection state: %1").arg(state));
}

void PeerConnectionDelegateWrapper::didChangeIceGatheringState(int state)
{
    Log::write(QStringLiteral("[VoiceService] ICE gathering state: %1").arg(state));
}

void PeerConnectionDelegateWrapper::didGenerateCandidate(const RtcIceCandidate &candidate)
{
    Log::write(QStringLiteral("[VoiceService] Generated ICE candidate: ") + candidate.sdp);
    postToService([candidate](VoiceChatService &owner) {
        owner.handleICECandidate(candidate.sdp, candidate.sdpMid, candidate.sdpMLineIndex);
    });
}

void PeerConnectionDelegateWrapper::didOpenDataChannel()
{
    Log::write(QStringLiteral("[VoiceService] Data channel opened"));
}

void PeerConnectionDelegateWrapper::didChangeConnectionState(int state)
{
    postToService([state](VoiceChatService &owner) { owner.handleConnectionStateChange(state); });
}

void PeerConnectionDelegateWrapper::didAddReceiver(RtcMediaKind kind)
{
    Log::write(QStringLiteral("[VoiceService] RTP receiver added"));
    if (kind != RtcMediaKind::audio)
        return;
    postToService([](VoiceChatService &) {
        Log::write(QStringLiteral("[VoiceService] Remote audio track received"));
    });
}

void PeerConnectionDelegateWrapper::didMeasureAudioLevel(AudioDirection direction, float level)
{
    postToService([direction, level](VoiceChatService &owner) {
        if (direction == AudioDirection::local)
            owner.handleInputAudioLevel(level);
        else
            owner.handleOutputAudioLevel(level);
    });
}

void PeerConnectionDelegateWrapper::didFailAudioCapture()
{
    postToService([](VoiceChatService &owner) { owner.handleAudioCaptureFailure(); });
}

void PeerConnectionDelegateWrapper::postToService(std::function<void(VoiceChatService &)> handler)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [wrapper = weak_from_this(), handler = std::move(handler)] {
            const auto alive = wrapper.lock();
            if (!alive || alive->service.isNull())
                return;
            handler(*alive->service);
        },
        Qt::QueuedConnection);
}
